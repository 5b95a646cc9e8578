#include "App/TextureRegistry.h"

#include "App/Texture.h"

#include <thread>

namespace nd
{

TextureRegistry& TextureRegistry::Instance()
{
    static TextureRegistry registry;
    return registry;
}

bool TextureRegistry::Register(const std::shared_ptr<Texture>& texture)
{
    if (!texture || texture->GetIdentifier().empty() || HasIdentifier(texture->GetIdentifier()))
        return false;
    byIdentifier.emplace(texture->GetIdentifier(), texture);
    // The empty key must find nothing, so an empty name is not indexed.
    if (!texture->GetName().empty())
        identifierByName.emplace(texture->GetName(), texture->GetIdentifier());
    return true;
}

std::shared_ptr<Texture> TextureRegistry::Find(const std::string& key)
{
    if (key.empty())
        return {};
    if (auto name = identifierByName.find(key); name != identifierByName.end())
    {
        if (auto found = byIdentifier.find(name->second); found != byIdentifier.end())
            return found->second;
        identifierByName.erase(name);
    }
    if (auto found = byIdentifier.find(key); found != byIdentifier.end())
        return found->second;
    return {};
}

bool TextureRegistry::HasIdentifier(const std::string& identifier) const
{
    return byIdentifier.count(identifier) != 0;
}

namespace
{

// Identifiers are drawn from the clock, so two textures made within one tick would get the same one
// and the second would replace the first. Draw again until the identifier is free; the clock moves on.
std::string UnusedIdentifier(const TextureRegistry& registry)
{
    for (;;)
    {
        std::string identifier = RandomString(kTextureIdentifierLength, kTextureIdentifierCharset);
        if (!registry.HasIdentifier(identifier))
            return identifier;
        std::this_thread::yield();
    }
}

} // namespace

std::shared_ptr<Texture> CreateTexture(const std::string& name, const uint8_t* pixels, int32_t width,
                                       int32_t height)
{
    if (pixels == nullptr || width <= 0 || height <= 0)
        return {};
    TextureRegistry& registry = TextureRegistry::Instance();
    auto texture = std::make_shared<Texture>(name, UnusedIdentifier(registry));
    if (!texture->CopyToGpu(pixels, width, height))
        return {};
    registry.Register(texture);
    return texture;
}

std::shared_ptr<Texture> FindTexture(const std::string& key)
{
    return TextureRegistry::Instance().Find(key);
}

} // namespace nd
