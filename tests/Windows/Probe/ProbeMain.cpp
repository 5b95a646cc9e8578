// norvia_probe OPERATION --option=value ...
//
// Performs one platform or engine operation of the Windows build and prints what happened as one
// JSON object on standard output: the operation's own results, then the records of the error
// log, the length of the error list and the last user message. The Linux test fixtures run it
// under wine against their local servers and judge the result (tests/Windows).

#include <cstdio>
#include <exception>

#include "Core/ErrorLog.h"
#include "Platform/HttpRequest.h"
#include "ProbeOperations.h"

namespace
{

// --timeouts=connect,send,receive in milliseconds: the test seam of the transfer layer.
void ApplyTimeouts(const probe::Arguments& arguments)
{
    const std::string text = arguments.Text("timeouts");
    if (text.empty())
        return;
    Platform::HttpTimeouts timeouts;
    if (std::sscanf(text.c_str(), "%u,%u,%u", &timeouts.connectMs, &timeouts.sendMs, &timeouts.receiveMs) ==
        3)
        Platform::SetHttpTimeoutsForTesting(timeouts);
}

// --refuse-option=NAME, repeatable: options the transfer layer treats as refused by WinINet.
void ApplyRefusedOptions(const probe::Arguments& arguments)
{
    Platform::RefuseHttpOptionsForTesting(arguments.All("refuse-option"));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const probe::Arguments arguments(argc, argv);
    ApplyTimeouts(arguments);
    ApplyRefusedOptions(arguments);
    nlohmann::json answer;
    try
    {
        const std::string& operation = arguments.Operation();
        if (operation == "request")
            answer = probe::Request(arguments);
        else if (operation == "download")
            answer = probe::Download(arguments);
        else if (operation == "upload")
            answer = probe::Upload(arguments);
        else if (operation == "run")
            answer = probe::Run(arguments);
        else
        {
            std::fprintf(stderr, "norvia_probe: unknown operation '%s'\n", operation.c_str());
            return 2;
        }
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "norvia_probe: %s\n", error.what());
        return 3;
    }
    answer["records"] = nd::GetLogRecords();
    answer["errorCount"] = nd::GetErrorCount();
    answer["lastUserMessage"] = nd::GetLastUserMessage();
    // Bodies and messages may hold bytes that are no UTF-8; they are shown replaced.
    std::fputs(answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return 0;
}
