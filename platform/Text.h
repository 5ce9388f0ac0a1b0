#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "catalog/Cp932.h"

namespace qd {

// Code page 932 bytes of a catalog as a QString for display, and back. Bytes
// that code page 932 does not define survive the round trip (see Cp932.h).
inline QString fromAnsi(std::string_view cp932)
{
    const std::string utf8 = cp932::toUtf8(cp932);
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// Characters without a code page 932 form become the substitute.
inline std::string toAnsi(const QString& text, char substitute = '?')
{
    return cp932::fromUtf8(text.toStdString(), substitute).bytes;
}

} // namespace qd
