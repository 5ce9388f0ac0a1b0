// The contents view as the main window drives it from the catalog tree.
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>
#include <QTest>

#include "browse/DiskContents.h"
#include "store/MainWindow.h"
#include "support/CatalogFixtures.h"
#include "StoreFixture.h"

using namespace qd;
using namespace qd::test;

namespace {

class MainWindowContentsTest : public StoreFixture {
protected:
    void click(QTreeWidgetItem* node)
    {
        ASSERT_NE(node, nullptr);
        window->TreeView1->setCurrentItem(node);
        window->TreeView1Click();
    }
    // A click of the mouse on the node's text, through whatever signal the
    // window listens to.
    void mouseClick(QTreeWidgetItem* node)
    {
        ASSERT_NE(node, nullptr);
        TCatalogTree* tree = window->TreeView1;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
    }
    QTreeWidgetItem* top() const { return window->TreeView1->topLevelItem(0); }

    std::unique_ptr<TForm_Main> window;
};

} // namespace

TEST_F(MainWindowContentsTest, AKeyboardMoveThenSaveWritesTheLoadedDisksOwnFile)
{
    catalog("Alpha", 0x10);
    catalog("Beta", 0x20);
    const std::string betaBefore = readFile(rootPath("Beta.qd"));
    window = std::make_unique<TForm_Main>(root());
    window->show();
    click(child(top(), "Alpha"));
    ASSERT_TRUE(window->DiskContents->diskShown());
    EXPECT_TRUE(window->TB_ReLoad->isEnabled());
    window->DiskContents->RichEdit_Comment->setPlainText("for Alpha");

    // The arrow key moves the tree's selection to Beta without a click.
    window->TreeView1->setFocus();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(window->TreeView1, &down);
    ASSERT_EQ(window->TreeView1->currentItem(), child(top(), "Beta"));

    window->DiskContents->B_SaveClick();
    EXPECT_EQ(readFile(rootPath("Beta.qd")), betaBefore);
    TDisk alpha;
    ASSERT_TRUE(LoadDiskData(rootPath("Alpha.qd"), alpha).ok());
    EXPECT_EQ(alpha.Comment, "for Alpha");
}

TEST_F(MainWindowContentsTest, ACatalogNamedInCapitalsOpens)
{
    catalogFile("A.QD");
    window = std::make_unique<TForm_Main>(root());
    window->show();
    click(child(top(), "A"));
    EXPECT_TRUE(window->DiskContents->diskShown());
    EXPECT_TRUE(dialogs_.asked.isEmpty());
}

TEST_F(MainWindowContentsTest, FoldersAndOtherDataTypesShowNothing)
{
    catalog("Alpha");
    catalogFile("Odd.qd", 2);
    mkdir("Shelf");
    window = std::make_unique<TForm_Main>(root());
    window->show();
    click(child(top(), "Alpha"));
    EXPECT_TRUE(window->DiskContents->ListView1->isVisible());

    click(child(top(), "Odd"));
    EXPECT_FALSE(window->DiskContents->ListView1->isVisible());
    EXPECT_FALSE(window->DiskContents->P_Disk->isVisible());
    EXPECT_FALSE(window->DiskContents->diskShown());
    EXPECT_FALSE(window->TB_ReLoad->isEnabled());
    EXPECT_TRUE(dialogs_.asked.isEmpty()); // nothing is loaded, so nothing is said

    click(child(top(), "Alpha"));
    click(child(top(), "Shelf"));
    EXPECT_FALSE(window->DiskContents->ListView1->isVisible());
    EXPECT_FALSE(window->TB_Updir->isEnabled());
}

