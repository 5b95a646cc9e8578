#include "Platform/ErrorText.h"

#include <cstring>

namespace Platform
{

bool SystemErrorText(int32_t errorNumber, std::string& text)
{
    text.clear();
    if (errorNumber <= 0)
        return false;
    // The English description, independent of the locale; null for numbers the C library does
    // not know (where strerror would make up "Unknown error N").
    const char* description = ::strerrordesc_np(errorNumber);
    if (description == nullptr)
        return false;
    text = description;
    return true;
}

} // namespace Platform
