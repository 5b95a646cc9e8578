#include "demo_services/ServiceOptions.h"

#include <charconv>
#include <limits>

namespace demo
{
namespace
{

bool ParseNumber(const std::string& text, uint64_t maximum, uint64_t& value)
{
    uint64_t parsed = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (ec != std::errc() || ptr != end || text.empty() || parsed > maximum)
    {
        return false;
    }
    value = parsed;
    return true;
}

// Accepts plain bytes or a K/M suffix (binary units), as in 512K or 8M.
bool ParseSize(std::string text, uint64_t& value)
{
    uint64_t unit = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k'))
    {
        unit = 1024;
    }
    else if (!text.empty() && (text.back() == 'M' || text.back() == 'm'))
    {
        unit = 1024 * 1024;
    }
    if (unit != 1)
    {
        text.pop_back();
    }
    uint64_t number = 0;
    // Sizes stay below 2 GiB: the program's file list describes sizes and CRCs in 32 bits.
    if (!ParseNumber(text, (uint64_t{1} << 31) / unit, number) || number * unit >= (uint64_t{1} << 31))
    {
        return false;
    }
    value = number * unit;
    return true;
}

bool IsPlainName(const std::string& text)
{
    if (text.empty() || text.size() > 100)
    {
        return false;
    }
    for (char c : text)
    {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '_' || c == '-' || c == '.';
        if (!ok)
        {
            return false;
        }
    }
    return text != "." && text != "..";
}

} // namespace

std::optional<ServiceOptions> ParseServiceOptions(const std::vector<std::string>& args, std::string& error)
{
    ServiceOptions options;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string& name = args[i];
        if (name == "--unsigned")
        {
            options.signedStorage = false;
            continue;
        }
        if (i + 1 >= args.size())
        {
            error = "option " + name + " needs a value (or is unknown)";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        uint64_t number = 0;
        bool ok = true;
        if (name == "--dir")
        {
            options.stateDir = value;
        }
        else if (name == "--request-log")
        {
            options.requestLog = value;
        }
        else if (name == "--uploads")
        {
            options.uploadsDir = value;
        }
        else if (name == "--ready-file")
        {
            options.readyFile = value;
        }
        else if (name == "--port")
        {
            ok = ParseNumber(value, 65535, number);
            options.port = static_cast<uint16_t>(number);
        }
        else if (name == "--release")
        {
            // The release becomes a storage folder and file name: keep it to a plain name.
            ok = IsPlainName(value);
            options.release = value;
        }
        else if (name == "--product-code")
        {
            ok = IsPlainName(value);
            options.productCode = value;
        }
        else if (name == "--files")
        {
            ok = ParseNumber(value, 26 * 9, number);
            options.dataFiles = static_cast<uint32_t>(number);
        }
        else if (name == "--file-size")
        {
            ok = ParseSize(value, options.fileSize);
        }
        else if (name == "--setup-size")
        {
            ok = ParseSize(value, options.setupSize) && options.setupSize > 0;
        }
        else if (name == "--setup-program")
        {
            options.setupProgram = value;
        }
        else if (name == "--rate")
        {
            ok = ParseSize(value, options.rateBytesPerSecond);
        }
        else if (name == "--damage")
        {
            ok = IsPlainName(value);
            options.damagedFile = value;
        }
        else if (name == "--max-seconds")
        {
            ok = ParseNumber(value, 7 * 24 * 3600, number);
            options.maxSeconds = static_cast<uint32_t>(number);
        }
        else
        {
            error = "unknown option " + name;
            return std::nullopt;
        }
        if (!ok)
        {
            error = "bad value for " + name + ": " + value;
            return std::nullopt;
        }
    }
    ResolveDefaults(options);
    return options;
}

void ResolveDefaults(ServiceOptions& options)
{
    if (options.requestLog.empty())
    {
        options.requestLog = options.stateDir + "/requests.log";
    }
    if (options.uploadsDir.empty())
    {
        options.uploadsDir = options.stateDir + "/uploads";
    }
}

const char* ServiceUsage()
{
    return "usage: norvia_demo_services [serve] [options]\n"
           "       norvia_demo_services verify --list FILE.txt --folder DIR --product-code CODE\n"
           "serve options:\n"
           "  --dir DIR            state folder: CA, release, artwork (default .demo/services)\n"
           "  --port N             loopback port, 0 for any free one (default 0)\n"
           "  --ready-file FILE    written once listening: hosts, port and CA as KEY='value' lines\n"
           "  --request-log FILE   one line per request (default DIR/requests.log)\n"
           "  --uploads DIR        received log uploads (default DIR/uploads)\n"
           "  --release NAME       release served (default Norvia_3_2_Home)\n"
           "  --product-code CODE  product code of the description (default NRV32)\n"
           "  --files N            data files besides Setup.exe (default 4)\n"
           "  --file-size SIZE     bytes per data file, K/M suffix allowed (default 4M)\n"
           "  --setup-size SIZE    bytes of Setup.exe (default 1M)\n"
           "  --setup-program FILE serve a copy of FILE as Setup.exe (its own size)\n"
           "  --rate SIZE          storage bytes per second per transfer, 0 unlimited (default 0)\n"
           "  --unsigned           storage by query signature instead of signed paths\n"
           "  --damage NAME        serve storage file NAME with one byte changed\n"
           "  --max-seconds N      stop after N seconds (default: at SIGTERM/SIGINT only)\n";
}

} // namespace demo