// 保存 writes the catalog the view loaded: a rename of the disk, or of a folder
// above it, carries the view along, and a catalog that is gone is never made anew.
TEST_F(MainWindowContentsTest, RenamesCarryTheSaveAlongAndAVanishedCatalogIsNotRecreated)
{
    catalog("Shelf/X");
    window = std::make_unique<TForm_Main>(root());
    window->show();
    QTreeWidgetItem* shelf = child(top(), "Shelf");
    shelf->setExpanded(true);
    click(child(shelf, "X"));
    window->DiskContents->RichEdit_Comment->setPlainText("renamed disk");
    ASSERT_TRUE(window->TreeView1->renameNode(child(shelf, "X"), "Y"));
    window->DiskContents->B_SaveClick();
    EXPECT_FALSE(QFileInfo::exists(root() + "/Shelf/X.qd")) << "no catalog under the old name";
    TDisk saved;
    ASSERT_TRUE(LoadDiskData(rootPath("Shelf/Y.qd"), saved).ok());
    EXPECT_EQ(saved.Comment, "renamed disk");

    ASSERT_TRUE(window->TreeView1->renameNode(shelf, "Box"));
    window->DiskContents->RichEdit_Comment->setPlainText("renamed folder");
    window->DiskContents->B_SaveClick();
    EXPECT_FALSE(QFileInfo::exists(root() + "/Shelf"));
    ASSERT_TRUE(LoadDiskData(rootPath("Box/Y.qd"), saved).ok());
    EXPECT_EQ(saved.Comment, "renamed folder");
    EXPECT_TRUE(dialogs_.asked.isEmpty());

    QFile::remove(root() + "/Box/Y.qd"); // behind the program's back
    window->DiskContents->B_SaveClick();
    EXPECT_FALSE(QFileInfo::exists(root() + "/Box/Y.qd"));
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_EQ(dialogs_.asked[0].caption, QString::fromUtf8("エラー"));
}

TEST_F(MainWindowContentsTest, ADamagedDiskSaysWhyWhenClickedAndShowsNothing)
{
    catalog("Good");
    catalogFile("Cut.qd");
    std::filesystem::resize_file(rootPath("Cut.qd"), 20); // cut inside its icon
    window = std::make_unique<TForm_Main>(root());
    window->show();
    EXPECT_TRUE(dialogs_.asked.isEmpty()) << "no message at start";
    click(child(top(), "Good"));
    for (int i = 1; i <= 2; ++i) {
        click(child(top(), "Cut"));
        ASSERT_EQ(dialogs_.asked.size(), i) << "one message per click";
        EXPECT_EQ(dialogs_.asked.last().caption, QString::fromUtf8("エラー"));
        EXPECT_TRUE(dialogs_.asked.last().text.contains("Cut.qd"));
        EXPECT_FALSE(window->DiskContents->diskShown());
        EXPECT_FALSE(window->DiskContents->ListView1->isVisible());
    }
    // Kept selected by a refresh and by a restart, it says nothing until clicked.
    window->Refresh1Click();
    EXPECT_EQ(dialogs_.asked.size(), 2);
    window->close();
    window = std::make_unique<TForm_Main>(root());
    window->show();
    ASSERT_EQ(window->TreeView1->currentItem(), child(top(), "Cut"));
    EXPECT_EQ(dialogs_.asked.size(), 2);
}

