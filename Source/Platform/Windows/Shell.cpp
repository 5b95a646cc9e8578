#include "Platform/Shell.h"

#include "Platform/Windows/Win32Api.h"
#include <objbase.h>

#include <cstdint>
#include <string>

#include "Platform/FileIo.h"
#include "Platform/Windows/ShellCodes.h"
#include "Platform/Windows/WideText.h"

namespace Platform
{

namespace
{

constexpr int kShowWindow = SW_SHOW; // 5
// ShellExecute answers a value above this on success, an error code (2, 3, 5, 8, 11...) otherwise.
constexpr intptr_t kLastFailure = 32;

// The file browser shows folders: a file is shown through the folder that holds it, so that the
// user sees the setup beside the others and can start it by hand.
std::string FolderToExplore(const std::string& target)
{
    if (IsDirectory(target))
        return target;
    const std::string unified = Utf8PathFromNative(NativePathFromUtf8(target));
    const size_t slash = unified.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return unified.substr(0, slash + 1);
}

} // namespace

// ShellExecute's answers are its own codes, not system error numbers (31 would read as "A device
// attached to the system is not functioning"), so they are told in words here.
std::string ShellExecuteCodeText(intptr_t code)
{
    const char* meaning = nullptr;
    switch (code)
    {
    case 0:
        meaning = "The system is out of memory or resources.";
        break;
    case 2:
        meaning = "The specified file was not found.";
        break;
    case 3:
        meaning = "The specified path was not found.";
        break;
    case 5:
        meaning = "The system denied access to the specified file.";
        break;
    case 8:
        meaning = "There is not enough memory to complete the operation.";
        break;
    case 11:
        meaning = "The file is not a valid program.";
        break;
    case 26:
        meaning = "A sharing violation occurred.";
        break;
    case 27:
        meaning = "The file name association is incomplete or invalid.";
        break;
    case 28:
        meaning = "The DDE transaction could not be completed because the request timed out.";
        break;
    case 29:
        meaning = "The DDE transaction failed.";
        break;
    case 30:
        meaning =
            "The DDE transaction could not be completed because other DDE transactions were being processed.";
        break;
    case 31:
        meaning = "There is no application associated with the given file.";
        break;
    case 32:
        meaning = "The specified DLL was not found.";
        break;
    default:
        meaning = "The file could not be started.";
        break;
    }
    return std::string(meaning) + " (ShellExecute code " + std::to_string(code) + ")";
}

// ShellExecute answers at once whether it started the file; there is no opener to wait for, so
// exitWaitMs and keepWaiting have nothing to do here.
ShellResult ShellExecute(ShellVerb verb, const std::string& target, const std::string& workingFolder,
                         uint32_t, const std::atomic<bool>*)
{
    const bool explore = verb == ShellVerb::Explore;
    // An address stays as it is; a path gets the separators the shell expects.
    const bool address = target.find("://") != std::string::npos;
    const std::wstring file =
        address ? WideFromUtf8(target) : ShellPath(explore ? FolderToExplore(target) : target);
    const std::wstring folder = ShellPath(workingFolder);
    // Verbs may be carried out by shell extensions, which need COM on the calling thread (a
    // worker thread has not set it up).
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const HINSTANCE answer = ::ShellExecuteW(nullptr, explore ? L"explore" : L"open", file.c_str(), nullptr,
                                             folder.empty() ? nullptr : folder.c_str(), kShowWindow);
    const intptr_t code = reinterpret_cast<intptr_t>(answer);
    if (SUCCEEDED(com))
        ::CoUninitialize();
    ShellResult result;
    result.started = code > kLastFailure;
    result.errorNumber = result.started ? 0 : static_cast<int>(code);
    if (!result.started)
        result.failure = ShellExecuteCodeText(code);
    return result;
}

} // namespace Platform
