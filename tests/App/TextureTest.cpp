#include "App/Texture.h"
#include "App/Logo.h"
#include "App/TextureRegistry.h"
#include "Core/ErrorLog.h"
#include "GlSession.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace nd
{
namespace
{

TEST(RandomString, DrawsTheRequestedLengthFromTheSet)
{
    EXPECT_EQ(kTextureIdentifierCharset.size(), 62u);
    EXPECT_EQ(kTextureIdentifierCharset.find('p'), std::string_view::npos);
    for (int i = 0; i < 500; ++i)
    {
        const std::string text = RandomString(kTextureIdentifierLength, kTextureIdentifierCharset);
        ASSERT_EQ(text.size(), 5u);
        for (char c : text)
            ASSERT_NE(kTextureIdentifierCharset.find(c), std::string_view::npos) << text;
        ASSERT_EQ(text.find('p'), std::string::npos) << text;
    }
    const std::string two = RandomString(200, "xy");
    EXPECT_EQ(two.size(), 200u);
    EXPECT_EQ(two.find_first_not_of("xy"), std::string::npos);
}

TEST(RandomString, EmptyForZeroLengthOrAnEmptySet)
{
    EXPECT_EQ(RandomString(0, kTextureIdentifierCharset), "");
    EXPECT_EQ(RandomString(5, ""), "");
}

std::shared_ptr<Texture> Unloaded(const std::string& name, const std::string& identifier)
{
    return std::make_shared<Texture>(name, identifier);
}

TEST(TextureRegistry, FirstTextureOfANameKeepsTheName)
{
    TextureRegistry registry;
    auto first = Unloaded("logo", "aaaaa");
    auto second = Unloaded("logo", "bbbbb");
    ASSERT_TRUE(registry.Register(first));
    ASSERT_TRUE(registry.Register(second));
    EXPECT_EQ(registry.Find("logo"), first);
    EXPECT_EQ(registry.Find("bbbbb"), second);
    EXPECT_EQ(registry.Find("aaaaa"), first);
    EXPECT_EQ(registry.Size(), 2u);
}

TEST(TextureRegistry, TakenIdentifierIsRefusedAndTheOwnerKept)
{
    TextureRegistry registry;
    auto owner = Unloaded("one", "qqqqq");
    ASSERT_TRUE(registry.Register(owner));
    EXPECT_FALSE(registry.Register(Unloaded("two", "qqqqq")));
    EXPECT_EQ(registry.Find("qqqqq"), owner);
    EXPECT_EQ(registry.Find("two"), nullptr);
    EXPECT_FALSE(registry.Register(nullptr));
    EXPECT_FALSE(registry.Register(Unloaded("blank", "")));
}

TEST(TextureRegistry, UnknownAndEmptyKeysFindNothing)
{
    TextureRegistry registry;
    auto unnamed = Unloaded("", "ccccc");
    ASSERT_TRUE(registry.Register(unnamed));
    EXPECT_EQ(registry.Find(""), nullptr);
    EXPECT_EQ(registry.Find("zzzzz"), nullptr);
    EXPECT_EQ(registry.Find("ccccc"), unnamed);
}

TEST(Logo, IsAnOpaqueAccentDesignOnWhite)
{
    const uint8_t* pixels = LogoPixels();
    ASSERT_NE(pixels, nullptr);
    const size_t count = static_cast<size_t>(kLogoWidth) * kLogoHeight;
    size_t accent = 0, white = 0;
    for (size_t i = 0; i < count; ++i)
    {
        const uint8_t* p = pixels + i * 4;
        ASSERT_EQ(p[3], 255) << "pixel " << i;
        accent += p[0] == 65 && p[1] == 117 && p[2] == 139;
        white += p[0] == 255 && p[1] == 255 && p[2] == 255;
    }
    EXPECT_GT(white, count / 2);
    EXPECT_GT(accent, 500u);
    const uint8_t* corner = pixels + (count - 1) * 4;
    EXPECT_EQ(corner[0] + corner[1] + corner[2], 3 * 255);
}

std::vector<uint8_t> Solid(int32_t width, int32_t height, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> pixels;
    for (int32_t i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(), {r, g, b, 255});
    return pixels;
}

TEST(CreateTexture, NullPixelsOrNoSizeGiveNothing)
{
    const size_t before = TextureRegistry::Instance().Size();
    const auto pixels = Solid(2, 2, 1, 2, 3);
    EXPECT_EQ(CreateTexture("none", nullptr, 2, 2), nullptr);
    EXPECT_EQ(CreateTexture("none", pixels.data(), 0, 2), nullptr);
    EXPECT_EQ(CreateTexture("none", pixels.data(), 2, 0), nullptr);
    EXPECT_EQ(CreateTexture("none", pixels.data(), -2, 2), nullptr);
    EXPECT_EQ(TextureRegistry::Instance().Size(), before);
    EXPECT_EQ(FindTexture("none"), nullptr);
    EXPECT_EQ(FindTexture(""), nullptr);
}

TEST(CreateTexture, UploadsThePixelsAndKeepsTheBinding)
{
    ND_REQUIRE_GL_SESSION();
    const auto pixels = Solid(3, 2, 10, 20, 30);
    GLuint outer = 0;
    glGenTextures(1, &outer);
    glBindTexture(GL_TEXTURE_2D, outer);

    auto texture = CreateTexture("upload", pixels.data(), 3, 2);
    ASSERT_NE(texture, nullptr);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), outer);

    EXPECT_TRUE(texture->IsLoaded());
    EXPECT_EQ(texture->GetWidth(), 3);
    EXPECT_EQ(texture->GetHeight(), 2);
    EXPECT_EQ(texture->GetName(), "upload");
    ASSERT_TRUE(glIsTexture(texture->GetGlName()));
    std::vector<uint8_t> back(pixels.size());
    glBindTexture(GL_TEXTURE_2D, texture->GetGlName());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back.data());
    EXPECT_EQ(back, pixels);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &outer);
}

