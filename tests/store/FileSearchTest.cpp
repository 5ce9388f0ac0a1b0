// The file search as the main window runs it: from the tree's context menu,
// through the dialog and Timer2, into the results pane, and back to the
// contents view by a double-click.
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QListView>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <functional>
#include <sys/stat.h>

#include "browse/DiskContents.h"
#include "browse/FileSearch.h"
#include "browse/SearchResults.h"
#include "browse/Unit_SearchFile.h"
#include "catalog/Cp932.h"
#include "store/MainWindow.h"
#include "StoreFixture.h"
#include "support/Unprivileged.h"

using namespace qd;
using namespace qd::test;

namespace {

std::string sjis(const std::string& utf8) { return cp932::fromUtf8(utf8).bytes; }

class FileSearchTest : public StoreFixture {
protected:
    // A disk with files in its root folder and in its folder a\b.
    void disk(const QString& relativeWithoutExtension, const std::vector<std::string>& rootFiles,
              const std::vector<std::string>& deepFiles = {}) const
    {
        TDisk d;
        d.IconImage = smallBmp(24, 0x60);
        d.IconMask = smallBmp(1, 0x00);
        auto folder = [&](const char* name, int parent, const std::vector<std::string>& files) {
            TDir& dir = d.DirList.emplace_back();
            dir.Name = name;
            dir.Parent = parent;
            for (const std::string& f : files)
                dir.FileList.push_back(sampleFile(sjis(f), 1));
        };
        folder("D:", -1, rootFiles);
        folder("a", 0, {});
        folder("b", 1, deepFiles);
        folder("report", 0, {"notes"}); // a folder's name never makes a hit
        std::filesystem::create_directories(rootPath(relativeWithoutExtension).parent_path());
        SaveDiskData(rootPath(relativeWithoutExtension), d);
    }
    // Files named "hit N" (forty unless told): the search lets events run in them.
    static std::vector<std::string> manyHits(int count = 40)
    {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i)
            names.push_back("hit " + std::to_string(i));
        return names;
    }

    void open(bool programsIntervals = false)
    {
        window = std::make_unique<TForm_Main>(root());
        dialog = std::make_unique<TForm_SearchFile>(window.get());
        window->setSearchDialog(dialog.get());
        // Events and rows at every point, so that the tests know when.
        if (!programsIntervals) {
            window->FileSearch->EventInterval = {};
            window->FileSearch->RowInterval = {};
        }
        window->show();
    }
    QTreeWidgetItem* top() const { return window->TreeView1->topNode(); }
    // The node at a path of texts below the top node ("" for the top node).
    QTreeWidgetItem* node(const QString& path) const
    {
        QTreeWidgetItem* n = top();
        for (const QString& part : path.split('/', Qt::SkipEmptyParts))
            n = child(n, part);
        return n;
    }

