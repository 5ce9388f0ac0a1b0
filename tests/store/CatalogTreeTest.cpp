#include <QFileInfo>
#include <QKeyEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>

#include "StoreFixture.h"
#include "catalog/QdLib.h"
#include "platform/CatalogStore.h"
#include "platform/Settings.h"
#include "store/CatalogTree.h"

namespace qd::test {
namespace {

class CatalogTreeTest : public StoreFixture {
protected:
    TCatalogTree& tree()
    {
        if (!tree_) {
            QDir().mkpath(root());
            tree_.emplace(root());
            tree_->refresh();
        }
        return *tree_;
    }
    QTreeWidgetItem* top() { return tree().topNode(); }

    std::optional<TCatalogTree> tree_;
};

// --- filling ---------------------------------------------------------------

TEST_F(CatalogTreeTest, EmptyRootGivesOnlyTheTopNodeNamedMyDisk)
{
    ASSERT_EQ(tree().topLevelItemCount(), 1);
    EXPECT_EQ(top()->text(0), "MyDisk");
    EXPECT_EQ(top()->childCount(), 0);
    EXPECT_EQ(tree().currentItem(), top());
    EXPECT_TRUE(top()->isExpanded());
    EXPECT_EQ(TCatalogTree::imageIndex(top()), 1); // expanded
}

TEST_F(CatalogTreeTest, TopNodeTextComesFromRootDir)
{
    settings::setRootDir(QStringLiteral("私のディスク"));
    EXPECT_EQ(top()->text(0), "私のディスク");
}

TEST_F(CatalogTreeTest, FoldersAndDisksAreNestedAndSortedTogetherByLocaleCollation)
{
    mkdir("b");
    mkdir("D");
    catalog("a");
    catalog("C");
    catalog("b/z2");
    catalog("b/z10");
    // In code order the capitals would come first.
    EXPECT_EQ(texts(top()), (QStringList{"a", "b", "C", "D"}));
    EXPECT_EQ(texts(child(top(), "b")), (QStringList{"z10", "z2"}));
}

TEST_F(CatalogTreeTest, ImageAndStateIndexesTellFoldersFromDisks)
{
    mkdir("F");
    catalogFile("one.qd", 1, 0x10);
    catalogFile("two.qd", 2, 0xF0);
    QTreeWidgetItem* folder = child(top(), "F");
    QTreeWidgetItem* one = child(top(), "one");
    QTreeWidgetItem* two = child(top(), "two");
    ASSERT_TRUE(folder && one && two);

    EXPECT_EQ(TCatalogTree::imageIndex(folder), 0);
    EXPECT_FALSE(TCatalogTree::isDisk(folder));
    EXPECT_GE(TCatalogTree::imageIndex(one), 2);
    EXPECT_GE(TCatalogTree::imageIndex(two), 2);
    EXPECT_NE(TCatalogTree::imageIndex(one), TCatalogTree::imageIndex(two));
    EXPECT_EQ(TCatalogTree::stateIndex(one), 1);
    EXPECT_EQ(TCatalogTree::stateIndex(two), 2);
    // Two folder pictures, then one per disk.
    EXPECT_EQ(tree().ImageList_Tree().count(), 4);
    // Each disk's picture is its own icon.
    EXPECT_EQ(qRed(tree().ImageList_Tree().image(TCatalogTree::imageIndex(one)).pixel(3, 3)), 0x10);
    EXPECT_EQ(qRed(tree().ImageList_Tree().image(TCatalogTree::imageIndex(two)).pixel(3, 3)), 0xF0);
    EXPECT_FALSE(tree().nodeIcon(TCatalogTree::imageIndex(one)).isNull());
}

TEST_F(CatalogTreeTest, AnIconThatIsNoBmpStillMakesADiskWithABlankPicture)
{
    QDir().mkpath(root());
    writeFile(rootPath("odd.qd"), Bytes().raw("qd410").str16("not a bmp").str16("").put<std::uint8_t>(1).data);
    QTreeWidgetItem* odd = child(top(), "odd");
    ASSERT_TRUE(odd);
    EXPECT_GE(TCatalogTree::imageIndex(odd), 2);
    EXPECT_EQ(TCatalogTree::stateIndex(odd), 1);
    const QImage picture = tree().ImageList_Tree().image(TCatalogTree::imageIndex(odd));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(16, 16));
    EXPECT_TRUE(dialogs_.asked.isEmpty());
}

TEST_F(CatalogTreeTest, ExpandAndCollapseSwitchTheFolderImage)
{
    mkdir("F/G");
    QTreeWidgetItem* folder = child(top(), "F");
    ASSERT_TRUE(folder);
    tree().expandItem(folder);
    EXPECT_EQ(TCatalogTree::imageIndex(folder), 1);
    tree().collapseItem(folder);
    EXPECT_EQ(TCatalogTree::imageIndex(folder), 0);
}

TEST_F(CatalogTreeTest, ExtensionIsTestedWithoutCaseAndTheMagicIsRequired)
{
    catalogFile("A.QD");
    writeFile(rootPath("B.qd"), "QD410 is not the magic");
    catalogFile("c.txt");
    QTreeWidgetItem* a = child(top(), "A");
    ASSERT_TRUE(a);
    EXPECT_EQ(texts(top()), QStringList{"A"});
    EXPECT_EQ(tree().NodePath(a), root() + "/A");
    EXPECT_EQ(tree().CatalogFile(a), root() + "/A.QD");
    EXPECT_TRUE(dialogs_.asked.isEmpty());
}

// A catalog whose head cannot be read stands in the tree as a damaged disk,
// which can be renamed and deleted, instead of a message at every refresh.
TEST_F(CatalogTreeTest, AnUnreadableCatalogIsADamagedDiskThatCanBeRenamedAndDeleted)
{
    catalog("good");
    writeFile(rootPath("cut.qd"), "qd410\x10");
    catalog("later");
    EXPECT_EQ(texts(top()), (QStringList{"cut", "good", "later"}));
    EXPECT_TRUE(dialogs_.asked.isEmpty());
    QTreeWidgetItem* cut = child(top(), "cut");
    EXPECT_TRUE(TCatalogTree::isDisk(cut));
    EXPECT_EQ(TCatalogTree::stateIndex(cut), 0) << "a data type nothing shows";
    EXPECT_NE(TCatalogTree::imageIndex(cut), TCatalogTree::imageIndex(child(top(), "good")));
    const QString damage = cut->data(0, TCatalogTree::DamageRole).toString();
    EXPECT_TRUE(damage.startsWith(QString::fromUtf8("ファイルが壊れています。"))) << damage.toStdString();
    EXPECT_TRUE(damage.contains("cut.qd"));
    EXPECT_TRUE(child(top(), "good")->data(0, TCatalogTree::DamageRole).toString().isEmpty());

    // Drawn on the tree's ground, as every disk picture: clear where its icon is.
    const QImage picture = tree().ImageList_Tree().image(TCatalogTree::imageIndex(cut));
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(picture.pixel(8, 8)), 255);

