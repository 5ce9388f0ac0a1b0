#include "Application.h"

#include <exception>

#include "platform/Dialogs.h"

namespace qd {

void ReportError(QWidget* owner, const QString& text)
{
    dialogs().tell(owner, text, QString::fromUtf8(kApplicationTitle), DialogIcon::Stop);
}

QdApplication::QdApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QdApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportError(activeWindow(), QString::fromUtf8(e.what()));
    } catch (...) {
        // Nothing to say about an unknown exception but that it happened.
        ReportError(activeWindow(), QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace qd
