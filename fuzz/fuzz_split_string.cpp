// Both forms of SplitString: the first byte chooses the separator's length, the bytes after it
// the separator and then the text.

#include "Core/StringUtils.h"
#include "FuzzInput.h"

#include <algorithm>

using fuzzinput::Require;

namespace
{

template <class Text> Text Joined(const std::vector<Text>& pieces, const Text& separator)
{
    Text joined;
    for (size_t i = 0; i < pieces.size(); ++i)
        joined += (i ? separator : Text()) + pieces[i];
    return joined;
}

void CheckWide(const std::u16string& text, const std::u16string& separator)
{
    std::vector<std::u16string> kept{u"sentinel"};
    const int count = nd::StringUtils::SplitString(text, separator, kept, true);
    Require(count >= 0);
    if (count == 0)
    {
        Require(kept.size() == 1);
        return;
    }
    kept.erase(kept.begin());
    Require(kept.size() == static_cast<size_t>(count) + 1);
    Require(Joined(kept, separator) == text);

    std::vector<std::u16string> dropped;
    Require(nd::StringUtils::SplitString(text, separator, dropped, false) == count);
    Require(std::none_of(dropped.begin(), dropped.end(), [](const auto& piece) { return piece.empty(); }));
    Require(dropped.size() <= kept.size());
}

void CheckNarrow(const std::string& text, const std::string& separator)
{
    const std::vector<std::string> pieces = nd::StringUtils::SplitString(text, separator);
    Require(text.empty() == pieces.empty());
    for (size_t i = 0; i < pieces.size(); ++i)
    {
        Require(text.find(pieces[i]) != std::string::npos);
        if (i + 1 < pieces.size())
            Require(!pieces[i].empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t separatorLength = std::min<size_t>(data[0] % 4, size - 1);
    const std::string separator = fuzzinput::Bytes(data + 1, separatorLength);
    const std::string text = fuzzinput::Bytes(data + 1 + separatorLength, size - 1 - separatorLength);
    CheckNarrow(text, separator);
    CheckWide(std::u16string(text.begin(), text.end()), std::u16string(separator.begin(), separator.end()));
    return 0;
}
