#include "FileContextMenu.h"

#include <QCoreApplication>
#include <QMimeData>

#include "ItemIDList.h"
#include "platform/Dialogs.h"
#include "platform/RealFolder.h"

namespace qd {
namespace {

const QString kNoContextMenu = QStringLiteral("内部エラーが発生しました。(3090)");
const QString kNoContextMenuDetail = QStringLiteral("error:GetUIObject");
const QString kNoDataObject = QStringLiteral("内部エラーが発生しました。(3091)");
const QString kMenuNotFilled = QStringLiteral("内部エラーが発生しました。(3092)");
// Send To is never taken over.
const QString kSendTo = QStringLiteral("送る(");

// The shell's command identifiers run from 1 to 999.
constexpr int kFirstCommand = 1;
constexpr int kLastCommand = 999;


} // namespace

ShellPopup BuildShellPopup(const TDisk& disk, std::int32_t folder, const std::vector<ShellRow>& rows, QWidget* owner)
{
    using namespace itemidlist;
    ShellPopup popup;
    if (rows.empty())
        return popup;

    // The set points into the parsed lists, which therefore live to the end.
    std::vector<ItemIDListPtr> parsed;
    std::vector<PCItemIDList> selection;
    std::shared_ptr<ShellFolder> shellFolder;
    const RealFolder real = FindRealFolder(disk, folder);
    if (real.ok()) {
        const ItemIDListPtr folderList(ItemIDListOfNames(real.letter, real.names));
        BindToShellFolder(folderList.get(), shellFolder);
        std::vector<EntryQuery> queries;
        queries.reserve(rows.size());
        for (const ShellRow& row : rows)
            queries.push_back({row.name, row.folder});
        std::vector<std::string> names = real.names;
        for (const std::optional<std::string>& entry : FindRealEntries(real.fd.get(), queries)) {
            if (selection.size() == kMaxShellSelection)
                break;
            if (!entry) {
                ++popup.missing;
                continue;
            }
            names.push_back(*entry);
            ItemIDListPtr list(ItemIDListOfNames(real.letter, names));
            names.pop_back();
            std::vector<PItemIDList> items;
            if (list && SplitItemIDList(list.get(), &items) && !items.empty()) {
                selection.push_back(items.back());
                parsed.push_back(std::move(list));
            } else {
                ++popup.missing;
            }
        }
    }
    if (!real.ok())
        popup.missing = int(rows.size());
    if (selection.empty()) {
        popup.entries.push_back({kNoDiskEntry, 0, false});
        return popup;
    }

    std::shared_ptr<IContextMenu> menu;
    if (shellFolder)
        shellFolder->GetUIObjectOf(selection, menu);
    popup.contextMenu = menu;
    if (!menu) {
        dialogs().error(owner, kNoContextMenu);
        dialogs().tell(owner, kNoContextMenuDetail, QCoreApplication::applicationName(), DialogIcon::None);
        return popup;
    }
    std::shared_ptr<QMimeData> data;
    shellFolder->GetUIObjectOf(selection, data);
    popup.dataObject = data;
    if (!data) {
        dialogs().error(owner, kNoDataObject);
        return popup;
    }

    ShellMenu entries;
    if (menu->QueryContextMenu(entries, 0, kFirstCommand, kLastCommand, CMF_EXPLORE) < 0) {
        dialogs().error(owner, kMenuNotFilled);
        return popup;
    }
    for (const ShellMenuItem& item : entries) {
        if (item.text.isEmpty())
            popup.entries.push_back({});
        else if (!item.text.startsWith(kSendTo))
            popup.entries.push_back({item.text, item.id});
    }
    return popup;
}

} // namespace qd
