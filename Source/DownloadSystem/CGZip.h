#pragma once
// gzip files through zlib's file functions. The log upload writes with it; the read side is
// there to complete the interface. No operation reports to the log: failures are false or 0.

#include <cstdint>
#include <memory>
#include <string>

struct gzFile_s; // zlib's gzip file handle (gzFile)

namespace zlib
{

class CZipper
{
public:
    static constexpr int kModeClosed = 0;
    static constexpr int kModeWrite = 1;
    static constexpr int kModeRead = 2;

    virtual ~CZipper() = default;
    virtual bool SetMode(int value);
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool Write(const void* bytes, size_t length) = 0;
    virtual bool WriteString(const char16_t* text) = 0;
    virtual int Read(void* buffer, unsigned length) = 0;
    // On success *bytes is a new array the caller frees with delete[].
    virtual int64_t ReadAll(uint8_t** bytes, int64_t* length) = 0;
    virtual int ApplyParams() = 0;

    int GetMode() const { return mode; }
    int GetLevel() const { return level; }
    int GetStrategy() const { return strategy; }

protected:
    int mode = kModeClosed;
    int level = -1;   // zlib's default level
    int strategy = 0; // zlib's default strategy
};

class CGZip : public CZipper
{
public:
    CGZip();
    // Closes an open file, so a file written and never closed is still completed.
    ~CGZip() override;
    CGZip(const CGZip&) = delete;
    CGZip& operator=(const CGZip&) = delete;

    bool Close() override;
    bool IsOpen() const override;
    bool Write(const void* bytes, size_t length) override;
    // Writes the UTF-16LE code units of the zero-terminated text, without the terminator.
    bool WriteString(const char16_t* text) override;
    int Read(void* buffer, unsigned length) override;
    int64_t ReadAll(uint8_t** bytes, int64_t* length) override;
    int ApplyParams() override;

    // Fails on an object that is already open. Mode 1 writes, mode 2 reads an existing file.
    bool Open(const std::u16string& path, int openMode);
    // Takes effect at once on a file open for writing, otherwise at the next Open for writing.
    void SetCompressionLevel(int value);
    bool Flush(int flushMode);
    bool IsEOF() const;
    int64_t GetCompressedLength() const { return compressedLength; }

private:
    struct GzFileCloser
    {
        void operator()(gzFile_s* file) const;
    };
    static gzFile_s* OpenDescriptor(const std::string& native, bool forWriting);

    std::unique_ptr<gzFile_s, GzFileCloser> file;
    int64_t compressedLength = 0;
};

} // namespace zlib
