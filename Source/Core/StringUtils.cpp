#include "Core/StringUtils.h"

namespace nd
{

// [SECTION] Splitting and joining

int StringUtils::SplitString(const std::u16string& text, const std::u16string& separator,
                             std::vector<std::u16string>& out, bool keepEmpty)
{
    if (text.empty() || separator.empty())
        return 0;
    std::vector<size_t> hits;
    for (size_t at = text.find(separator); at != std::u16string::npos; at = text.find(separator, at + separator.size()))
        hits.push_back(at);
    if (hits.empty())
        return 0;

    size_t pieceStart = 0;
    auto emit = [&](size_t end) {
        if (end > pieceStart || keepEmpty)
            out.push_back(text.substr(pieceStart, end - pieceStart));
    };
    for (size_t hit : hits)
    {
        emit(hit);
        pieceStart = hit + separator.size();
    }
    emit(text.size());
    return static_cast<int>(hits.size());
}

std::vector<std::string> StringUtils::SplitString(const std::string& text, const std::string& separator)
{
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    if (separator.empty())
    {
        pieces.push_back(text);
        return pieces;
    }
    size_t position = 0;
    for (size_t hit = text.find(separator); hit != std::string::npos; hit = text.find(separator, position))
    {
        if (hit > position)
            pieces.push_back(text.substr(position, hit - position));
        position = hit + separator.size();
    }
    if (pieces.empty())
        pieces.push_back(text);
    else
        pieces.push_back(text.substr(position));
    return pieces;
}

std::u16string StringUtils::JoinStrings(const std::vector<std::u16string>& parts, const std::u16string& separator)
{
    std::u16string joined;
    for (const std::u16string& part : parts)
    {
        if (!joined.empty())
            joined += separator;
        joined += part;
    }
    return joined;
}

// [SECTION] Replacing and searching

namespace
{

// Search restarts at 0 after every replacement, so "a///b" with "//" -> "/" collapses to "a/b".
// A replacement that contains the pattern would never terminate that way; such replacements
// (and an empty pattern, which matches everywhere) get a single left-to-right pass instead.
template <typename String, typename Find>
String& ReplaceRepeatedly(String& text, const String& pattern, const String& replacement, Find find)
{
    if (pattern.empty())
        return text;
    if (find(replacement, pattern) != String::npos)
    {
        for (size_t at = find(text, pattern); at != String::npos;)
        {
            text.replace(at, pattern.size(), replacement);
            size_t next = find(text.substr(at + replacement.size()), pattern);
            at = next == String::npos ? String::npos : at + replacement.size() + next;
        }
        return text;
    }
    for (size_t at = find(text, pattern); at != String::npos; at = find(text, pattern))
        text.replace(at, pattern.size(), replacement);
    return text;
}

template <typename Char> Char AsciiLower(Char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <typename Char> Char AsciiUpper(Char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<Char>(c - 'a' + 'A') : c;
}

} // namespace

std::string& StringUtils::ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement)
{
    return ReplaceRepeatedly(text, pattern, replacement,
                             [](const std::string& t, const std::string& p) { return t.find(p); });
}

std::u16string& StringUtils::ReplaceAll(std::u16string& text, const std::u16string& pattern,
                                        const std::u16string& replacement)
{
    return ReplaceRepeatedly(text, pattern, replacement,
                             [](const std::u16string& t, const std::u16string& p) { return t.find(p); });
}

std::u16string& StringUtils::ReplaceAllNoCase(std::u16string& text, const std::u16string& pattern,
                                              const std::u16string& replacement)
{
    return ReplaceRepeatedly(text, pattern, replacement, &StringUtils::FindNoCase);
}

size_t StringUtils::FindNoCase(const std::u16string& text, const std::u16string& pattern)
{
    return ToLowerCopy(text).find(ToLowerCopy(pattern));
}

// [SECTION] Case

void StringUtils::ToUpper(std::string& text)
{
    for (char& c : text)
        c = AsciiUpper(c);
}

void StringUtils::ToLower(std::string& text)
{
    for (char& c : text)
        c = AsciiLower(c);
}

void StringUtils::ToUpper(std::u16string& text)
{
    for (char16_t& c : text)
        c = AsciiUpper(c);
}

void StringUtils::ToLower(std::u16string& text)
{
    for (char16_t& c : text)
        c = AsciiLower(c);
}

std::u16string StringUtils::ToLowerCopy(std::u16string_view text)
{
    std::u16string copy(text);
    ToLower(copy);
    return copy;
}

// [SECTION] Numbers

std::string StringUtils::IntToString(int32_t value, int radix)
{
    if (radix < 2 || radix > 36)
        return {};
    if (radix == 10)
        return std::to_string(value);
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    uint32_t rest = static_cast<uint32_t>(value);
    std::string reversed;
    do
    {
        reversed.push_back(kDigits[rest % static_cast<uint32_t>(radix)]);
        rest /= static_cast<uint32_t>(radix);
    } while (rest != 0);
    return std::string(reversed.rbegin(), reversed.rend());
}

std::u16string StringUtils::IntToWideString(int32_t value, int radix)
{
    std::string narrow = IntToString(value, radix);
    return std::u16string(narrow.begin(), narrow.end());
}

} // namespace nd
