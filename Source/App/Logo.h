#pragma once

#include <cstdint>

namespace nd
{

constexpr int32_t kLogoWidth = 340;
constexpr int32_t kLogoHeight = 60;

// The product logo as raw RGBA, rows top to bottom: kLogoWidth * kLogoHeight * 4 (81 600) bytes that
// live for the whole process. Made at build time from the project's own artwork.
const uint8_t* LogoPixels();

} // namespace nd
