// The content description (meta.json) and the image URLs it names, taken apart as the artwork
// task does.

#include "Core/StringUtils.h"
#include "DownloadSystem/ContentDescription.h"
#include "FuzzInput.h"

#include <algorithm>

using DownloadSystem::ContentDescription;
using fuzzinput::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ContentDescription meta = ContentDescription::FromText(fuzzinput::Bytes(data, size));
    if (!meta.error.empty())
        Require(meta.core.empty() && meta.media.empty());
    for (const auto* images : {&meta.core, &meta.media})
    {
        Require(std::is_sorted(images->begin(), images->end(),
                               [](const auto& a, const auto& b) { return a.first < b.first; }));
        for (const auto& [name, url] : *images)
        {
            const nd::UriParts parts = nd::StringUtils::ParseUri(nd::StringUtils::FromUtf8(url));
            Require(parts.path.empty() || parts.path.front() == u'/');
        }
    }
    return 0;
}