    // The search as Timer2 runs it, from start.
    void search(QTreeWidgetItem* start, const QString& text)
    {
        ASSERT_TRUE(start);
        window->TreeView1->setCurrentItem(start);
        dialog->Edit1->setText(text);
        window->Timer2Timer();
    }
    // "ファイルの検索" on the context node start: the dialog is answered with
    // text and one of its buttons, then Timer2 is waited for.
    void searchFromMenu(QTreeWidgetItem* start, const QString& text, bool accept)
    {
        QTimer::singleShot(0, dialog.get(), [this, text, accept] {
            EXPECT_TRUE(dialog->isVisible());
            dialog->Edit1->setText(text);
            (accept ? dialog->Button1 : dialog->Button2)->click();
        });
        window->TreeView1->ContextNode = start;
        window->N6Click();
        while (window->Timer2->isActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    // Runs action at the first point where the search lets events run after
    // it has listed at least `rows` rows.
    void whenListed(int rows, std::function<void()> action)
    {
        auto done = std::make_shared<bool>(false);
        QObject::connect(results(), &QAbstractItemModel::rowsInserted, window.get(), [=, this] {
            if (*done || results()->rowCount() < rows)
                return;
            *done = true;
            QTimer::singleShot(0, window.get(), action);
        });
    }

    TSearchResults* results() const { return window->FileSearch->results(); }
    // Every row as "disk|file|folder".
    QStringList rows() const
    {
        QStringList out;
        for (int r = 0; r < results()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < TSearchResults::ColumnCount; ++c)
                cells << results()->index(r, c).data().toString();
            out << cells.join('|');
        }
        return out;
    }
    QStringList disksListed() const
    {
        QStringList out;
        for (const QString& r : rows())
            out << r.section('|', 0, 0);
        return out;
    }
    void doubleClickRow(int row)
    {
        window->ListView_SearchFile->selectionModel()->select(
            results()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window->ListView_SearchFileDblClick();
    }

    std::unique_ptr<TForm_Main> window;
    std::unique_ptr<TForm_SearchFile> dialog;
};

} // namespace

// --- what is found ----------------------------------------------------------------------

TEST_F(FileSearchTest, ThePaneHasItsColumnsMenuAndDialog)
{
    open();
    const QTreeView* list = window->ListView_SearchFile;
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(list->model(), results());
    const int widths[] = {130, 130, 270};
    const char* captions[] = {"ディスク名", "ファイル名", "フォルダ名"};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(results()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), captions[c]);
        EXPECT_EQ(list->columnWidth(c), widths[c]);
    }
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(window->Stop1->isEnabled());
    EXPECT_TRUE(window->Timer2->isSingleShot());
    EXPECT_EQ(window->Timer2->interval(), 1);
    EXPECT_FALSE(window->Timer2->isActive());

    EXPECT_EQ(dialog->windowTitle(), "ファイルの検索");
    EXPECT_EQ(dialog->size(), QSize(267, 75));
    EXPECT_EQ(dialog->pos(), QPoint(290, 248));
    EXPECT_TRUE(dialog->Edit1->text().isEmpty());
    EXPECT_EQ(dialog->Edit1->geometry().topLeft(), QPoint(8, 8));
    EXPECT_EQ(dialog->Edit1->width(), 249);
    EXPECT_EQ(dialog->Button1->text(), "検索開始");
    EXPECT_EQ(dialog->Button1->geometry(), QRect(40, 40, 75, 22));
    EXPECT_TRUE(dialog->Button1->isDefault());
    EXPECT_EQ(dialog->Button2->text(), "キャンセル");
    EXPECT_EQ(dialog->Button2->geometry().topLeft(), QPoint(136, 40));
}

TEST_F(FileSearchTest, ASearchCoversExactlyTheDisksBelowItsStartInTheTreesOrder)
{
    // The tree: A (B (d3), d2), d1, Z. A is listed before d1.
    disk("d1", {"report.doc", "Report.doc", "myreport.txt"});
    disk("A/d2", {"report.txt"});
    disk("A/B/d3", {"x.report"});
    disk("Z", {"none"});
    open();
    const struct {
        QString start;
        QStringList disks;
    } cases[] = {
        {"", {"d3", "d2", "d1", "d1"}},
        {"A", {"d3", "d2"}},
        {"A/B", {"d3"}},
        {"d1", {"d1", "d1"}},
        {"Z", {}},
    };
    for (const auto& c : cases) {
        search(node(c.start), "report");
        EXPECT_EQ(disksListed(), c.disks) << c.start.toStdString();
    }
    search(node("d1"), "report");
    EXPECT_EQ(rows(), (QStringList{"d1|report.doc|D:", "d1|myreport.txt|D:"}));
    EXPECT_TRUE(dialogs_.asked.isEmpty());
}

