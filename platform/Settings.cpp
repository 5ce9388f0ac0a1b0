#include "Settings.h"

#include <QRegularExpression>
#include <limits>

namespace qd::settings {

namespace {

const QString kDrives = QStringLiteral("Drives");

std::optional<int> lenientInt(const QVariant& value)
{
    if (!value.isValid() || value.typeId() == QMetaType::QStringList)
        return std::nullopt;
    if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::LongLong
        || value.typeId() == QMetaType::ULongLong) {
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        if (ok && n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max())
            return int(n);
        return std::nullopt;
    }
    const QString text = value.toString().trimmed();
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok, 10);
    if (!ok || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(n);
}

// Only ASCII letters name drives.
bool namesDrive(QChar letter)
{
    return ParseDriveLetter(QString(letter)).has_value();
}

} // namespace

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Qd"),
                                       QStringLiteral("410"));
}

QString rootDir()
{
    return open()->value(QStringLiteral("RootDir"), QStringLiteral("MyDisk")).toString();
}

void setRootDir(const QString& text)
{
    open()->setValue(QStringLiteral("RootDir"), text);
}

bool insertionNotice()
{
    return open()->value(QStringLiteral("InsertionNotice"), true).toBool();
}

void setInsertionNotice(bool on)
{
    open()->setValue(QStringLiteral("InsertionNotice"), on);
}

TreeState treeState()
{
    auto s = open();
    s->beginGroup(QStringLiteral("tree"));
    TreeState state;
    for (const QVariant& v : s->value(QStringLiteral("expanded")).toList())
        state.expanded.append(v.toByteArray());
    if (s->contains(QStringLiteral("selected")))
        state.selected = s->value(QStringLiteral("selected")).toByteArray();
    return state;
}

void setTreeState(const TreeState& state)
{
    auto s = open();
    s->beginGroup(QStringLiteral("tree"));
    QVariantList expanded;
    for (const QByteArray& path : state.expanded)
        expanded.append(path); // bytes: a name need not be UTF-8
    s->setValue(QStringLiteral("expanded"), expanded);
    if (state.selected)
        s->setValue(QStringLiteral("selected"), *state.selected);
    else
        s->remove(QStringLiteral("selected"));
}

int searchPaneHeight()
{
    auto s = open();
    const std::optional<int> height = lenientInt(s->value(QStringLiteral("search/height")));
    return height && *height > 0 ? *height : 65;
}

void setSearchPaneHeight(int height)
{
    open()->setValue(QStringLiteral("search/height"), height);
}

Placement readPlacement(const Placement& defaults)
{
    auto s = open();
    s->beginGroup(QStringLiteral("main"));
    Placement p = defaults;
    p.left = lenientInt(s->value(QStringLiteral("left"))).value_or(defaults.left);
    p.top = lenientInt(s->value(QStringLiteral("top"))).value_or(defaults.top);
    p.width = lenientInt(s->value(QStringLiteral("width"))).value_or(defaults.width);
    p.height = lenientInt(s->value(QStringLiteral("height"))).value_or(defaults.height);
    return p;
}

bool writePlacement(const Placement& placement)
{
    auto s = open();
    s->beginGroup(QStringLiteral("main"));
    s->setValue(QStringLiteral("left"), placement.left);
    s->setValue(QStringLiteral("top"), placement.top);
    s->setValue(QStringLiteral("width"), placement.width);
    s->setValue(QStringLiteral("height"), placement.height);
    s->endGroup();
    s->sync();
    return s->status() == QSettings::NoError;
}

std::vector<DriveMapping> driveMappings()
{
    auto s = open();
    s->beginGroup(kDrives);
    QStringList keys = s->childGroups();
    keys.sort(); // upper case first, so "D" wins over a stray "d"
    std::vector<DriveMapping> out;
    for (const QString& key : keys) {
        const std::optional<QChar> parsed = key.size() == 1 ? ParseDriveLetter(key) : std::nullopt;
        if (!parsed)
            continue;
        const QChar letter = *parsed;
        if (std::any_of(out.begin(), out.end(), [&](const DriveMapping& m) { return m.letter == letter; }))
            continue;
        s->beginGroup(key);
        DriveMapping m;
        m.letter = letter;
        m.path = s->value(QStringLiteral("path")).toString();
        if (s->contains(QStringLiteral("label")))
            m.label = s->value(QStringLiteral("label")).toString();
        if (s->contains(QStringLiteral("serial")))
            m.serial = parseSerial(s->value(QStringLiteral("serial")).toString());
        if (s->contains(QStringLiteral("kind")))
            m.kind = parseKind(s->value(QStringLiteral("kind")).toString()).value_or(DriveKind::Fixed);
        s->endGroup();
        if (!m.path.isEmpty())
            out.push_back(std::move(m));
    }
    std::sort(out.begin(), out.end(), [](const DriveMapping& a, const DriveMapping& b) { return a.letter < b.letter; });
    return out;
}

bool mapDrive(const DriveMapping& mapping)
{
    if (!namesDrive(mapping.letter) || mapping.path.isEmpty())
        return false;
    auto s = open();
    s->beginGroup(kDrives);
    // Either case of the letter names the same drive.
    s->remove(QString(mapping.letter.toUpper()));
    s->remove(QString(mapping.letter.toLower()));
    s->beginGroup(QString(mapping.letter.toUpper()));
    s->setValue(QStringLiteral("path"), mapping.path);
    if (mapping.label)
        s->setValue(QStringLiteral("label"), *mapping.label);
    if (mapping.serial)
        s->setValue(QStringLiteral("serial"), formatSerial(*mapping.serial));
    if (mapping.kind != DriveKind::Fixed)
        s->setValue(QStringLiteral("kind"), kindName(mapping.kind));
    s->endGroup();
    s->endGroup();
    s->sync();
    return s->status() == QSettings::NoError;
}

bool unmapDrive(QChar letter)
{
    if (!namesDrive(letter))
        return false;
    auto s = open();
    s->beginGroup(kDrives);
    const QStringList groups = s->childGroups();
    bool had = false;
    for (const QChar c : {letter.toUpper(), letter.toLower()}) {
        if (groups.contains(QString(c))) {
            s->remove(QString(c));
            had = true;
        }
    }
    s->endGroup();
    s->sync();
    return had;
}

std::optional<std::uint32_t> parseSerial(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9A-Fa-f]{4})-?([0-9A-Fa-f]{4})$"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    return std::uint32_t(m.captured(1).toUInt(nullptr, 16)) << 16 | m.captured(2).toUInt(nullptr, 16);
}

QString formatSerial(std::uint32_t serial)
{
    return QStringLiteral("%1-%2")
        .arg(serial >> 16, 4, 16, QLatin1Char('0'))
        .arg(serial & 0xFFFF, 4, 16, QLatin1Char('0'))
        .toUpper();
}

QString kindName(DriveKind kind)
{
    switch (kind) {
    case DriveKind::Removable: return QStringLiteral("removable");
    case DriveKind::Fixed: return QStringLiteral("fixed");
    case DriveKind::CdRom: return QStringLiteral("cdrom");
    case DriveKind::Network: return QStringLiteral("network");
    case DriveKind::Ram: return QStringLiteral("ram");
    }
    return QStringLiteral("fixed");
}

std::optional<DriveKind> parseKind(const QString& word)
{
    for (DriveKind k : {DriveKind::Removable, DriveKind::Fixed, DriveKind::CdRom, DriveKind::Network, DriveKind::Ram}) {
        if (word.trimmed().compare(kindName(k), Qt::CaseInsensitive) == 0)
            return k;
    }
    return std::nullopt;
}

} // namespace qd::settings
