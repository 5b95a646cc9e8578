#include "App/Logo.h"

#include "App/EmbeddedData.h"

namespace nd
{

const uint8_t* LogoPixels()
{
    // The generator writes exactly this many bytes; a smaller image would be read past its end.
    if (embedded::LogoImageSize != static_cast<std::size_t>(kLogoWidth) * kLogoHeight * 4)
        return nullptr;
    return embedded::LogoImage;
}

} // namespace nd
