#pragma once
// Fetches one object over HTTPS with a GET request on a worker thread of its own, either into
// memory or straight into its destination file, and checks it against an expected CRC-32.
// Every attempt starts from the first byte; a failed attempt is repeated up to three times.

#include "Core/ByteBuffer.h"
#include "Core/Hld_Thread.h"
#include "DownloadSystem/CRC.h"
#include "Platform/HttpRequest.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace DownloadSystem
{

class IDownloadListener;

// State numbers of a download worker. 7 means the worker made its last attempt, not that the
// result is good: callers judge the data, the file's CRC or GetErrorCode themselves.
enum DownloadState : uint32_t
{
    kDownloadIdle = 0,
    kDownloadRunning = 6,
    kDownloadEnded = 7,
};

class FileDownload : public nd::Hld_Thread
{
public:
    static constexpr uint32_t kChunkSize = 1024;
    static constexpr int kRepeatLimit = 3; // four attempts in all
    // Memory mode holds the whole answer: a text may have this many bytes, an image more.
    static constexpr uint64_t kTextAnswerLimit = 16 * 1024 * 1024;
    static constexpr uint64_t kImageAnswerLimit = 64 * 1024 * 1024;

    FileDownload();
    ~FileDownload() override;
    FileDownload(const FileDownload&) = delete;
    FileDownload& operator=(const FileDownload&) = delete;

    // Set-up: only while the worker is not running.
    void SetHost(const std::u16string& value);          // "name" or "name:port"; port 443 otherwise
    void SetPath(const std::u16string& value);          // begins with "/"
    void SetRequestSuffix(const std::u16string& value); // appended to the path as it is ("?sig...")
    void SetDestination(const std::u16string& value);
    void SetListener(IDownloadListener* value); // not owned; may be null
    void SetExpectedCRC(uint32_t value);        // 0: no check
    // Memory mode: an attempt whose answer passes this many bytes stops reading and fails like
    // a broken connection. kTextAnswerLimit unless set.
    void SetAnswerLimit(uint64_t bytes);
    // Test-only seam: the window in which a body must bring TrickleGuard::kMinimumBytes, for
    // workers created afterwards. Production code never calls it.
    static void SetTrickleWindowForTesting(std::chrono::milliseconds window);

    // Written by the worker and read by any thread without a lock (polling).
    uint32_t GetState() const { return state.load(); }
    uint32_t GetErrorCode() const { return errorCode.load(); }
    uint32_t GetBytesReceived() const { return bytesReceived.load(); }
    // Whether the last attempt passed its check: the expected CRC matched, or without one, the
    // body was read to its end. State 7 alone says neither.
    bool IsVerified() const { return lastAttemptVerified.load(); }

    // Memory-mode result: read only after the worker has ended.
    nd::ByteBuffer& GetData() { return data; }
    const nd::ByteBuffer& GetData() const { return data; }
    void ReleaseData();

    // Any thread; returns the new paused value. A paused worker keeps its connection and
    // still notices Stop within 100 ms.
    bool TogglePause();
    bool IsPaused() const { return paused.load(); }

    // Runs the worker in memory mode on its thread and returns after it ended.
    void DownloadToMemory();
    // Starts the worker in part-file mode and returns at once; poll GetState until it reads 7.
    void StartPartDownload(const std::u16string& destinationPath);

protected:
    void Run() override;

private:
    struct BodyRead
    {
        bool lastReadOk = false; // the last read call succeeded
        bool complete = false;   // the body was read to its end
        int readError = 0;       // the error number of a failed read
    };
    // Reads the open request's body in chunk-size pieces, honouring pause and stop, and hands
    // each piece to consume, which returns false to stop reading.
    BodyRead ReadBody(std::vector<uint8_t>& chunk,
                      const std::function<bool(const uint8_t*, size_t)>& consume);
    void RunMemoryMode();
    void RunPartFileMode();
    bool OpenRequest();
    void CloseHandles();
    bool PrepareDestinationFolder();
    void LogIncorrectCrc(uint32_t computed, uint64_t byteCount);
    void Finish();
    bool SleepWhileRunning(uint32_t milliseconds);

    std::u16string host;
    std::u16string path;
    std::u16string destination;
    std::u16string requestSuffix;
    Platform::HttpRequest request;
    uint32_t chunkSize = kChunkSize;
    std::chrono::milliseconds trickleWindow;
    std::atomic<uint32_t> bytesReceived{0};
    uint32_t expectedCrc = 0;
    uint64_t answerLimit = kTextAnswerLimit;
    std::atomic<bool> paused{false};
    bool partFileMode = false;
    IDownloadListener* listener = nullptr;
    std::atomic<uint32_t> state{kDownloadIdle};
    std::atomic<uint32_t> errorCode{0};
    std::atomic<bool> lastAttemptVerified{false};
    nd::ByteBuffer data;
    CRC crc;
};

} // namespace DownloadSystem
