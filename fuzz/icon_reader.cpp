// Feeds arbitrary bytes to the icon reader as an icon file or a PE file: it
// must never read out of bounds or crash, and every icon it gives must be
// whole, of the size asked for, with a mask of the same size.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/IconReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (int side : {16, 32}) {
        const auto icons = qd::ReadIconsFromData(bytes, side);
        if (icons.size() > std::size_t(qd::kMaxFileIcons))
            std::abort();
        for (const qd::FileIcon& icon : icons)
            if (icon.image.size() != QSize(side, side) || icon.mask.size() != QSize(side, side))
                std::abort();
    }
    return 0;
}
