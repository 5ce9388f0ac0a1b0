// The file list's popup: the fixed entries, then the shell's entries for the
// real files of the selected rows, on drives mapped to temporary folders.
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTreeView>

#include "browse/DiskContents.h"
#include "platform/ShellContextMenu.h"
#include "registration/Scanner.h"
#include "shell/FileContextMenu.h"
#include "store/MainWindow.h"
#include "StoreFixture.h"

using namespace qd;
using namespace qd::test;

namespace {

// A shell whose menus hold the given entries and remember what they were
// asked for and told to do.
class FakeShell final : public ShellUIObjects {
public:
    FakeShell() { previous_ = setShellUIObjects(this); }
    ~FakeShell() override { setShellUIObjects(previous_); }

    std::shared_ptr<IContextMenu> contextMenu(const QStringList& paths) override
    {
        asked.append(paths);
        return giveMenu ? std::make_shared<Menu>(*this) : nullptr;
    }
    std::shared_ptr<QMimeData> dataObject(const QStringList&) override
    {
        return giveData ? std::make_shared<QMimeData>() : nullptr;
    }

    ShellMenu entries = {{QStringLiteral("開く(&O)"), 1}, {QString(), 0}, {QStringLiteral("プロパティ(&R)"), 2}};
    bool giveMenu = true;
    bool giveData = true;
    bool fill = true;
    QList<QStringList> asked;
    QList<int> invoked;

private:
    class Menu final : public IContextMenu {
    public:
        explicit Menu(FakeShell& shell) : shell_(shell) {}
        int QueryContextMenu(ShellMenu& menu, int index, int, int, unsigned) override
        {
            if (!shell_.fill)
                return -1;
            menu.insert(menu.begin() + index, shell_.entries.begin(), shell_.entries.end());
            return int(shell_.entries.size());
        }
        bool InvokeCommand(const CMInvokeCommandInfo& info) override
        {
            shell_.invoked.append(info.verb);
            return true;
        }

