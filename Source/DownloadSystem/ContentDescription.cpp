#include "DownloadSystem/ContentDescription.h"

#include <nlohmann/json.hpp>

namespace DownloadSystem
{

namespace
{

ContentDescription::ImageList ImagesOf(const nlohmann::json& meta, const char* key)
{
    ContentDescription::ImageList images;
    const auto member = meta.find(key);
    if (member == meta.end() || !member->is_object())
        return images;
    for (const auto& [name, url] : member->items())
        images.emplace_back(name, url.is_string() ? url.get<std::string>() : std::string());
    return images;
}

} // namespace

ContentDescription ContentDescription::FromText(const std::string& text)
{
    ContentDescription description;
    nlohmann::json meta;
    try
    {
        meta = nlohmann::json::parse(text);
    }
    catch (const nlohmann::json::exception& error)
    {
        description.error = error.what();
        return description;
    }
    description.core = ImagesOf(meta, "core");
    description.media = ImagesOf(meta, "media");
    return description;
}

} // namespace DownloadSystem
