// UrlEncode of any code units: only letters, digits and "%xx" come out, and decoding gives back
// the UTF-8 bytes of the text.

#include "Core/StringUtils.h"
#include "FuzzInput.h"

using fuzzinput::Require;

namespace
{

int HexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

bool IsAlphanumeric(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

// UTF-8 of the text read as UTF-16: a surrogate pair is one character (four bytes), a lone half
// stands for U+FFFD.
std::string ExpectedBytes(const std::u16string& text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i)
    {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        if (cp < 0x80)
            bytes.push_back(static_cast<char>(cp));
        else if (cp < 0x800)
        {
            bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
        else if (cp < 0x10000)
        {
            bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
        else
        {
            bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string text = fuzzinput::Units(data, size);
    const std::u16string encoded = nd::StringUtils::UrlEncode(text);
    std::string decoded;
    for (size_t i = 0; i < encoded.size(); ++i)
    {
        if (encoded[i] == u'%')
        {
            Require(i + 2 < encoded.size());
            const int high = HexValue(encoded[i + 1]);
            const int low = HexValue(encoded[i + 2]);
            Require(high >= 0 && low >= 0);
            const char byte = static_cast<char>(high * 16 + low);
            // Letters and digits are never escaped.
            Require(!IsAlphanumeric(static_cast<unsigned char>(byte)));
            decoded.push_back(byte);
            i += 2;
        }
        else
        {
            Require(IsAlphanumeric(encoded[i]));
            decoded.push_back(static_cast<char>(encoded[i]));
        }
    }
    Require(decoded == ExpectedBytes(text));
    return 0;
}
