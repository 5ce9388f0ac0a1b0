#include "Drives.h"

namespace qd {

QString Drive::displayName() const { return QString(); }
QString Drive::iconName() const { return QStringLiteral("drive-harddisk"); }
QString Drive::menuText() const { return QString(); }

const DriveTable& DriveTable::instance()
{
    static DriveTable table;
    return table;
}

void DriveTable::rebuild() {}

const Drive* DriveTable::find(QChar) const { return nullptr; }

DriveTable DriveTable::fromMountInfo(const QString&) { return DriveTable(); }

std::optional<QString> RealPath(std::string_view) { return std::nullopt; }
bool GetDiskSpace(std::string_view, std::int64_t&, std::int64_t&) { return false; }
bool GetVolumeInfo(std::string_view, std::uint32_t&, std::string&) { return false; }

} // namespace qd
