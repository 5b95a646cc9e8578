#include "demo_services/RequestLog.h"

#include <chrono>
#include <ctime>

namespace demo
{
namespace
{

std::string Now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return text;
}

// Requests come from the network: keep control characters out of the log lines.
std::string Printable(const std::string& text)
{
    std::string result;
    for (unsigned char c : text)
    {
        result += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
    }
    return result;
}

} // namespace

RequestLog::RequestLog(const std::string& path) : out(path, std::ios::app) {}

std::string RequestLog::Format(const RequestRecord& record, const std::string& time)
{
    std::string line = time + " " + record.service + " " + Printable(record.host) + " " +
                       Printable(record.method) + " " + Printable(record.target) + " -> " +
                       std::to_string(record.status) + " (" + std::to_string(record.bytes) + " bytes)";
    if (!record.note.empty())
    {
        line += " " + Printable(record.note);
    }
    return line;
}

void RequestLog::Write(const RequestRecord& record)
{
    const std::string line = Format(record, Now());
    std::lock_guard<std::mutex> guard(lock);
    out << line << '\n';
    out.flush();
}

} // namespace demo
