#include "Core/ErrorLog.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Platform/FileIo.h"

namespace
{

// The log is process-wide; every test starts from an empty record and error list.
class ErrorLogTest : public ::testing::Test
{
protected:
    void SetUp() override { nd::ClearErrors(); }
    void TearDown() override { nd::ClearErrors(); }
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string ScratchPath(const std::string& name)
{
    return ::testing::TempDir() + "norvia_errorlog_" + std::to_string(::getpid()) + "_" + name;
}

} // namespace

// [SECTION] Composed texts

TEST_F(ErrorLogTest, ZeroNumberEndsInHexZero)
{
    EXPECT_EQ(nd::FormatErrorText(u"x", 0, "", 0), u"x Error code: 0x0");
}

TEST_F(ErrorLogTest, WinINetNumberIsNamed)
{
    EXPECT_EQ(nd::FormatErrorText(u"x", 12029, "", 0), u"x Error code: 0x2efd ERROR_INTERNET_CANNOT_CONNECT");
}

TEST_F(ErrorLogTest, UnnamedWinINetNumberEndsInASpace)
{
    EXPECT_EQ(nd::FormatErrorText(u"x", 12035, "", 0), u"x Error code: 0x2f03 ");
    EXPECT_EQ(nd::FormatErrorText(u"x", 12188, "", 0), u"x Error code: 0x2f9c ");
}

TEST_F(ErrorLogTest, NegativeNumbersAreUnsignedHexWithoutSystemText)
{
    EXPECT_EQ(nd::FormatErrorText(u"m", nd::kErrorMaxAttemptsExceeded, "F", 42),
              u"m Error code: 0xffff8001 File: F Line: 42");
    EXPECT_EQ(nd::FormatErrorText(u"m", nd::kErrorCrcMismatch, "", 0), u"m Error code: 0xfffffffd");
    EXPECT_EQ(nd::FormatErrorText(u"m", nd::kErrorSetupMissing, "", 0), u"m Error code: 0xffff8006");
}

TEST_F(ErrorLogTest, SystemNumbersCarryTheSystemText)
{
    EXPECT_EQ(nd::FormatErrorText(u"open", ENOENT, "", 0),
              u"open Error code: 0x2 Windows error message: No such file or directory");
    // A number the system does not know gets no description.
    EXPECT_EQ(nd::FormatErrorText(u"x", 99999, "", 0), u"x Error code: 0x1869f");
}

TEST_F(ErrorLogTest, FileAndLineAreAppendedWhenPresent)
{
    EXPECT_EQ(nd::FormatErrorText(u"x", 5, "DownloadSystem/FileDownload.cpp", 0).find(u" Line:"),
              std::u16string::npos);
    std::u16string text = nd::FormatErrorText(u"x", 0, "F", 42);
    EXPECT_EQ(text, u"x Error code: 0x0 File: F Line: 42");
    EXPECT_EQ(nd::FormatErrorText(u"x", 0, "", -7), u"x Error code: 0x0 Line: -7");
}

TEST_F(ErrorLogTest, FormatErrorTextRecordsNothing)
{
    nd::FormatErrorText(u"x", 12029, "F", 1);
    EXPECT_TRUE(nd::GetLogRecords().empty());
    EXPECT_EQ(nd::GetErrorCount(), 0u);
}

TEST_F(ErrorLogTest, WideFormsReturnTheComposedText)
{
    EXPECT_EQ(nd::LogError(u"caf\u00e9", 12002, "F", 3), u"caf\u00e9 Error code: 0x2ee2 ERROR_INTERNET_TIMEOUT File: F Line: 3");
    EXPECT_EQ(nd::LogMessage(u"note", "F", 9), u"note File: F Line: 9");
    EXPECT_EQ(nd::LogMessage(u"bare", "", 0), u"bare");
    ASSERT_EQ(nd::GetLogRecords().size(), 3u);
    EXPECT_EQ(nd::GetLogRecords()[0]["message"], "caf\xc3\xa9");
}

TEST_F(ErrorLogTest, ReportIsEchoedWithATimeStamp)
{
    ::testing::internal::CaptureStdout();
    nd::ReportError("echoed", 12029, "F", 42);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("echoed Error code: 0x2efd ERROR_INTERNET_CANNOT_CONNECT File: F Line: 42 At: ", 0), 0u)
        << out;
    EXPECT_EQ(out.back(), '\n');
    ASSERT_EQ(nd::GetLogRecords().size(), 1u);
    EXPECT_EQ(nd::GetLogRecords()[0]["message"], "echoed");
}

