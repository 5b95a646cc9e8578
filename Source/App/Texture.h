#pragma once
// OpenGL textures made from RGBA pixels, registered process-wide and found again by name or by
// identifier. Main thread only, with the OpenGL context current; textures live until the process ends.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace nd
{

// The characters texture identifiers are drawn from (it has no "p" and two "a").
constexpr std::string_view kTextureIdentifierCharset =
    "abcdefghijklmnaoqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
constexpr uint32_t kTextureIdentifierLength = 5;

class Texture
{
public:
    // Makes no OpenGL object; CopyToGpu does. CreateTexture is the normal way to get a texture.
    Texture(std::string name, std::string identifier);
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Uploads width * height RGBA pixels (rows top to bottom) into a new OpenGL texture with linear
    // filtering and leaves the previous 2D binding in place. On failure reports
    // "Texture::CopyToGpu -> failed to create GL texture!" and returns false; the texture stays unloaded.
    bool CopyToGpu(const uint8_t* pixels, int32_t width, int32_t height);

    // Deletes the OpenGL texture (context current); the texture is then unloaded, its size kept.
    // For a texture that is replaced while the process runs (the fonts at a new display scale).
    void Release();

    // The handle to give the UI library (ImTextureID) when drawing this texture: the identifier's
    // text, which the UI renderer resolves through FindTexture. Valid for the life of the texture.
    void* UiHandle() const { return const_cast<char*>(identifier.c_str()); }

    const std::string& GetIdentifier() const { return identifier; }
    const std::string& GetName() const { return name; }
    bool IsLoaded() const { return loaded; }
    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }
    uint32_t GetGlName() const { return glName; }

private:
    std::string identifier;
    bool loaded = false;
    int32_t width = 0;
    int32_t height = 0;
    std::string name;
    uint32_t glName = 0;
};

// Makes, uploads and registers a texture under a fresh identifier. Empty for null pixels, a size that
// is not positive, or a failed upload. A name already registered keeps pointing at the older texture;
// the new one is then found by its identifier only.
std::shared_ptr<Texture> CreateTexture(const std::string& name, const uint8_t* pixels, int32_t width,
                                       int32_t height);

// By name first, then by identifier; empty when neither is registered.
std::shared_ptr<Texture> FindTexture(const std::string& key);

// length characters drawn from set by an MT19937 seeded with the steady clock's nanoseconds (truncated
// to 32 bits): two calls within one clock tick return the same text. Empty for length 0 or an empty set.
std::string RandomString(uint32_t length, std::string_view set);

} // namespace nd