// The text as typed reaches the matching in code page 932.
TEST_F(FileSearchTest, MatchingIsExactOnCharacterBoundariesAndTheEmptyTextFindsNothing)
{
    disk("CD01", {"readme.txt", "ア", "写真 1.jpg", "NOTES", "a*b"}, {"deep.txt"});
    open();
    const struct {
        QString text;
        QStringList files;
    } cases[] = {
        {"", {}},
        {".", {"readme.txt", "写真 1.jpg", "deep.txt"}},
        {"A", {}}, // only the second byte of ア
        {"写真", {"写真 1.jpg"}},
        {"*", {"a*b"}},
        {"😀", {}}, // no code page 932 form: no name can hold it
    };
    for (const auto& c : cases) {
        search(node("CD01"), c.text);
        QStringList files;
        for (const QString& r : rows())
            files << r.section('|', 1, 1);
        EXPECT_EQ(files, c.files) << c.text.toStdString();
    }
}

TEST_F(FileSearchTest, ARowShowsTheDiskWithItsPictureTheFileAndTheFolder)
{
    disk("CD01", {"top.txt"}, {"deep.txt"});
    open();
    search(node("CD01"), ".txt");
    EXPECT_EQ(rows(), (QStringList{"CD01|top.txt|D:", "CD01|deep.txt|D:\\a\\b"}));
    EXPECT_FALSE(results()->index(0, TSearchResults::DiskName).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_TRUE(results()->index(0, TSearchResults::FileName).data(Qt::DecorationRole).isNull());
    // The folder column shows the tree's folder picture.
    const QIcon folder = results()->index(1, TSearchResults::FolderName).data(Qt::DecorationRole).value<QIcon>();
    EXPECT_EQ(folder.pixmap(16).toImage(), window->TreeView1->nodeIcon(0).pixmap(16).toImage());
}

// --- opening, cancelling, jumping --------------------------------------------------------

TEST_F(FileSearchTest, TheDialogStartsTheSearchOnTheContextNodeAndKeepsItsText)
{
    disk("d1", {"a.txt"});
    disk("d2", {"b.txt"});
    open();
    searchFromMenu(node("d2"), ".txt", true);
    EXPECT_TRUE(window->ListView_SearchFile->isVisible());
    EXPECT_EQ(window->ListView_SearchFile->height(), 65);
    EXPECT_EQ(rows(), QStringList{"d2|b.txt|D:"});
    EXPECT_EQ(window->TreeView1->currentItem(), node("d2"));
    EXPECT_TRUE(window->DiskContents->diskShown());

    // The text is kept for the next search.
    QString offered;
    QTimer::singleShot(0, dialog.get(), [&] {
        offered = dialog->Edit1->text();
        dialog->Button1->click();
    });
    window->TreeView1->ContextNode = top();
    window->N6Click();
    while (window->Timer2->isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(offered, ".txt");
    EXPECT_EQ(disksListed(), (QStringList{"d1", "d2"}));
}

TEST_F(FileSearchTest, CancelStartsNoSearchButShowsTheContextNode)
{
    disk("d1", {"a.txt"});
    disk("d2", {"b.txt"});
    open();
    search(node("d1"), ".txt");
    searchFromMenu(node("d2"), "b", false);
    EXPECT_FALSE(window->Timer2->isActive());
    EXPECT_EQ(rows(), QStringList{"d1|a.txt|D:"}); // the last search's rows stay
    EXPECT_TRUE(window->ListView_SearchFile->isVisible());
    EXPECT_EQ(window->TreeView1->currentItem(), node("d2"));
    EXPECT_TRUE(window->DiskContents->diskShown());
}

TEST_F(FileSearchTest, ADoubleClickOpensTheHitsDiskAtItsFolder)
{
    std::vector<std::string> deep = manyHits(2000);
    deep.push_back("zz deep.txt"); // listed after all others
    disk("d1", {"x"}, deep);
    disk("d2", {"top.txt"});
    open();
    search(top(), ".txt");
    ASSERT_EQ(rows(), (QStringList{"d1|zz deep.txt|D:\\a\\b", "d2|top.txt|D:"}));
    window->TreeView1->setCurrentItem(node("d2"));
    window->TreeView1Click();

    window->PageControl1->setCurrentWidget(window->TabSheet2);
    doubleClickRow(0);
    EXPECT_EQ(window->TreeView1->currentItem(), node("d1"));
    EXPECT_TRUE(window->DiskContents->diskShown());
    EXPECT_EQ(window->DiskContents->CurrentFolder, 2);
    EXPECT_EQ(window->DiskContents->P_FolderName->text(), "D:\\a\\b");
    EXPECT_TRUE(window->TB_Updir->isEnabled());
    EXPECT_EQ(window->DiskContents->PendingFolder, -1);
    // The file list in front, with the hit selected and, once the icons are
    // arranged, in view.
    EXPECT_EQ(window->PageControl1->currentWidget(), window->TabSheet1);
    const std::vector<FolderRow> selected = window->DiskContents->selectedRows();
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].kind, FolderRow::File);
    EXPECT_EQ(window->DiskContents->ShownDisk.DirList[2].FileList[std::size_t(selected[0].index)].Name.str(), "zz deep.txt");
    QListView* icons = window->DiskContents->ListView1Icons;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->DiskContents->Timer1->isActive(); }));
    EXPECT_TRUE(icons->viewport()->rect().intersects(icons->visualRect(icons->currentIndex())));

    doubleClickRow(1);
    EXPECT_EQ(window->TreeView1->currentItem(), node("d2"));
    EXPECT_EQ(window->DiskContents->CurrentFolder, 0);
    EXPECT_FALSE(window->TB_Updir->isEnabled());

    // A jump that the comment question cancels stays on the disk shown and
    // leaves no folder pending for the next disk shown.
    window->DiskContents->RichEdit_Comment->setPlainText("still typing");
    dialogs_.answers.enqueue(DialogAnswer::Cancel);
    doubleClickRow(0);
    EXPECT_EQ(window->TreeView1->currentItem(), node("d2"));
    EXPECT_EQ(window->DiskContents->PendingFolder, -1);

    // Without a selected row nothing happens.
    window->ListView_SearchFile->selectionModel()->clearSelection();
    window->TreeView1->setCurrentItem(top());
    window->ListView_SearchFileDblClick();
    EXPECT_EQ(window->TreeView1->currentItem(), top());
}

