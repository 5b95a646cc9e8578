#pragma once
// The figures of the progress screen, sampled at most once a second so the numbers stay
// readable. They are zero or empty until the first sample, which comes one second after the
// screen first asks: the first call only starts the clock.

#include <cstdint>
#include <string>

namespace nd
{

class FigureTable
{
public:
    // True when a new sample is due at this frame-clock time; the caller then fills the fields.
    // Marks the sample as taken.
    bool SampleDue(double elapsedSeconds);

    std::string installerText;
    uint64_t totalBytes = 0;
    uint64_t downloadedBytes = 0;
    uint32_t bytesPerSecond = 0;
    uint32_t hours = 0;
    uint32_t minutes = 0;
    uint32_t seconds = 0;

    // The value column, one entry per label line.
    std::string SizeText() const;
    std::string DownloadedText() const;
    std::string SpeedText() const;
    std::string RemainingText() const;

private:
    bool started = false;
    double lastSample = 0.0;
};

} // namespace nd
