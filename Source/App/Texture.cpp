#include "App/Texture.h"

#include "Core/ErrorLog.h"

#include <GL/gl.h>

#include <chrono>
#include <random>
#include <utility>

namespace nd
{

Texture::Texture(std::string name, std::string identifier)
    : identifier(std::move(identifier)), name(std::move(name))
{
}

bool Texture::CopyToGpu(const uint8_t* pixels, int32_t width, int32_t height)
{
    if (pixels == nullptr || width <= 0 || height <= 0)
        return false;

    // Errors left by earlier calls must not be taken for this upload's (bounded: without a current
    // context glGetError may keep answering).
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i)
    {
    }

    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    GLuint created = 0;
    glGenTextures(1, &created);
    bool uploaded = false;
    if (created != 0)
    {
        glBindTexture(GL_TEXTURE_2D, created);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        // A size beyond the implementation's limit or exhausted memory leaves an empty texture.
        uploaded = glGetError() == GL_NO_ERROR;
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
        if (!uploaded)
            glDeleteTextures(1, &created);
    }
    if (!uploaded)
    {
        ReportError("Texture::CopyToGpu -> failed to create GL texture!", 0, __FILE__, __LINE__);
        return false;
    }

    glName = created;
    this->width = width;
    this->height = height;
    loaded = true;
    return true;
}

void Texture::Release()
{
    if (glName != 0)
    {
        const GLuint name = glName;
        glDeleteTextures(1, &name);
    }
    glName = 0;
    loaded = false;
}

std::string RandomString(uint32_t length, std::string_view set)
{
    std::string result;
    if (length == 0 || set.empty())
        return result;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::mt19937 generator(
        static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    result.reserve(length);
    for (uint32_t i = 0; i < length; ++i)
        result.push_back(set[generator() % set.size()]);
    return result;
}

} // namespace nd
