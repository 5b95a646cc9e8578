#include "Core/ErrorLog.h"

#include <cstdio>

#include "Core/ScopedLock.h"
#include "Core/StringUtils.h"
#include "Platform/Clock.h"
#include "Platform/ErrorText.h"
#include "Platform/FileIo.h"

namespace nd
{

namespace
{

struct ErrorLogState
{
    CriticalSection lock;
    std::vector<ErrorRecord> records;
    size_t recordBytes = 0; // what the kept records hold, roughly as serialised
    uint64_t notKept = 0;   // records counted instead of kept since the last note
    std::vector<std::string> errors;
    std::vector<std::string> userMessages;
};

// Never destroyed: a worker that a timed-out stop left behind may still report while the
// process exits, and must not find the log gone.
ErrorLogState& State()
{
    static ErrorLogState* state = new ErrorLogState();
    return *state;
}

// Constructed before main, as the other process-wide objects are.
[[maybe_unused]] const ErrorLogState& kEarlyState = State();

struct ComposedText
{
    std::string text;
    std::string detail; // the detailed_message of a record
};

std::string HexNumber(int32_t number)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%x", static_cast<uint32_t>(number));
    return digits;
}

ComposedText Compose(const std::string& message, bool withNumber, int32_t number, const std::string& file,
                     int32_t line)
{
    ComposedText composed;
    composed.text = message;
    if (withNumber)
    {
        composed.text += " Error code: 0x" + HexNumber(number);
        if (IsWinINetError(number))
        {
            composed.detail = WinINetErrorName(static_cast<uint32_t>(number));
            composed.text += " " + composed.detail;
        }
        else if (number != 0 && Platform::SystemErrorText(number, composed.detail))
        {
            composed.text += " Windows error message: " + composed.detail;
        }
    }
    if (!file.empty())
        composed.text += " File: " + file;
    if (line != 0)
        composed.text += " Line: " + std::to_string(line);
    return composed;
}

// Prints one line. The time stamp goes to the echo only, never into a record.
void Echo(const std::string& text, bool withTime)
{
    std::string line = text;
    if (withTime)
    {
        if (std::optional<std::string> now = Platform::AsciiLocalTime())
            line += " At: " + *now;
    }
    if (line.empty() || line.back() != '\n')
        line += '\n';
    // Written as data, never as a format: messages may contain "%".
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// Records hold valid UTF-8 only, so that serialising them can never fail; stray bytes become
// U+FFFD.
std::string ValidUtf8(const std::string& text)
{
    return StringUtils::ToUtf8(StringUtils::FromUtf8(text));
}

// The members' texts and what the serialised form adds around them.
size_t RecordSize(const std::string& message, const std::string& detail, const std::string& file)
{
    constexpr size_t kFraming = 112;
    return message.size() + detail.size() + file.size() + kFraming;
}

// A report, however often repeated or however large its text, must not grow the log (and the
// four copies the upload makes of it) without bound.
bool RoomFor(ErrorLogState& state, size_t size, bool alwaysKept)
{
    if (!alwaysKept && state.recordBytes + size > kLogRecordBytesLimit)
    {
        ++state.notKept;
        return false;
    }
    return true;
}

void AppendRecord(ErrorLogState& state, const std::string& message, const std::string& detail, int32_t number,
                  const std::string& file, int32_t line)
{
    state.recordBytes += RecordSize(message, detail, file);
    ErrorRecord record = ErrorRecord::object();
    record["message"] = ValidUtf8(message);
    record["detailed_message"] = ValidUtf8(detail);
    record["error_number"] = number;
    record["file"] = ValidUtf8(file);
    record["line"] = line;
    record["log_index"] = state.records.size();
    state.records.push_back(std::move(record));
}

// The one body of ReportError and LogError; returns the composed text (without time stamp).
std::string RecordError(const std::string& message, int32_t number, const std::string& file, int32_t line,
                        bool addToErrorList, bool echoTime)
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    try
    {
        ComposedText composed = Compose(message, true, number, file, line);
        if (RoomFor(state, RecordSize(message, composed.detail, file), addToErrorList))
            AppendRecord(state, message, composed.detail, number, file, line);
        if (addToErrorList)
            state.errors.push_back(message);
        Echo(composed.text, echoTime);
        return composed.text;
    }
    catch (const std::exception&)
    {
        // Out of memory while logging: the report is lost, the caller carries on.
        return {};
    }
}

std::string RecordMessage(const std::string& message, const std::string& file, int32_t line, bool echoTime)
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    try
    {
        ComposedText composed = Compose(message, false, 0, file, line);
        if (RoomFor(state, RecordSize(message, std::string(), file), false))
            AppendRecord(state, message, std::string(), 0, file, line);
        Echo(composed.text, echoTime);
        return composed.text;
    }
    catch (const std::exception&)
    {
        return {};
    }
}

