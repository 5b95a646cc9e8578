#pragma once
// The demo release: setup files with deterministic content in the storage folder, and the file
// list that describes them in the storage's text format.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace demo
{

struct ReleaseFile
{
    std::string name;           // storage name, e.g. Setup-1a.bin
    std::filesystem::path path; // where the bytes lie
    uint64_t size = 0;
    uint32_t crc = 0; // CRC-32 (zlib's) of the whole file
};

class DemoRelease
{
  public:
    // Writes the setup executable and dataFiles data files of the given sizes into folder
    // (created when missing); content depends only on the release name and the file index.
    static std::optional<DemoRelease> Generate(const std::filesystem::path& folder,
                                               const std::string& release, uint32_t dataFiles,
                                               uint64_t fileSize, uint64_t setupSize, std::string& error);

    const std::string& Release() const { return release; }
    const std::vector<ReleaseFile>& Files() const { return files; }
    const ReleaseFile* Find(const std::string& name) const;
    std::string FileListName() const { return release + ".txt"; }

    // Leading note, then per file ";" name CRLF size CRLF CRC as signed 32-bit decimal CRLF.
    std::string FileListText() const;

    // Name of the n-th data file (0-based): Setup-1a.bin .. Setup-1z.bin, Setup-2a.bin ..
    // Seven-character endings, so that the program's local-name rule puts the product code
    // before "-1a.bin".
    static std::string DataFileName(uint32_t index);

  private:
    std::string release;
    std::vector<ReleaseFile> files;
};

// The program's local name: "_" + product code before the last 4 characters for names holding
// ".exe", else before the last 7. Names too short for the rule are returned unchanged.
std::string LocalFileName(const std::string& name, const std::string& productCode);

// Parses a file list in the storage format (entries with fewer than three fields are skipped).
struct ListedFile
{
    std::string name;
    uint64_t size = 0;
    uint32_t crc = 0;
};
std::vector<ListedFile> ParseFileList(const std::string& text);

// CRC-32 of a whole file read in pieces; nothing when it cannot be read.
std::optional<uint32_t> FileCrc32(const std::filesystem::path& path);

} // namespace demo
