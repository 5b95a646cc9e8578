// FileUpload::ParseResponseHeaders on any header text: the raw text is kept and every stored
// name and value comes from one line of it.

#include "DownloadSystem/FileUpload.h"
#include "FuzzInput.h"

using fuzzinput::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static DownloadSystem::FileUpload upload;
    const std::u16string raw = fuzzinput::Widened(data, size);
    upload.ParseResponseHeaders(raw);
    Require(upload.GetRawResponseHeaders() == raw);
    for (const auto& [name, value] : upload.GetResponseHeaders())
    {
        Require(name.find(u"\r\n") == std::u16string::npos && value.find(u"\r\n") == std::u16string::npos);
        Require(name.find(u": ") == std::u16string::npos);
        Require(raw.find(name + u": ") != std::u16string::npos);
    }
    return 0;
}