std::string RecordText(const ErrorRecord& record)
{
    return "Message: " + record.value("message", std::string()) +
           " Detailed Message: " + record.value("detailed_message", std::string()) +
           " Error Number: " + std::to_string(record.value("error_number", 0)) +
           " File: " + record.value("file", std::string()) +
           " Line: " + std::to_string(record.value("line", 0));
}

} // namespace

std::string HeaderTextForLog(const std::string& headers)
{
    if (headers.size() <= kHeaderTextLimit)
        return headers;
    return headers.substr(0, kHeaderTextLimit) + " [... " + std::to_string(headers.size()) + " bytes in all]";
}

void NoteRecordsNotKept()
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    if (state.notKept == 0)
        return;
    try
    {
        const std::string message = std::to_string(state.notKept) + " records not kept: the log is full";
        state.notKept = 0;
        Echo(Compose(message, false, 0, __FILE__, __LINE__).text, true);
        AppendRecord(state, message, std::string(), 0, __FILE__, __LINE__);
    }
    catch (const std::exception&)
    {
    }
}

void ReportError(const std::string& message, int32_t errorNumber, const std::string& file, int32_t line)
{
    RecordError(message, errorNumber, file, line, true, true);
}

void ReportError(const std::u16string& message, int32_t errorNumber, const std::string& file, int32_t line)
{
    RecordError(StringUtils::ToNarrow(message), errorNumber, file, line, true, true);
}

void LogError(const std::string& message, int32_t errorNumber, const std::string& file, int32_t line)
{
    RecordError(message, errorNumber, file, line, false, true);
}

std::u16string LogError(const std::u16string& message, int32_t errorNumber, const std::string& file,
                        int32_t line)
{
    return StringUtils::ToWide(
        RecordError(StringUtils::ToNarrow(message), errorNumber, file, line, false, false));
}

void LogMessage(const std::string& message, const std::string& file, int32_t line)
{
    RecordMessage(message, file, line, true);
}

std::u16string LogMessage(const std::u16string& message, const std::string& file, int32_t line)
{
    return StringUtils::ToWide(RecordMessage(StringUtils::ToNarrow(message), file, line, false));
}

std::u16string FormatErrorText(const std::u16string& message, int32_t errorNumber, const std::string& file,
                               int32_t line)
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    try
    {
        std::string text = Compose(StringUtils::ToNarrow(message), true, errorNumber, file, line).text;
        Echo(text, false);
        return StringUtils::ToWide(text);
    }
    catch (const std::exception&)
    {
        return {};
    }
}

void AddUserMessage(const std::string& text)
{
    if (text.empty())
        return;
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    try
    {
        state.userMessages.push_back(text);
    }
    catch (const std::exception&)
    {
    }
}

void AddUserMessage(const std::u16string& text)
{
    AddUserMessage(StringUtils::ToNarrow(text));
}

std::string GetLastUserMessage()
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    return state.userMessages.empty() ? std::string() : state.userMessages.back();
}

void ClearErrors()
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    state.errors.clear();
    state.records.clear();
    state.recordBytes = 0;
    state.notKept = 0;
}

size_t GetErrorCount()
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    return state.errors.size();
}

bool HasErrorNumbers()
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    for (const ErrorRecord& record : state.records)
    {
        if (record.value("error_number", 0) != 0)
            return true;
    }
    return false;
}

std::vector<ErrorRecord> GetLogRecords()
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    return state.records;
}

void WriteLogFile(const std::string& path)
{
    ErrorLogState& state = State();
    ScopedLock hold(&state.lock);
    try
    {
        std::string text;
        for (size_t i = 0; i < state.records.size(); ++i)
        {
            if (i != 0)
                text += "\t\n";
            text += RecordText(state.records[i]);
        }
        // The log does not report on itself: a file that cannot be written is skipped.
        Platform::WriteWholeFile(path, text.data(), text.size());
    }
    catch (const std::exception&)
    {
    }
}

} // namespace nd
