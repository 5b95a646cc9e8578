#include "UI/ScreenStyle.h"

#include <vector>

namespace nd::ScreenStyle
{

std::string PercentText(float progress)
{
    return std::to_string(static_cast<int>(progress * 100.0f)) + "%";
}

std::string ShortenInMiddle(const std::string& text, float maxWidth,
                            const std::function<float(const std::string&)>& width)
{
    if (width(text) <= maxWidth)
        return text;
    std::vector<size_t> starts; // where each UTF-8 character begins
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    const size_t count = starts.size();
    // kept characters, the head taking the odd one
    const auto shortened = [&](size_t kept)
    {
        const size_t head = (kept + 1) / 2, tail = kept / 2;
        const size_t headEnd = head < count ? starts[head] : text.size();
        const size_t tailBegin = tail == 0 ? text.size() : starts[count - tail];
        return text.substr(0, headEnd) + "..." + text.substr(tailBegin);
    };
    // Each kept character only adds width, so the largest count that fits is found by halving.
    size_t low = 0, high = count == 0 ? 0 : count - 1;
    while (low < high)
    {
        const size_t middle = (low + high + 1) / 2;
        if (width(shortened(middle)) <= maxWidth)
            low = middle;
        else
            high = middle - 1;
    }
    return shortened(low);
}

} // namespace nd::ScreenStyle
