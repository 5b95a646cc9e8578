#pragma once
// The process-wide error log. Any thread may call these functions; one recursive lock guards
// the record list, the error list (errors that stop the user's download; its length is the
// UI's pending-error signal) and the user-message list (headlines for the error screen).
// Every report is echoed to standard output. Nothing here fails towards its caller.
//
// Pass __FILE__ and __LINE__ as file and line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace nd
{

// One log entry, a JSON object with exactly the members detailed_message (string),
// error_number (int32), file (string), line (int32), log_index (0-based position in the
// record list) and message (string). Serialised with ascending key order.
using ErrorRecord = nlohmann::json;

// The program's own error numbers.
constexpr int32_t kErrorMaxAttemptsExceeded = -32767;
constexpr int32_t kErrorDownloadRetry = -32766;
constexpr int32_t kErrorMajorMalfunction = -32765;
constexpr int32_t kErrorStatusNot200 = -32764;
constexpr int32_t kErrorResolvedStartingSetup = -32763;
constexpr int32_t kErrorSetupMissing = -32762;
constexpr int32_t kErrorCrcMismatch = -3;

// A run keeps this many bytes of records at most: past it, LogError and LogMessage records are
// counted instead of kept (ReportError records are always kept: the error screen reads them).
constexpr size_t kLogRecordBytesLimit = 8 * 1024 * 1024;
// A header text kept in a record is cut after this many bytes.
constexpr size_t kHeaderTextLimit = 16 * 1024;

// The header text as a record keeps it: cut after kHeaderTextLimit bytes, then
// " [... N bytes in all]".
std::string HeaderTextForLog(const std::string& headers);

// Records "N records not kept: the log is full" once, when records were counted instead of kept
// since the last such note or ClearErrors. Called at the end of a run and by the exit step.
void NoteRecordsNotKept();

// Records the report and adds the message to the error list (the user sees an error screen).
void ReportError(const std::string& message, int32_t errorNumber, const std::string& file, int32_t line);
void ReportError(const std::u16string& message, int32_t errorNumber, const std::string& file, int32_t line);

// Records the report in the log only. The wide form returns the composed text.
void LogError(const std::string& message, int32_t errorNumber, const std::string& file, int32_t line);
std::u16string LogError(const std::u16string& message, int32_t errorNumber, const std::string& file,
                        int32_t line);

// Records a note without an error number. The wide form returns the composed text.
void LogMessage(const std::string& message, const std::string& file, int32_t line);
std::u16string LogMessage(const std::u16string& message, const std::string& file, int32_t line);

// Composes (and echoes) the error text without recording anything:
// message " Error code: 0x<hex>" [" <WinINet name>" | " Windows error message: <text>"]
// [" File: <file>"] [" Line: <line>"].
std::u16string FormatErrorText(const std::u16string& message, int32_t errorNumber, const std::string& file,
                               int32_t line);

// Empty texts are ignored. The list is never emptied.
void AddUserMessage(const std::string& text);
void AddUserMessage(const std::u16string& text);
std::string GetLastUserMessage();

// Empties the error list and the record list (not the user messages); a new run's records count
// from nothing again.
void ClearErrors();
size_t GetErrorCount();
// True when any record carries a non-zero error number.
bool HasErrorNumbers();
// A copy of the record list.
std::vector<ErrorRecord> GetLogRecords();
// Writes the text log of all records (create-always). Failures are silently ignored.
void WriteLogFile(const std::string& path);

// The symbolic name of a WinINet error code, or an empty string.
std::string WinINetErrorName(uint32_t code);
// 12000 <= code <= 12188.
bool IsWinINetError(int32_t code);

} // namespace nd
