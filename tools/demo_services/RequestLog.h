#pragma once
// One line per request, appended to a file as each answer goes out; shared by the server's
// worker threads.

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>

namespace demo
{

struct RequestRecord
{
    std::string service; // "service", "storage", "content", "support" or "unknown"
    std::string host;    // Host header as sent
    std::string method;
    std::string target; // path and query as sent
    int status = 0;
    uint64_t bytes = 0; // body bytes of the answer
    std::string note;   // what the service made of it, e.g. "RequestDownload" or a refusal reason
};

class RequestLog
{
  public:
    // Appends to path; the file and its folder must be writable. Open() tells whether it is.
    explicit RequestLog(const std::string& path);
    bool Open() const { return out.is_open(); }

    // Thread-safe. Format: time service method target -> status (bytes) note
    void Write(const RequestRecord& record);

    static std::string Format(const RequestRecord& record, const std::string& time);

  private:
    std::mutex lock;
    std::ofstream out;
};

} // namespace demo