    private:
        FakeShell& shell_;
    };
    ShellUIObjects* previous_ = nullptr;
};

class FileContextMenuTest : public StoreFixture {
protected:
    // A catalog "Disk" registered from the letter: in its root the folders
    // DOCS and PHOTO and the files named, in that order on the list.
    void registerDisk(char letter, const std::vector<std::string>& files = {"README.TXT"})
    {
        TDisk disk = sampleDisk();
        disk.DirList[0].Name = std::string(1, letter) + ':';
        disk.DirList[0].FileList.clear();
        for (const std::string& name : files)
            disk.DirList[0].FileList.push_back(sampleFile(name, 10));
        mkdir(QString());
        SaveDiskData(rootPath(QStringLiteral("Disk")), disk);
    }
    void open()
    {
        window = std::make_unique<TForm_Main>(root());
        window->show();
        QTreeWidgetItem* disk = child(window->TreeView1->topLevelItem(0), QStringLiteral("Disk"));
        ASSERT_NE(disk, nullptr);
        window->TreeView1->setCurrentItem(disk);
        window->TreeView1Click();
        ASSERT_TRUE(window->DiskContents->diskShown());
    }
    QItemSelectionModel* selection() const { return window->DiskContents->ListView1Details->selectionModel(); }
    void select(std::initializer_list<int> rows)
    {
        selection()->clear();
        const QAbstractItemModel* model = window->DiskContents->ListView1Details->model();
        for (int row : rows)
            selection()->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // The entries behind the fixed ones: caption, or "-" for a separator.
    QStringList shellEntries() const
    {
        QStringList out;
        const QList<QAction*> all = window->PM_ListView1->actions();
        for (qsizetype i = 3; i < all.size(); ++i)
            out << (all[i]->isSeparator() ? QStringLiteral("-") : all[i]->text());
        return out;
    }
    QAction* entry(const QString& caption) const
    {
        for (QAction* a : window->PM_ListView1->actions())
            if (a->text() == caption)
                return a;
        return nullptr;
    }
    void expectFixedEntries() const
    {
        const QList<QAction*> all = window->PM_ListView1->actions();
        ASSERT_GE(all.size(), 3);
        EXPECT_EQ(all[0], window->N9);
        EXPECT_EQ(all[1], window->N10);
        EXPECT_TRUE(all[2]->isSeparator());
    }

    std::unique_ptr<TForm_Main> window;
};

const QString kNoDisk = QStringLiteral("（指定のディスクがありません）");

} // namespace

TEST_F(FileContextMenuTest, ShellEntriesFollowTheFixedOnesWithTheirTextAndIdentifier)
{
    MappedDrive drive(u'F');
    drive.write(QStringLiteral("README.TXT"));
    registerDisk('F');
    FakeShell shell;
    shell.entries = {{QStringLiteral("開く(&O)"), 1},
                     {QString(), 0},
                     {QStringLiteral("送る(&N)"), -1},
                     {QStringLiteral("データを送る(&S)"), 7},
                     {QStringLiteral("新規作成(&W)"), -1},
                     {QStringLiteral("何もしない"), 0},
                     {QStringLiteral("プロパティ(&R)"), 9}};
    open();
    select({2});
    window->PM_ListView1Popup();

    expectFixedEntries();
    // Send To alone is left out: "送る(" elsewhere than at the start is kept.
    EXPECT_EQ(shellEntries(), (QStringList{QStringLiteral("開く(&O)"), QStringLiteral("-"),
                                           QStringLiteral("データを送る(&S)"), QStringLiteral("新規作成(&W)"),
                                           QStringLiteral("何もしない"), QStringLiteral("プロパティ(&R)")}));
    EXPECT_EQ(entry(QStringLiteral("データを送る(&S)"))->data().toInt(), 7);

    entry(QStringLiteral("プロパティ(&R)"))->trigger();
    entry(QStringLiteral("データを送る(&S)"))->trigger();
    entry(QStringLiteral("何もしない"))->trigger();   // tag 0
    entry(QStringLiteral("新規作成(&W)"))->trigger(); // a submenu: no command
    EXPECT_EQ(shell.invoked, (QList<int>{8, 6}));
    EXPECT_TRUE(window->ShellContextMenu);
    EXPECT_TRUE(window->ShellDataObject);
    EXPECT_TRUE(dialogs_.asked.isEmpty());

    // The next popup starts again from the fixed entries.
    window->PM_ListView1Popup();
    EXPECT_EQ(shellEntries().size(), 6);
}

TEST_F(FileContextMenuTest, TheRootFolderGivesTheDrivesFolderAndTheNameAndFoldersJoinFiles)
{
    MappedDrive drive(u'F');
    drive.mkdir(QStringLiteral("PHOTO"));
    drive.mkdir(QStringLiteral("DOCS"));
    drive.write(QStringLiteral("README.TXT"));
    registerDisk('F');
    FakeShell shell;
    open();

    select({2});
    window->PM_ListView1Popup();
    select({0, 2});
    window->PM_ListView1Popup();
    ASSERT_EQ(shell.asked.size(), 2);
    EXPECT_EQ(shell.asked[0], QStringList{drive.path(QStringLiteral("README.TXT"))});
    EXPECT_EQ(shell.asked[1],
              (QStringList{drive.path(QStringLiteral("DOCS")), drive.path(QStringLiteral("README.TXT"))}));
}

TEST_F(FileContextMenuTest, ADiskRegisteredFromEAndNowInFShowsThatTheDiskIsMissing)
{
    QTemporaryDir shelf;
    MappedDrive empty(u'E', shelf.path() + QStringLiteral("/no-disc"));
    MappedDrive drive(u'F');
    drive.write(QStringLiteral("README.TXT"));
    registerDisk('E');
    FakeShell shell;
    open();
    select({2});
    window->PM_ListView1Popup();

    expectFixedEntries();
    EXPECT_EQ(shellEntries(), QStringList{kNoDisk});
    EXPECT_FALSE(entry(kNoDisk)->isEnabled());
    EXPECT_TRUE(shell.asked.isEmpty());
    EXPECT_TRUE(dialogs_.asked.isEmpty());
}

// Rows not found on the disk (gone since, or a name the catalog could not keep
// and stored with "?") are left out, and whichever entry is chosen the status
// bar says how many.
TEST_F(FileContextMenuTest, RowsNotFoundOnTheDiskAreLeftOutAndCounted)
{
    MappedDrive drive(u'F');
    drive.write(QStringLiteral("a.txt"));
    drive.write(QString::fromUtf8("b😀.txt"));
    drive.write(QStringLiteral("c.txt"));
    registerDisk('F', {"a.txt", "b?.txt", "c.txt", "d.txt"});
    FakeShell shell;
    open();
    select({2, 3, 4, 5});
    window->PM_ListView1Popup();
    ASSERT_EQ(shell.asked.size(), 1);
    EXPECT_EQ(shell.asked[0], (QStringList{drive.path(QStringLiteral("a.txt")), drive.path(QStringLiteral("c.txt"))}));
    EXPECT_EQ(shellEntries().first(), QStringLiteral("開く(&O)"));
    for (const QString& caption : {QStringLiteral("開く(&O)"), QStringLiteral("プロパティ(&R)")}) {
        window->StatusBar1->clearMessage();
        entry(caption)->trigger();
        EXPECT_EQ(window->StatusBar1->currentMessage(),
                  QStringLiteral("選択した 4 個の項目のうち 2 個はディスク上に見つかりませんでした。"));
    }
    // All found: nothing to say.
    select({2, 4});
    window->PM_ListView1Popup();
    window->StatusBar1->clearMessage();
    entry(QStringLiteral("開く(&O)"))->trigger();
    EXPECT_EQ(window->StatusBar1->currentMessage(), QString());
}

// A double-click on a file opens it as the menu's first entry does, when its
// disk is in its drive; when it is not, nothing happens and nothing is said.
TEST_F(FileContextMenuTest, DoubleClickingAFileOpensItWhenItsDiskIsInItsDrive)
{
    QTemporaryDir shelf;
    MappedDrive empty(u'E', shelf.path() + QStringLiteral("/no-disc"));
    MappedDrive drive(u'F');
    drive.write(QStringLiteral("README.TXT"));
    for (const char letter : {'F', 'E'}) {
        SCOPED_TRACE(letter);
        registerDisk(letter);
        FakeShell shell;
        open();
        select({2});
        window->DiskContents->ListView1DblClick();
        EXPECT_EQ(shell.invoked, letter == 'F' ? QList<int>{0} : QList<int>{});
        EXPECT_EQ(shell.asked.size(), letter == 'F' ? 1 : 0);
        EXPECT_TRUE(dialogs_.asked.isEmpty());
        EXPECT_EQ(window->StatusBar1->currentMessage(), QString());
    }
}

TEST_F(FileContextMenuTest, NoSelectionAfterASelectionShowsTheFixedEntriesAlone)
{
    MappedDrive drive(u'F');
    drive.write(QStringLiteral("README.TXT"));
    registerDisk('F');
    FakeShell shell;
    open();
    select({2});
    window->PM_ListView1Popup();
    ASSERT_FALSE(shellEntries().isEmpty());

    select({});
    window->PM_ListView1Popup();
    expectFixedEntries();
    EXPECT_TRUE(shellEntries().isEmpty());
    EXPECT_EQ(shell.asked.size(), 1);
}

TEST_F(FileContextMenuTest, AShellThatFailsIsReportedAndLeavesTheFixedEntries)
{
    const QString error = QStringLiteral("エラー");
    const struct {
        bool giveMenu, giveData, fill;
        QList<DialogRequest> told;
    } cases[] = {
        {false, true, true,
         {{nullptr, QStringLiteral("内部エラーが発生しました。(3090)"), error, DialogIcon::Stop},
          {nullptr, QStringLiteral("error:GetUIObject"), QCoreApplication::applicationName(), DialogIcon::None}}},
        {true, false, true, {{nullptr, QStringLiteral("内部エラーが発生しました。(3091)"), error, DialogIcon::Stop}}},
        {true, true, false, {{nullptr, QStringLiteral("内部エラーが発生しました。(3092)"), error, DialogIcon::Stop}}},
    };
    MappedDrive drive(u'F');
    drive.write(QStringLiteral("README.TXT"));
    registerDisk('F');
    open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told.first().text.toStdString());
        FakeShell shell;
        shell.giveMenu = c.giveMenu;
        shell.giveData = c.giveData;
        shell.fill = c.fill;
        dialogs_.asked.clear();
        select({2});
        window->PM_ListView1Popup();

