#include "DownloadSystem/FileList.h"

#include "Core/StringUtils.h"

#include <algorithm>
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

// The name split at "/"; a name without one is its own only component.
std::vector<std::u16string> Components(const std::u16string& name)
{
    std::vector<std::u16string> components;
    if (StringUtils::SplitString(name, u"/", components, true) == 0)
        components.push_back(name);
    return components;
}

bool HasParentComponent(const std::vector<std::u16string>& components)
{
    return std::find(components.begin(), components.end(), u"..") != components.end();
}

bool IsControlCharacter(char16_t c)
{
    return c < 0x20 || c == 0x7F;
}

// The release is made for Windows, where these cannot be part of a name; ":" would even name an
// alternate data stream of another file.
bool IsForbiddenOnWindows(char16_t c)
{
    return std::u16string_view(u":*?\"<>|").find(c) != std::u16string_view::npos;
}

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices on Windows, in any case and
// whatever extension follows (spaces before the extension are ignored there too).
bool IsReservedDeviceName(const std::u16string& component)
{
    std::u16string base = component.substr(0, component.find(u'.'));
    while (!base.empty() && base.back() == u' ')
        base.pop_back();
    StringUtils::ToUpper(base);
    if (base == u"CON" || base == u"PRN" || base == u"AUX" || base == u"NUL")
        return true;
    return base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0) &&
           base[3] >= u'1' && base[3] <= u'9';
}

// Windows drops a trailing dot or space from a name, so the file would not be the one listed.
bool EndsInDotOrSpace(const std::u16string& component)
{
    return !component.empty() && (component.back() == u'.' || component.back() == u' ');
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
    const std::vector<std::u16string> components = Components(name);
    if (HasParentComponent(components))
        return "The file list names a file outside the download folder: " + shown;
    if (std::any_of(name.begin(), name.end(), IsControlCharacter))
        return "The file list names a file with a control character: " + shown;
    if (std::any_of(name.begin(), name.end(), IsForbiddenOnWindows))
        return "The file list names a file with a character Windows does not allow in names: " + shown;
    for (const auto& component : components)
    {
        if (IsReservedDeviceName(component))
            return "The file list names a file with a reserved device name: " + shown;
        if (EndsInDotOrSpace(component))
            return "The file list names a file whose name ends in a dot or a space: " + shown;
    }
    if (entry.size() >= 2 && ReadSize(entry) > kMaxFileSize)
        return "The file list names a file of 4 GiB or more, which cannot be verified: " + shown;
    return {};
}

} // namespace DownloadSystem::FileList
