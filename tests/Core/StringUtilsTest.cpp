#include "Core/StringUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using nd::StringUtils;

namespace
{

using Pieces = std::vector<std::u16string>;

std::string Hex(const nd::ByteBuffer& buffer)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint64_t i = 0; i < buffer.Size(); ++i)
    {
        text.push_back(digits[buffer.Data()[i] >> 4]);
        text.push_back(digits[buffer.Data()[i] & 0xF]);
    }
    return text;
}

nd::ByteBuffer Hash(const std::string& text, int kind)
{
    return StringUtils::HashBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), kind);
}

} // namespace

// [SECTION] Conversions

TEST(StringConversion, NonAsciiTextSurvivesTheRoundTrip)
{
    const std::u16string text = u"caf\u00e9 \u20ac \U0001F600 \u4e2d";
    const std::string utf8 = "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xe4\xb8\xad";
    EXPECT_EQ(StringUtils::ToNarrow(text), utf8);
    EXPECT_EQ(StringUtils::ToWide(utf8), text);
    EXPECT_EQ(StringUtils::ToUtf8(text), utf8);
    EXPECT_EQ(StringUtils::FromUtf8(utf8), text);
}

TEST(StringConversion, EmptyGivesEmpty)
{
    EXPECT_EQ(StringUtils::ToNarrow(u""), "");
    EXPECT_EQ(StringUtils::ToWide(""), u"");
    EXPECT_EQ(StringUtils::ToUtf8(u""), "");
    EXPECT_EQ(StringUtils::FromUtf8(""), u"");
}

TEST(StringConversion, NarrowAndWideStopAtTheFirstNulButUtf8KeepsEverything)
{
    const std::u16string wide(u"ab\0cd", 5);
    const std::string narrow("ab\0cd", 5);
    EXPECT_EQ(StringUtils::ToNarrow(wide), "ab");
    EXPECT_EQ(StringUtils::ToWide(narrow), u"ab");
    EXPECT_EQ(StringUtils::ToUtf8(wide), narrow);
    EXPECT_EQ(StringUtils::FromUtf8(narrow), wide);
}

TEST(StringConversion, LoneSurrogatesBecomeReplacementCharacters)
{
    const std::u16string loneHigh = std::u16string(u"a") + char16_t(0xD800) + u"b";
    const std::u16string loneLow = std::u16string(u"a") + char16_t(0xDC00);
    const std::u16string reversed = std::u16string() + char16_t(0xDE00) + char16_t(0xD83D);
    EXPECT_EQ(StringUtils::ToNarrow(loneHigh), "a\xef\xbf\xbd" "b");
    EXPECT_EQ(StringUtils::ToUtf8(loneLow), "a\xef\xbf\xbd");
    EXPECT_EQ(StringUtils::ToUtf8(reversed), "\xef\xbf\xbd\xef\xbf\xbd");
}

TEST(StringConversion, IllFormedUtf8BecomesReplacementCharacters)
{
    const std::u16string replacement(1, char16_t(0xFFFD));
    EXPECT_EQ(StringUtils::FromUtf8("a\xff" "b"), u"a" + replacement + u"b");
    // Overlong "/", an encoded surrogate and a truncated sequence at the end.
    EXPECT_EQ(StringUtils::FromUtf8("\xc0\xaf"), replacement + replacement);
    EXPECT_EQ(StringUtils::FromUtf8("\xed\xa0\x80"), replacement + replacement + replacement);
    EXPECT_EQ(StringUtils::FromUtf8("x\xe2\x82"), u"x" + replacement);
    EXPECT_EQ(StringUtils::FromUtf8("\xf4\x90\x80\x80"), replacement + replacement + replacement + replacement);
    EXPECT_EQ(StringUtils::ToWide("\xe2\x82\xac\xe2"), u"\u20ac" + replacement);
}

// [SECTION] Splitting and joining

TEST(StringSplit, WideDropsEmptyPiecesUnlessAsked)
{
    Pieces out;
    EXPECT_EQ(StringUtils::SplitString(u"a/b//c", u"/", out, false), 3);
    EXPECT_EQ(out, (Pieces{u"a", u"b", u"c"}));
    Pieces kept;
    EXPECT_EQ(StringUtils::SplitString(u"a/b//c", u"/", kept, true), 3);
    EXPECT_EQ(kept, (Pieces{u"a", u"b", u"", u"c"}));
}

