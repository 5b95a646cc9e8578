#pragma once
// The file-list text of the download storage and the reading of its fields. The text is any
// leading text, then per file ";" + name + "\r\n" + size + "\r\n" + signed CRC-32 + "\r\n".
// The list comes from the network: names are checked before anything is done with them.

#include "Core/ByteBuffer.h"
#include "DownloadSystem/FileListEntry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace DownloadSystem::FileList
{

// The received bytes as text, with every zero byte removed.
std::string TextFromBytes(const nd::ByteBuffer& bytes);

// The entries of the text, in order. Whatever stands before the first ";" is not an entry;
// trailing empty fields of an entry are dropped, and an entry left without fields is skipped.
std::vector<FileListEntry> Parse(const std::string& text);

// Field 1 read as the C library's unsigned conversion with base 0 ("0x10" is 16, "010" is 8).
// Not cut to 32 bits, so that sizes the list format cannot carry can be refused; 0 when the
// field is missing or not a number.
uint64_t ReadSize(const FileListEntry& entry);
// Field 2 read as a signed 32-bit decimal (overflow saturates, text that is no number is 0);
// 0 when missing. CRC values of 2^31 and above are written as negative numbers.
int32_t ReadCrc(const FileListEntry& entry);

// The largest size the list's 32-bit sizes describe.
inline constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;

// Why the program will not handle this entry, or an empty text when it is fine: a name that is
// empty, absolute, holds a ".." component, a backslash or a NUL (it could reach outside the
// target folder); a name Windows cannot store as listed (a control character, one of
// : * ? " < > |, a device name such as CON or COM1 with or without an extension, a trailing dot
// or space in any of its folders); or a size of 4 GiB or more.
std::string Refusal(const FileListEntry& entry);

} // namespace DownloadSystem::FileList