        expectFixedEntries();
        EXPECT_TRUE(shellEntries().isEmpty());
        ASSERT_EQ(dialogs_.asked.size(), c.told.size());
        for (qsizetype i = 0; i < c.told.size(); ++i) {
            EXPECT_EQ(dialogs_.asked[i].owner, window.get());
            EXPECT_EQ(dialogs_.asked[i].text, c.told[i].text);
            EXPECT_EQ(dialogs_.asked[i].caption, c.told[i].caption);
            EXPECT_EQ(dialogs_.asked[i].icon, c.told[i].icon);
            EXPECT_EQ(dialogs_.asked[i].buttons, DialogButtons::Ok);
        }
        // The objects that the popup got are those of this selection.
        EXPECT_EQ(bool(window->ShellContextMenu), c.giveMenu);
    }
}

TEST_F(FileContextMenuTest, CopyThePathsPutsTheRealPathsOnTheClipboard)
{
    MappedDrive drive(u'F');
    drive.mkdir(QStringLiteral("PHOTO"));
    drive.write(QStringLiteral("a.txt"));
    drive.write(QString::fromUtf8("日本語.txt"));
    registerDisk('F', {"a.txt", toAnsi(QString::fromUtf8("日本語.txt"))});
    open();
    select({1, 2, 3});
    window->PM_ListView1Popup();
    QAction* copy = entry(QStringLiteral("パスのコピー(&A)"));
    ASSERT_NE(copy, nullptr);
    QGuiApplication::clipboard()->clear();
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringList({drive.path(QStringLiteral("PHOTO")), drive.path(QStringLiteral("a.txt")),
                           drive.path(QString::fromUtf8("日本語.txt"))})
                  .join(QLatin1Char('\n')));
}