    ASSERT_TRUE(tree().renameNode(cut, "broken"));
    EXPECT_TRUE(QFileInfo::exists(root() + "/broken.qd"));
    EXPECT_TRUE(cut->data(0, TCatalogTree::DamageRole).toString().contains("broken.qd")) << "the file by its new name";
    EXPECT_TRUE(dialogs_.asked.isEmpty()) << "a rename reads nothing and tells nothing";
    tree().refresh();
    dialogs_.answers.enqueue(DialogAnswer::Yes);
    ASSERT_TRUE(tree().deleteNode(child(top(), "broken")));
    EXPECT_EQ(texts(top()), (QStringList{"good", "later"}));
}

TEST_F(CatalogTreeTest, ANameTheNarrowTreeCutsOffShowsWhole)
{
    const QString longName = QStringLiteral("A rather long disk title of the shelf");
    catalog(longName);
    catalog("X");
    tree().resize(120, 200);
    tree().show();
    auto tipAt = [&](const QString& text) {
        const QPoint at = tree().visualItemRect(child(top(), text)).center();
        QHelpEvent help(QEvent::ToolTip, at, tree().viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(tree().viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt("X"), "") << "a name shown whole needs no tooltip";
    EXPECT_EQ(tipAt(longName), longName);
}

// What the tree showed stays across a refresh and, through the settings, a restart.
TEST_F(CatalogTreeTest, ExpandedFoldersAndTheSelectionAreKept)
{
    catalog("A/B/disk");
    catalog("A/C/other");
    catalog("Z/last");
    QTreeWidgetItem* a = child(top(), "A");
    a->setExpanded(true);
    child(a, "B")->setExpanded(true);
    tree().setCurrentItem(child(child(a, "B"), "disk"));
    tree().refresh();
    a = child(top(), "A");
    EXPECT_TRUE(a->isExpanded());
    EXPECT_TRUE(child(a, "B")->isExpanded());
    EXPECT_FALSE(child(a, "C")->isExpanded());
    EXPECT_FALSE(child(top(), "Z")->isExpanded());
    EXPECT_EQ(tree().currentItem(), child(child(a, "B"), "disk"));

    settings::setTreeState(tree().treeState());
    tree_.reset(); // a restart: a new tree reads the settings at its first refresh
    EXPECT_TRUE(child(child(top(), "A"), "B")->isExpanded());
    EXPECT_EQ(tree().currentItem()->text(0), "disk");

    // A selection that is gone falls back to its folder.
    QFile::remove(root() + "/A/B/disk.qd");
    tree().refresh();
    EXPECT_EQ(tree().currentItem(), child(child(top(), "A"), "B"));
}

TEST_F(CatalogTreeTest, LinksAreLeftOut)
{
    QTemporaryDir outside;
    QFile::link(outside.path(), root() + "/elsewhere");
    catalog("real");
    QDir().mkpath(root());
    QFile::link(root() + "/real.qd", root() + "/alias.qd");
    EXPECT_EQ(texts(top()), QStringList{"real"});
}

TEST_F(CatalogTreeTest, NodePathFollowsTheNodes)
{
    catalog("F/G/disk");
    QTreeWidgetItem* disk = child(child(child(top(), "F"), "G"), "disk");
    ASSERT_TRUE(disk);
    EXPECT_EQ(tree().NodePath(nullptr), "");
    EXPECT_EQ(tree().NodePath(top()), root());
    EXPECT_EQ(tree().NodePath(disk), root() + "/F/G/disk");
    EXPECT_EQ(tree().CatalogFile(disk), root() + "/F/G/disk.qd");
}

// --- refresh and the nodes others hold --------------------------------------

TEST_F(CatalogTreeTest, RefreshClearsTheContextNodeAndInvalidatesHandles)
{
    catalog("d");
    tree().ContextNode = child(top(), "d");
    const auto h = tree().handle(child(top(), "d"));
    const auto before = tree().generation();
    EXPECT_EQ(tree().resolve(h), child(top(), "d"));
    tree().refresh();
    EXPECT_EQ(tree().ContextNode, nullptr);
    EXPECT_EQ(tree().resolve(h), nullptr);
    EXPECT_EQ(tree().generation(), before + 1);
}

TEST_F(CatalogTreeTest, RefreshWaitsForTheLastUseGuard)
{
    catalog("d");
    QTreeWidgetItem* held = child(top(), "d");
    const auto h = tree().handle(held);
    int refreshed = 0;
    QObject::connect(&tree(), &TCatalogTree::refreshed, [&] { ++refreshed; });
    {
        TCatalogTree::UseGuard outer(tree());
        {
            TCatalogTree::UseGuard inner(tree());
            tree().refresh();
            EXPECT_TRUE(tree().refreshPending());
        }
        EXPECT_EQ(refreshed, 0);
        EXPECT_EQ(tree().resolve(h), held); // still alive under the outer guard
        EXPECT_EQ(held->text(0), "d");
    }
    EXPECT_EQ(refreshed, 1);
    EXPECT_FALSE(tree().refreshPending());
    EXPECT_EQ(tree().resolve(h), nullptr);
}

// --- new folder ----------------------------------------------------------------

TEST_F(CatalogTreeTest, NewFolderTakesTheFirstFreeNumberInTheDisksParent)
{
    mkdir("F/新しいフォルダ");
    mkdir("F/新しいフォルダ(2)");
    catalog("F/disk");
    QTreeWidgetItem* folder = child(top(), "F");
    QTreeWidgetItem* made = tree().newFolder(child(folder, "disk"));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->text(0), "新しいフォルダ(3)");
    EXPECT_EQ(made->parent(), folder);
    EXPECT_EQ(folder->child(folder->childCount() - 1), made); // appended, not sorted yet
    EXPECT_TRUE(QFileInfo(root() + "/F/新しいフォルダ(3)").isDir());
    EXPECT_EQ(TCatalogTree::imageIndex(made), 0);
}

TEST_F(CatalogTreeTest, NewFolderNamesRunOutAtTheLastNumber)
{
    QDir().mkpath(root());
    EXPECT_EQ(TCatalogTree::freeFolderName(nativeRoot()), "新しいフォルダ");
    mkdir("新しいフォルダ");
    EXPECT_EQ(TCatalogTree::freeFolderName(nativeRoot()), "新しいフォルダ(2)");
    for (int n = 2; n <= 5; ++n)
        mkdir(QStringLiteral("新しいフォルダ(%1)").arg(n));
    // A file of the name counts as taken too: no folder can be made there.
    writeFile(rootPath("新しいフォルダ(6)"), "");
    EXPECT_EQ(TCatalogTree::freeFolderName(nativeRoot(), 7), "新しいフォルダ(7)");
    EXPECT_EQ(TCatalogTree::freeFolderName(nativeRoot(), 6), "");
    EXPECT_EQ(TCatalogTree::freeFolderName(nativeRoot()), "新しいフォルダ(7)");
    // Numbers go in decimal without leading zeros: "(10)" after "(9)".
    for (int n = 7; n <= 9; ++n)
        mkdir(QStringLiteral("新しいフォルダ(%1)").arg(n));
    EXPECT_EQ(TCatalogTree::freeFolderName(nativeRoot()), "新しいフォルダ(10)");
}

TEST_F(CatalogTreeTest, NewFolderThatCannotBeMadeSaysWhyAndKeepsTheNode)
{
    mkdir("F");
    QTreeWidgetItem* folder = child(top(), "F");
    QDir(root() + "/F").removeRecursively(); // gone behind the tree's back
    QString error;
    EXPECT_NE(tree().newFolder(folder, &error), nullptr);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(texts(folder), QStringList{"新しいフォルダ"});
}

// --- rename ------------------------------------------------------------------------

TEST_F(CatalogTreeTest, RenamingADiskRenamesItsFileAndKeepsItsBytes)
{
    catalog("X");
    mkdir("M");
    const std::string bytes = readFile(rootPath("X.qd"));
    QTreeWidgetItem* x = child(top(), "X");
    EXPECT_EQ(texts(top()), (QStringList{"M", "X"}));
    ASSERT_TRUE(tree().renameNode(x, "A"));
    EXPECT_EQ(x->text(0), "A");
    EXPECT_FALSE(QFileInfo::exists(root() + "/X.qd"));
    EXPECT_EQ(readFile(rootPath("A.qd")), bytes);
    EXPECT_EQ(texts(top()), (QStringList{"A", "M"})); // re-sorted
    EXPECT_EQ(tree().CatalogFile(x), root() + "/A.qd");
    EXPECT_TRUE(dialogs_.asked.isEmpty());
}

TEST_F(CatalogTreeTest, RenamingAFolderKeepsWhatIsOpenBelowIt)
{
    catalog("F/G/disk");
    mkdir("Z");
    QTreeWidgetItem* f = child(top(), "F");
    tree().expandItem(f);
    tree().expandItem(child(f, "G"));
    ASSERT_TRUE(tree().renameNode(f, "Y"));
    EXPECT_TRUE(QFileInfo(root() + "/Y/G/disk.qd").exists());
    EXPECT_EQ(texts(top()), (QStringList{"Y", "Z"}));
    EXPECT_TRUE(f->isExpanded());
    EXPECT_TRUE(child(f, "G")->isExpanded());
    EXPECT_EQ(tree().NodePath(child(child(f, "G"), "disk")), root() + "/Y/G/disk");
}

TEST_F(CatalogTreeTest, RefusedTitleKeepsTheOldTextAndShowsTheTitleCheck)
{
    catalog("X");
    QTreeWidgetItem* x = child(top(), "X");
    EXPECT_FALSE(tree().renameNode(x, "Y.Z"));
    EXPECT_EQ(x->text(0), "X");
    EXPECT_TRUE(QFileInfo::exists(root() + "/X.qd"));
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_EQ(dialogs_.asked[0].text, QString::fromUtf8(kTitleRefusedMessage));
    EXPECT_EQ(dialogs_.asked[0].caption, "エラー");
    EXPECT_EQ(dialogs_.asked[0].icon, DialogIcon::Stop);
    EXPECT_EQ(dialogs_.asked[0].buttons, DialogButtons::Ok);
    EXPECT_EQ(dialogs_.asked[0].owner, tree().window());
}

TEST_F(CatalogTreeTest, JapaneseWhoseSecondBytesLookRefusedIsAccepted)
{
    catalog("X");
    QTreeWidgetItem* x = child(top(), "X");
    // 表 and ソ end in 0x5C, 弓 in 0x7C ("\\" and "|" as single bytes).
    ASSERT_TRUE(tree().renameNode(x, "表ソ弓"));
    EXPECT_TRUE(QFileInfo::exists(root() + "/表ソ弓.qd"));
    // A character without a code page 932 form is fine in a file name.
    ASSERT_TRUE(tree().renameNode(x, "naïve😀"));
    EXPECT_TRUE(QFileInfo::exists(root() + "/naïve😀.qd"));
    EXPECT_TRUE(dialogs_.asked.isEmpty());
}

TEST_F(CatalogTreeTest, RenameOntoAnExistingNameFailsWithItsMessage)
{
    catalog("X");
    catalog("Y");
    mkdir("F");
    mkdir("G");
    EXPECT_FALSE(tree().renameNode(child(top(), "X"), "Y"));
    EXPECT_FALSE(tree().renameNode(child(top(), "F"), "G"));
    EXPECT_FALSE(tree().renameNode(child(top(), "F"), ""));
    EXPECT_EQ(texts(top()), (QStringList{"F", "G", "X", "Y"}));
    EXPECT_TRUE(QFileInfo(root() + "/F").isDir());
    ASSERT_EQ(dialogs_.asked.size(), 3);
    for (const DialogRequest& r : dialogs_.asked) {
        EXPECT_EQ(r.text, "変更できませんでした");
        EXPECT_EQ(r.caption, "エラー");
        EXPECT_EQ(r.icon, DialogIcon::Stop);
    }
}

TEST_F(CatalogTreeTest, RenamingTheTopNodeStoresRootDirOnly)
{
    catalog("X");
    ASSERT_TRUE(tree().renameNode(top(), "Catalogs.2001"));
    EXPECT_EQ(settings::rootDir(), "Catalogs.2001");
    EXPECT_EQ(top()->text(0), "Catalogs.2001");
    EXPECT_TRUE(QFileInfo(root() + "/X.qd").exists());
    EXPECT_EQ(tree().NodePath(top()), root());
    tree().refresh();
    EXPECT_EQ(top()->text(0), "Catalogs.2001");
}

TEST_F(CatalogTreeTest, InPlaceEditingEndsInARename)
{
    catalog("X");
    mkdir("M");
    tree().show();
    QTreeWidgetItem* x = child(top(), "X");
    tree().setCurrentItem(x);
    tree().editItem(x);
    auto* editor = tree().viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    editor->setText("Q");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(editor, &enter);
    QCoreApplication::processEvents();
    EXPECT_EQ(x->text(0), "Q");
    EXPECT_EQ(texts(top()), (QStringList{"M", "Q"})); // re-sorted once the editor closed
    EXPECT_TRUE(QFileInfo::exists(root() + "/Q.qd"));
    EXPECT_FALSE(QFileInfo::exists(root() + "/X.qd"));
}

// A rename refused (the title check) or failed (the name is taken) puts the
// user back in the name editor with what he typed, the keys going to it.
TEST_F(CatalogTreeTest, ARenameRefusedInTheEditorOpensItAgainWithTheTextTyped)
{
    catalog("X");
    catalog("Y");
    tree().show();
    tree().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&tree()));
    for (const QString typed : {QStringLiteral("Y.Z"), QStringLiteral("Y")}) {
        SCOPED_TRACE(typed.toStdString());
        const qsizetype told = dialogs_.asked.size();
        QTreeWidgetItem* x = child(top(), "X");
        tree().setCurrentItem(x);
        tree().editItem(x);
        auto* editor = qobject_cast<QLineEdit*>(tree().indexWidget(tree().currentIndex()));
        ASSERT_TRUE(editor);
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs_.asked.size() == told + 1; }));
        ASSERT_TRUE(QTest::qWaitFor([&] {
            editor = qobject_cast<QLineEdit*>(tree().indexWidget(tree().currentIndex()));
            return editor && tree().editing();
        }));
        EXPECT_EQ(editor->text(), typed);
        EXPECT_EQ(QApplication::focusWidget(), editor);
        EXPECT_EQ(x->text(0), "X");
        QTest::keyClick(editor, Qt::Key_Escape);
    }
    EXPECT_EQ(dialogs_.asked.size(), 2);
}

