#pragma once

#include <string>
#include <string_view>

namespace qd {

// Structural check of a BMP file image: "BM" file header, a known info header,
// sane width, height, planes and bit depth, and pixel rows that lie inside the
// image. Returns an empty string when valid, else what is wrong. Decoding is
// left to the platform's image reader; this only decides "not a valid BMP".
std::string BmpProblem(std::string_view image);

} // namespace qd