// An edited disk comment is never dropped unasked: はい saves it into the
// loaded disk's own file, いいえ drops it, and a comment not edited asks nothing.
TEST_F(MainWindowContentsTest, AnEditedCommentIsAskedAboutBeforeTheViewMovesOn)
{
    catalog("Alpha");
    catalog("Beta");
    window = std::make_unique<TForm_Main>(root());
    window->show();
    const QString question = QString::fromUtf8("コメントが変更されています。保存しますか？");
    auto commentOf = [&](const char* title) {
        TDisk d;
        EXPECT_TRUE(LoadDiskData(rootPath(QString::fromLatin1(title) + ".qd"), d).ok());
        return d.Comment;
    };

    mouseClick(child(top(), "Alpha"));
    mouseClick(child(top(), "Beta"));
    EXPECT_TRUE(dialogs_.asked.isEmpty()) << "nothing edited, nothing asked";

    mouseClick(child(top(), "Alpha"));
    window->DiskContents->RichEdit_Comment->setPlainText("kept");
    dialogs_.answers.enqueue(DialogAnswer::Yes);
    mouseClick(child(top(), "Beta"));
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_EQ(dialogs_.asked[0].text, question);
    EXPECT_EQ(commentOf("Alpha"), "kept") << "saved into the disk it was typed for";
    EXPECT_EQ(commentOf("Beta"), "first line\r\nsecond line");
    EXPECT_EQ(window->StatusBar1->currentMessage(), QString::fromUtf8("保存しました"));

    window->DiskContents->RichEdit_Comment->setPlainText("dropped");
    dialogs_.answers.enqueue(DialogAnswer::No);
    mouseClick(child(top(), "Beta")); // the same disk again
    ASSERT_EQ(dialogs_.asked.size(), 2);
    EXPECT_EQ(commentOf("Beta"), "first line\r\nsecond line");
    EXPECT_EQ(window->DiskContents->RichEdit_Comment->toPlainText(), "first line\nsecond line");
    mouseClick(child(top(), "Alpha"));
    EXPECT_EQ(dialogs_.asked.size(), 2) << "asked once per edit";
    EXPECT_EQ(dialogs_.asked[1].buttons, DialogButtons::YesNoCancel);

    // キャンセル stays on the disk with the edit, the tree back on it; closing
    // the window is cancelled too.
    window->DiskContents->RichEdit_Comment->setPlainText("still typing");
    dialogs_.answers.enqueue(DialogAnswer::Cancel);
    mouseClick(child(top(), "Beta"));
    EXPECT_EQ(window->TreeView1->currentItem(), child(top(), "Alpha"));
    EXPECT_EQ(window->DiskContents->shownFile(), rootPath("Alpha.qd"));
    EXPECT_EQ(window->DiskContents->RichEdit_Comment->toPlainText(), "still typing");
    dialogs_.answers.enqueue(DialogAnswer::Cancel);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(dialogs_.asked.size(), 4);
    EXPECT_EQ(commentOf("Alpha"), "kept");
}

// The Enter that ends a rename in the tree belongs to the editor: the node is
// neither loaded again (an edited comment is not asked about) nor, for a
// damaged disk, told about again; what the tree tells afterwards names the
// file by its new name.
TEST_F(MainWindowContentsTest, TheEnterThatEndsARenameNeitherReloadsNorTellsAgain)
{
    catalog("Alpha");
    catalogFile("Cut.qd");
    std::filesystem::resize_file(rootPath("Cut.qd"), 20);
    window = std::make_unique<TForm_Main>(root());
    window->show();
    TCatalogTree* tree = window->TreeView1;
    auto renameByKeys = [&](const char* from, const char* to) {
        tree->editItem(child(top(), from));
        auto* editor = qobject_cast<QLineEdit*>(tree->indexWidget(tree->currentIndex()));
        ASSERT_NE(editor, nullptr);
        editor->setText(to);
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !tree->editing() && child(top(), to); }));
    };

    click(child(top(), "Cut"));
    ASSERT_EQ(dialogs_.asked.size(), 1);
    renameByKeys("Cut", "Broken");
    EXPECT_EQ(dialogs_.asked.size(), 1) << dialogs_.asked.last().text.toStdString();
    click(child(top(), "Broken"));
    ASSERT_EQ(dialogs_.asked.size(), 2);
    EXPECT_TRUE(dialogs_.asked.last().text.contains("Broken.qd")) << dialogs_.asked.last().text.toStdString();

    click(child(top(), "Alpha"));
    window->DiskContents->RichEdit_Comment->setPlainText("not saved yet");
    renameByKeys("Alpha", "Gamma");
    EXPECT_EQ(dialogs_.asked.size(), 2) << "no question: nothing was reloaded";
    EXPECT_EQ(window->DiskContents->RichEdit_Comment->toPlainText(), "not saved yet");
    EXPECT_EQ(window->DiskContents->shownFile(), rootPath("Gamma.qd"));
}