TEST_F(ErrorLogTest, PercentSignsInMessagesArePrintedLiterally)
{
    ::testing::internal::CaptureStdout();
    nd::LogMessage("100%s %n done", "", 0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("100%s %n done", 0), 0u) << out;
}

// [SECTION] Records

TEST_F(ErrorLogTest, RecordHoldsExactlyTheSixMembers)
{
    nd::ReportError("x", 0, "", 0);
    std::vector<nd::ErrorRecord> records = nd::GetLogRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].dump(),
              R"({"detailed_message":"","error_number":0,"file":"","line":0,"log_index":0,"message":"x"})");
}

TEST_F(ErrorLogTest, WinINetNameIsTheDetailedMessage)
{
    nd::ReportError("x", 12029, "DownloadSystem/FileDownload.cpp", 7);
    nd::ErrorRecord record = nd::GetLogRecords().at(0);
    EXPECT_EQ(record["detailed_message"], "ERROR_INTERNET_CANNOT_CONNECT");
    EXPECT_EQ(record["error_number"], 12029);
    EXPECT_EQ(record["file"], "DownloadSystem/FileDownload.cpp");
    EXPECT_EQ(record["line"], 7);
}

TEST_F(ErrorLogTest, SystemTextIsTheDetailedMessage)
{
    nd::LogError("x", EACCES, "", 0);
    EXPECT_EQ(nd::GetLogRecords().at(0)["detailed_message"], "Permission denied");
}

TEST_F(ErrorLogTest, LogIndexCountsFromZeroAgainAfterClear)
{
    nd::LogMessage("a", "", 0);
    nd::LogError("b", 1, "", 0);
    nd::ReportError("c", 2, "", 0);
    std::vector<nd::ErrorRecord> records = nd::GetLogRecords();
    ASSERT_EQ(records.size(), 3u);
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i]["log_index"], i);
    nd::ClearErrors();
    nd::LogMessage("d", "", 0);
    EXPECT_EQ(nd::GetLogRecords().at(0)["log_index"], 0);
}

TEST_F(ErrorLogTest, OnlyReportErrorRaisesTheErrorCount)
{
    nd::LogError("a", 5, "", 0);
    nd::LogError(u"b", 5, "", 0);
    nd::LogMessage("c", "", 0);
    nd::LogMessage(u"d", "", 0);
    EXPECT_EQ(nd::GetErrorCount(), 0u);
    nd::ReportError("e", 5, "", 0);
    nd::ReportError(u"f", 0, "", 0);
    EXPECT_EQ(nd::GetErrorCount(), 2u);
    nd::ClearErrors();
    EXPECT_EQ(nd::GetErrorCount(), 0u);
    EXPECT_TRUE(nd::GetLogRecords().empty());
}

TEST_F(ErrorLogTest, HasErrorNumbersLooksForANonZeroNumber)
{
    EXPECT_FALSE(nd::HasErrorNumbers());
    nd::LogMessage("a", "F", 1);
    nd::LogMessage(u"b", "F", 2);
    EXPECT_FALSE(nd::HasErrorNumbers());
    nd::ReportError("zero", 0, "", 0);
    EXPECT_FALSE(nd::HasErrorNumbers());
    nd::LogError("c", nd::kErrorCrcMismatch, "", 0);
    EXPECT_TRUE(nd::HasErrorNumbers());
}