TEST_F(FileSearchTest, ARowStillFindsItsDiskAfterARefreshAndNothingOnceItIsGone)
{
    disk("A/d1", {"x"}, {"deep.txt"});
    open();
    search(top(), "deep");
    ASSERT_EQ(rows().size(), 1);
    window->Refresh1Click();
    doubleClickRow(0);
    EXPECT_EQ(window->TreeView1->currentItem(), node("A/d1"));
    EXPECT_EQ(window->DiskContents->CurrentFolder, 2);

    std::filesystem::remove(rootPath("A/d1.qd"));
    window->Refresh1Click();
    window->TreeView1->setCurrentItem(top());
    window->TreeView1Click();
    doubleClickRow(0);
    EXPECT_EQ(window->TreeView1->currentItem(), top());
    EXPECT_FALSE(window->DiskContents->diskShown());
    EXPECT_TRUE(dialogs_.asked.isEmpty());
}

TEST_F(FileSearchTest, AMenuOpenedFromTheKeyboardSearchesFromTheSelectedNode)
{
    disk("d1", {"a.txt"});
    disk("d2", {"b.txt"});
    open();
    window->TreeView1->ContextNode = node("d1"); // from an earlier right-button press
    window->TreeView1->setCurrentItem(node("d2"));
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5), window->TreeView1->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(window->TreeView1, &key);
    ASSERT_TRUE(window->PopupMenu_Tree->isVisible());
    window->PopupMenu_Tree->hide();

    QTimer::singleShot(0, dialog.get(), [this] {
        dialog->Edit1->setText(".txt");
        dialog->Button1->click();
    });
    window->N6Click();
    while (window->Timer2->isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(disksListed(), QStringList{"d2"});
}