TEST(CreateTexture, SameNameTwiceFindsTheFirstByNameAndTheSecondByIdentifier)
{
    ND_REQUIRE_GL_SESSION();
    const auto pixels = Solid(1, 1, 0, 0, 0);
    auto first = CreateTexture("twin", pixels.data(), 1, 1);
    auto second = CreateTexture("twin", pixels.data(), 1, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first->GetIdentifier(), second->GetIdentifier());
    EXPECT_EQ(FindTexture("twin"), first);
    EXPECT_EQ(FindTexture(second->GetIdentifier()), second);
    EXPECT_EQ(FindTexture(first->GetIdentifier()), first);
}

// Identifiers come from the clock; textures made back to back must still all stay registered.
TEST(CreateTexture, TexturesMadeBackToBackKeepDistinctIdentifiers)
{
    ND_REQUIRE_GL_SESSION();
    const auto pixels = Solid(1, 1, 0, 0, 0);
    std::vector<std::shared_ptr<Texture>> made;
    std::set<std::string> identifiers;
    for (int i = 0; i < 200; ++i)
    {
        made.push_back(CreateTexture("burst" + std::to_string(i), pixels.data(), 1, 1));
        ASSERT_NE(made.back(), nullptr);
        identifiers.insert(made.back()->GetIdentifier());
    }
    EXPECT_EQ(identifiers.size(), made.size());
    for (size_t i = 0; i < made.size(); ++i)
    {
        const std::string& identifier = made[i]->GetIdentifier();
        EXPECT_EQ(identifier.size(), 5u);
        EXPECT_EQ(identifier.find('p'), std::string::npos);
        EXPECT_EQ(FindTexture(identifier), made[i]);
        EXPECT_EQ(FindTexture("burst" + std::to_string(i)), made[i]);
    }
}

TEST(CreateTexture, FailedUploadIsReportedAndNotRegistered)
{
    ND_REQUIRE_GL_SESSION();
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    ASSERT_GT(maxSize, 0);
    const std::vector<uint8_t> pixels(static_cast<size_t>(maxSize + 1) * 4, 255);
    const size_t errorsBefore = GetErrorCount();
    const size_t texturesBefore = TextureRegistry::Instance().Size();

    EXPECT_EQ(CreateTexture("too_wide", pixels.data(), maxSize + 1, 1), nullptr);
    EXPECT_EQ(GetErrorCount(), errorsBefore + 1);
    const auto records = GetLogRecords();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back()["message"], "Texture::CopyToGpu -> failed to create GL texture!");
    EXPECT_EQ(TextureRegistry::Instance().Size(), texturesBefore);
    EXPECT_EQ(FindTexture("too_wide"), nullptr);
}

} // namespace
} // namespace nd
