// Turning the artwork that Init fetched into textures, one image of each kind per splash frame
// so the splash keeps drawing while the images are decoded and uploaded.

#include "App/Texture.h"
#include "Core/ErrorLog.h"
#include "UI/ArtworkImage.h"
#include "UI/DownloadManagerInterface.h"
#include "UI/ScreenServices.h"

namespace nd
{

bool DownloadManagerInterface::PollArtwork()
{
    // Init publishes the pending maps before the flag; nothing may touch them before it is seen.
    if (!artworkReady.load(std::memory_order_acquire))
        return false;
    if (!pendingCoreImages.empty())
    {
        const auto first = pendingCoreImages.begin();
        if (std::shared_ptr<Texture> texture = TextureFromImage(first->first, first->second))
            coreTextures.emplace(first->first, std::move(texture));
        pendingCoreImages.erase(first);
    }
    if (!pendingMediaImages.empty())
    {
        const auto first = pendingMediaImages.begin();
        if (std::shared_ptr<Texture> texture = TextureFromImage(first->first, first->second))
            slides.push_back(std::move(texture));
        pendingMediaImages.erase(first);
    }
    return pendingCoreImages.empty() && pendingMediaImages.empty();
}

std::shared_ptr<Texture> DownloadManagerInterface::TextureFromImage(const std::string& name,
                                                                    const ByteBuffer& bytes)
{
    const ArtworkImage image = ArtworkImage::Decode(bytes.Data(), static_cast<size_t>(bytes.Size()));
    if (!image.Valid())
    {
        // Also the fate of the empty buffer Init keeps for an image it could not fetch.
        ReportError("Texture::LoadTexture -> failed loading " + name, 0, __FILE__, __LINE__);
        return nullptr;
    }
    return Services().CreateTexture(name, image.Pixels(), image.Width(), image.Height());
}

} // namespace nd
