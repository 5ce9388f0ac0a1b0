#include <QActionGroup>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTest>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>
#include <algorithm>
#include <memory>
#include <stdexcept>

#include "StoreFixture.h"
#include "platform/Drives.h"
#include "browse/DiskContents.h"
#include "platform/Settings.h"
#include "shell/DropTarget.h"
#include "store/MainWindow.h"
#include "store/MessageBoxDialogs.h"

namespace qd::test {
namespace {

class MainWindowTest : public StoreFixture {
protected:
    TForm_Main& window()
    {
        if (!window_)
            window_ = std::make_unique<TForm_Main>(root());
        return *window_;
    }
    QTreeWidgetItem* top() { return window().TreeView1->topNode(); }
    // Shows the window and lets it settle.
    void show()
    {
        window().show();
        ASSERT_TRUE(window().windowHandle());
        for (int i = 0; i < 100 && !window().windowHandle()->isExposed(); ++i)
            QCoreApplication::processEvents();
    }
    static QStringList captions(const QMenu* menu)
    {
        QStringList out;
        for (const QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }
    QSettings stored() const { return QSettings(QStringLiteral("Qd"), QStringLiteral("410")); }

    std::unique_ptr<TForm_Main> window_;
};

// --- first start and layout ----------------------------------------------------

TEST_F(MainWindowTest, FirstStartWithoutSettingsUsesTheDesignPlaceAndCreatesTheRoot)
{
    ASSERT_FALSE(QFileInfo::exists(root()));
    show();
    EXPECT_TRUE(QFileInfo(root()).isDir());
    EXPECT_EQ(window().windowTitle(), "Qd Ver.4.10β1");
    EXPECT_EQ(window().frameGeometry().topLeft(), QPoint(199, 109));
    EXPECT_EQ(window().size(), QSize(573, 391));
    ASSERT_EQ(window().TreeView1->topLevelItemCount(), 1);
    EXPECT_EQ(top()->text(0), "MyDisk");
    EXPECT_EQ(top()->childCount(), 0);
    EXPECT_EQ(window().TreeView1->currentItem(), top());
    // Nothing is shown yet: both pages show their background text.
    EXPECT_EQ(window().Panel1->caption(), "選択されていません");
    EXPECT_EQ(window().Panel2->caption(), "選択されていません");
    EXPECT_EQ(window().PageControl1->currentWidget(), window().TabSheet1);
    EXPECT_FALSE(window().TB_Updir->isEnabled());
    EXPECT_FALSE(window().TB_ReLoad->isEnabled());
    EXPECT_TRUE(window().TB_SearchDisk->isEnabled());
    EXPECT_FALSE(window().ListView_SearchFile->isVisible());
    EXPECT_EQ(window().TreeView1->width(), 137);
}

TEST_F(MainWindowTest, BandsMenusAndPagesCarryTheirCaptions)
{
    TForm_Main& w = window();
    EXPECT_EQ(w.ToolButton1->text(), "ファイル(&F)");
    EXPECT_EQ(w.ToolButton1->menu(), w.Menu_File);
    EXPECT_EQ(captions(w.Menu_File), (QStringList{"新規作成", "ディスクの挿入を知らせる", "-", "閉じる"}));
    EXPECT_TRUE(w.InsertionNotice1->isCheckable());
    EXPECT_EQ(captions(w.New1), (QStringList{"フォルダ", "-", "CD・MO・FDDなど"}));
    EXPECT_EQ(captions(w.PopupMenu_Tree),
              (QStringList{"最新の情報に更新", "-", "新規作成", "-", "削除", "名前の変更", "-", "ファイルの検索"}));
    EXPECT_EQ(captions(w.New2), (QStringList{"フォルダ", "-", "CD・MO・FDDなど"}));
    EXPECT_EQ(captions(w.PM_ListView1), (QStringList{"保存されたプロパティ", "コメントの編集", "-"}));
    EXPECT_EQ(captions(w.PM_SearchFile), (QStringList{"閉じる", "-", "検索の中断"}));
    EXPECT_FALSE(w.Stop1->isEnabled());
    EXPECT_EQ(w.PageControl1->tabText(0), "ファイル一覧");
    EXPECT_EQ(w.PageControl1->tabText(1), "プロパティ");
    EXPECT_EQ(w.TB_SearchDisk->toolTip(), "ディスクから検索");
    EXPECT_EQ(w.TB_ReLoad->toolTip(), "データの更新");
    EXPECT_EQ(w.TB_Updir->toolTip(), "上へ");
    EXPECT_EQ(w.TL_ViewStyle->toolTip(), "表示");
    EXPECT_EQ(w.TB_SearchDisk->menu(), w.PM_SearchDisk);
    // The tool buttons stand in the band in this order.
    const QList<QAction*> band = w.ToolBar2->actions();
    ASSERT_EQ(band.size(), 6);
    EXPECT_EQ(w.ToolBar2->widgetForAction(band[0]), w.TB_SearchDisk);
    EXPECT_EQ(band[1], w.ToolButton4);
    EXPECT_EQ(w.ToolBar2->widgetForAction(band[2]), w.TB_ReLoad);
    EXPECT_EQ(band[3], w.ToolButton5);
    EXPECT_EQ(w.ToolBar2->widgetForAction(band[4]), w.TB_Updir);
    EXPECT_EQ(w.ToolBar2->widgetForAction(band[5]), w.TL_ViewStyle);
    EXPECT_EQ(w.ImageList_Tool.count(), 5);
}

TEST_F(MainWindowTest, DriveMenuHasOneRadioItemPerDriveWithTheFirstChecked)
{
    MappedDrive m('M', {.label = QStringLiteral("Data & More"), .kind = DriveKind::Fixed});
    MappedDrive empty('N', folder() + "/no-medium", {.kind = DriveKind::CdRom});
    ASSERT_FALSE(empty.drive().present());
    TForm_Main& w = window();
    const auto& drives = DriveTable::instance().drives();
    const QList<QAction*> items = w.PM_SearchDisk->actions();
    ASSERT_EQ(items.size(), qsizetype(drives.size()));
    ASSERT_FALSE(items.isEmpty());
    for (qsizetype i = 0; i < items.size(); ++i) {
        EXPECT_TRUE(items[i]->isCheckable());
        EXPECT_EQ(items[i]->isChecked(), i == 0);
        ASSERT_TRUE(items[i]->actionGroup());
        EXPECT_TRUE(items[i]->actionGroup()->isExclusive());
        // The text shows as it is: no access keys.
        EXPECT_EQ(items[i]->text(), QString(drives[std::size_t(i)].menuText()).replace("&", "&&"));
    }
    // A drive without a disk is listed all the same.
    EXPECT_TRUE(std::any_of(items.begin(), items.end(), [&](QAction* a) { return a->text() == empty.drive().menuText(); }));
}

TEST_F(MainWindowTest, TheFileDropTargetIsMadeButNeverAttached)
{
    show();
    const TDropFileTarget* target = window().DropFileTarget1;
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->parent(), &window());
    EXPECT_EQ(target->Dragtypes, (TDragTypes{TDragType::dtCopy, TDragType::dtMove, TDragType::dtLink}));
    EXPECT_FALSE(target->GetDataOnEnter);
    EXPECT_TRUE(target->ShowImage());
    EXPECT_FALSE(target->OnEnter || target->OnDragOver || target->OnLeave || target->OnDrop || target->OnGetDropEffect);
    EXPECT_FALSE(target->IsAttached());
    EXPECT_EQ(target->TargetControl(), nullptr);
    // Neither the window nor its lists take dropped files (its edit boxes
    // take dropped text, as edit boxes do).
    const TDiskContents& contents = *window().DiskContents;
    for (const QWidget* w : {static_cast<QWidget*>(&window()), window().TreeView1->viewport(),
                             contents.ListView1Icons->viewport(), contents.ListView1Details->viewport()})
        EXPECT_FALSE(w->acceptDrops()) << w->objectName().toStdString();
}

// --- placement ----------------------------------------------------------------------

TEST_F(MainWindowTest, NormalCloseStoresThePlacementAndTheNextStartUsesIt)
{
    show();
    window().move(40, 50);
    window().resize(600, 420);
    const QRect outer = window().frameGeometry();
    window().close();
    QSettings s = stored();
    EXPECT_EQ(s.value("main/left").toInt(), 40);
    EXPECT_EQ(s.value("main/top").toInt(), 50);
    EXPECT_EQ(s.value("main/width").toInt(), outer.width());
    EXPECT_EQ(s.value("main/height").toInt(), outer.height());

    window_.reset();
    show();
    EXPECT_EQ(window().frameGeometry(), outer);
    EXPECT_EQ(window().size(), QSize(600, 420));
}

// A stored placement is the outer one, frame included. Starting and closing
// the window must give back exactly what was stored, start after start: a
// window that took the outer size for its own grew by its frame each time.
TEST_F(MainWindowTest, AStoredPlacementComesBackUnchangedStartAfterStart)
{
    const settings::Placement stored{40, 50, 700, 500};
    settings::writePlacement(stored);
    for (int start = 0; start < 3; ++start) {
        SCOPED_TRACE(start);
        window_.reset();
        show();
        const QRect outer = window().frameGeometry();
        EXPECT_EQ(outer, QRect(40, 50, 700, 500));
        const QMargins frame = window().windowHandle()->frameMargins();
        EXPECT_EQ(window().size(), QSize(700 - frame.left() - frame.right(), 500 - frame.top() - frame.bottom()));
        window().close();
        EXPECT_EQ(settings::readPlacement({}), stored);
    }
}

// The arithmetic behind it, for frames that come with the window and for
// those a window manager adds later (zero margins until then).
TEST(ClientGeometry, PutsTheOuterEdgesAtThePlacement)
{
    const QSize design(573, 391);
    const struct {
        settings::Placement outer;
        QMargins frame; // left, top, right, bottom
        QRect client;
    } cases[] = {
        {{40, 50, 700, 500}, {}, {40, 50, 700, 500}},
        {{40, 50, 700, 500}, {1, 20, 1, 5}, {41, 70, 698, 475}},
        {{-10, 0, 300, 200}, {2, 2, 2, 2}, {-8, 2, 296, 196}},
        {{199, 109, kUnstoredExtent, kUnstoredExtent}, {1, 20, 1, 5}, {200, 129, 573, 391}},
        {{0, 0, 640, kUnstoredExtent}, {4, 30, 4, 4}, {4, 30, 632, 391}},
    };
    for (const auto& c : cases) {
        const QRect client = ClientGeometry(c.outer, c.frame, design);
        EXPECT_EQ(client, c.client);
        if (c.outer.width != kUnstoredExtent && c.outer.height != kUnstoredExtent) { // and back, as the close stores it
            EXPECT_EQ(client.marginsAdded(c.frame), QRect(c.outer.left, c.outer.top, c.outer.width, c.outer.height));
        }
    }
}

TEST_F(MainWindowTest, MaximisedCloseKeepsTheStoredPlacement)
{
    settings::writePlacement({10, 20, 500, 300});
    show();
    window().showMaximized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(window().isMaximized());
    window().close();
    EXPECT_EQ(settings::readPlacement({}), (settings::Placement{10, 20, 500, 300}));
}

TEST_F(MainWindowTest, MinimisedCloseKeepsTheStoredPlacement)
{
    settings::writePlacement({10, 20, 500, 300});
    show();
    window().showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(window().isMinimized());
    window().close();
    EXPECT_EQ(settings::readPlacement({}), (settings::Placement{10, 20, 500, 300}));
}

TEST_F(MainWindowTest, PlacementIsReadLeniently)
{
    {
        QSettings s = stored();
        s.setValue("main/left", "300");
        s.setValue("main/top", "not a number");
        s.setValue("main/width", 640);
    }
    show();
    const QRect outer = window().frameGeometry();
    EXPECT_EQ(outer.left(), 300);
    EXPECT_EQ(outer.top(), 109);
    EXPECT_EQ(outer.width(), 640);
    EXPECT_EQ(window().height(), 391);
}

// --- tree operations through the window ----------------------------------------------

// The selection kept from the last run is in sight at start with as much of
// the tree above it as fits: the top node too when the selection is on the
// first page.
TEST_F(MainWindowTest, OnStartTheKeptSelectionIsInSightWithWhatFitsAboveIt)
{
    for (int i = 1; i <= 60; ++i)
        catalog(QStringLiteral("Disk%1").arg(i, 2, 10, QLatin1Char('0')));
    for (const char* kept : {"Disk05", "Disk55"}) {
        settings::setTreeState({{}, QByteArray(kept) + ".qd"});
        window_.reset();
        show();
        TCatalogTree* tree = window().TreeView1;
        const QRect page = tree->viewport()->rect();
        const QRect shown = tree->visualItemRect(tree->currentItem());
        EXPECT_TRUE(page.contains(shown)) << kept;
        if (kept == std::string("Disk05"))
            EXPECT_TRUE(page.contains(tree->visualItemRect(top()))) << "the top node as well";
        else
            EXPECT_GT(shown.bottom() + shown.height(), page.bottom()) << "on the last row";
    }
    // The keys go to it from the start.
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    EXPECT_EQ(QApplication::focusWidget(), window().TreeView1);
}

TEST_F(MainWindowTest, ContextMenuDisablesDeleteOnTheTopNodeOnly)
{
    catalog("d");
    TForm_Main& w = window();
    w.TreeView1->setCurrentItem(top());
    w.PopupMenu_TreePopup();
    EXPECT_FALSE(w.Delete1->isEnabled());
    w.TreeView1->ContextNode = top();
    w.Delete1Click();
    EXPECT_TRUE(dialogs_.asked.isEmpty());
    w.TreeView1->setCurrentItem(child(top(), "d"));
    w.PopupMenu_TreePopup();
    EXPECT_TRUE(w.Delete1->isEnabled());
}

TEST_F(MainWindowTest, DeleteThroughTheMenuRefreshesTheTree)
{
    catalog("F/one");
    TForm_Main& w = window();
    w.TreeView1->ContextNode = child(top(), "F");
    dialogs_.answers.enqueue(DialogAnswer::Yes);
    w.Delete1Click();
    EXPECT_EQ(top()->childCount(), 0);
    EXPECT_EQ(w.TreeView1->ContextNode, nullptr);
    EXPECT_EQ(w.TreeView1->currentItem(), top());
    EXPECT_TRUE(QFileInfo::exists(trashFiles() + "/F/one.qd"));
}

TEST_F(MainWindowTest, NewFolderFromTheMenuStartsEditingTheNewNode)
{
    mkdir("新しいフォルダ");
    mkdir("新しいフォルダ(2)");
    catalog("disk");
    show();
    TForm_Main& w = window();
    w.TreeView1->setCurrentItem(child(top(), "disk")); // a disk stands for its parent
    w.Folder1Click();
    QTreeWidgetItem* made = w.TreeView1->currentItem();
    ASSERT_TRUE(made);
    EXPECT_EQ(made->text(0), "新しいフォルダ(3)");
    EXPECT_EQ(made->parent(), top());
    EXPECT_TRUE(QFileInfo(root() + "/新しいフォルダ(3)").isDir());
    auto* editor = w.TreeView1->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "新しいフォルダ(3)");
}

TEST_F(MainWindowTest, NewDiskHandsTheWizardTheFolderAndRefreshesWhenItCloses)
{
    catalog("F/old");
    show();
    TForm_Main& w = window();
    QByteArray folder;
    QPoint at;
    w.setNewDiskWizard([&](const QByteArray& f, const QByteArray&, const QPoint& p, QChar) {
        folder = f;
        at = p;
        catalog("F/new"); // what a finished wizard leaves behind
        return f + "new.qd";
    });
    w.TreeView1->ContextNode = child(child(top(), "F"), "old");
    w.CDMOFDD2Click();
    EXPECT_EQ(folder, QFile::encodeName(root() + "/F/"));
    EXPECT_EQ(at, w.frameGeometry().topLeft() + QPoint(20, 20));
    EXPECT_EQ(texts(child(top(), "F")), (QStringList{"new", "old"}));
    // The new disk is revealed, selected and shown.
    EXPECT_EQ(w.TreeView1->currentItem(), child(child(top(), "F"), "new"));
    EXPECT_TRUE(w.DiskContents->diskShown());

    // From the File menu the selected node is the target; the top node is the root.
    w.TreeView1->setCurrentItem(top());
    w.CDMOFDD1Click();
    EXPECT_EQ(folder, QFile::encodeName(root() + "/"));
}

TEST_F(MainWindowTest, NewDiskWithoutATargetDoesNothing)
{
    TForm_Main& w = window();
    bool ran = false;
    w.setNewDiskWizard([&](const QByteArray&, const QByteArray&, const QPoint&, QChar) {
        ran = true;
        return QByteArray();
    });
    w.TreeView1->ContextNode = nullptr;
    w.CDMOFDD2Click();
    EXPECT_FALSE(ran);
}

// --- the tree click ---------------------------------------------------------------------

TEST_F(MainWindowTest, ClickShowsADiskOfDataTypeOneAndNothingForOthers)
{
    catalog("F/disk");
    catalogFile("other.qd", 2);
    show();
    TForm_Main& w = window();
    QTreeWidgetItem* folder = child(top(), "F");
    w.TreeView1->expandItem(folder);

    w.TreeView1->setCurrentItem(child(folder, "disk"));
    w.TreeView1Click();
    EXPECT_TRUE(w.TB_ReLoad->isEnabled());
    EXPECT_TRUE(w.DiskContents->diskShown());
    EXPECT_EQ(w.DiskContents->shownFile(), rootPath("F/disk.qd"));

    w.TreeView1->setCurrentItem(folder);
    w.TreeView1Click();
    EXPECT_FALSE(w.TB_ReLoad->isEnabled());
    EXPECT_FALSE(w.DiskContents->diskShown());

    w.TreeView1->setCurrentItem(child(folder, "disk"));
    w.TreeView1Click();
    w.TreeView1->setCurrentItem(child(top(), "other"));
    w.TreeView1Click();
    EXPECT_FALSE(w.TB_ReLoad->isEnabled());
    EXPECT_FALSE(w.DiskContents->diskShown());
    EXPECT_TRUE(dialogs_.asked.isEmpty()); // nothing was loaded
}

TEST_F(MainWindowTest, ToolButtonsReachTheContentsView)
{
    catalog("disk"); // D: with PHOTO (index 1) below the root
    show();
    TForm_Main& w = window();
    EXPECT_EQ(w.TL_ViewStyle->menu(), w.DiskContents->PM_ViewStyle);
    ASSERT_EQ(w.DiskContents->viewStyle(), TDiskContents::ViewStyle::LargeIcon);
    w.TL_ViewStyle->click();
    EXPECT_EQ(w.DiskContents->viewStyle(), TDiskContents::ViewStyle::SmallIcon);

    w.TreeView1->setCurrentItem(child(top(), "disk"));
    w.TreeView1Click();
    w.DiskContents->CurrentFolder = 1;
    w.DiskContents->ShowFolder();
    ASSERT_TRUE(w.TB_Updir->isEnabled());
    w.TB_Updir->click();
    EXPECT_EQ(w.DiskContents->CurrentFolder, 0);
    EXPECT_FALSE(w.TB_Updir->isEnabled());
}

// --- the general error report ----------------------------------------------------------

class Thrower : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("the catalog cannot be opened");
        return QObject::event(e);
    }
};

