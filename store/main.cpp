// The program Qd: the main window over the catalog root, with the dialogs and
// the general error report of the GUI installed first; or, when a Qd already
// runs over that root, the hand-off of the file named to it.

#include <QFile>

#include "browse/Unit_SearchFile.h"
#include "platform/CatalogRoot.h"
#include "platform/Dialogs.h"
#include "platform/ShellContextMenu.h"
#include "registration/Unit_NewDisk.h"
#include "shell/DropSource.h"
#include "shell/FileProperties.h"
#include "store/Application.h"
#include "store/MainWindow.h"
#include "store/MessageBoxDialogs.h"
#include "store/SingleInstance.h"

int main(int argc, char** argv)
{
    qd::QdApplication app(argc, argv);
    // The application's name only: a display name would be appended to every
    // window title and message box caption on X11 and Wayland.
    qd::QdApplication::setApplicationName(QString::fromLatin1(qd::kApplicationTitle));
    qd::LoadJapaneseTranslations(app);
    qd::QdApplication::setWindowIcon(qd::ApplicationIcon());
    qd::QdApplication::setDesktopFileName(QStringLiteral("qd"));
    qd::MessageBoxDialogs messageBoxes;
    qd::setDialogs(&messageBoxes);
    qd::RegisterDropFormats();
    // The shell's "プロパティ" opens this window.
    qd::setShowProperties([](const QStringList& paths) { qd::TFileProperties::Show(paths); });

    // A Qd already running over the same catalogs takes the file and comes to
    // the front; this start then ends without a window of its own.
    const QString root = qd::CatalogRoot();
    const QString socket = qd::InstanceSocketName(QFile::encodeName(root));
    const QByteArray file = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const qd::HandOff handOff = qd::HandToRunningQd(socket, file);
    if (handOff == qd::HandOff::Handed)
        return 0;

    qd::TForm_Main main(root);

    // The registration wizard and the file search dialog are made after the main
    // window, hidden, and live for the whole run.
    qd::TForm_NewDisk newDisk(&main);
    main.setNewDiskWizard(
        [&newDisk](const QByteArray& folder, const QByteArray& root, const QPoint& topLeft, QChar drive) {
            return newDisk.ShowFor(folder, root, topLeft, drive);
        });
    qd::TForm_SearchFile searchFile(&main);
    main.setSearchDialog(&searchFile);

    main.show();
    // One that does not answer is not robbed of its socket.
    qd::TInstanceServer server;
    if (handOff == qd::HandOff::NoneRunning && server.listen(socket))
        QObject::connect(&server, &qd::TInstanceServer::handed, &main, &qd::TForm_Main::OpenHandedFile);
    // "qd FILE.qd": how a file manager opens a catalog through the desktop entry.
    // The name is taken as its bytes (the application has already removed
    // Qt's own options from argv): decoded to text, a name that is not UTF-8
    // would no longer be the file's.
    if (argc > 1)
        main.OpenCatalogFile(QByteArray(argv[1]));
    const int result = app.exec();
    qd::setShowProperties({});
    qd::setDialogs(nullptr);
    return result;
}