TEST_F(ErrorLogTest, RecordsStayValidUtf8SoTheyCanBeSerialised)
{
    nd::LogMessage("bad \xff byte", "", 0);
    std::vector<nd::ErrorRecord> records = nd::GetLogRecords();
    nlohmann::json list = records;
    std::string dumped;
    ASSERT_NO_THROW(dumped = list.dump());
    EXPECT_NE(dumped.find("bad \xef\xbf\xbd byte"), std::string::npos);
}

TEST_F(ErrorLogTest, RecordsFromManyThreadsGetDistinctIndices)
{
    constexpr int kThreads = 8, kEach = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i)
            {
                if (i % 2)
                    nd::ReportError("r" + std::to_string(t), 12002, "F", i);
                else
                    nd::LogMessage("m" + std::to_string(t), "F", i);
                nd::GetErrorCount();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::vector<nd::ErrorRecord> records = nd::GetLogRecords();
    ASSERT_EQ(records.size(), size_t(kThreads * kEach));
    for (size_t i = 0; i < records.size(); ++i)
        ASSERT_EQ(records[i]["log_index"], i);
    EXPECT_EQ(nd::GetErrorCount(), size_t(kThreads * kEach / 2));
}

// [SECTION] User messages

TEST_F(ErrorLogTest, UserMessagesIgnoreEmptyTextAndSurviveClear)
{
    nd::AddUserMessage(std::string("Downloading setup failed."));
    nd::AddUserMessage(std::string(""));
    nd::AddUserMessage(std::u16string(u""));
    EXPECT_EQ(nd::GetLastUserMessage(), "Downloading setup failed.");
    nd::ClearErrors();
    EXPECT_EQ(nd::GetLastUserMessage(), "Downloading setup failed.");
    nd::AddUserMessage(std::u16string(u"Gr\u00fc\u00dfe"));
    EXPECT_EQ(nd::GetLastUserMessage(), "Gr\xc3\xbc\xc3\x9f" "e");
}

