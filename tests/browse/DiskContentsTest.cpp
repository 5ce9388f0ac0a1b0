#include <gtest/gtest.h>

#include <QAction>
#include <QDate>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <QHelpEvent>
#include <QToolTip>

#include "browse/DiskContents.h"
#include "browse/FolderModel.h"
#include "browse/FolderRows.h"
#include "platform/Fonts.h"
#include "browse/LargeIconDelegate.h"
#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/ChildWriter.h"
#include "support/QtApp.h"
#include "support/ScriptedDialogs.h"

using namespace qd;
using namespace qd::test;

namespace {

class DiskContentsTest : public ::testing::Test {
protected:
    DiskContentsTest()
    {
        new QVBoxLayout(&host);
        remake();
        host.resize(600, 500);
        host.show();
    }

    // A new view on new panels, as a program started now makes it.
    void remake()
    {
        contents.reset();
        delete filePanel;
        delete propertyPanel;
        host.layout()->addWidget(filePanel = new QLabel(QString::fromUtf8("選択されていません")));
        host.layout()->addWidget(propertyPanel = new QLabel(QString::fromUtf8("選択されていません")));
        contents = std::make_unique<TDiskContents>(filePanel, propertyPanel);
        QObject::connect(contents.get(), &TDiskContents::updirEnabledChanged, [this](bool on) { updir = on; });
        QObject::connect(contents.get(), &TDiskContents::reloadEnabledChanged, [this](bool on) { reload = on; });
    }

    std::filesystem::path save(const char* title, const TDisk& disk)
    {
        SaveDiskData(dir / title, disk);
        return dir / (std::string(title) + ".qd");
    }

    QStringList names() const
    {
        QStringList out;
        const auto* model = contents->ListView1Details->model();
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->index(r, 0).data().toString();
        return out;
    }

    QString cell(int row, int column) const
    {
        return contents->ListView1Details->model()->index(row, column).data().toString();
    }

