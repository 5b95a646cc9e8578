#pragma once
// The artwork of the content server, drawn at start: a band for the right half of the progress
// screen and the slides of the side panel. Nothing is stored in the repository.

#include <map>
#include <string>

namespace demo
{

constexpr int kBandWidth = 600;
constexpr int kBandHeight = 360; // sits above the title the screens draw at y = 369
constexpr int kSlideWidth = 601;
constexpr int kSlideHeight = 640;

struct Artwork
{
    std::map<std::string, std::string> core;  // name -> PNG bytes ("logo_background")
    std::map<std::string, std::string> media; // name -> PNG bytes (the slides, in name order)
};

Artwork PaintArtwork();

// The individual pictures, for tests and previews.
std::string PaintBand();
std::string PaintHorizonSlide();
std::string PaintAuroraSlide();
std::string PaintSpheresSlide();

} // namespace demo
