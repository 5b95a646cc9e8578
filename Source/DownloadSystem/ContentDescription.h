#pragma once
// The content description of a release (meta.json on the content server): the artwork images
// the screens show, by name. Reading it is kept apart from fetching it so that the reading can be
// tried on any text.

#include <string>
#include <utility>
#include <vector>

namespace DownloadSystem
{

struct ContentDescription
{
    // (image name, URL) in the JSON library's key order (ascending bytes).
    using ImageList = std::vector<std::pair<std::string, std::string>>;

    ImageList core;  // members of "core": images the screens look up by name
    ImageList media; // members of "media": the slide show
    // The parser's error text when the text is no JSON; empty otherwise.
    std::string error;

    // Parses the text in standard mode. Other members are ignored; a "core" or "media" that is no
    // object names no image; a member whose value is no string gives an empty URL. Throws only
    // std::bad_alloc.
    static ContentDescription FromText(const std::string& text);
};

} // namespace DownloadSystem
