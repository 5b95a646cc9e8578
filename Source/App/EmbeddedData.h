#pragma once
// Files turned into program data at build time by the embed tool (see Source/App/CMakeLists.txt).

#include <cstddef>

namespace nd::embedded
{

extern const unsigned char TextFont[]; // Roboto Light, TrueType
extern const std::size_t TextFontSize;
extern const unsigned char IconFont[]; // the icon font, TrueType
extern const std::size_t IconFontSize;
extern const unsigned char LogoImage[]; // 340 x 60 raw RGBA
extern const std::size_t LogoImageSize;

} // namespace nd::embedded