// --- delete --------------------------------------------------------------------------

TEST_F(CatalogTreeTest, TheTopNodeIsNeverDeleted)
{
    EXPECT_FALSE(tree().deleteNode(top()));
    EXPECT_TRUE(dialogs_.asked.isEmpty());
    EXPECT_TRUE(QFileInfo(root()).isDir());
}

TEST_F(CatalogTreeTest, DeleteAsksAndSendsTheFolderWithItsCatalogsToTheTrash)
{
    catalog("F/one");
    catalog("F/G/two");
    catalog("keep");
    dialogs_.answers.enqueue(DialogAnswer::Yes);
    ASSERT_TRUE(tree().deleteNode(child(top(), "F")));
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_EQ(dialogs_.asked[0].text, "F を削除しますか。");
    EXPECT_EQ(dialogs_.asked[0].caption, "削除");
    EXPECT_EQ(dialogs_.asked[0].icon, DialogIcon::Question);
    EXPECT_EQ(dialogs_.asked[0].buttons, DialogButtons::YesNo);
    EXPECT_EQ(dialogs_.asked[0].defaultAnswer, DialogAnswer::No) << "Enter must not delete";
    EXPECT_FALSE(QFileInfo::exists(root() + "/F"));
    EXPECT_TRUE(QFileInfo::exists(trashFiles() + "/F/G/two.qd"));
    EXPECT_EQ(texts(top()), QStringList{"keep"}); // refreshed
}

