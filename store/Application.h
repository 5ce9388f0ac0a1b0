#pragma once

#include <QApplication>
#include <QIcon>

namespace qd {

// The caption of the general error report: the application title.
inline constexpr const char* kApplicationTitle = "Qd";

// The general error report: shows text (the error's own words) to the user
// through dialogs(), owned by owner, captioned with the application title, with
// the stop icon. The program goes on afterwards.
void ReportError(QWidget* owner, const QString& text);

// Installs Qt's own Japanese texts (standard buttons, the file dialog) for the
// whole run, whatever the user's locale: the program's texts are Japanese, so
// "Yes" and "No" beside them would be out of place. False when Qt's Japanese
// translation is not installed; the texts then stay English.
bool LoadJapaneseTranslations(QCoreApplication& app);

// The program's icon: the installed theme's "qd", else the one built in.
QIcon ApplicationIcon();

// The GUI application. An exception that escapes an event handler ends up here
// instead of ending the program: its text goes to ReportError and the event
// counts as not handled.
class QdApplication : public QApplication {
public:
    QdApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace qd
