// The watch of the catalog store: what a look counts as a change, and the
// two ways of noticing another process's change.
#include "platform/StoreWatch.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/CatalogFixtures.h"
#include "support/OtherProcess.h"
#include "support/QtApp.h"

using namespace qd;
using namespace qd::test;

namespace {

class StoreWatchTest : public ::testing::Test {
protected:
    StoreWatchTest()
    {
        ensureApp();
        std::filesystem::create_directories(dir / "F");
        writeFile(dir / "a.qd", "qd410 one");
        writeFile(dir / "F" / "b.qd", "qd410 two");
    }
    QByteArray root() const { return QByteArray::fromStdString(dir.path().native()); }
    std::uint64_t signature() const { return StoreSignature(root()); }

    TempDir dir;
};

} // namespace

TEST_F(StoreWatchTest, ALookTellsEveryChangeOfTheStoreAndNothingElse)
{
    const std::string a = (dir / "a.qd").native();
    struct Row {
        const char* what;
        std::function<void()> change;
        bool counts;
    } rows[] = {
        {"a catalog added", [&] { writeFile(dir / "F" / "c.qd", "qd410"); }, true},
        {"a folder added", [&] { std::filesystem::create_directory(dir / "G"); }, true},
        {"a catalog renamed", [&] { std::filesystem::rename(dir / "F" / "b.qd", dir / "F" / "B2.qd"); }, true},
        {"a catalog replaced by a rename", [&] {
             writeFile(dir / "new", "qd410 one");
             std::filesystem::rename(dir / "new", dir / "a.qd");
         }, true},
        {"a catalog rewritten in place, same size", [&] {
             const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             ::utimensat(AT_FDCWD, a.c_str(), later, 0);
         }, true},
        {"a catalog removed", [&] { std::filesystem::remove(dir / "F" / "B2.qd"); }, true},
        {"a save's temporary file", [&] { writeFile(dir / ".qdtmp.AbCdEf", "x"); }, false},
        {"a file of another kind", [&] { writeFile(dir / "notes.txt", "x"); }, false},
        {"a catalog read", [&] { QFile f(QString::fromStdString(a)); f.open(QIODevice::ReadOnly); f.readAll(); }, false},
    };
    for (const Row& row : rows) {
        const std::uint64_t before = signature();
        row.change();
        EXPECT_EQ(signature() != before, row.counts) << row.what;
    }
    const FolderLook look = LookAtFolder(root());
    EXPECT_EQ(look.folders.size(), 2u);
    EXPECT_EQ(look.catalogs, std::vector<QByteArray>{QByteArray::fromStdString(a)});
}

TEST_F(StoreWatchTest, InotifySeesAnotherProcessAddAndRewriteInPlace)
{
    StoreWatcher watcher(root(), StoreWatcher::Mode::Notify);
    ASSERT_FALSE(watcher.polling());
    QSignalSpy changed(&watcher, &StoreWatcher::changed);
    ASSERT_TRUE(InAnotherProcess([&] { writeFile(dir / "F" / "new.qd", "qd410"); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() == 1; }, 5000));
    // The same bytes written over a catalog: only the catalog's own watch sees it.
    ASSERT_TRUE(InAnotherProcess([&] {
        const int fd = ::open((dir / "a.qd").c_str(), O_WRONLY);
        if (fd < 0 || ::write(fd, "qd410 one", 9) != 9)
            ::_exit(1);
        ::close(fd);
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() == 2; }, 5000));
}

TEST_F(StoreWatchTest, PollingLooksOnlyWhileActiveAndAtOnceWhenItBecomesActive)
{
    StoreWatcher watcher(root(), StoreWatcher::Mode::Poll);
    ASSERT_TRUE(watcher.polling());
    QSignalSpy changed(&watcher, &StoreWatcher::changed);
    ASSERT_TRUE(InAnotherProcess([&] { writeFile(dir / "F" / "new.qd", "qd410"); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(changed.count(), 0) << "inactive: nothing looked at, no inotify either";
    watcher.setActive(true);
    EXPECT_EQ(changed.count(), 1) << "becoming active looks at once";
    ASSERT_TRUE(InAnotherProcess([&] { std::filesystem::remove(dir / "F" / "new.qd"); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() == 2; }, 3 * StoreWatcher::kPollMs));
}
