#pragma once
// Keeps every log the program uploads: the gzip body as received, and beside it the decoded
// records (the program sends a JSON array as UTF-16LE text) when they can be read.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace demo
{

struct StoredUpload
{
    std::filesystem::path gzipFile;
    std::filesystem::path jsonFile; // empty when the body did not decode
    uint64_t bytes = 0;
    int records = -1;      // -1 when the body did not decode to a JSON array
    int errorRecords = 0;  // records with an error number other than 0
    std::string lastError; // message of the last such record
};

class LogUploads
{
  public:
    explicit LogUploads(std::filesystem::path folder);

    // Thread-safe; files are numbered in arrival order. Nothing when the folder is not writable.
    std::optional<StoredUpload> Store(const std::string& body, const std::string& computerId);

  private:
    std::filesystem::path folder;
    std::mutex lock;
    int count = 0;
};

// Gunzips at most maxBytes of output; nothing on a damaged stream or a larger result.
std::optional<std::string> Gunzip(const std::string& data, size_t maxBytes);

// UTF-16LE bytes to UTF-8; unpaired surrogates become U+FFFD; an odd last byte is dropped.
std::string Utf16LeToUtf8(const std::string& bytes);

} // namespace demo
