// The storage's file-list text: parsing, the size and CRC fields, and the refusal of names that
// would lead out of the program's folder, for the name as listed and as stored (with a suffix).

#include "DownloadSystem/FileList.h"
#include "DownloadSystem/LocalFiles.h"
#include "FuzzInput.h"

using namespace DownloadSystem;
using fuzzinput::Require;

namespace
{

// An independent reading of "stays inside the folder": relative, no backslash, no NUL, no "..".
bool StaysInside(const std::u16string& name)
{
    if (name.empty() || name.front() == u'/' || name.find(u'\\') != std::u16string::npos ||
        name.find(u'\0') != std::u16string::npos)
        return false;
    size_t start = 0;
    while (start <= name.size())
    {
        size_t end = name.find(u'/', start);
        if (end == std::u16string::npos)
            end = name.size();
        if (name.compare(start, end - start, u"..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    nd::ByteBuffer bytes;
    bytes.Append(data, size);
    const std::string text = FileList::TextFromBytes(bytes);
    Require(text.find('\0') == std::string::npos);

    for (const FileListEntry& entry : FileList::Parse(text))
    {
        Require(!entry.empty() && !entry.back().empty());
        const uint64_t fileSize = FileList::ReadSize(entry);
        FileList::ReadCrc(entry);
        if (FileList::Refusal(entry).empty())
        {
            Require(StaysInside(entry[0]));
            Require(entry.size() < 2 || fileSize <= FileList::kMaxFileSize);
        }
        const std::u16string local = LocalFiles::InsertSuffix(entry[0], u"_ABC");
        Require(local.size() == entry[0].size() + 4);
        if (FileList::Refusal(FileListEntry{local}).empty())
            Require(StaysInside(local));
    }
    return 0;
}