// --- stopping, closing, failures -----------------------------------------------------------

TEST_F(FileSearchTest, StopKeepsTheRowsSoFarAndAddsNoneAfter)
{
    disk("d1", manyHits());
    disk("d2", manyHits());
    disk("d3", manyHits());
    open();
    int atStop = -1;
    bool enabledMeanwhile = false;
    whenListed(40, [&] {
        enabledMeanwhile = window->Stop1->isEnabled();
        atStop = results()->rowCount();
        window->Stop1->trigger();
    });
    search(top(), "hit");
    EXPECT_TRUE(enabledMeanwhile);
    EXPECT_EQ(atStop, 40);
    EXPECT_EQ(results()->rowCount(), 40);
    EXPECT_EQ(disksListed(), QStringList(40, "d1"));
    EXPECT_FALSE(window->Stop1->isEnabled());
    EXPECT_FALSE(window->FileSearch->running());
}

// With the intervals the program uses, most points of the search read no
// clock and let no events run: a stop still ends it at the very next point,
// not at the next reading of the clock (every 64th point).
TEST_F(FileSearchTest, AStopEndsTheSearchAtTheNextPointWithTheProgramsIntervals)
{
    disk("d1", {"hit"}); // fewer files than come before the first point
    disk("d2", manyHits(3000));
    open(true);
    QObject::connect(window->StatusBar1, &QStatusBar::messageChanged, window.get(), [&](const QString& text) {
        if (text.startsWith(QStringLiteral("検索中: d2")))
            window->Stop1->trigger();
    });
    search(top(), "hit");
    EXPECT_LT(disksListed().count("d2"), 64);
    EXPECT_TRUE(window->StatusBar1->currentMessage().startsWith(QStringLiteral("検索を中断しました")));
}

// The status bar names the disk being read, its place and the hits so far.
TEST_F(FileSearchTest, RowsOfALargeDiskShowWhileItIsReadAndAStopKeepsThem)
{
    disk("d1", manyHits(1234));
    disk("d2", {"none"});
    disk("d3", manyHits(3000));
    open();
    QStringList said;
    QObject::connect(window->StatusBar1, &QStatusBar::messageChanged, window.get(),
                     [&](const QString& text) { said << text; });
    int shown = -1;
    whenListed(1234 + 1000, [&] {
        shown = results()->rowCount();
        window->Stop1->trigger();
    });
    search(top(), "hit");
    EXPECT_GE(shown, 1234 + 1000);
    EXPECT_LT(shown, 1234 + 3000) << "the rows came before d3 was read to its end";
    EXPECT_EQ(results()->rowCount(), shown);
    EXPECT_EQ(disksListed().count("d3"), shown - 1234);
    ASSERT_FALSE(said.isEmpty());
    EXPECT_EQ(said.first(), "検索中: d1 (1/3)  0 件");
    EXPECT_TRUE(said.contains("検索中: d2 (2/3)  1,234 件"));
    EXPECT_TRUE(said.contains("検索中: d3 (3/3)  1,234 件"));
    EXPECT_EQ(window->StatusBar1->currentMessage(),
              QString("検索を中断しました  %1 件").arg(QLocale(QLocale::Japanese).toString(shown)));
}

TEST_F(FileSearchTest, ThePaneKeepsTheHeightItWasDraggedToForTheNextRun)
{
    disk("d1", {"a.txt"});
    open();
    searchFromMenu(node("d1"), ".txt", true);
    ASSERT_EQ(window->ListView_SearchFile->height(), 65);
    // The user drags the splitter's handle 40 pixels up.
    QSplitterHandle* handle = window->Splitter2->handle(1);
    const QPoint from = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, from);
    QTest::mouseMove(handle, from - QPoint(0, 40));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, from - QPoint(0, 40));
    const int dragged = window->ListView_SearchFile->height();
    ASSERT_GT(dragged, 65 + 30);

    window->Close2->trigger(); // a pane closed before the end keeps it too
    window->close();
    dialog.reset(); // before the window, which owns it
    window.reset();
    open();
    searchFromMenu(node("d1"), ".txt", true);
    EXPECT_EQ(window->ListView_SearchFile->height(), dragged);
}

