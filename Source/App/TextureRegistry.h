#pragma once
// Owner of every texture: by identifier, and a name index where the first texture of a name wins.
// No lock: main thread only.

#include <cstddef>
#include <map>
#include <memory>
#include <string>

namespace nd
{

class Texture;

class TextureRegistry
{
  public:
    // The process-wide registry behind CreateTexture and FindTexture.
    static TextureRegistry& Instance();

    // Registers texture under its identifier; its name is indexed unless empty or already taken. Returns
    // false, changing nothing, for a null texture or an identifier already in use.
    bool Register(const std::shared_ptr<Texture>& texture);
    // By name first (dropping a name entry whose texture is gone), then by identifier; empty for "".
    std::shared_ptr<Texture> Find(const std::string& key);
    bool HasIdentifier(const std::string& identifier) const;
    size_t Size() const { return byIdentifier.size(); }

  private:
    std::map<std::string, std::shared_ptr<Texture>> byIdentifier;
    std::map<std::string, std::string> identifierByName;
};

} // namespace nd
