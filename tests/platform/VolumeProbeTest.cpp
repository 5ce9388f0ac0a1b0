#include "platform/VolumeProbe.h"

#include <gtest/gtest.h>

namespace {

using qd::volume::parseUdevData;

TEST(UdevData, ReadsTheFileSystemKeys)
{
    const auto v = parseUdevData("S:disk/by-uuid/1234-ABCD\n"
                                 "E:ID_FS_UUID=1234-ABCD\n"
                                 "E:ID_FS_UUID_ENC=1234-ABCD\n"
                                 "E:ID_FS_TYPE=vfat\n"
                                 "E:ID_FS_LABEL=MY_STICK\n"
                                 "E:ID_FS_LABEL_ENC=MY\\x20STICK\n"
                                 "E:ID_BUS=usb\n");
    EXPECT_EQ(v.uuid, "1234-ABCD");
    EXPECT_EQ(v.fsType, "vfat");
    // The encoded label keeps the blank that the plain one replaces.
    EXPECT_EQ(v.label, "MY STICK");
}

TEST(UdevData, LabelsDecodeAsUtf8AndFallBackToThePlainForm)
{
    EXPECT_EQ(parseUdevData("E:ID_FS_LABEL_ENC=\xe5\x86\x99\xe7\x9c\x9f\\x2f2001\n").label, QStringLiteral("写真/2001"));
    EXPECT_EQ(parseUdevData("E:ID_FS_LABEL=PLAIN\n").label, "PLAIN");
    EXPECT_EQ(parseUdevData("E:ID_FS_LABEL_ENC=a\\xZZb\n").label, "a\\xZZb"); // not an escape: kept
    const auto none = parseUdevData("E:ID_SERIAL=xyz\n");
    EXPECT_TRUE(none.uuid.isEmpty());
    EXPECT_TRUE(none.label.isEmpty());
    EXPECT_TRUE(none.fsType.isEmpty());
}

TEST(UdevData, UnescapesLinkNames)
{
    EXPECT_EQ(qd::volume::unescapeUdev("DATA\\x20DISK"), "DATA DISK");
    EXPECT_EQ(qd::volume::unescapeUdev("trailing\\x2"), "trailing\\x2");
}

} // namespace
