#include "demo_services/LogUploads.h"

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <algorithm>
#include <fstream>

namespace demo
{
namespace
{

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80)
    {
        out += static_cast<char>(cp);
    }
    else if (cp < 0x800)
    {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else if (cp < 0x10000)
    {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

} // namespace

std::optional<std::string> Gunzip(const std::string& data, size_t maxBytes)
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
    {
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    std::string out;
    char buffer[65536];
    int result = Z_OK;
    while (result == Z_OK)
    {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
        if (out.size() > maxBytes || (result == Z_BUF_ERROR && stream.avail_in == 0))
        {
            break;
        }
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END || out.size() > maxBytes)
    {
        return std::nullopt;
    }
    return out;
}

std::string Utf16LeToUtf8(const std::string& bytes)
{
    std::string out;
    const size_t units = bytes.size() / 2;
    auto unitAt = [&bytes](size_t i)
    {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8;
    };
    for (size_t i = 0; i < units; ++i)
    {
        const uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units && unitAt(i + 1) >= 0xDC00 &&
            unitAt(i + 1) < 0xE000)
        {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
            ++i;
        }
        else if (unit >= 0xD800 && unit < 0xE000)
        {
            AppendUtf8(out, 0xFFFD);
        }
        else
        {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

LogUploads::LogUploads(std::filesystem::path folder) : folder(std::move(folder)) {}

std::optional<StoredUpload> LogUploads::Store(const std::string& body, const std::string& computerId)
{
    std::lock_guard<std::mutex> guard(lock);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    // Never replace an upload kept from an earlier start that used the same folder.
    std::string stem;
    do
    {
        stem = "log-" + std::to_string(++count);
    } while (std::filesystem::exists(folder / (stem + ".gz"), ec));
    StoredUpload stored;
    stored.gzipFile = folder / (stem + ".gz");
    stored.bytes = body.size();
    if (!WriteFile(stored.gzipFile, body))
    {
        return std::nullopt;
    }
    const auto text = Gunzip(body, 64u << 20);
    if (!text)
    {
        return stored;
    }
    const auto records = nlohmann::json::parse(Utf16LeToUtf8(*text), nullptr, false);
    if (records.is_discarded() || !records.is_array())
    {
        return stored;
    }
    nlohmann::json document = {{"computer_id", computerId}, {"records", records}};
    stored.jsonFile = folder / (stem + ".json");
    stored.records = static_cast<int>(records.size());
    for (const auto& record : records)
    {
        const auto number = record.find("error_number");
        if (number != record.end() && number->is_number() && number->get<double>() != 0)
        {
            ++stored.errorRecords;
            const auto message = record.find("message");
            stored.lastError =
                message != record.end() && message->is_string() ? message->get<std::string>() : "";
            // Shown on one line: the program's messages often end in CR LF.
            std::replace_if(
                stored.lastError.begin(), stored.lastError.end(),
                [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
        }
    }
    // dump with replacement: the records may hold text that is not valid UTF-8.
    if (!WriteFile(stored.jsonFile,
                   document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n"))
    {
        stored.jsonFile.clear();
    }
    return stored;
}

} // namespace demo