TEST_F(FileContextMenuTest, ADriveWhoseFolderAppearsAfterStartUpResolvesToIt)
{
    QTemporaryDir shelf;
    const QString later = shelf.path() + QStringLiteral("/disc");
    MappedDrive drive(u'F', later);
    registerDisk('F');
    FakeShell shell;
    open();
    select({2});
    window->PM_ListView1Popup();
    EXPECT_EQ(shellEntries(), QStringList{kNoDisk});

    ASSERT_TRUE(QDir().mkpath(later));
    writeFile(std::filesystem::path(QFile::encodeName(later + QStringLiteral("/README.TXT")).toStdString()), "x");
    window->PM_ListView1Popup();
    ASSERT_EQ(shell.asked.size(), 1);
    EXPECT_EQ(shell.asked[0], QStringList{later + QStringLiteral("/README.TXT")});
}

TEST_F(FileContextMenuTest, BeyondTheShellsArrayOnlyTheFirstRowsAreTaken)
{
    MappedDrive drive(u'F');
    std::vector<std::string> names;
    for (int i = 0; i < int(kMaxShellSelection) + 3; ++i) {
        names.push_back(QStringLiteral("f%1.txt").arg(i, 4, 10, QLatin1Char('0')).toStdString());
        drive.write(QString::fromStdString(names.back()));
    }
    registerDisk('F', names);
    FakeShell shell;
    open();
    const QAbstractItemModel* model = window->DiskContents->ListView1Details->model();
    selection()->select(QItemSelection(model->index(2, 0), model->index(model->rowCount() - 1, 0)),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window->PM_ListView1Popup();
    ASSERT_EQ(shell.asked.size(), 1);
    ASSERT_EQ(shell.asked[0].size(), qsizetype(kMaxShellSelection));
    EXPECT_EQ(shell.asked[0].first(), drive.path(QStringLiteral("f0000.txt")));
    EXPECT_EQ(shell.asked[0].last(), drive.path(QStringLiteral("f1023.txt")));
}

TEST_F(FileContextMenuTest, ARightClickInEitherViewOpensThePopup)
{
    MappedDrive drive(u'F');
    drive.write(QStringLiteral("README.TXT"));
    registerDisk('F');
    FakeShell shell;
    open();
    select({2});
    for (auto style : {TDiskContents::ViewStyle::LargeIcon, TDiskContents::ViewStyle::Detail}) {
        window->DiskContents->setViewStyle(style);
        auto* view = qobject_cast<QAbstractItemView*>(window->DiskContents->ListView1->currentWidget());
        ASSERT_NE(view, nullptr);
        const QPoint at = view->visualRect(view->model()->index(2, 0)).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view->viewport(), &click);
        EXPECT_TRUE(window->PM_ListView1->isVisible());
        EXPECT_EQ(shellEntries().first(), QStringLiteral("開く(&O)"));
        window->PM_ListView1->close();
    }
    EXPECT_EQ(shell.asked.size(), 2);
}

