// GIO first: its headers use a word that Qt defines as a macro.
#include <gio/gio.h>

#include "ShellContextMenu.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QMimeDatabase>
#include <QUrl>
#include <algorithm>
#include <utility>

#include "FileOps.h"

namespace qd {
namespace {

// The entries as a Japanese desktop names them.
const QString kOpenWithDefault = QStringLiteral("%1 で開く(&O)");
const QString kOpenEach = QStringLiteral("開く(&O)");
const QString kOpenWithOther = QStringLiteral("%1 で開く");
const QString kOpenLocation = QStringLiteral("ファイルの場所を開く(&I)");
const QString kCopyPaths = QStringLiteral("パスのコピー(&A)");
const QString kTrash = QStringLiteral("ゴミ箱へ移動(&D)");
const QString kProperties = QStringLiteral("プロパティ(&R)");

using AppPtr = std::shared_ptr<GAppInfo>;

// Takes over a reference the caller owns.
AppPtr adopt(GAppInfo* app)
{
    return app ? AppPtr(app, [](GAppInfo* a) { g_object_unref(a); }) : nullptr;
}

QByteArray utf8(const QString& s) { return s.toUtf8(); }

// The applications registered for a type that a desktop shows, best first.
std::vector<AppPtr> applicationsFor(const QString& type)
{
    std::vector<AppPtr> out;
    GList* all = g_app_info_get_all_for_type(utf8(type).constData());
    for (GList* l = all; l; l = l->next) {
        AppPtr app = adopt(G_APP_INFO(l->data));
        if (g_app_info_should_show(app.get()))
            out.push_back(std::move(app));
    }
    g_list_free(all);
    return out;
}

bool contains(const std::vector<AppPtr>& apps, GAppInfo* app)
{
    return std::any_of(apps.begin(), apps.end(), [&](const AppPtr& a) { return g_app_info_equal(a.get(), app); });
}

QString appName(GAppInfo* app)
{
    // A "&" in a name is text, not an access key.
    return QString::fromUtf8(g_app_info_get_display_name(app)).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

GFile* fileOf(const QString& path) { return g_file_new_for_path(QFile::encodeName(path).constData()); }

bool launch(GAppInfo* app, const QStringList& paths)
{
    GList* files = nullptr;
    for (auto it = paths.crbegin(); it != paths.crend(); ++it)
        files = g_list_prepend(files, fileOf(*it));
    GError* error = nullptr;
    const bool ok = g_app_info_launch(app, files, nullptr, &error);
    g_list_free_full(files, g_object_unref);
    g_clear_error(&error);
    return ok;
}

// Opens the path with whatever application its type has by default.
bool launchDefault(const QString& path)
{
    GFile* file = fileOf(path);
    gchar* uri = g_file_get_uri(file);
    GError* error = nullptr;
    const bool ok = g_app_info_launch_default_for_uri(uri, nullptr, &error);
    g_clear_error(&error);
    g_free(uri);
    g_object_unref(file);
    return ok;
}

class DesktopMenu final : public IContextMenu {
public:
    explicit DesktopMenu(QStringList paths) : paths_(std::move(paths)) { build(); }

    int QueryContextMenu(ShellMenu& menu, int index, int first, int last, unsigned) override
    {
        offsets_.clear();
        ShellMenu entries;
        for (std::size_t i = 0; i < commands_.size(); ++i) {
            const Command& c = commands_[i];
            if (c.kind == Command::Separator) {
                // Never two in a row, nor one at the start: left-out commands may leave them so.
                if (!entries.empty() && !entries.back().text.isEmpty())
                    entries.push_back({QString(), 0});
                continue;
            }
            const int id = first + int(offsets_.size());
            if (id > last)
                continue;
            offsets_.push_back(i);
            entries.push_back({c.text, id});
        }
        if (!entries.empty() && entries.back().text.isEmpty())
            entries.pop_back();
        const std::size_t at = std::min(std::size_t(std::max(index, 0)), menu.size());
        menu.insert(menu.begin() + std::ptrdiff_t(at), entries.begin(), entries.end());
        return int(offsets_.size());
    }

    bool InvokeCommand(const CMInvokeCommandInfo& info) override
    {
        if (info.verb < 0 || std::size_t(info.verb) >= offsets_.size())
            return false;
        const Command& c = commands_[offsets_[std::size_t(info.verb)]];
        switch (c.kind) {
        case Command::OpenWith: return launch(c.app.get(), paths_);
        case Command::OpenEach: return launchEach(paths_);
        case Command::OpenLocation: return openLocations();
        case Command::CopyPaths: return copyPaths();
        case Command::Trash: return trash();
        case Command::Properties: return showProperties();
        case Command::Separator: break;
        }
        return false;
    }

private:
    struct Command {
        enum Kind { Separator, OpenWith, OpenEach, OpenLocation, CopyPaths, Trash, Properties } kind;
        QString text;
        AppPtr app; // OpenWith
    };

    void build()
    {
        QStringList types;
        const QMimeDatabase mimes;
        for (const QString& path : paths_) {
            const QString type = mimes.mimeTypeForFile(path).name();
            if (!types.contains(type))
                types.append(type);
        }
        // Applications that take every type of the set.
        std::vector<AppPtr> common = applicationsFor(types.value(0));
        for (qsizetype t = 1; t < types.size(); ++t) {
            const std::vector<AppPtr> apps = applicationsFor(types[t]);
            std::erase_if(common, [&](const AppPtr& a) { return !contains(apps, a.get()); });
        }
        std::vector<AppPtr> defaults;
        for (const QString& type : types)
            defaults.push_back(adopt(g_app_info_get_default_for_type(utf8(type).constData(), FALSE)));
        const bool everyTypeHasOne = std::all_of(defaults.begin(), defaults.end(), [](const AppPtr& a) { return a; });
        const bool oneForAll = everyTypeHasOne && std::all_of(defaults.begin(), defaults.end(), [&](const AppPtr& a) {
            return g_app_info_equal(a.get(), defaults.front().get());
        });

        if (oneForAll) {
            commands_.push_back({Command::OpenWith, kOpenWithDefault.arg(appName(defaults.front().get())), defaults.front()});
            std::erase_if(common, [&](const AppPtr& a) { return g_app_info_equal(a.get(), defaults.front().get()); });
        } else if (everyTypeHasOne) {
            // Types with different defaults: each item opens with its own.
            commands_.push_back({Command::OpenEach, kOpenEach, nullptr});
        }
        for (const AppPtr& app : common)
            commands_.push_back({Command::OpenWith, kOpenWithOther.arg(appName(app.get())), app});
        commands_.push_back({Command::Separator, QString(), nullptr});
        commands_.push_back({Command::OpenLocation, kOpenLocation, nullptr});
        commands_.push_back({Command::CopyPaths, kCopyPaths, nullptr});
        commands_.push_back({Command::Separator, QString(), nullptr});
        commands_.push_back({Command::Trash, kTrash, nullptr});
        commands_.push_back({Command::Separator, QString(), nullptr});
        commands_.push_back({Command::Properties, kProperties, nullptr});
    }

    // Opens each path with its default application, going on past one that
    // fails (as the trash does); true when every one opened.
    static bool launchEach(const QStringList& paths)
    {
        bool all = true;
        for (const QString& path : paths)
            all = launchDefault(path) && all;
        return all;
    }

    bool openLocations() const
    {
        QStringList folders;
        for (const QString& path : paths_) {
            const QString folder = QFileInfo(path).absolutePath();
            if (!folders.contains(folder))
                folders.append(folder);
        }
        return launchEach(folders);
    }

    bool copyPaths() const
    {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return false;
        QGuiApplication::clipboard()->setText(paths_.join(QLatin1Char('\n')));
        return true;
    }

    bool trash() const
    {
        bool all = true;
        for (const QString& path : paths_)
            all = ShellDelete(nullptr, path) && all;
        return all;
    }

    bool showProperties() const;

    QStringList paths_;
    std::vector<Command> commands_;
    std::vector<std::size_t> offsets_; // command index per identifier offset
};

ShowPropertiesHandler& propertiesHandler()
{
    static ShowPropertiesHandler handler;
    return handler;
}

bool DesktopMenu::showProperties() const
{
    const ShowPropertiesHandler& handler = propertiesHandler();
    if (!handler)
        return false;
    handler(paths_);
    return true;
}

class DesktopUIObjects final : public ShellUIObjects {
public:
    std::shared_ptr<IContextMenu> contextMenu(const QStringList& paths) override
    {
        return DesktopContextMenu(paths);
    }
    std::shared_ptr<QMimeData> dataObject(const QStringList& paths) override
    {
        auto data = std::make_shared<QMimeData>();
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        data->setUrls(urls);
        return data;
    }
};

DesktopUIObjects desktopUIObjects;
ShellUIObjects* installedUIObjects = &desktopUIObjects;

} // namespace

ShellUIObjects& shellUIObjects() { return *installedUIObjects; }

ShellUIObjects* setShellUIObjects(ShellUIObjects* s)
{
    ShellUIObjects* previous = installedUIObjects;
    installedUIObjects = s ? s : &desktopUIObjects;
    return previous == &desktopUIObjects ? nullptr : previous;
}

std::shared_ptr<IContextMenu> DesktopContextMenu(const QStringList& paths)
{
    if (paths.isEmpty())
        return nullptr;
    return std::make_shared<DesktopMenu>(paths);
}

ShowPropertiesHandler setShowProperties(ShowPropertiesHandler handler)
{
    return std::exchange(propertiesHandler(), std::move(handler));
}

} // namespace qd