// A key that moves the tree's selection (an arrow, type-ahead) shows the node
// once the keys have paused; held down, nothing is loaded on the way; an
// edited comment is asked about first, as for a click.
TEST_F(MainWindowContentsTest, AKeyThatMovesTheTreesSelectionShowsTheNodeAfterAPause)
{
    for (const char* title : {"Alpha", "Beta", "Gamma"})
        catalog(title);
    window = std::make_unique<TForm_Main>(root());
    window->show();
    TCatalogTree* tree = window->TreeView1;
    int loads = 0;
    QObject::connect(window->DiskContents, &TDiskContents::reloadEnabledChanged, [&](bool on) { loads += on; });
    click(child(top(), "Alpha"));
    ASSERT_EQ(loads, 1);

    QTest::keyClick(tree, Qt::Key_Down);
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(tree->currentItem(), child(top(), "Gamma"));
    EXPECT_EQ(window->DiskContents->shownFile(), rootPath("Alpha.qd")) << "not while the keys go on";
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->DiskContents->shownFile() == rootPath("Gamma.qd"); }));
    EXPECT_EQ(loads, 2) << "Beta, passed over, was not loaded";

    QTest::keyClicks(tree, "b");
    EXPECT_EQ(tree->currentItem(), child(top(), "Beta"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->DiskContents->shownFile() == rootPath("Beta.qd"); }));

    window->DiskContents->RichEdit_Comment->setPlainText("edited");
    dialogs_.answers.enqueue(DialogAnswer::Cancel);
    QTest::keyClick(tree, Qt::Key_Up);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs_.asked.isEmpty(); }));
    EXPECT_EQ(dialogs_.asked[0].text, QString::fromUtf8("コメントが変更されています。保存しますか？"));
    EXPECT_EQ(tree->currentItem(), child(top(), "Beta"));
    EXPECT_EQ(window->DiskContents->shownFile(), rootPath("Beta.qd"));
}

// Keys do what the mouse and the menus do; the menu items show them.
TEST_F(MainWindowContentsTest, KeysOfTheTreeAndTheFileList)
{
    catalog("Alpha");
    window = std::make_unique<TForm_Main>(root());
    window->show();
    auto press = [](QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QCoreApplication::sendEvent(w, &e);
    };
    TCatalogTree* tree = window->TreeView1;
    tree->setCurrentItem(child(top(), "Alpha"));
    press(tree, Qt::Key_Return);
    ASSERT_TRUE(window->DiskContents->diskShown());

    TDiskContents* view = window->DiskContents;
    view->setViewStyle(TDiskContents::ViewStyle::Detail);
    QAbstractItemView* list = view->ListView1Details;
    auto selectNamed = [&](const QString& name) {
        const QModelIndexList hits = list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, name);
        ASSERT_EQ(hits.size(), 1) << name.toStdString();
        list->selectionModel()->select(hits[0], QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    selectNamed("PHOTO");
    press(list, Qt::Key_Return);
    EXPECT_EQ(view->P_FolderName->text(), "D:\\PHOTO");
    press(list, Qt::Key_Backspace);
    EXPECT_EQ(view->P_FolderName->text(), "D:");
    selectNamed("PHOTO");
    press(list, Qt::Key_Return);
    selectNamed("2001");
    press(list, Qt::Key_Return);
    EXPECT_EQ(view->P_FolderName->text(), "D:\\PHOTO\\2001");
    press(list, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(view->P_FolderName->text(), "D:\\PHOTO");

    catalog("Later");
    press(tree, Qt::Key_F5);
    EXPECT_NE(child(top(), "Later"), nullptr);
    tree->setCurrentItem(child(top(), "Later"));
    dialogs_.answers.enqueue(DialogAnswer::Yes);
    press(tree, Qt::Key_Delete);
    EXPECT_EQ(child(top(), "Later"), nullptr);

    EXPECT_EQ(window->Refresh1->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(window->Delete1->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(window->Rename1->shortcut(), QKeySequence(Qt::Key_F2));
    for (QLineEdit* e : {view->E_Drive, view->E_CountFolder, view->E_CountFile})
        EXPECT_TRUE(e->isReadOnly()) << e->objectName().toStdString();
}
