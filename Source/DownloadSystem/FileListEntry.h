#pragma once

#include <string>
#include <vector>

namespace DownloadSystem
{

// The fields of one file-list entry in the order of the text: 0 the storage name, 1 the size in
// bytes, 2 the CRC-32 as a signed decimal. Further fields are ignored.
using FileListEntry = std::vector<std::u16string>;

} // namespace DownloadSystem
