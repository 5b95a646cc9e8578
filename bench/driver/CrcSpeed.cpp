#include "CrcSpeed.h"

#include "DownloadSystem/CRC.h"
#include "DownloadSystem/CrcClmul.h"
#include "DownloadSystem/CrcSlicing.h"
#include "DownloadSystem/LocalFiles.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace bench
{

namespace
{

// The time the measuring thread itself ran. Under other load, a piece of 20 µs on the wall clock
// may hold a whole time slice of another process; the kernels' own time is what is compared.
double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
namespace CrcClmul = DownloadSystem::CrcClmul;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The engine checks files in pieces of this size, each just read into its buffer and so in the
// cache when the CRC runs over it.
constexpr size_t kPieceSize = DownloadSystem::LocalFiles::kCrcPieceSize;

// Seconds (of the thread's own time) that crc(previous, piece, length) takes over the whole
// buffer, piece by piece, each piece copied into the piece buffer first (untimed) as the file
// read would.
template <class Crc>
double SecondsInPieces(const std::vector<uint8_t>& buffer, std::vector<uint8_t>& piece, Crc crc,
                       volatile uint32_t& sink)
{
    double seconds = 0;
    uint32_t value = 0;
    for (size_t offset = 0; offset < buffer.size(); offset += kPieceSize)
    {
        const size_t length = std::min(kPieceSize, buffer.size() - offset);
        std::copy_n(buffer.data() + offset, length, piece.data());
        const double start = ThreadSeconds();
        value = crc(value, piece.data(), length);
        seconds += ThreadSeconds() - start;
    }
    sink = sink ^ value;
    return seconds;
}

uint32_t Zlib(const uint8_t* data, size_t length)
{
    return static_cast<uint32_t>(crc32_z(0, data, length));
}

// The portable method on its own, whatever CRC::Compute picks on this processor.
uint32_t TableMethod(const DownloadSystem::CRC& crc, const uint8_t* data, size_t length)
{
    DownloadSystem::CrcSlicing::Tables tables{};
    tables[0] = crc.Table();
    DownloadSystem::CrcSlicing::FillSlices(tables);
    return ~DownloadSystem::CrcSlicing::Update(tables, 0xFFFFFFFFu, data, length);
}

bool ResultsAgree(DownloadSystem::CRC& crc, const std::vector<uint8_t>& buffer)
{
    const uint32_t zlib = Zlib(buffer.data(), buffer.size());
    const uint32_t ours = crc.Compute(buffer.data(), static_cast<int32_t>(buffer.size()));
    const uint32_t table = TableMethod(crc, buffer.data(), buffer.size());
    std::printf("crc_check_value %08x zlib %08x table %08x\n", ours, zlib, table);
    if (ours != zlib || table != zlib)
        return false;
    for (unsigned width : {CrcClmul::kNarrow, CrcClmul::kWide})
    {
        if (CrcClmul::SupportedWidth() >= width &&
            ~CrcClmul::Update(0xFFFFFFFFu, buffer.data(), buffer.size(), width) != zlib)
        {
            std::printf("crc_mismatch carry-less kernel of %u bits\n", width);
            return false;
        }
    }
    std::mt19937_64 generator(2);
    for (int i = 0; i < 2000; ++i)
    {
        const size_t offset = generator() % 4096;
        const size_t length = generator() % 70000;
        const uint8_t* data = buffer.data() + offset;
        const uint32_t expected = Zlib(data, length);
        if (crc.Compute(data, static_cast<int32_t>(length)) != expected ||
            TableMethod(crc, data, length) != expected)
        {
            std::printf("crc_mismatch offset %zu length %zu\n", offset, length);
            return false;
        }
    }
    return true;
}

} // namespace

int MeasureCrcSpeed(size_t size, int rounds)
{
    std::vector<uint8_t> buffer(size);
    std::mt19937_64 generator(1);
    for (size_t i = 0; i + 8 <= size; i += 8)
    {
        const uint64_t word = generator();
        std::copy_n(reinterpret_cast<const uint8_t*>(&word), 8, buffer.data() + i);
    }

    DownloadSystem::CRC crc;
    crc.Init();
    std::printf("crc_zlib_version %s\n", zlibVersion());
    const unsigned width = CrcClmul::SupportedWidth();
    std::printf("crc_method %s\n", width >= CrcClmul::kWide     ? "carry-less multiplication, 512-bit"
                                   : width >= CrcClmul::kNarrow ? "carry-less multiplication, 128-bit"
                                                                : "table");
    if (!ResultsAgree(crc, buffer))
    {
        std::fprintf(stderr, "norvia_bench_driver: CRC::Compute, the table method and zlib disagree\n");
        return 1;
    }

    // Rounds alternate between the contenders so that drift in the machine favours none.
    using Contender = std::function<uint32_t(uint32_t, const uint8_t*, size_t)>;
    const std::vector<std::pair<std::string, Contender>> contenders = {
        {"zlib", [](uint32_t previous, const uint8_t* data, size_t length)
         { return static_cast<uint32_t>(crc32_z(previous, data, length)); }},
        {"compute", [&crc](uint32_t previous, const uint8_t* data, size_t length)
         { return crc.Extend(previous, data, length); }},
        {"clmul128", [](uint32_t previous, const uint8_t* data, size_t length)
         { return ~CrcClmul::Update(~previous, data, length, CrcClmul::kNarrow); }},
    };
    const size_t measured = width >= CrcClmul::kNarrow ? contenders.size() : 2;
    std::vector<std::vector<double>> seconds(measured);
    std::vector<uint8_t> piece(kPieceSize);
    volatile uint32_t sink = 0;
    for (int round = 0; round < rounds; ++round)
    {
        for (size_t turn = 0; turn < measured; ++turn)
        {
            const size_t who = (turn + static_cast<size_t>(round)) % measured;
            seconds[who].push_back(SecondsInPieces(buffer, piece, contenders[who].second, sink));
        }
    }
    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);
    const double zlibSeconds = Median(seconds[0]);
    const double oursSeconds = Median(seconds[1]);
    // The lowest and highest of the rounds' own ratios.
    auto spread = [&](size_t who)
    {
        double lowest = 1e300, highest = 0;
        for (size_t round = 0; round < seconds[0].size(); ++round)
        {
            const double ratio = seconds[0][round] / seconds[who][round];
            lowest = std::min(lowest, ratio);
            highest = std::max(highest, ratio);
        }
        return std::make_pair(lowest, highest);
    };
    const auto [lowest, highest] = spread(1);
    std::printf(
        "crc_compute_mib_s %.0f\ncrc_zlib_mib_s %.0f\ncrc_vs_zlib %.2f\ncrc_vs_zlib_rounds %.2f %.2f\n",
        mib / oursSeconds, mib / zlibSeconds, zlibSeconds / oursSeconds, lowest, highest);
    if (measured > 2)
    {
        const auto [lowest128, highest128] = spread(2);
        std::printf(
            "crc_clmul128_mib_s %.0f\ncrc_clmul128_vs_zlib %.2f\ncrc_clmul128_vs_zlib_rounds %.2f %.2f\n",
            mib / Median(seconds[2]), zlibSeconds / Median(seconds[2]), lowest128, highest128);
    }
    return 0;
}

} // namespace bench