TEST_F(MainWindowTest, AnExceptionInAHandlerIsReportedAndTheProgramGoesOn)
{
    Thrower t;
    QEvent e(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&t, &e));
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_EQ(dialogs_.asked[0].text, "the catalog cannot be opened");
    EXPECT_EQ(dialogs_.asked[0].caption, "Qd");
    EXPECT_EQ(dialogs_.asked[0].icon, DialogIcon::Stop);
    EXPECT_EQ(dialogs_.asked[0].buttons, DialogButtons::Ok);
    // Posted events reach it through the event loop as well.
    QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs_.asked.size(), 2);
}

TEST_F(MainWindowTest, AFolderThatCannotBeMadeFromTheMenuReachesTheErrorReport)
{
    mkdir("F");
    TForm_Main& w = window();
    w.TreeView1->setCurrentItem(child(top(), "F"));
    QDir(root() + "/F").removeRecursively();
    // As a menu click would: from the event loop.
    QMetaObject::invokeMethod(w.Folder1, &QAction::trigger, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_EQ(dialogs_.asked[0].caption, "Qd");
    EXPECT_TRUE(dialogs_.asked[0].text.contains("新しいフォルダ"));
}

} // namespace
} // namespace qd::test

namespace qd::test {
namespace {

// "qd FILE.qd", as a file manager opens a catalog through the desktop entry.
TEST_F(MainWindowTest, ACatalogNamedAtStartIsSelectedWhenBelowTheRootAndRefusedOtherwise)
{
    catalog("Shelf/Box/Disk");
    show();
    window().OpenCatalogFile(nativeRoot() + "/Shelf/../Shelf/Box/Disk.qd");
    QTreeWidgetItem* node = window().TreeView1->currentItem();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->text(0), "Disk");
    EXPECT_TRUE(node->parent()->isExpanded());
    EXPECT_TRUE(window().DiskContents->diskShown());
    EXPECT_FALSE(window().windowIcon().isNull());

