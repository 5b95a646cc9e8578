// StringUtils: code-page conversions, Base64, percent-encoding and digests.
#include "Core/StringUtils.h"

#include "Platform/Digest.h"

namespace nd
{

namespace
{

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80)
    {
        out.push_back(static_cast<char>(cp));
    }
    else if (cp < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else if (cp < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000)
    {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

bool IsHighSurrogate(char32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Calls emit with each code point of the UTF-16 text; unpaired surrogates become U+FFFD.
template <typename Emit> void ForEachCodePoint(std::u16string_view text, Emit emit)
{
    for (size_t i = 0; i < text.size(); ++i)
    {
        char32_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
        {
            emit(0x10000 + ((unit - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        }
        else if (IsHighSurrogate(unit) || IsLowSurrogate(unit))
        {
            emit(kReplacement);
        }
        else
        {
            emit(unit);
        }
    }
}

std::string EncodeUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 3);
    ForEachCodePoint(text, [&](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

// Well-formed UTF-8 only (no overlong forms, no encoded surrogates, nothing above U+10FFFF);
// each maximal ill-formed subsequence becomes one U+FFFD.
std::u16string DecodeUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size())
    {
        uint8_t lead = static_cast<uint8_t>(text[i]);
        if (lead < 0x80)
        {
            out.push_back(lead);
            ++i;
            continue;
        }
        int trailing = 0;
        char32_t cp = 0;
        uint8_t low = 0x80, high = 0xBF; // allowed range of the first trailing byte
        if (lead >= 0xC2 && lead <= 0xDF)
            trailing = 1, cp = lead & 0x1F;
        else if (lead >= 0xE0 && lead <= 0xEF)
            trailing = 2, cp = lead & 0x0F, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        else if (lead >= 0xF0 && lead <= 0xF4)
            trailing = 3, cp = lead & 0x07, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        else
        {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        size_t next = i + 1;
        int taken = 0;
        for (; taken < trailing && next < text.size(); ++taken, ++next)
        {
            uint8_t unit = static_cast<uint8_t>(text[next]);
            uint8_t min = taken == 0 ? low : 0x80, max = taken == 0 ? high : 0xBF;
            if (unit < min || unit > max)
                break;
            cp = (cp << 6) | (unit & 0x3F);
        }
        AppendUtf16(out, taken == trailing ? cp : kReplacement);
        i = next;
    }
    return out;
}

template <typename View> View UpToFirstNul(View text)
{
    size_t nul = text.find(typename View::value_type(0));
    return nul == View::npos ? text : text.substr(0, nul);
}

void AppendPercentByte(std::u16string& out, unsigned byte)
{
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    out.push_back(u'%');
    out.push_back(kHex[(byte >> 4) & 0xF]);
    out.push_back(kHex[byte & 0xF]);
}

} // namespace

std::string StringUtils::ToNarrow(std::u16string_view text)
{
    return EncodeUtf8(UpToFirstNul(text));
}

std::u16string StringUtils::ToWide(std::string_view text)
{
    return DecodeUtf8(UpToFirstNul(text));
}

std::string StringUtils::ToUtf8(std::u16string_view text)
{
    return EncodeUtf8(text);
}

std::u16string StringUtils::FromUtf8(std::string_view text)
{
    return DecodeUtf8(text);
}

std::string StringUtils::Base64Encode(const uint8_t* data, int length)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    if (data == nullptr || length <= 0)
        return out;
    size_t size = static_cast<size_t>(length);
    out.reserve((size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= size; i += 3)
    {
        uint32_t group = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(kAlphabet[(group >> 6) & 0x3F]);
        out.push_back(kAlphabet[group & 0x3F]);
    }
    if (size - i == 1)
    {
        uint32_t group = uint32_t(data[i]) << 16;
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out += "==";
    }
    else if (size - i == 2)
    {
        uint32_t group = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8);
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(kAlphabet[(group >> 6) & 0x3F]);
        out.push_back('=');
    }
    return out;
}

namespace
{

bool IsAlphanumeric(char32_t cp)
{
    return (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || (cp >= '0' && cp <= '9');
}

// Every character for which keep is false goes out as "%xx" of its UTF-8 bytes. A surrogate pair
// is one character and goes out as its four UTF-8 bytes; encoding the two halves separately
// would send bytes no server decodes. A lone half is sent as U+FFFD.
template <typename Keep> std::u16string PercentEncode(std::u16string_view text, Keep keep)
{
    std::u16string out;
    out.reserve(text.size() * 3);
    ForEachCodePoint(text, [&](char32_t cp) {
        if (keep(cp))
        {
            out.push_back(static_cast<char16_t>(cp));
            return;
        }
        std::string bytes;
        AppendUtf8(bytes, cp);
        for (char byte : bytes)
            AppendPercentByte(out, static_cast<uint8_t>(byte));
    });
    return out;
}

} // namespace

std::u16string StringUtils::UrlEncode(std::u16string_view text)
{
    return PercentEncode(text, IsAlphanumeric);
}

std::u16string StringUtils::UrlEncodePath(std::u16string_view text)
{
    return PercentEncode(text, [](char32_t cp)
                         { return IsAlphanumeric(cp) || cp == '-' || cp == '.' || cp == '_' || cp == '~' || cp == '/'; });
}

ByteBuffer StringUtils::HashBytes(const uint8_t* data, size_t length, int kind)
{
    Platform::DigestKind digestKind;
    switch (kind)
    {
    case 0:
        digestKind = Platform::DigestKind::Sha1;
        break;
    case 1:
        digestKind = Platform::DigestKind::Md5;
        break;
    case 2:
        digestKind = Platform::DigestKind::Sha256;
        break;
    default:
        return ByteBuffer();
    }
    if (data == nullptr && length != 0)
        return ByteBuffer();
    std::vector<uint8_t> digest;
    if (!Platform::ComputeDigest(digestKind, data, length, digest))
        return ByteBuffer();
    ByteBuffer result;
    if (!result.Append(digest.data(), digest.size()))
        return ByteBuffer();
    return result;
}

} // namespace nd
