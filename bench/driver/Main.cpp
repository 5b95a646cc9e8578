// norvia_bench_driver: the pieces bench/run.sh times.
//   describe PROGRAM_PATH      where the storage serves the release (shell lines)
//   run PROGRAM_PATH           one whole engine run, headless
//   crc-speed SIZE ROUNDS      CRC::Compute against zlib's crc32 on one buffer
//   zlib-files PIECE FILE...   one pass of zlib's crc32 over files read in pieces
//   thread-start COUNT         how long new threads wait before they run

#include "CrcSpeed.h"
#include "EngineRun.h"
#include "ThreadStart.h"
#include "ZlibFiles.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

int Usage()
{
    std::fputs("usage: norvia_bench_driver describe PROGRAM_PATH | run PROGRAM_PATH |\n"
               "       crc-speed BYTES ROUNDS | zlib-files PIECE_BYTES FILE... | thread-start COUNT\n",
               stderr);
    return 2;
}

bool ParseCount(const std::string& text, unsigned long long& value)
{
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 10);
    return !text.empty() && end && *end == '\0' && value > 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "describe")
        return bench::DescribeStorage(args[1]);
    if (args.size() == 2 && args[0] == "run")
        return bench::RunEngine(args[1]);
    unsigned long long size = 0, count = 0;
    if (args.size() == 3 && args[0] == "crc-speed" && ParseCount(args[1], size) &&
        ParseCount(args[2], count) && size < (1ull << 31))
        return bench::MeasureCrcSpeed(static_cast<size_t>(size), static_cast<int>(count));
    if (args.size() == 2 && args[0] == "thread-start" && ParseCount(args[1], count) && count < 100000)
        return bench::MeasureThreadStart(static_cast<int>(count));
    if (args.size() >= 3 && args[0] == "zlib-files" && ParseCount(args[1], size))
        return bench::ZlibCrcOfFiles({args.begin() + 2, args.end()}, static_cast<size_t>(size));
    return Usage();
}
