#include "platform/CatalogStore.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileOps.h"
#include "support/CatalogFixtures.h"
#include "support/TestHome.h"

namespace {

// テスト and 写真 in Shift-JIS: names a catalog copied from Windows may have.
const QByteArray kTestSjis("\x83\x65\x83\x58\x83\x67");
const QByteArray kPhotoSjis("\x8e\xca\x90\x5e");

class CatalogStoreTest : public ::testing::Test {
protected:
    // The locale's collation sorts the store, as the tree shows it.
    CatalogStoreTest() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    qd::test::TempDir tmp; // removed by bytes: QTemporaryDir cannot remove names that are not UTF-8
    QByteArray root = QByteArray::fromStdString(tmp.path().native());

    QByteArray at(const QByteArray& relative) const { return qd::JoinPath(root, relative); }
    void file(const QByteArray& relative, const QByteArray& data = "qd410") const
    {
        const QByteArray path = at(relative);
        FILE* out = std::fopen(path.constData(), "wb");
        ASSERT_NE(out, nullptr) << path.toStdString();
        std::fwrite(data.constData(), 1, std::size_t(data.size()), out);
        std::fclose(out);
    }
    void folder(const QByteArray& relative) const { ASSERT_EQ(::mkdir(at(relative).constData(), 0777), 0); }
};

QStringList texts(const qd::StoreListing& listing)
{
    QStringList out;
    for (const qd::StoreEntry& e : listing.entries)
        out << e.text;
    return out;
}

} // namespace

TEST_F(CatalogStoreTest, NamesAreKeptAsTheirBytesAndShownDecoded)
{
    folder(kPhotoSjis);
    file(kTestSjis + ".qd");
    file("plain.QD");
    const qd::StoreListing listing = qd::ListStoreFolder(root);
    ASSERT_TRUE(listing.listed);
    ASSERT_EQ(listing.entries.size(), 3u);
    QMap<QString, QByteArray> names;
    for (const qd::StoreEntry& e : listing.entries)
        names[e.text] = e.name;
    EXPECT_EQ(names.value(QString::fromUtf8("写真")), kPhotoSjis);
    EXPECT_EQ(names.value(QString::fromUtf8("テスト")), kTestSjis + ".qd");
    EXPECT_EQ(names.value("plain"), QByteArray("plain.QD"));
    // A UTF-8 name is shown as it is, whatever code page 932 would make of it.
    EXPECT_EQ(qd::DisplayFileName(QByteArray("\xe5\x86\x99\xe7\x9c\x9f")), QString::fromUtf8("写真"));
}

TEST_F(CatalogStoreTest, OnlyFoldersAndRegularCatalogFilesAreListedAndNothingIsOpened)
{
    folder("sub");
    file("a.qd");
    file("notes.txt");
    ASSERT_EQ(::mkfifo(at("pipe.qd").constData(), 0644), 0); // opening it would block
    ASSERT_EQ(::symlink(at("a.qd").constData(), at("link.qd").constData()), 0);
    ASSERT_EQ(::symlink(at("sub").constData(), at("linkdir").constData()), 0);
    file(".qdtmp.AbC123");
    const qd::StoreListing listing = qd::ListStoreFolder(root);
    EXPECT_EQ(texts(listing), (QStringList{"a", "sub"}));
    ASSERT_EQ(listing.leftovers.size(), 1u);
    EXPECT_EQ(listing.leftovers[0], QByteArray(".qdtmp.AbC123"));
    EXPECT_FALSE(qd::ListStoreFolder(at("missing")).listed);
}

TEST_F(CatalogStoreTest, CatalogsAreVisitedInTheTreesOrderDepthFirst)
{
    folder("A");
    folder("A/B");
    file("A/B/d3.qd");
    file("A/d2.qd");
    file("d1.qd");
    file("Z.qd");
    QStringList seen;
    qd::ForEachCatalog(root, [&](const QByteArray& path, const qd::StoreEntry& e) {
        EXPECT_EQ(path, at(path.mid(root.size() + 1)));
        seen << QString::fromUtf8(path.mid(root.size() + 1));
        return e.text != "d1"; // stops after d1
    });
    EXPECT_EQ(seen, (QStringList{"A/B/d3.qd", "A/d2.qd", "d1.qd"}));
    // A folder that cannot be listed is told apart from an empty one.
    EXPECT_TRUE(qd::ForEachCatalog(at("A/B"), [](const QByteArray&, const qd::StoreEntry&) { return true; }));
    EXPECT_FALSE(qd::ForEachCatalog(at("missing"), [](const QByteArray&, const qd::StoreEntry&) { return true; }));
}

TEST_F(CatalogStoreTest, AnExistingTitleIsFoundWhateverItsCase)
{
    file("X.QD");
    file("Photos.qd");
    file("photos.qd");
    folder("Dir.qd");
    EXPECT_EQ(qd::ExistingCatalogName(root, "x"), QByteArray("X.QD"));
    EXPECT_EQ(qd::ExistingCatalogName(root, "photos"), QByteArray("photos.qd")) << "the exact spelling wins";
    EXPECT_EQ(qd::ExistingCatalogName(root, "dir"), std::nullopt) << "a folder is no catalog";
    EXPECT_EQ(qd::ExistingCatalogName(root, "new"), std::nullopt);
}

TEST_F(CatalogStoreTest, OnlyLeftoversOlderThanADayAreRemoved)
{
    file(".qdtmp.old111");
    file(".qdtmp.new222");
    const timespec twoDaysAgo[2] = {{time(nullptr) - 2 * 86400, 0}, {time(nullptr) - 2 * 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, at(".qdtmp.old111").constData(), twoDaysAgo, 0), 0);
    const qd::StoreListing listing = qd::ListStoreFolder(root);
    EXPECT_EQ(qd::RemoveOldLeftovers(root, listing.leftovers), 1);
    EXPECT_FALSE(std::filesystem::exists(tmp / ".qdtmp.old111"));
    EXPECT_TRUE(std::filesystem::exists(tmp / ".qdtmp.new222"));
}

TEST_F(CatalogStoreTest, ALinkOutOfTheRootIsNotInsideIt)
{
    QTemporaryDir elsewhere;
    folder("in");
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere.path()).constData(), at("out").constData()), 0);
    EXPECT_TRUE(qd::InsideFolder(at("in"), root));
    EXPECT_TRUE(qd::InsideFolder(root, root));
    EXPECT_FALSE(qd::InsideFolder(at("out"), root));
    EXPECT_FALSE(qd::InsideFolder(at("missing"), root));
}

// The trash takes a file by its bytes, and makes the home trash where the
// trash layout puts it when the user's data folder does not exist yet.
TEST_F(CatalogStoreTest, TheTrashTakesANonUtf8NameAndMakesAMissingDataFolder)
{
    qd::test::TestHome();
    qd::test::RemoveTestDataHome();
    file(kTestSjis + ".qd", "catalog");
    QString error;
    ASSERT_TRUE(qd::ShellDelete(nullptr, at(kTestSjis + ".qd"), &error)) << error.toStdString();
    const QByteArray trashed = QFile::encodeName(qd::test::TestDataHome()) + "/Trash/files/" + kTestSjis + ".qd";
    struct stat st {};
    EXPECT_EQ(::stat(trashed.constData(), &st), 0);
    EXPECT_FALSE(QFile::exists(QDir::currentPath() + "/files")) << "nothing goes to the working folder";
}
