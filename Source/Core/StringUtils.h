#pragma once
// Conversions between wide (UTF-16) and 8-bit text and the few text operations the engine
// needs. The system's 8-bit code page is UTF-8 on this platform, so ToNarrow/ToWide and
// ToUtf8/FromUtf8 differ only in where they stop: the first pair stops at the first NUL, the
// second converts the whole string. Ill-formed input (lone surrogates, invalid UTF-8) becomes
// U+FFFD; nothing here throws or keeps state.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Core/ByteBuffer.h"

namespace nd
{

struct UriParts
{
    std::u16string query;    // from the "?" (included) to the end
    std::u16string path;     // from the first "/" after the host up to the query
    std::u16string protocol; // the text before "://"
    std::u16string host;
    std::u16string port; // the digits after the host's colon, as text
};

class StringUtils
{
public:
    virtual ~StringUtils() = default;

    static std::string ToNarrow(std::u16string_view text);
    static std::u16string ToWide(std::string_view text);
    static std::string ToUtf8(std::u16string_view text);
    static std::u16string FromUtf8(std::string_view text);

    // Appends the pieces between separators to out (empty pieces only with keepEmpty) and
    // returns the number of separators found; 0 (nothing appended) when text or separator is
    // empty or the separator does not occur.
    static int SplitString(const std::u16string& text, const std::u16string& separator,
                           std::vector<std::u16string>& out, bool keepEmpty = false);
    // Empty pieces are skipped except a trailing one; a text without any non-empty piece
    // (e.g. ",,") comes back whole as the one piece. An empty text gives an empty list.
    static std::vector<std::string> SplitString(const std::string& text, const std::string& separator);
    // The separator goes before each entry once the result is not empty.
    static std::u16string JoinStrings(const std::vector<std::u16string>& parts, const std::u16string& separator);

    // Replaces the first occurrence, searching again from the start, until none is left, so
    // runs collapse ("a///b", "//" -> "/" gives "a/b"). An empty pattern changes nothing; a
    // replacement that contains the pattern is applied in one left-to-right pass instead.
    static std::string& ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement);
    static std::u16string& ReplaceAll(std::u16string& text, const std::u16string& pattern,
                                      const std::u16string& replacement);
    static std::u16string& ReplaceAllNoCase(std::u16string& text, const std::u16string& pattern,
                                            const std::u16string& replacement);
    // ASCII-case-insensitive search from the start; npos when absent.
    static size_t FindNoCase(const std::u16string& text, const std::u16string& pattern);

    // Only A-Z and a-z change.
    static void ToUpper(std::string& text);
    static void ToLower(std::string& text);
    static void ToUpper(std::u16string& text);
    static void ToLower(std::u16string& text);
    static std::u16string ToLowerCopy(std::u16string_view text);

    // Radix 10: signed decimal. Other radices (2 to 36): the unsigned 32-bit value with
    // lower-case digits. Any other radix gives an empty string.
    static std::string IntToString(int32_t value, int radix = 10);
    static std::u16string IntToWideString(int32_t value, int radix = 10);

    // Standard padded Base64 without line breaks; empty for a null pointer or length <= 0.
    static std::string Base64Encode(const uint8_t* data, int length);
    // Keeps A-Z, a-z, 0-9; everything else as "%xx" of its UTF-8 bytes (lower-case hex).
    static std::u16string UrlEncode(std::u16string_view text);
    // Keeps A-Z, a-z, 0-9, "-", ".", "_", "~" and "/", encodes everything else as UrlEncode
    // does: a name put into a request path this way reaches the server exactly as it is, "%",
    // "?" and "#" included.
    static std::u16string UrlEncodePath(std::u16string_view text);
    // kind 0 SHA-1, 1 MD5, 2 SHA-256: the raw digest; an empty buffer for any other kind or
    // on failure.
    static ByteBuffer HashBytes(const uint8_t* data, size_t length, int kind);

    // What follows the last slash or backslash; empty when there is none.
    static std::u16string FileNameFromPath(const std::u16string& path);
    // Host, path (without leading slash), port and scheme of an http(s) URL. Starts with port
    // 80 / secure false (443 / true for https). When the URL has no "/" after the host, host
    // and path keep what the caller passed in.
    static void ServerFromUrl(const std::u16string& url, std::u16string& host, std::u16string& path,
                              int32_t& port, bool& secure);
    static UriParts ParseUri(const std::u16string& url);
};

} // namespace nd
