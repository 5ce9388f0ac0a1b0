#pragma once

#include <QFont>

namespace qd {

// The font of every window: "ＭＳ Ｐゴシック" 9 point (12 pixels), or the
// nearest Japanese proportional Gothic the system has. Given in pixels: the
// layouts are made for a 96 dpi screen and are not scaled.
inline QFont WindowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    return font;
}

} // namespace qd