TEST_F(FileSearchTest, ClosingThePaneHidesItAndRemovesTheRows)
{
    disk("d1", {"a.txt"});
    open();
    searchFromMenu(node("d1"), ".txt", true);
    ASSERT_EQ(results()->rowCount(), 1);
    window->Close2->trigger();
    EXPECT_FALSE(window->ListView_SearchFile->isVisible());
    EXPECT_EQ(results()->rowCount(), 0);
}

TEST_F(FileSearchTest, CatalogsThatFailGiveNoRowsAndAreToldOnce)
{
    disk("a", manyHits());
    catalogFile("b.qd", 2); // another data type: in the tree, not searchable
    disk("c", {"hit.txt"});
    open();
    search(top(), "hit");
    EXPECT_EQ(results()->rowCount(), 41);
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_EQ(dialogs_.asked[0].text, "データタイプの指定エラーです。(5105)");
    EXPECT_EQ(dialogs_.asked[0].caption, "エラー");
    EXPECT_EQ(dialogs_.asked[0].icon, DialogIcon::None);
    EXPECT_EQ(dialogs_.asked[0].buttons, DialogButtons::Ok);
    EXPECT_EQ(dialogs_.asked[0].owner, window.get());
}

TEST_F(FileSearchTest, ACatalogDamagedFarInKeepsTheRowsFoundBeforeAndIsTold)
{
    disk("a", {}, manyHits());
    const std::string whole = readFile(rootPath("a.qd"));
    writeFile(rootPath("a.qd"), whole.substr(0, whole.rfind("hit 39") + 3)); // inside the last hit's record
    disk("b", {"hit.txt"});
    open();
    search(top(), "hit");
    EXPECT_EQ(disksListed(), QStringList(39, "a") + QStringList{"b"});
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_TRUE(dialogs_.asked[0].text.contains("a.qd")) << dialogs_.asked[0].text.toStdString();
    EXPECT_EQ(window->StatusBar1->currentMessage(), "40 件見つかりました");
}

TEST_F(FileSearchTest, FoldersThatCouldNotBeListedAreNamedOnceAfterTheSearch)
{
    disk("Locked/inside", {"hit.txt"});
    disk("Open/d1", {"hit.txt"});
    disk("Shut/inside", {"hit.txt"});
    open();
    ASSERT_EQ(::chmod(temp_.path().c_str(), 0755), 0);
    for (const char* locked : {"Locked", "Shut"})
        ASSERT_EQ(::chmod(rootPath(locked).c_str(), 0), 0);
    {
        const Unprivileged nobody;
        if (!nobody.ok())
            GTEST_SKIP() << "running as root and cannot take an unprivileged user's rights here";
        window->Refresh1Click();
    }
    for (const char* locked : {"Locked", "Shut"})
        ::chmod(rootPath(locked).c_str(), 0755);
    search(top(), "hit");
    EXPECT_EQ(disksListed(), QStringList{"d1"});
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_EQ(dialogs_.asked[0].text, "次のフォルダを読み込めませんでした。中のディスクは検索されていません。\r\n" +
                                          root() + "/Locked\r\n" + root() + "/Shut");
    EXPECT_EQ(dialogs_.asked[0].caption, "エラー");
    EXPECT_EQ(dialogs_.asked[0].icon, DialogIcon::Exclamation);
    EXPECT_EQ(window->StatusBar1->currentMessage(), "1 件見つかりました");
}

// --- the tree changing under a running search ---------------------------------------------------

