#include "demo_services/DemoRelease.h"

#include <zlib.h>

#include <fstream>
#include <system_error>

namespace demo
{
namespace
{

// splitmix64: cheap, well-mixed bytes; the files must not compress to nothing on the wire.
class ByteStream
{
  public:
    explicit ByteStream(uint64_t seed) : state(seed) {}
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

  private:
    uint64_t state;
};

uint64_t SeedOf(const std::string& release, uint32_t index)
{
    uint64_t seed = 1469598103934665603ull;
    for (unsigned char c : release)
    {
        seed = (seed ^ c) * 1099511628211ull;
    }
    return seed ^ (uint64_t{index} << 32);
}

bool WriteFile(const std::filesystem::path& path, const std::string& header, uint64_t size, uint64_t seed,
               uint32_t& crc)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
    {
        return false;
    }
    ByteStream stream(seed);
    std::string block;
    uLong running = crc32_z(0, nullptr, 0);
    uint64_t written = 0;
    while (written < size)
    {
        block.clear();
        if (written == 0)
        {
            block = header.substr(0, static_cast<size_t>(std::min<uint64_t>(header.size(), size)));
        }
        while (block.size() < 65536 && written + block.size() < size)
        {
            const uint64_t word = stream.Next();
            for (int b = 0; b < 8 && written + block.size() < size; ++b)
            {
                block.push_back(static_cast<char>((word >> (8 * b)) & 0xFF));
            }
        }
        running = crc32_z(running, reinterpret_cast<const Bytef*>(block.data()), block.size());
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        written += block.size();
    }
    crc = static_cast<uint32_t>(running);
    return static_cast<bool>(out.flush());
}

} // namespace

std::string DemoRelease::DataFileName(uint32_t index)
{
    const char group = static_cast<char>('1' + index / 26);
    const char letter = static_cast<char>('a' + index % 26);
    return std::string("Setup-") + group + letter + ".bin";
}

std::optional<DemoRelease> DemoRelease::Generate(const std::filesystem::path& folder,
                                                 const std::string& release, uint32_t dataFiles,
                                                 uint64_t fileSize, uint64_t setupSize, std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
    {
        error = "cannot create " + folder.string() + ": " + ec.message();
        return std::nullopt;
    }
    DemoRelease result;
    result.release = release;
    for (uint32_t i = 0; i <= dataFiles; ++i)
    {
        ReleaseFile file;
        // The setup comes first; the program starts whichever ".exe" entry is listed last.
        file.name = i == 0 ? "Setup.exe" : DataFileName(i - 1);
        file.size = i == 0 ? setupSize : fileSize;
        file.path = folder / file.name;
        const std::string header = "Norvia demo release " + release + ", file " + file.name + "\n";
        if (!WriteFile(file.path, header, file.size, SeedOf(release, i), file.crc))
        {
            error = "cannot write " + file.path.string();
            return std::nullopt;
        }
        result.files.push_back(file);
    }
    result.folder = folder;
    if (!result.WriteFileList(error))
    {
        return std::nullopt;
    }
    return result;
}

bool DemoRelease::WriteFileList(std::string& error) const
{
    std::ofstream list(folder / FileListName(), std::ios::binary | std::ios::trunc);
    list << FileListText();
    if (!list.flush())
    {
        error = "cannot write the file list in " + folder.string();
        return false;
    }
    return true;
}

bool DemoRelease::UseSetupProgram(const std::filesystem::path& program, std::string& error)
{
    ReleaseFile* setup = files.empty() ? nullptr : &files.front();
    std::error_code ec;
    if (setup == nullptr || !std::filesystem::copy_file(
                                program, setup->path, std::filesystem::copy_options::overwrite_existing, ec))
    {
        error = "cannot copy the setup program " + program.string() + (ec ? ": " + ec.message() : "");
        return false;
    }
    const std::optional<uint32_t> crc = FileCrc32(setup->path);
    const uint64_t size = std::filesystem::file_size(setup->path, ec);
    if (!crc || ec)
    {
        error = "cannot read " + setup->path.string();
        return false;
    }
    setup->crc = *crc;
    setup->size = size;
    return WriteFileList(error);
}

const ReleaseFile* DemoRelease::Find(const std::string& name) const
{
    for (const ReleaseFile& file : files)
    {
        if (file.name == name)
        {
            return &file;
        }
    }
    return nullptr;
}

std::string DemoRelease::FileListText() const
{
    std::string text = "Norvia demo release " + release + "\r\n";
    for (const ReleaseFile& file : files)
    {
        text += ";" + file.name + "\r\n" + std::to_string(file.size) + "\r\n" +
                std::to_string(static_cast<int32_t>(file.crc)) + "\r\n";
    }
    return text;
}

std::string LocalFileName(const std::string& name, const std::string& productCode)
{
    const size_t ending = name.find(".exe") != std::string::npos ? 4 : 7;
    if (name.size() < ending)
    {
        return name;
    }
    std::string local = name;
    local.insert(name.size() - ending, "_" + productCode);
    return local;
}

std::vector<ListedFile> ParseFileList(const std::string& text)
{
    std::vector<ListedFile> files;
    size_t start = text.find(';');
    while (start != std::string::npos)
    {
        const size_t next = text.find(';', start + 1);
        const std::string piece =
            text.substr(start + 1, next == std::string::npos ? std::string::npos : next - start - 1);
        std::vector<std::string> fields;
        size_t from = 0;
        while (from <= piece.size())
        {
            const size_t end = piece.find("\r\n", from);
            fields.push_back(piece.substr(from, end == std::string::npos ? std::string::npos : end - from));
            if (end == std::string::npos)
            {
                break;
            }
            from = end + 2;
        }
        if (fields.size() >= 3 && !fields[0].empty())
        {
            try
            {
                ListedFile file;
                file.name = fields[0];
                file.size = std::stoull(fields[1]);
                file.crc = static_cast<uint32_t>(std::stoll(fields[2]));
                files.push_back(file);
            }
            catch (const std::exception&)
            {
                // Not a number: not an entry this tool can check.
            }
        }
        start = next;
    }
    return files;
}

std::optional<uint32_t> FileCrc32(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        return std::nullopt;
    }
    std::string block(1 << 20, '\0');
    uLong crc = crc32_z(0, nullptr, 0);
    while (in)
    {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(block.data()), static_cast<size_t>(in.gcount()));
    }
    if (in.bad())
    {
        return std::nullopt;
    }
    return static_cast<uint32_t>(crc);
}

} // namespace demo