TEST_F(CatalogTreeTest, DeleteOfADiskTrashesItsFileAndNoKeepsIt)
{
    catalogFile("A.QD");
    EXPECT_FALSE(tree().deleteNode(child(top(), "A"))); // answered No
    EXPECT_TRUE(QFileInfo::exists(root() + "/A.QD"));
    dialogs_.answers.enqueue(DialogAnswer::Yes);
    EXPECT_TRUE(tree().deleteNode(child(top(), "A")));
    EXPECT_FALSE(QFileInfo::exists(root() + "/A.QD"));
    EXPECT_TRUE(QFileInfo::exists(trashFiles() + "/A.QD"));
    EXPECT_EQ(top()->childCount(), 0);
}

// Answers Yes after running a refresh, as a timer firing while the question is open could.
class RefreshingDialogs final : public Dialogs {
public:
    explicit RefreshingDialogs(TCatalogTree& tree) : tree_(tree) { previous_ = setDialogs(this); }
    ~RefreshingDialogs() override { setDialogs(previous_); }
    DialogAnswer ask(const DialogRequest&) override
    {
        tree_.refresh();
        return DialogAnswer::Yes;
    }

private:
    TCatalogTree& tree_;
    Dialogs* previous_ = nullptr;
};

TEST_F(CatalogTreeTest, ARefreshDuringTheQuestionCancelsTheDelete)
{
    catalog("F/one");
    QTreeWidgetItem* f = child(top(), "F");
    RefreshingDialogs refreshing(tree());
    EXPECT_FALSE(tree().deleteNode(f));
    EXPECT_TRUE(QFileInfo::exists(root() + "/F/one.qd"));
    EXPECT_EQ(texts(top()), QStringList{"F"});
}

