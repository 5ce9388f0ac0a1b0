#include "Application.h"

#include <QLibraryInfo>
#include <QTranslator>
#include <exception>

#include "platform/CatalogErrors.h"
#include "platform/Dialogs.h"

namespace qd {

void ReportError(QWidget* owner, const QString& text)
{
    dialogs().tell(owner, text, QString::fromUtf8(kApplicationTitle), DialogIcon::Stop);
}

bool LoadJapaneseTranslations(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QIcon ApplicationIcon()
{
    return QIcon::fromTheme(QStringLiteral("qd"), QIcon(QStringLiteral(":/qd/qd.svg")));
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
        ReportError(activeWindow(), UnknownErrorText());
    }
    return false;
}

} // namespace qd