TEST(StringSplit, WideWithoutSeparatorAppendsNothing)
{
    Pieces out{u"earlier"};
    EXPECT_EQ(StringUtils::SplitString(u"abc", u"/", out, false), 0);
    EXPECT_EQ(out, (Pieces{u"earlier"}));
    EXPECT_EQ(StringUtils::SplitString(u"", u"/", out, true), 0);
    EXPECT_EQ(StringUtils::SplitString(u"abc", u"", out, true), 0);
    EXPECT_EQ(out.size(), 1u);
}

TEST(StringSplit, WideAppendsToWhatIsThere)
{
    Pieces out{u"x"};
    EXPECT_EQ(StringUtils::SplitString(u"/abc", u"/", out, false), 1);
    EXPECT_EQ(out, (Pieces{u"x", u"abc"}));
}

TEST(StringSplit, WideMultiUnitSeparatorAndTrailingSeparator)
{
    Pieces out;
    EXPECT_EQ(StringUtils::SplitString(u"a::b::", u"::", out, true), 2);
    EXPECT_EQ(out, (Pieces{u"a", u"b", u""}));
    Pieces overlapping;
    EXPECT_EQ(StringUtils::SplitString(u"a:::b", u"::", overlapping, true), 1);
    EXPECT_EQ(overlapping, (Pieces{u"a", u":b"}));
}

TEST(StringSplit, NarrowKeepsOnlyATrailingEmptyPiece)
{
    using Narrow = std::vector<std::string>;
    EXPECT_EQ(StringUtils::SplitString(std::string("a,b,"), std::string(",")), (Narrow{"a", "b", ""}));
    EXPECT_EQ(StringUtils::SplitString(std::string(",,"), std::string(",")), (Narrow{",,"}));
    EXPECT_EQ(StringUtils::SplitString(std::string("abc"), std::string(",")), (Narrow{"abc"}));
    EXPECT_EQ(StringUtils::SplitString(std::string("a,,b"), std::string(",")), (Narrow{"a", "b"}));
    EXPECT_EQ(StringUtils::SplitString(std::string(""), std::string(",")), Narrow{});
    EXPECT_EQ(StringUtils::SplitString(std::string("a\r\nb"), std::string("\r\n")), (Narrow{"a", "b"}));
}

TEST(StringJoin, LeadingEmptyEntriesProduceNoSeparator)
{
    EXPECT_EQ(StringUtils::JoinStrings({u"", u"a", u"b"}, u"/"), u"a/b");
    EXPECT_EQ(StringUtils::JoinStrings({u"a", u"", u"b"}, u"/"), u"a//b");
    EXPECT_EQ(StringUtils::JoinStrings({}, u"/"), u"");
}

// [SECTION] Replacing, searching, case

TEST(StringReplace, RunsCollapseBecauseSearchRestarts)
{
    std::string text = "a///b";
    EXPECT_EQ(StringUtils::ReplaceAll(text, "//", "/"), "a/b");
    std::u16string wide = u"x--y--z";
    EXPECT_EQ(StringUtils::ReplaceAll(wide, u"--", u"+"), u"x+y+z");
    std::u16string removed = u"h/a/h/b";
    EXPECT_EQ(StringUtils::ReplaceAll(removed, u"h/", u""), u"a/b");
}

TEST(StringReplace, ReplacementContainingThePatternTerminates)
{
    std::string text = "a.b.c";
    EXPECT_EQ(StringUtils::ReplaceAll(text, ".", ".."), "a..b..c");
    std::u16string wide = u"aXbx";
    EXPECT_EQ(StringUtils::ReplaceAllNoCase(wide, u"x", u"xx"), u"axxbxx");
    std::string unchanged = "abc";
    EXPECT_EQ(StringUtils::ReplaceAll(unchanged, "", "z"), "abc");
}

TEST(StringReplace, NoCaseMatchesAsciiLettersOfEitherCase)
{
    std::u16string url = u"HTTPS://host/HttpS://x";
    EXPECT_EQ(StringUtils::ReplaceAllNoCase(url, u"https://", u""), u"host/x");
}

TEST(StringSearch, FindNoCase)
{
    EXPECT_EQ(StringUtils::FindNoCase(u"Setup.VIEWER.exe", u"viewer"), 6u);
    EXPECT_EQ(StringUtils::FindNoCase(u"abc", u"d"), std::u16string::npos);
    EXPECT_EQ(StringUtils::FindNoCase(u"\u00c4x", u"\u00e4x"), std::u16string::npos);
}