TEST(ErrorLogFreshProcess, LastUserMessageOfAnEmptyListIsEmpty)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Runs in a freshly started copy of this program, where no message was added yet.
    EXPECT_EXIT(std::exit(nd::GetLastUserMessage().empty() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// [SECTION] Text log

TEST_F(ErrorLogTest, TextLogByteForByte)
{
    nd::LogMessage("a", "", 0);
    nd::LogError("b", 0, "", 0);
    nd::ReportError("c", nd::kErrorMaxAttemptsExceeded, "Core/X.cpp", 12);
    nd::LogError("d", 12029, "", -1);
    const std::string path = ScratchPath("log.txt");
    nd::WriteLogFile(path);
    EXPECT_EQ(ReadFile(path), "Message: a Detailed Message:  Error Number: 0 File:  Line: 0\t\n"
                              "Message: b Detailed Message:  Error Number: 0 File:  Line: 0\t\n"
                              "Message: c Detailed Message:  Error Number: -32767 File: Core/X.cpp Line: 12\t\n"
                              "Message: d Detailed Message: ERROR_INTERNET_CANNOT_CONNECT Error Number: 12029 "
                              "File:  Line: -1");
    std::remove(path.c_str());
}

TEST_F(ErrorLogTest, TextLogReplacesAnExistingFileAndIsEmptyWithoutRecords)
{
    const std::string path = ScratchPath("replaced.txt");
    {
        std::ofstream old(path, std::ios::binary);
        old << "old content that is longer than the new one";
    }
    nd::WriteLogFile(path);
    EXPECT_TRUE(Platform::IsRegularFile(path));
    EXPECT_EQ(ReadFile(path), "");
    std::remove(path.c_str());
}

TEST_F(ErrorLogTest, TextLogToAnImpossiblePathIsSilent)
{
    nd::LogMessage("a", "", 0);
    const std::string path = ScratchPath("missing-folder/log.txt");
    nd::WriteLogFile(path);
    EXPECT_FALSE(Platform::PathExists(path));
    EXPECT_EQ(nd::GetLogRecords().size(), 1u);
}

// [SECTION] WinINet names

TEST(WinINetNames, TableRowsAndGaps)
{
    EXPECT_EQ(nd::WinINetErrorName(12001), "ERROR_INTERNET_OUT_OF_HANDLES");
    EXPECT_EQ(nd::WinINetErrorName(12157), "ERROR_INTERNET_SECURITY_CHANNEL_ERROR");
    EXPECT_EQ(nd::WinINetErrorName(12175), "ERROR_INTERNET_DECODING_FAILED");
    int named = 0;
    for (uint32_t code = 11990; code < 12200; ++code)
        named += nd::WinINetErrorName(code).empty() ? 0 : 1;
    EXPECT_EQ(named, 70);
    for (uint32_t gap : {12000u, 12035u, 12051u, 12058u, 12156u, 12160u, 12168u, 12176u, 12188u})
        EXPECT_EQ(nd::WinINetErrorName(gap), "") << gap;
}

TEST(WinINetNames, RangeCheck)
{
    EXPECT_FALSE(nd::IsWinINetError(11999));
    EXPECT_TRUE(nd::IsWinINetError(12000));
    EXPECT_TRUE(nd::IsWinINetError(12188));
    EXPECT_FALSE(nd::IsWinINetError(12189));
    EXPECT_FALSE(nd::IsWinINetError(-12029));
}

namespace
{

// A storage answering with 400 KiB of headers, attempt after attempt, must not grow the log
// without bound: a header text is kept up to 16 KiB, and past 8 MiB of records only what the
// error screen reads (ReportError) is still kept; the rest is counted and noted once.
TEST(ErrorLogBound, HeadersAreCutAndRecordsPastTheLimitAreCountedOnce)
{
    nd::ClearErrors();
    const std::string headers(400 * 1024, 'h');
    const std::string cut = nd::HeaderTextForLog(headers);
    EXPECT_EQ(cut, headers.substr(0, 16 * 1024) + " [... 409600 bytes in all]");
    EXPECT_EQ(nd::HeaderTextForLog("HTTP/1.1 200 OK\r\n\r\n"), "HTTP/1.1 200 OK\r\n\r\n");

    const size_t fit = nd::kLogRecordBytesLimit / cut.size();
    for (size_t i = 0; i < fit + 10; ++i)
        nd::LogMessage("Response headers: " + cut, __FILE__, __LINE__);
    nd::LogError("one more", 12002, __FILE__, __LINE__);
    nd::ReportError("Response status not 200, but 500 Response headers: " + cut, nd::kErrorStatusNot200,
                    __FILE__, __LINE__);
    const size_t kept = nd::GetLogRecords().size();
    EXPECT_LT(kept, fit + 1);
    EXPECT_EQ(nd::GetErrorCount(), 1u);
    EXPECT_EQ(nd::GetLogRecords().back()["error_number"], nd::kErrorStatusNot200) << "still kept";

    nd::NoteRecordsNotKept();
    nd::NoteRecordsNotKept(); // once only
    const auto records = nd::GetLogRecords();
    ASSERT_EQ(records.size(), kept + 1);
    EXPECT_EQ(records.back()["message"],
              std::to_string(fit + 11 - (kept - 1)) + " records not kept: the log is full");
    EXPECT_EQ(records.back()["error_number"], 0);
    size_t bytes = 0;
    for (const auto& record : records)
        bytes += record.dump().size();
    EXPECT_LT(bytes, nd::kLogRecordBytesLimit + 2 * cut.size());

    nd::ClearErrors(); // a new run keeps records again
    nd::LogMessage("kept", __FILE__, __LINE__);
    EXPECT_EQ(nd::GetLogRecords().size(), 1u);
    nd::ClearErrors();
}

} // namespace