    TempDir elsewhere;
    SaveDiskData(elsewhere / "Stray", sampleDisk());
    window().OpenCatalogFile(QByteArray::fromStdString((elsewhere / "Stray.qd").native()));
    ASSERT_EQ(dialogs_.asked.size(), 1);
    EXPECT_TRUE(dialogs_.asked[0].text.startsWith(QString::fromUtf8("カタログのフォルダの外にあります。")));
    EXPECT_TRUE(dialogs_.asked[0].text.endsWith(root()));
    EXPECT_EQ(window().TreeView1->currentItem(), node) << "nothing else changes";
}

} // namespace
} // namespace qd::test

// Qt's own buttons read Japanese beside the program's Japanese texts, whatever
// the user's locale (the test runs under C).
TEST(Translations, QtsStandardButtonsAreJapanese)
{
    qd::test::ensureApp<qd::QdApplication>();
    ASSERT_TRUE(qd::LoadJapaneseTranslations(*QCoreApplication::instance()));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QString::fromUtf8("はい(&Y)"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&No"), QString::fromUtf8("いいえ(&N)"));
}

namespace qd::test {
namespace {

// The comment question's box: three buttons, Escape answering キャンセル.
TEST(MessageBoxes, AYesNoCancelQuestionAnswersCancelToEscape)
{
    ensureApp<QdApplication>();
    MessageBoxDialogs boxes;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(boxes.ask({nullptr, "?", "確認", DialogIcon::Question, DialogButtons::YesNoCancel}), DialogAnswer::Cancel);
}

// The message box itself: a destructive question's default button is No.
TEST(MessageBoxes, ADestructiveQuestionDefaultsToNo)
{
    ensureApp<QdApplication>();
    MessageBoxDialogs boxes;
    for (const DialogAnswer preferred : {DialogAnswer::Yes, DialogAnswer::No}) {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            ASSERT_NE(box->defaultButton(), nullptr);
            box->defaultButton()->click(); // as Enter does
        });
        const DialogAnswer answer =
            boxes.ask({nullptr, "?", "確認", DialogIcon::Question, DialogButtons::YesNo, preferred});
        EXPECT_EQ(answer, preferred) << "Enter gives the default";
    }
}

} // namespace
} // namespace qd::test

namespace qd::test {
namespace {

// "上へ" and "データの更新" must not look disabled when they are enabled: their
// pictures as the platform draws them differ between the two states.
TEST_F(MainWindowTest, ToolButtonsLookDifferentWhenDisabled)
{
    for (QToolButton* b : {window().TB_Updir, window().TB_ReLoad, window().TB_SearchDisk}) {
        const QIcon icon = b->icon();
        const QImage enabled = icon.pixmap(16, 16, QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(16, 16, QIcon::Disabled).toImage();
        EXPECT_FALSE(enabled.isNull()) << b->objectName().toStdString();
        EXPECT_NE(enabled, disabled) << b->objectName().toStdString();
        // Coloured, not a grey symbol: some pixel's channels differ clearly.
        bool coloured = false;
        for (int y = 0; y < enabled.height() && !coloured; ++y)
            for (int x = 0; x < enabled.width() && !coloured; ++x) {
                const QColor c = enabled.pixelColor(x, y);
                coloured = c.alpha() > 128 && std::abs(c.red() - c.green()) + std::abs(c.green() - c.blue()) > 60;
            }
        EXPECT_TRUE(coloured) << b->objectName().toStdString();
    }
}

} // namespace
} // namespace qd::test
