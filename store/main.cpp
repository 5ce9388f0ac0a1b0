// The program Qd: the main window over the catalog root, with the dialogs and
// the general error report of the GUI installed first.

#include <QIcon>

#include "platform/CatalogRoot.h"
#include "platform/Dialogs.h"
#include "store/Application.h"
#include "store/MainWindow.h"
#include "store/MessageBoxDialogs.h"

int main(int argc, char** argv)
{
    qd::QdApplication app(argc, argv);
    qd::QdApplication::setApplicationName(QString::fromLatin1(qd::kApplicationTitle));
    qd::QdApplication::setApplicationDisplayName(QString::fromLatin1(qd::kApplicationTitle));
    qd::MessageBoxDialogs messageBoxes;
    qd::setDialogs(&messageBoxes);

    qd::TForm_Main main(qd::CatalogRoot());

    // The registration wizard and the file search dialog are created here, after
    // the main window and hidden, and live for the whole run; the main window
    // gets the wizard through setNewDiskWizard().

    main.show();
    const int result = app.exec();
    qd::setDialogs(nullptr);
    return result;
}