    void select(std::initializer_list<int> rows)
    {
        auto* view = contents->ListView1Details;
        view->selectionModel()->clearSelection();
        for (int r : rows)
            view->selectionModel()->select(view->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // Root with folders Z and a (a holds a file), files b, A and c.
    static TDisk mixedDisk()
    {
        TDisk disk = sampleDisk();
        disk.DirList.resize(1);
        TDir& root = disk.DirList[0];
        root.FileList.clear();
        for (const char* n : {"b", "A", "c"})
            root.FileList.push_back(sampleFile(n, 100));
        for (const char* n : {"Z", "a"}) {
            TDir& d = disk.DirList.emplace_back();
            d.Name = n;
            d.Parent = 0;
            d.Attr = kAttrDirectory;
            d.Date = CivilToDateTime({2001, 2, 3, 0, 0, 0});
            d.Comment = "line 1\r\nline 2";
        }
        disk.DirList[2].FileList.push_back(sampleFile("inner.txt", 5));
        disk.DirList[2].FileList.push_back(sampleFile("Alpha.txt", 6));
        return disk;
    }

    bool app = (ensureApp<QApplication>(), true); // before any widget
    ScriptedDialogs dialogs;
    TempDir dir;
    QWidget host;
    QWidget* filePanel = nullptr;
    QWidget* propertyPanel = nullptr;
    std::unique_ptr<TDiskContents> contents;
    bool updir = true;
    bool reload = false;
};

} // namespace

TEST_F(DiskContentsTest, NothingIsShownBeforeADiskIsClicked)
{
    EXPECT_FALSE(contents->ListView1->isVisible());
    EXPECT_FALSE(contents->P_Disk->isVisible());
    EXPECT_FALSE(contents->diskShown());
}

TEST_F(DiskContentsTest, EmptyRootShowsAnEmptyListAndTheDrive)
{
    TDisk disk = sampleDisk();
    disk.DirList.resize(1);
    disk.DirList[0].FileList.clear();
    contents->showDisk(save("empty", disk), &host);
    EXPECT_TRUE(contents->ListView1->isVisible());
    EXPECT_TRUE(contents->P_Disk->isVisible());
    EXPECT_EQ(contents->ListView1Details->model()->rowCount(), 0);
    EXPECT_FALSE(updir);
    EXPECT_TRUE(reload);
    EXPECT_EQ(contents->P_FolderName->text(), "D:");
    EXPECT_EQ(contents->E_Drive->text(), "D:\\");
    EXPECT_EQ(contents->E_CountFolder->text(), "1");
    EXPECT_EQ(contents->E_CountFile->text(), "0");
    EXPECT_EQ(contents->E_TotalSize->text(), "700 MB");
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(DiskContentsTest, FoldersFirstThenFilesEachByNameIgnoringCase)
{
    contents->showDisk(save("mixed", mixedDisk()), &host);
    EXPECT_EQ(names(), QStringList({"a", "Z", "A", "b", "c"}));
    // A folder row: name, the recorded date (midnight: no time), the comment's first line.
    EXPECT_EQ(cell(0, FolderModel::Size), "");
    EXPECT_EQ(cell(0, FolderModel::Created), DateTimeForms(CivilToDateTime({2001, 2, 3, 0, 0, 0})).value(0));
    EXPECT_EQ(DateTimeForms(CivilToDateTime({2001, 2, 3, 0, 0, 0})).size(), 2) << "a date and its short form only";
    EXPECT_EQ(cell(0, FolderModel::Modified), "");
    EXPECT_EQ(cell(0, FolderModel::Comment), "line 1");
    EXPECT_EQ(cell(2, FolderModel::Size), "100 B");
    EXPECT_FALSE(cell(2, FolderModel::Modified).isEmpty());
    EXPECT_EQ(contents->ListView1Details->model()->index(0, 0).data(FolderModel::KindRole).toInt(), FolderRow::Folder);
    EXPECT_EQ(contents->E_CountFile->text(), "5");
    EXPECT_EQ(contents->E_CountFolder->text(), "3");
    // The whole disk comment on the property page.
    EXPECT_EQ(contents->RichEdit_Comment->toPlainText(), "first line\nsecond line");
}

TEST_F(DiskContentsTest, OpensAFolderAndGoesUpAgain)
{
    contents->showDisk(save("mixed", mixedDisk()), &host);
    select({0}); // folder a
    contents->ListView1DblClick();
    EXPECT_EQ(contents->CurrentFolder, 2);
    EXPECT_TRUE(updir);
    EXPECT_EQ(contents->P_FolderName->text(), "D:\\a");
    EXPECT_EQ(names(), QStringList({"Alpha.txt", "inner.txt"}));

    contents->TB_UpdirClick();
    EXPECT_EQ(contents->CurrentFolder, 0);
    EXPECT_FALSE(updir);
    EXPECT_EQ(contents->P_FolderName->text(), "D:");
    EXPECT_EQ(names().size(), 5);
}

TEST_F(DiskContentsTest, DoubleClickOpensAFolderSelectedInAnIconView)
{
    contents->showDisk(save("mixed", mixedDisk()), &host);
    // The icon views select only the name cell of a row.
    auto* sel = contents->ListView1Icons->selectionModel();
    sel->select(contents->ListView1Icons->model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
    contents->ListView1DblClick();
    EXPECT_EQ(contents->CurrentFolder, 2);
}

TEST_F(DiskContentsTest, DoubleClickOpensOnlyASingleFolderRow)
{
    contents->showDisk(save("mixed", mixedDisk()), &host);
    select({0, 1});
    contents->ListView1DblClick();
    EXPECT_EQ(contents->CurrentFolder, 0);
    select({2}); // a file
    contents->ListView1DblClick();
    EXPECT_EQ(contents->CurrentFolder, 0);
    EXPECT_EQ(names().size(), 5);
}

TEST_F(DiskContentsTest, ClickingTheShownDiskAgainReturnsToItsRootAndDropsTheEdit)
{
    const auto file = save("mixed", mixedDisk());
    contents->showDisk(file, &host);
    select({0});
    contents->ListView1DblClick();
    contents->RichEdit_Comment->setPlainText("unsaved");
    EXPECT_EQ(contents->ShownDisk.Comment, "unsaved");

    contents->showDisk(file, &host);
    EXPECT_EQ(contents->CurrentFolder, 0);
    EXPECT_EQ(contents->RichEdit_Comment->toPlainText(), "first line\nsecond line");
    EXPECT_EQ(contents->ShownDisk.Comment, "first line\r\nsecond line");
}

TEST_F(DiskContentsTest, SaveStoresTheCommentAndTheShownFolderInNameOrder)
{
    const auto file = save("mixed", mixedDisk());
    contents->showDisk(file, &host);
    select({0});
    contents->ListView1DblClick();
    contents->RichEdit_Comment->setPlainText(QString::fromUtf8("新しい\nコメント"));
    contents->B_SaveClick();

    TDisk back;
    ASSERT_TRUE(LoadDiskData(dir / "mixed.qd", back).ok());
    EXPECT_EQ(back.Comment, "\x90\x56\x82\xb5\x82\xa2\r\n\x83\x52\x83\x81\x83\x93\x83\x67");
    ASSERT_EQ(back.DirList[2].FileList.size(), 2u);
    EXPECT_EQ(back.DirList[2].FileList[0].Name, "Alpha.txt");
    EXPECT_EQ(back.DirList[2].FileList[1].Name, "inner.txt");
    EXPECT_EQ(back.DirList[0].FileList[0].Name, "A"); // the root was shown first, so it is sorted too
}

TEST_F(DiskContentsTest, SaveWritesOnlyTheFileTheDiskWasLoadedFrom)
{
    const auto first = save("first", mixedDisk());
    const auto second = save("second", sampleDisk());
    const std::string secondBefore = readFile(dir / "second.qd");
    contents->showDisk(first, &host);
    contents->RichEdit_Comment->setPlainText("mine");
    contents->B_SaveClick();
    TDisk back;
    ASSERT_TRUE(LoadDiskData(dir / "first.qd", back).ok());
    EXPECT_EQ(back.Comment, "mine");
    EXPECT_EQ(readFile(dir / "second.qd"), secondBefore);
    (void)second;
}

// Another program writes the catalog after it was shown here: 保存 asks
// before it overwrites, いいえ being the default. いいえ shows that program's
// catalog, at the same folder, with the comment being typed still in its box;
// はい overwrites.
TEST_F(DiskContentsTest, SavingOverAnotherProgramsChangeAsksFirst)
{
    for (const DialogAnswer answer : {DialogAnswer::No, DialogAnswer::Yes}) {
        const auto file = save("shared", mixedDisk());
        contents->showDisk(file, &host);
        select({0});
        contents->ListView1DblClick(); // the folder a, DirList[2]
        ChildWriter other([] { return std::nullopt; }, {[&] {
                              TDisk theirs;
                              LoadDiskData(file, theirs);
                              theirs.DirList[2].Comment = "theirs";
                              SaveDiskFile(file, theirs);
                          }});
        ASSERT_TRUE(other.next() && other.finish());
        contents->RichEdit_Comment->setPlainText("mine");
        dialogs.asked.clear();
        dialogs.answers.enqueue(answer);

        contents->B_SaveClick();
        ASSERT_EQ(dialogs.asked.size(), 1);
        EXPECT_EQ(dialogs.asked[0].text,
                  QString::fromUtf8("カタログは読み込んだ後にほかのプログラムによって変更されています。上書きしますか？"));
        EXPECT_EQ(dialogs.asked[0].defaultAnswer, DialogAnswer::No);
        TDisk back;
        ASSERT_TRUE(LoadDiskData(file, back).ok());
        EXPECT_EQ(back.Comment, answer == DialogAnswer::Yes ? "mine" : mixedDisk().Comment);
        EXPECT_EQ(back.DirList[2].Comment, answer == DialogAnswer::Yes ? "line 1\r\nline 2" : "theirs");
        if (answer == DialogAnswer::Yes)
            continue;
        EXPECT_EQ(contents->CurrentFolder, 2);
        EXPECT_EQ(contents->ShownDisk.DirList[2].Comment, "theirs");
        EXPECT_EQ(contents->RichEdit_Comment->toPlainText(), "mine");
        contents->B_SaveClick(); // over what is shown now: nothing to ask
        ASSERT_TRUE(LoadDiskData(file, back).ok());
        EXPECT_EQ(back.Comment, "mine");
        EXPECT_EQ(back.DirList[2].Comment, "theirs");
        EXPECT_EQ(dialogs.asked.size(), 1);
    }
}

TEST_F(DiskContentsTest, ACatalogWithACapitalExtensionLoadsAndSavesToItself)
{
    SaveDiskData(dir / "upper", mixedDisk());
    std::filesystem::rename(dir / "upper.qd", dir / "UPPER.QD");
    contents->showDisk(dir / "UPPER.QD", &host);
    ASSERT_TRUE(contents->diskShown());
    contents->RichEdit_Comment->setPlainText("capital");
    contents->B_SaveClick();
    EXPECT_FALSE(std::filesystem::exists(dir / "UPPER.qd"));
    TDisk back;
    ASSERT_TRUE(LoadDiskData(dir / "UPPER.QD", back).ok());
    EXPECT_EQ(back.Comment, "capital");
}

TEST_F(DiskContentsTest, AFailedLoadShowsTheMessageAndNothingElse)
{
    const auto good = save("good", mixedDisk());
    contents->showDisk(good, &host);
    const std::string before = readFile(dir / "good.qd");

    Bytes b;
    b.raw("qd410").str16(smallBmp(24, 1)).str16(smallBmp(1, 0)).put<std::uint8_t>(2);
    writeFile(dir / "other.qd", b.data);
    contents->showDisk(dir / "other.qd", &host);
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, QString::fromUtf8("データタイプの指定エラーです。(5105)"));
    EXPECT_EQ(dialogs.asked[0].caption, QString::fromUtf8("エラー"));
    EXPECT_EQ(dialogs.asked[0].icon, DialogIcon::None);
    EXPECT_FALSE(contents->ListView1->isVisible());
    EXPECT_FALSE(contents->P_Disk->isVisible());
    EXPECT_FALSE(reload);
    EXPECT_FALSE(contents->diskShown());
    contents->B_SaveClick(); // nothing to save: the good disk's file stays as it was
    EXPECT_EQ(readFile(dir / "good.qd"), before);

    contents->showDisk(dir / "missing.qd", &host);
    ASSERT_EQ(dialogs.asked.size(), 2);
    EXPECT_TRUE(dialogs.asked[1].text.startsWith(QString::fromUtf8(" 指定のファイルは存在しません。(5101)\r\n")));

    std::string cut = BuildDiskData(sampleDisk());
    cut.resize(cut.size() / 2);
    writeFile(dir / "cut.qd", cut);
    contents->showDisk(dir / "cut.qd", &host);
    ASSERT_EQ(dialogs.asked.size(), 3);
    // In Japanese, with the offset of the damage and the file on the next line.
    EXPECT_TRUE(dialogs.asked[2].text.startsWith(QString::fromUtf8("ファイルが壊れています。（オフセット ")));
    EXPECT_TRUE(dialogs.asked[2].text.contains(QString::fromUtf8("）\r\n") + QString::fromStdString((dir / "cut.qd").string())));
    EXPECT_FALSE(contents->diskShown());
}

TEST_F(DiskContentsTest, PendingFolderIsShownOnceAndFallsBackToTheRoot)
{
    const auto file = save("mixed", mixedDisk());
    contents->PendingFolder = 2;
    contents->showDisk(file, &host);
    EXPECT_EQ(contents->CurrentFolder, 2);
    EXPECT_EQ(contents->PendingFolder, -1);
    EXPECT_TRUE(updir);

    contents->PendingFolder = 40; // gone since the search
    contents->showDisk(file, &host);
    EXPECT_EQ(contents->CurrentFolder, 0);
    EXPECT_EQ(contents->PendingFolder, -1);
}

TEST_F(DiskContentsTest, ViewStylesCycleAndDetailsHaveTheSixColumns)
{
    contents->showDisk(save("mixed", mixedDisk()), &host);
    EXPECT_TRUE(contents->LargeIcon1->isChecked());
    EXPECT_EQ(contents->ListView1->currentWidget(), contents->ListView1Icons);
    EXPECT_EQ(contents->ListView1Icons->viewMode(), QListView::IconMode);
    contents->TL_ViewStyleClick();
    EXPECT_TRUE(contents->SmallIcon1->isChecked());
    contents->TL_ViewStyleClick();
    EXPECT_TRUE(contents->List1->isChecked());
    EXPECT_EQ(contents->ListView1Icons->flow(), QListView::TopToBottom);
    contents->TL_ViewStyleClick();
    EXPECT_TRUE(contents->Detail1->isChecked());
    EXPECT_EQ(contents->ListView1->currentWidget(), contents->ListView1Details);
    const QHeaderView* header = contents->ListView1Details->header();
    const int widths[] = {150, 60, 110, 110, 70, 150};
    const char* captions[] = {"ファイル名", "サイズ", "作成日時", "更新日時", "アクセス日", "コメント"};
    for (int c = 0; c < 6; ++c) {
        if (c >= FolderModel::Created && c <= FolderModel::Accessed)
            EXPECT_GE(header->sectionSize(c), widths[c]); // widened for a whole date and time
        else
            EXPECT_EQ(header->sectionSize(c), widths[c]);
        EXPECT_EQ(contents->ListView1Details->model()->headerData(c, Qt::Horizontal).toString(), QString::fromUtf8(captions[c]));
    }
    contents->TL_ViewStyleClick();
    EXPECT_TRUE(contents->LargeIcon1->isChecked());
    contents->List1->trigger();
    EXPECT_EQ(contents->viewStyle(), TDiskContents::ViewStyle::List);
    // Both views share one selection.
    select({1});
    EXPECT_TRUE(contents->ListView1Icons->selectionModel()->isRowSelected(1, {}));
}

TEST_F(DiskContentsTest, AFolderClickHidesTheListAndForgetsTheDisk)
{
    contents->showDisk(save("mixed", mixedDisk()), &host);
    contents->showNothing();
    EXPECT_FALSE(contents->ListView1->isVisible());
    EXPECT_FALSE(contents->P_Disk->isVisible());
    EXPECT_TRUE(contents->P_FolderName->text().isEmpty());
    EXPECT_TRUE(contents->E_Drive->text().isEmpty());
    EXPECT_FALSE(updir);
    EXPECT_FALSE(reload);
    EXPECT_FALSE(contents->diskShown());
}

namespace {

// The delegate's choice of text, as it paints a cell.
struct FittingProbe : DateFittingDelegate {
    QString textFor(const QTreeView* view, const QModelIndex& index) const
    {
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.widget = view;
        option.rect = view->visualRect(index);
        initStyleOption(&option, index);
        return option.text;
    }
};

} // namespace

// The date columns start wide enough for a whole date and time. A column made
// narrower shows every row in the one longest form that all of them fit, so
// that no row reads as midnight beside rows with a time, and no date is cut.
TEST_F(DiskContentsTest, ADateColumnShowsEveryRowInTheLongestFormThatFitsThemAll)
{
    host.setFont(WindowFont());
    TDisk disk = sampleDisk();
    const double late = CivilToDateTime({2001, 12, 31, 23, 59, 58});
    const double early = CivilToDateTime({2001, 1, 1, 7, 29, 0});
    TFile& readme = disk.DirList[0].FileList[0];
    readme.CreationTime = readme.LastWriteTime = readme.LastAccessTime = late;
    TFile& other = disk.DirList[0].FileList.emplace_back(sampleFile("early.txt", 1));
    other.CreationTime = other.LastWriteTime = other.LastAccessTime = early;
    const auto file = save("dates", disk);
    const FittingProbe probe;
    for (const QLocale& locale : {QLocale(QLocale::Japanese, QLocale::Japan), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        SCOPED_TRACE(locale.name().toStdString());
        QLocale::setDefault(locale);
        remake(); // the start's widths are those for the locale of the run
        contents->showDisk(file, &host);
        contents->setViewStyle(TDiskContents::ViewStyle::Detail);
        QTreeView* view = contents->ListView1Details;
        QCoreApplication::processEvents();
        const int lateRow = names().indexOf("README.TXT");
        const int earlyRow = names().indexOf("early.txt");
        ASSERT_GE(lateRow, 0);
        ASSERT_GE(earlyRow, 0);
        for (int column : {int(FolderModel::Created), int(FolderModel::Modified), int(FolderModel::Accessed)})
            EXPECT_EQ(probe.textFor(view, view->model()->index(lateRow, column)), DateTimeForms(late, locale).first());

        // Room for the early row's whole form, not for the late row's.
        const int narrow = view->fontMetrics().horizontalAdvance(DateTimeForms(early, locale).first()) + 7;
        ASSERT_LT(narrow, view->fontMetrics().horizontalAdvance(DateTimeForms(late, locale).first()) + 6);
        view->header()->resizeSection(FolderModel::Created, narrow);
        const QString shownLate = probe.textFor(view, view->model()->index(lateRow, FolderModel::Created));
        const QString shownEarly = probe.textFor(view, view->model()->index(earlyRow, FolderModel::Created));
        const qsizetype form = DateTimeForms(late, locale).indexOf(shownLate);
        EXPECT_GT(form, 0) << shownLate.toStdString();
        EXPECT_EQ(DateTimeForms(early, locale).indexOf(shownEarly), form) << shownEarly.toStdString();
        EXPECT_LE(view->fontMetrics().horizontalAdvance(shownLate), narrow - 6);
        view->header()->resizeSection(FolderModel::Created, 200);
    }
    QLocale::setDefault(QLocale::system());
}

// Large icons get their own drawing (names over two lines) and a cell tall
// enough for it; the other styles keep the view's own.
TEST_F(DiskContentsTest, OnlyTheLargeIconViewWrapsNamesOverTwoLines)
{
    contents->showDisk(save("mixed", mixedDisk()), &host);
    QListView* icons = contents->ListView1Icons;
    ASSERT_TRUE(qobject_cast<LargeIconDelegate*>(icons->itemDelegate()));
    EXPECT_GE(icons->gridSize().height(), 32 + 2 * icons->fontMetrics().lineSpacing());
    for (int style = 1; style < 3; ++style) {
        contents->TL_ViewStyleClick();
        EXPECT_FALSE(qobject_cast<LargeIconDelegate*>(icons->itemDelegate())) << style;
    }
    EXPECT_EQ(icons->gridSize().height(), 18);
}

// The path bar clips a long path, as a one-line panel does: showing a deep
// folder neither widens the file page nor keeps it from shrinking.
TEST_F(DiskContentsTest, ADeepFolderPathDoesNotWidenTheFilePage)
{
    TDisk disk = mixedDisk();
    for (int i = 0; i < 40; ++i) {
        TDir& d = disk.DirList.emplace_back();
        d.Name = "a rather long folder name " + std::to_string(i);
        d.Parent = i == 0 ? 1 : std::int32_t(disk.DirList.size()) - 2;
        d.Attr = kAttrDirectory;
    }
    contents->showDisk(save("deep", disk), &host);
    // The panel's own layout: the path bar and the list above it.
    const int shallow = filePanel->layout()->minimumSize().width();
    contents->CurrentFolder = std::int32_t(disk.DirList.size()) - 1;
    contents->ShowFolder();
    TPathBar* bar = contents->P_FolderName;
    EXPECT_TRUE(bar->text().endsWith("a rather long folder name 39"));
    EXPECT_GT(bar->fontMetrics().horizontalAdvance(bar->text()), 2000);
    EXPECT_EQ(filePanel->layout()->minimumSize().width(), shallow);
    EXPECT_LT(shallow, 600);
    // The folder shown stays in sight: the path loses its start, and its
    // tooltip gives it whole.
    EXPECT_TRUE(bar->shownText().startsWith(QChar(0x2026))) << bar->shownText().toStdString();
    EXPECT_TRUE(bar->shownText().endsWith("a rather long folder name 39")) << bar->shownText().toStdString();
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), bar->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(bar, &help);
    EXPECT_EQ(QToolTip::text(), bar->text());
}

// In the small icon and list views the cells are as wide as the names, up to
// a limit beyond which a name is elided in its cell instead of running over
// the name beside it.
TEST_F(DiskContentsTest, SmallIconAndListCellsFitTheNamesUpToALimit)
{
    TDisk disk = sampleDisk();
    const QString middling = QStringLiteral("a name of middling length.txt");
    disk.DirList[0].FileList.push_back(sampleFile(middling.toStdString(), 1));
    disk.DirList[0].FileList.push_back(sampleFile("IMG_20240101_123456789012345678_a_very_long_name_of_the_camera.jpg", 1));
    contents->showDisk(save("long", disk), &host);
    for (const auto style : {TDiskContents::ViewStyle::SmallIcon, TDiskContents::ViewStyle::List}) {
        contents->setViewStyle(style);
        QListView* view = contents->ListView1Icons;
        view->doItemsLayout();
        QCoreApplication::processEvents();
        auto rectOf = [&](const QString& start) {
            const QModelIndexList hits =
                view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, start, -1, Qt::MatchStartsWith);
            return hits.size() == 1 ? view->visualRect(hits[0]) : QRect();
        };
        const int limit = 16 + 12 + 24 * view->fontMetrics().horizontalAdvance(QChar(0x3042));
        EXPECT_LE(view->gridSize().width(), limit);
        EXPECT_GE(rectOf(middling).width(), 16 + view->fontMetrics().horizontalAdvance(middling)) << "not cut";
        EXPECT_LE(rectOf("IMG_").width(), view->gridSize().width());
        EXPECT_FALSE(rectOf("IMG_").isEmpty());
    }
}
