#include "platform/CatalogErrors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "catalog/DiskFile.h"

namespace {

using Code = qd::CatalogError::Code;

QString u(const char* s) { return QString::fromUtf8(s); }

// Every failure a window reports in its own words is Japanese, names the file
// on its own line and keeps the offset and the system's reason.
TEST(CatalogErrorsTest, CatalogErrorsAreJapaneseWithFileOffsetAndReason)
{
    const std::string file = "/data/\x83\x65\x83\x58\x83\x67.qd"; // テスト.qd in Shift-JIS
    const QString shown = u("/data/テスト.qd");
    const QString noEntry = QString::fromLocal8Bit(std::strerror(ENOENT));
    const struct {
        Code code;
        int err;
        std::size_t offset;
        QString expected;
    } cases[] = {
        {Code::Open, ENOENT, 0, u("ファイルを開けません。\r\n") + shown + "\r\n(" + noEntry + ")"},
        {Code::Damaged, 0, 1234, u("ファイルが壊れています。（オフセット 1234）\r\n") + shown},
        {Code::BadIcon, 0, 7, u("アイコンの画像が壊れています。（オフセット 7）\r\n") + shown},
        {Code::ReadOnly, EACCES, 0, u("ファイルは読み取り専用のため変更できません。\r\n") + shown},
        {Code::Vanished, ENOENT, 0, u("ファイルが移動または削除されています。\r\n") + shown},
        {Code::Exists, EEXIST, 0, u("同じ名前のファイルがすでに存在します。\r\n") + shown},
    };
    for (const auto& c : cases) {
        const qd::CatalogError e(c.code, file, c.err, c.offset, "english");
        EXPECT_EQ(qd::CatalogErrorText(e), c.expected) << int(c.code);
    }
    // Damage found in memory names no file: the sentence stands alone.
    EXPECT_EQ(qd::CatalogErrorText(qd::CatalogError(Code::Damaged, {}, 0, 5, "english")),
              u("ファイルが壊れています。（オフセット 5）"));
}

TEST(CatalogErrorsTest, OtherFailuresOfTheStoreAreJapaneseToo)
{
    EXPECT_EQ(qd::CreateFolderErrorText("/data/A", "Permission denied"),
              u("フォルダを作成できません。\r\n/data/A\r\n(Permission denied)"));
    EXPECT_EQ(qd::TrashErrorText("/data/A.qd", "No space"), u("ごみ箱に移動できません。\r\n/data/A.qd\r\n(No space)"));
    EXPECT_EQ(qd::OutsideRootText("/elsewhere/A.qd", "/home/me/data"),
              u("カタログのフォルダの外にあります。\r\n/elsewhere/A.qd\r\nカタログのフォルダ: /home/me/data"));
}

} // namespace
