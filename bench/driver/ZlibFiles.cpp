#include "ZlibFiles.h"

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace bench
{

int ZlibCrcOfFiles(const std::vector<std::string>& paths, size_t pieceSize)
{
    const auto piece = std::make_unique<uint8_t[]>(pieceSize);
    uint64_t total = 0;
    for (const std::string& path : paths)
    {
        const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (file < 0)
        {
            std::fprintf(stderr, "norvia_bench_driver: cannot open %s: %s\n", path.c_str(),
                         std::strerror(errno));
            return 1;
        }
        uLong crc = crc32_z(0, nullptr, 0);
        for (;;)
        {
            const ssize_t read = ::read(file, piece.get(), pieceSize);
            if (read < 0 && errno == EINTR)
                continue;
            if (read < 0)
            {
                std::fprintf(stderr, "norvia_bench_driver: cannot read %s: %s\n", path.c_str(),
                             std::strerror(errno));
                close(file);
                return 1;
            }
            if (read == 0)
                break;
            crc = crc32_z(crc, piece.get(), static_cast<size_t>(read));
            total += static_cast<uint64_t>(read);
        }
        close(file);
        std::printf("zlib_crc %s %08lx\n", path.c_str(), crc);
    }
    std::printf("zlib_bytes %llu\n", static_cast<unsigned long long>(total));
    return 0;
}

} // namespace bench
