// The main window with the real registration wizard: however the wizard is
// closed, the tree is read again afterwards.
#include <QPushButton>
#include <QTimer>

#include "registration/Unit_NewDisk.h"
#include "store/MainWindow.h"
#include "StoreFixture.h"

using namespace qd;
using namespace qd::test;

namespace {

class NewDiskHandOffTest : public StoreFixture {
protected:
    NewDiskHandOffTest()
    {
        window = std::make_unique<TForm_Main>(root());
        wizard = std::make_unique<TForm_NewDisk>(window.get());
        window->setNewDiskWizard(
            [this](const QByteArray& f, const QByteArray& r, const QPoint& p, QChar d) { return wizard->ShowFor(f, r, p, d); });
        window->show();
    }

    // Opens the wizard from the File menu; while it is up, a catalog appears
    // behind the tree's back and close() shuts the wizard.
    void runWizard(const QString& appearing, std::function<void()> close)
    {
        QTimer::singleShot(0, wizard.get(), [=, this] {
            EXPECT_TRUE(wizard->isVisible());
            EXPECT_EQ(wizard->CatalogFolderPath, QFile::encodeName(root() + "/"));
            catalog(appearing);
            close();
        });
        window->TreeView1->setCurrentItem(window->TreeView1->topLevelItem(0));
        window->CDMOFDD1Click();
        EXPECT_FALSE(wizard->isVisible());
    }

    std::unique_ptr<TForm_Main> window;
    std::unique_ptr<TForm_NewDisk> wizard;
};

} // namespace

TEST_F(NewDiskHandOffTest, CancelAndTheCloseBoxBothRefreshTheTree)
{
    runWizard("by cancel", [this] { wizard->BitBtn1->click(); });
    EXPECT_NE(child(window->TreeView1->topLevelItem(0), "by cancel"), nullptr);

    runWizard("by close box", [this] { wizard->close(); });
    EXPECT_NE(child(window->TreeView1->topLevelItem(0), "by close box"), nullptr);

    runWizard("by escape", [this] { wizard->reject(); });
    EXPECT_NE(child(window->TreeView1->topLevelItem(0), "by escape"), nullptr);
    EXPECT_EQ(wizard->pos(), window->frameGeometry().topLeft() + QPoint(20, 20));
}