// The real paths come from the shown folder's records, never from its path
// text: the folder named "a\b" is not the folder b inside a, and a folder
// replaced by a link (to elsewhere) is not followed.
TEST_F(FileContextMenuTest, RowsAreFoundFromTheFolderRecordsNotFromThePathText)
{
    MappedDrive drive(u'F');
    drive.write(QStringLiteral("a\\b/same.txt"));
    drive.write(QStringLiteral("a/b/same.txt"));
    TDisk disk;
    ScanControl control;
    ASSERT_TRUE(WalkDrive(u'F', disk, control, nullptr).completed);
    mkdir(QString());
    SaveDiskData(rootPath(QStringLiteral("Disk")), disk);
    FakeShell shell;
    open();
    const auto folder = [&](std::string_view name, std::int32_t parent) {
        std::int32_t f = 1;
        while (disk.DirList[std::size_t(f)].Name.view() != name || disk.DirList[std::size_t(f)].Parent != parent)
            ++f;
        return f;
    };
    const auto popupIn = [&](std::int32_t shown) {
        window->DiskContents->CurrentFolder = shown;
        window->DiskContents->ShowFolder();
        select({0});
        window->PM_ListView1Popup();
    };
    const std::int32_t nested = folder("b", folder("a", 0));
    popupIn(folder("a\\b", 0));
    popupIn(nested);
    ASSERT_EQ(shell.asked.size(), 2);
    EXPECT_EQ(shell.asked[0], QStringList{drive.path(QStringLiteral("a\\b/same.txt"))});
    EXPECT_EQ(shell.asked[1], QStringList{drive.path(QStringLiteral("a/b/same.txt"))});

    QTemporaryDir elsewhere; // with a b/same.txt of its own
    ASSERT_TRUE(QDir().mkpath(elsewhere.filePath("b")) && QFile(elsewhere.filePath("b/same.txt")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir(drive.path("a")).removeRecursively() && QFile::link(elsewhere.path(), drive.path("a")));
    popupIn(nested);
    EXPECT_EQ(shellEntries(), QStringList{kNoDisk});
}
