#pragma once

// Settings and drives for tests. TempSettings points the program's settings
// (and $XDG_CONFIG_HOME) at a fresh temporary folder for its lifetime;
// MappedDrive maps a letter to a folder through the "Drives" settings and
// rebuilds the drive table, undoing both when it goes. A MappedDrive made
// while no TempSettings is alive brings its own, so a test never touches the
// user's real settings.
//
//     qd::test::MappedDrive d('D', {.label = "DATA", .serial = 0x1234ABCD});
//     d.write("A/B/x.txt", "hello");
//     qd::RealPath("D:\\A\\B\\");  // d.root() + "/A/B/"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/Drives.h"
#include "platform/Settings.h"
#include "platform/Text.h"

namespace qd::test {

class TempSettings {
public:
    TempSettings() : hadXdg_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")), oldXdg_(qgetenv("XDG_CONFIG_HOME"))
    {
        if (!dir_.isValid())
            throw std::runtime_error("no temporary folder for the settings");
        point(dir_.path());
        ++active();
        DriveTable::rebuild();
    }
    ~TempSettings()
    {
        --active();
        point(hadXdg_ ? QString::fromLocal8Bit(oldXdg_) : QDir::homePath() + QStringLiteral("/.config"));
        if (!hadXdg_)
            qunsetenv("XDG_CONFIG_HOME");
        DriveTable::rebuild();
    }
    TempSettings(const TempSettings&) = delete;
    TempSettings& operator=(const TempSettings&) = delete;

    // The configuration folder ($XDG_CONFIG_HOME) while this lives.
    QString folder() const { return dir_.path(); }
    // The settings file the program writes.
    QString file() const { return dir_.filePath(QStringLiteral("Qd/410.conf")); }
    // How many are alive; MappedDrive makes its own when none is.
    static int& active()
    {
        static int count = 0;
        return count;
    }

private:
    // Qt reads the configuration folder once per process, so it is told as
    // well as the environment.
    static void point(const QString& folder)
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    }

    QTemporaryDir dir_;
    bool hadXdg_;
    QByteArray oldXdg_;
};

// What a mapping configures besides its folder.
struct MappedDriveOptions {
    std::optional<QString> label = std::nullopt;
    std::optional<std::uint32_t> serial = std::nullopt;
    DriveKind kind = DriveKind::Fixed;
};

class MappedDrive {
public:
    using Options = MappedDriveOptions;

    // Maps the letter to a fresh, empty temporary folder.
    explicit MappedDrive(QChar letter, Options options = {}) : letter_(letter.toUpper())
    {
        ownFolder_.emplace();
        if (!ownFolder_->isValid())
            throw std::runtime_error("no temporary folder for the drive");
        map(ownFolder_->path(), options);
    }
    // Maps the letter to the folder, which need not exist (a drive with no medium).
    MappedDrive(QChar letter, const QString& folder, Options options = {}) : letter_(letter.toUpper())
    {
        map(folder, options);
    }
    ~MappedDrive()
    {
        settings::unmapDrive(letter_);
        DriveTable::rebuild();
    }
    MappedDrive(const MappedDrive&) = delete;
    MappedDrive& operator=(const MappedDrive&) = delete;

    QChar letter() const { return letter_; }
    // The mapped folder.
    const QString& root() const { return folder_; }
    // The drive as the table has it now.
    const Drive& drive() const
    {
        const Drive* d = DriveTable::instance().find(letter_);
        if (!d)
            throw std::logic_error("the mapped drive is not in the table");
        return *d;
    }
    // The real path of a relative path ("A/B/x.txt") on the drive.
    QString path(const QString& relative = QString()) const
    {
        return relative.isEmpty() ? folder_ : folder_ + u'/' + relative;
    }
    // The catalog form of a relative path, "D:\A\B" in code page 932.
    std::string catalogPath(const QString& relative = QString()) const
    {
        QString p = QString(letter_) + QStringLiteral(":\\") + relative;
        p.replace(u'/', u'\\');
        return toAnsi(p);
    }
    // Creates the folder (and its parents) on the drive; returns its real path.
    QString mkdir(const QString& relative) const
    {
        if (!QDir().mkpath(path(relative)))
            throw std::runtime_error("cannot create " + relative.toStdString());
        return path(relative);
    }
    // Writes a file (creating its folders); returns its real path.
    QString write(const QString& relative, const QByteArray& contents = QByteArray()) const
    {
        const QString full = path(relative);
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile f(full);
        if (!f.open(QIODevice::WriteOnly) || f.write(contents) != contents.size())
            throw std::runtime_error("cannot write " + relative.toStdString());
        return full;
    }

private:
    void map(const QString& folder, const Options& options)
    {
        if (TempSettings::active() == 0)
            ownSettings_.emplace();
        folder_ = folder;
        settings::DriveMapping m;
        m.letter = letter_;
        m.path = folder;
        m.label = options.label;
        m.serial = options.serial;
        m.kind = options.kind;
        if (!settings::mapDrive(m))
            throw std::runtime_error("cannot map the drive");
        DriveTable::rebuild();
    }

    QChar letter_;
    std::optional<TempSettings> ownSettings_; // destroyed after the unmapping above
    std::optional<QTemporaryDir> ownFolder_;
    QString folder_;
};

} // namespace qd::test
