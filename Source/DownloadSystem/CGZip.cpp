#include "DownloadSystem/CGZip.h"

#include "Core/StringUtils.h"
#include "Platform/FileIo.h"

#include <algorithm>
#include <vector>
#include <zlib.h>

namespace zlib
{

bool CZipper::SetMode(int value)
{
    mode = value;
    return true;
}

void CGZip::GzFileCloser::operator()(gzFile_s* handle) const
{
    gzclose(handle);
}

CGZip::CGZip() = default;

CGZip::~CGZip() = default;

bool CGZip::Close()
{
    if (!file)
        return false;
    return gzclose(file.release()) == Z_OK;
}

bool CGZip::IsOpen() const
{
    return file != nullptr;
}

bool CGZip::Write(const void* bytes, size_t length)
{
    if (!file || mode != kModeWrite || (bytes == nullptr && length != 0))
        return false;
    // gzwrite takes an unsigned count; larger blocks go in several calls.
    const auto* cursor = static_cast<const uint8_t*>(bytes);
    size_t left = length;
    while (left > 0)
    {
        const unsigned piece = static_cast<unsigned>(std::min<size_t>(left, 1u << 30));
        if (gzwrite(file.get(), cursor, piece) != static_cast<int>(piece))
            return false;
        cursor += piece;
        left -= piece;
    }
    return true;
}

bool CGZip::WriteString(const char16_t* text)
{
    if (text == nullptr)
        return false;
    std::vector<uint8_t> bytes;
    for (const char16_t* unit = text; *unit != 0; ++unit)
    {
        bytes.push_back(static_cast<uint8_t>(*unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(*unit >> 8));
    }
    return Write(bytes.data(), bytes.size());
}

int CGZip::Read(void* buffer, unsigned length)
{
    if (!file || mode != kModeRead)
        return 0;
    return gzread(file.get(), buffer, length);
}

int64_t CGZip::ReadAll(uint8_t** bytes, int64_t* length)
{
    if (bytes != nullptr)
        *bytes = nullptr;
    if (length != nullptr)
        *length = 0;
    if (!file || mode != kModeRead || bytes == nullptr || length == nullptr)
        return 0;
    std::vector<uint8_t> content;
    std::vector<uint8_t> piece(65536);
    for (;;)
    {
        const int got = gzread(file.get(), piece.data(), static_cast<unsigned>(piece.size()));
        if (got < 0)
            return 0;
        if (got == 0)
            break;
        content.insert(content.end(), piece.begin(), piece.begin() + got);
    }
    if (content.empty())
        return 0;
    *bytes = new uint8_t[content.size()];
    std::copy(content.begin(), content.end(), *bytes);
    *length = static_cast<int64_t>(content.size());
    return *length;
}

int CGZip::ApplyParams()
{
    if (!file || mode != kModeWrite)
        return Z_STREAM_ERROR;
    return gzsetparams(file.get(), level, strategy);
}

// The file is opened through the platform layer, which takes the path as UTF-8 on every platform;
// zlib's own gzopen would take it in the ANSI code page on Windows.
gzFile_s* CGZip::OpenDescriptor(const std::string& native, bool forWriting)
{
    const int descriptor = Platform::OpenRuntimeDescriptor(native, forWriting);
    if (descriptor < 0)
        return nullptr;
    gzFile_s* opened = gzdopen(descriptor, forWriting ? "wb" : "rb");
    if (opened == nullptr)
        Platform::CloseRuntimeDescriptor(descriptor);
    return opened;
}

bool CGZip::Open(const std::u16string& path, int openMode)
{
    if (file)
        return false;
    const std::string native = nd::StringUtils::ToNarrow(path);
    compressedLength = 0;
    if (openMode == kModeWrite)
    {
        file.reset(OpenDescriptor(native, true));
        mode = file ? kModeWrite : kModeClosed;
        if (file)
            ApplyParams();
    }
    else if (openMode == kModeRead)
    {
        uint64_t size = 0;
        if (Platform::GetFileSize(native, size))
            compressedLength = static_cast<int64_t>(size);
        file.reset(OpenDescriptor(native, false));
        mode = file ? kModeRead : kModeClosed;
    }
    else
    {
        mode = kModeClosed;
    }
    return IsOpen();
}

void CGZip::SetCompressionLevel(int value)
{
    level = value;
    ApplyParams();
}

bool CGZip::Flush(int flushMode)
{
    if (!file || mode != kModeWrite)
        return false;
    return gzflush(file.get(), flushMode) == Z_OK;
}

bool CGZip::IsEOF() const
{
    return !file || gzeof(file.get()) != 0;
}

} // namespace zlib