TEST_F(FileSearchTest, ASecondSearchCannotStartWhileOneRuns)
{
    disk("d1", manyHits());
    disk("d2", manyHits());
    open();
    bool offered = true, dialogShown = false;
    whenListed(40, [&] {
        window->PopupMenu_TreePopup();
        offered = window->N6->isEnabled();
        QTimer::singleShot(0, dialog.get(), [&] {
            dialogShown = dialog->isVisible();
            dialog->reject();
        });
        window->N6Click();
    });
    search(top(), "hit");
    EXPECT_FALSE(offered);
    EXPECT_FALSE(window->Timer2->isActive());
    EXPECT_EQ(results()->rowCount(), 80);
    EXPECT_TRUE(window->N6->isEnabled());
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialogShown);
}

TEST_F(FileSearchTest, RefreshDuringTheSearchEndsItAndRefreshesAfterwards)
{
    disk("F/d1", manyHits());
    disk("F/d2", manyHits());
    disk("F/d3", manyHits());
    open();
    const auto before = window->TreeView1->generation();
    whenListed(40, [&] {
        window->Refresh1->trigger();
        EXPECT_EQ(window->TreeView1->generation(), before) << "no node may go while the search walks them";
    });
    search(node("F"), "hit");
    EXPECT_EQ(window->TreeView1->generation(), before + 1);
    EXPECT_EQ(disksListed(), QStringList(40, "d1"));
    EXPECT_FALSE(window->FileSearch->running());
    // The rows outlive the nodes they were found under.
    doubleClickRow(0);
    EXPECT_EQ(window->TreeView1->currentItem(), node("F/d1"));
}

TEST_F(FileSearchTest, DeletingADiskDuringTheSearchEndsItAndDeletesAfterwards)
{
    disk("d1", manyHits());
    disk("d2", manyHits());
    disk("d3", manyHits());
    open();
    whenListed(40, [&] {
        window->TreeView1->ContextNode = node("d3");
        dialogs_.answers.enqueue(DialogAnswer::Yes);
        window->Delete1->trigger();
        EXPECT_TRUE(std::filesystem::exists(rootPath("d3.qd"))) << "the deletion waits for the search to end";
    });
    search(top(), "hit");
    EXPECT_EQ(results()->rowCount(), 40);
    EXPECT_FALSE(std::filesystem::exists(rootPath("d3.qd")));
    EXPECT_TRUE(QFileInfo::exists(trashFiles() + "/d3.qd"));
    EXPECT_EQ(texts(top()), (QStringList{"d1", "d2"}));
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_EQ(dialogs_.asked[0].caption, "削除");
}

TEST_F(FileSearchTest, ATreeRefreshFromElsewhereWaitsAndAVanishedCatalogIsToldOnce)
{
    disk("d1", manyHits());
    disk("d2", manyHits());
    disk("d3", manyHits());
    open();
    const auto before = window->TreeView1->generation();
    whenListed(40, [&] {
        // The tree's own delete, without asking the main window: the file
        // goes at once, the refresh waits.
        dialogs_.answers.enqueue(DialogAnswer::Yes);
        EXPECT_TRUE(window->TreeView1->deleteNode(node("d3")));
        window->TreeView1->refresh();
        EXPECT_EQ(window->TreeView1->generation(), before);
    });
    search(top(), "hit");
    // d2 is searched to its end over the old nodes; d3's catalog is gone.
    EXPECT_EQ(disksListed().count("d2"), 40);
    EXPECT_EQ(disksListed().count("d3"), 0);
    EXPECT_EQ(window->TreeView1->generation(), before + 1);
    EXPECT_EQ(texts(top()), (QStringList{"d1", "d2"}));
    ASSERT_EQ(dialogs_.asked.size(), 2); // the question, then the vanished catalog once
    EXPECT_TRUE(dialogs_.asked[1].text.startsWith(" 指定のファイルは存在しません。(5101)\r\n"));
    EXPECT_TRUE(dialogs_.asked[1].text.endsWith("d3.qd"));
}
