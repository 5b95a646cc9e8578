#include "DownloadSystem/FileList.h"

#include "Core/StringUtils.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace DownloadSystem::FileList
{

using nd::StringUtils;

std::string TextFromBytes(const nd::ByteBuffer& bytes)
{
    std::string text;
    text.reserve(static_cast<size_t>(bytes.Size()));
    for (uint64_t i = 0; i < bytes.Size(); ++i)
    {
        if (bytes.Data()[i] != 0)
            text.push_back(static_cast<char>(bytes.Data()[i]));
    }
    return text;
}

std::vector<FileListEntry> Parse(const std::string& text)
{
    std::vector<std::u16string> pieces;
    if (StringUtils::SplitString(StringUtils::ToWide(text), u";", pieces, true) == 0)
        return {};

    std::vector<FileListEntry> entries;
    for (size_t i = 1; i < pieces.size(); ++i)
    {
        FileListEntry entry;
        StringUtils::SplitString(pieces[i], u"\r\n", entry, true);
        while (!entry.empty() && entry.back().empty())
            entry.pop_back();
        // A piece without "\r\n" (such as the empty one after a final ";") names nothing.
        if (!entry.empty())
            entries.push_back(std::move(entry));
    }
    return entries;
}

uint64_t ReadSize(const FileListEntry& entry)
{
    if (entry.size() < 2)
        return 0;
    const std::string field = StringUtils::ToNarrow(entry[1]);
    // A minus sign would wrap to a huge value in the C conversion; such a size is no size.
    if (field.find('-') != std::string::npos)
        return UINT64_MAX;
    errno = 0;
    const unsigned long long value = std::strtoull(field.c_str(), nullptr, 0);
    if (errno == ERANGE)
        return UINT64_MAX;
    return value;
}

int32_t ReadCrc(const FileListEntry& entry)
{
    if (entry.size() < 3)
        return 0;
    const std::string field = StringUtils::ToNarrow(entry[2]);
    const long long value = std::strtoll(field.c_str(), nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

namespace
{

bool HasParentComponent(const std::u16string& name)
{
    std::vector<std::u16string> components;
    if (StringUtils::SplitString(name, u"/", components, true) == 0)
        components.push_back(name);
    for (const auto& component : components)
    {
        if (component == u"..")
            return true;
    }
    return false;
}

} // namespace

std::string Refusal(const FileListEntry& entry)
{
    if (entry.empty() || entry[0].empty())
        return "The file list names a file without a name";
    const std::u16string& name = entry[0];
    const std::string shown = StringUtils::ToNarrow(name);
    if (name.find(u'\0') != std::u16string::npos)
        return "The file list names a file with a NUL character: " + shown;
    if (name.find(u'\\') != std::u16string::npos)
        return "The file list names a file with a backslash: " + shown;
    if (name.front() == u'/')
        return "The file list names a file with an absolute path: " + shown;
    if (HasParentComponent(name))
        return "The file list names a file outside the download folder: " + shown;
    if (entry.size() >= 2 && ReadSize(entry) > kMaxFileSize)
        return "The file list names a file of 4 GiB or more, which cannot be verified: " + shown;
    return {};
}

} // namespace DownloadSystem::FileList