TEST_F(CatalogTreeTest, NothingOutsideTheRootIsTouched)
{
    QTemporaryDir outside;
    writeFile(std::filesystem::path(QFile::encodeName(outside.path() + "/victim.qd").toStdString()), "x");
    mkdir("F");
    QTreeWidgetItem* f = child(top(), "F");
    // A folder replaced by a link to somewhere else after the refresh.
    QDir(root() + "/F").removeRecursively();
    QFile::link(outside.path(), root() + "/F");
    dialogs_.answers.enqueue(DialogAnswer::Yes);
    EXPECT_FALSE(tree().deleteNode(f));
    EXPECT_TRUE(QFileInfo::exists(outside.path() + "/victim.qd"));
    EXPECT_FALSE(tree().insideRoot(QFile::encodeName(outside.path())));
    EXPECT_TRUE(tree().insideRoot(nativeRoot()));
}

} // namespace
} // namespace qd::test

namespace qd::test {
namespace {

// --- names that are not UTF-8, and what is not a catalog -----------------------------

// テスト in Shift-JIS, as a catalog copied from Windows is named; and the name
// that decoding it to text with replacement characters and encoding it back makes.
const QByteArray kSjis("\x83\x65\x83\x58\x83\x67");
const QByteArray kMangled("\xef\xbf\xbd" "e" "\xef\xbf\xbd" "X" "\xef\xbf\xbd" "g");

class CatalogTreeBytesTest : public CatalogTreeTest {
protected:
    // A catalog at a path of bytes below the root, told apart by its comment.
    void catalogAt(const QByteArray& relative, const char* comment) const
    {
        TDisk disk = sampleDisk();
        disk.Comment = comment;
        const std::filesystem::path file = JoinPath(nativeRoot(), relative).toStdString();
        std::filesystem::create_directories(file.parent_path());
        SaveDiskFile(file, disk);
    }
    bool exists(const QByteArray& relative) const
    {
        return std::filesystem::exists(JoinPath(nativeRoot(), relative).toStdString());
    }
};

TEST_F(CatalogTreeBytesTest, EveryNodeNamesExactlyItsOwnFile)
{
    catalogAt(kSjis + ".qd", "shift-jis");
    catalogAt(kMangled + ".qd", "decoy");
    catalogAt(kSjis + "/inner.qd", "inside");
    QTreeWidgetItem* disk = nullptr;
    QTreeWidgetItem* folder = nullptr;
    for (int i = 0; i < top()->childCount(); ++i) {
        QTreeWidgetItem* n = top()->child(i);
        if (n->text(0) == QString::fromUtf8("テスト"))
            (TCatalogTree::isDisk(n) ? disk : folder) = n;
    }
    ASSERT_NE(disk, nullptr);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(texts(folder), QStringList{"inner"});

    TDisk loaded;
    ASSERT_TRUE(LoadDiskData(tree().CatalogFile(disk).toStdString(), loaded).ok());
    EXPECT_EQ(loaded.Comment, "shift-jis");

    tree().ContextNode = disk;
    dialogs_.answers.enqueue(DialogAnswer::Yes);
    ASSERT_TRUE(tree().deleteNode(disk));
    EXPECT_FALSE(exists(kSjis + ".qd"));
    EXPECT_TRUE(exists(kMangled + ".qd")) << "the other catalog stays";
    EXPECT_TRUE(std::filesystem::exists(QFile::encodeName(trashFiles()).toStdString() + "/" + kSjis.toStdString() + ".qd"));
}

TEST_F(CatalogTreeBytesTest, AFifoIsNoCatalogAndOldSaveLeftoversAreCleared)
{
    catalog("Good");
    mkdir("Sub");
    ASSERT_EQ(::mkfifo(rootPath("Pipe.qd").c_str(), 0644), 0); // reading it would wait for ever
    const timespec old[2] = {{time(nullptr) - 2 * 86400, 0}, {time(nullptr) - 2 * 86400, 0}};
    for (const char* name : {".qdtmp.old111", "Sub/.qdtmp.old222", ".qdtmp.new333"})
        writeFile(rootPath(name), "partial");
    for (const char* name : {".qdtmp.old111", "Sub/.qdtmp.old222"})
        ASSERT_EQ(::utimensat(AT_FDCWD, rootPath(name).c_str(), old, 0), 0);

    EXPECT_EQ(texts(top()), (QStringList{"Good", "Sub"}));
    EXPECT_TRUE(dialogs_.asked.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(rootPath(".qdtmp.old111")));
    EXPECT_FALSE(std::filesystem::exists(rootPath("Sub/.qdtmp.old222")));
    EXPECT_TRUE(std::filesystem::exists(rootPath(".qdtmp.new333"))) << "a save may still be writing it";
}

} // namespace
} // namespace qd::test