TEST(StringCase, OnlyAsciiLettersChange)
{
    std::u16string wide = u"Ab\u00c4z";
    StringUtils::ToLower(wide);
    EXPECT_EQ(wide, u"ab\u00c4z");
    StringUtils::ToUpper(wide);
    EXPECT_EQ(wide, u"AB\u00c4Z");
    std::string narrow = "mIxEd-1\xc3\x84";
    StringUtils::ToUpper(narrow);
    EXPECT_EQ(narrow, "MIXED-1\xc3\x84");
    StringUtils::ToLower(narrow);
    EXPECT_EQ(narrow, "mixed-1\xc3\x84");
    EXPECT_EQ(StringUtils::ToLowerCopy(u"Norvia_Viewer"), u"norvia_viewer");
}

// [SECTION] Numbers and encodings

TEST(StringNumbers, IntToStringInDecimalAndOtherRadices)
{
    EXPECT_EQ(StringUtils::IntToString(-5, 10), "-5");
    EXPECT_EQ(StringUtils::IntToString(0, 10), "0");
    EXPECT_EQ(StringUtils::IntToString(INT32_MIN, 10), "-2147483648");
    EXPECT_EQ(StringUtils::IntToString(255, 16), "ff");
    EXPECT_EQ(StringUtils::IntToString(-1, 16), "ffffffff");
    EXPECT_EQ(StringUtils::IntToString(5, 2), "101");
    EXPECT_EQ(StringUtils::IntToString(5, 1), "");
    EXPECT_EQ(StringUtils::IntToWideString(-32767, 10), u"-32767");
}

TEST(StringBase64, RfcVectors)
{
    auto encode = [](const std::string& text) {
        return StringUtils::Base64Encode(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    };
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg==");
    EXPECT_EQ(encode("fo"), "Zm8=");
    EXPECT_EQ(encode("foo"), "Zm9v");
    EXPECT_EQ(encode("foob"), "Zm9vYg==");
    EXPECT_EQ(encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
    const uint8_t high[] = {0xFB, 0xFF, 0xBF};
    EXPECT_EQ(StringUtils::Base64Encode(high, 3), "+/+/");
    EXPECT_EQ(StringUtils::Base64Encode(high, -1), "");
    EXPECT_EQ(StringUtils::Base64Encode(nullptr, 3), "");
}

TEST(StringUrlEncode, OnlyAlphanumericsStayPlain)
{
    EXPECT_EQ(StringUtils::UrlEncode(u"a b-c"), u"a%20b%2dc");
    EXPECT_EQ(StringUtils::UrlEncode(u"AZaz09"), u"AZaz09");
    EXPECT_EQ(StringUtils::UrlEncode(u"_.!~*'()"), u"%5f%2e%21%7e%2a%27%28%29");
    EXPECT_EQ(StringUtils::UrlEncode(u"\u00e9"), u"%c3%a9");
    EXPECT_EQ(StringUtils::UrlEncode(u"\u20ac"), u"%e2%82%ac");
    EXPECT_EQ(StringUtils::UrlEncode(u""), u"");
}

TEST(StringUrlEncode, SurrogatePairsGoOutAsOneFourByteCharacter)
{
    EXPECT_EQ(StringUtils::UrlEncode(u"\U0001F600"), u"%f0%9f%98%80");
    const std::u16string lone(1, char16_t(0xD800));
    EXPECT_EQ(StringUtils::UrlEncode(lone), u"%ef%bf%bd");
}

TEST(StringHash, KnownDigests)
{
    EXPECT_EQ(Hex(Hash("abc", 0)), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Hex(Hash("abc", 1)), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Hex(Hash("abc", 2)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex(Hash("", 0)), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_NE(Hex(Hash("abd", 0)), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(StringHash, UnknownKindGivesAnEmptyBuffer)
{
    EXPECT_EQ(Hash("abc", 3).Size(), 0u);
    EXPECT_EQ(Hash("abc", -1).Size(), 0u);
    EXPECT_EQ(StringUtils::HashBytes(nullptr, 4, 0).Size(), 0u);
}

// [SECTION] Paths and URLs

TEST(StringPaths, FileNameFromPath)
{
    EXPECT_EQ(StringUtils::FileNameFromPath(u"C:\\dir\\file.txt"), u"file.txt");
    EXPECT_EQ(StringUtils::FileNameFromPath(u"/srv/a/setup.exe"), u"setup.exe");
    EXPECT_EQ(StringUtils::FileNameFromPath(u"file.txt"), u"");
    EXPECT_EQ(StringUtils::FileNameFromPath(u"dir/"), u"");
}

// Each row starts from the given host and path, and from the opposite of the expected
// "secure", so that a value left untouched cannot pass for one that was set.
TEST(StringServerFromUrl, TableOfUrls)
{
    struct Case
    {
        const char* name;
        std::u16string url, startHost, startPath;
        std::u16string host, path;
        int32_t port;
        bool secure;
    };
    const Case cases[] = {
        {"https with port and path", u"https://h:8443/a/b/c.bin", u"", u"", u"h", u"a/b/c.bin", 8443, true},
        {"upper-case http scheme", u"HTTP://h/x", u"", u"", u"h", u"x", 80, false},
        {"host only leaves host and path as passed", u"https://h", u"old-host", u"old/path", u"old-host",
         u"old/path", 443, true},
        {"double slashes collapse", u"https://svc.localhost:4443//Norvia//DownloadManager8.ashx", u"", u"stale",
         u"svc.localhost", u"Norvia/DownloadManager8.ashx", 4443, true},
        {"host with a slash but no path gives an empty path", u"https://svc.localhost/", u"svc.localhost",
         u"Norvia/DownloadManager8.ashx", u"svc.localhost", u"", 443, true},
        {"overlong port keeps the https default", u"https://h:99999999999999999999999/x", u"", u"", u"h", u"x", 443,
         true},
        {"port past 65535 keeps the http default", u"http://h:65536/x", u"", u"", u"h", u"x", 80, false},
        {"largest port is taken", u"http://h:65535/x", u"", u"", u"h", u"x", 65535, false},
        {"colon in the query is not a port", u"https://h/a?t=10:30", u"", u"", u"h", u"a?t=10:30", 443, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::u16string host = c.startHost, path = c.startPath;
        int32_t port = 0;
        bool secure = !c.secure;
        StringUtils::ServerFromUrl(c.url, host, path, port, secure);
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(port, c.port);
        EXPECT_EQ(secure, c.secure);
    }
}

TEST(StringParseUri, AllFiveParts)
{
    nd::UriParts parts = StringUtils::ParseUri(u"https://h:99/p/q.png?x=1");
    EXPECT_EQ(parts.protocol, u"https");
    EXPECT_EQ(parts.host, u"h");
    EXPECT_EQ(parts.port, u"99");
    EXPECT_EQ(parts.path, u"/p/q.png");
    EXPECT_EQ(parts.query, u"?x=1");
}

TEST(StringParseUri, MissingParts)
{
    nd::UriParts empty = StringUtils::ParseUri(u"");
    EXPECT_TRUE(empty.protocol.empty() && empty.host.empty() && empty.port.empty() && empty.path.empty() &&
                empty.query.empty());
    nd::UriParts bare = StringUtils::ParseUri(u"host.example/a");
    EXPECT_EQ(bare.protocol, u"");
    EXPECT_EQ(bare.host, u"host.example");
    EXPECT_EQ(bare.path, u"/a");
    nd::UriParts hostOnly = StringUtils::ParseUri(u"https://h");
    EXPECT_EQ(hostOnly.host, u"h");
    EXPECT_EQ(hostOnly.path, u"");
    EXPECT_EQ(hostOnly.query, u"");
    nd::UriParts portOnly = StringUtils::ParseUri(u"https://h:8080");
    EXPECT_EQ(portOnly.host, u"h");
    EXPECT_EQ(portOnly.port, u"8080");
}

// A "?" before the first "/" must neither read outside the string nor invent a path.
TEST(StringParseUri, QueryBeforeAnySlashStaysInside)
{
    nd::UriParts parts = StringUtils::ParseUri(u"https://h?x=/y:1");
    EXPECT_EQ(parts.host, u"h");
    EXPECT_EQ(parts.port, u"");
    EXPECT_EQ(parts.path, u"");
    EXPECT_EQ(parts.query, u"?x=/y:1");
    for (const char16_t* odd : {u"?", u"://", u"a://", u"a:/", u":", u"h:", u"https://:", u"x?y://h/p", u"//"})
    {
        nd::UriParts any = StringUtils::ParseUri(odd);
        EXPECT_LE(any.host.size() + any.port.size() + any.path.size() + any.query.size(),
                  std::u16string(odd).size())
            << "for " << StringUtils::ToNarrow(odd);
    }
}
