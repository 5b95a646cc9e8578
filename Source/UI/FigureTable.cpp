#include "UI/FigureTable.h"

#include "Core/Formatting.h"

namespace nd
{

bool FigureTable::SampleDue(double elapsedSeconds)
{
    if (!started)
    {
        started = true;
        lastSample = elapsedSeconds;
    }
    if (elapsedSeconds - lastSample <= 1.0)
        return false;
    lastSample = elapsedSeconds;
    return true;
}

std::string FigureTable::SizeText() const
{
    return FormatByteSize(totalBytes);
}

std::string FigureTable::DownloadedText() const
{
    return FormatByteSize(downloadedBytes);
}

std::string FigureTable::SpeedText() const
{
    return FormatByteSize(bytesPerSecond) + "/s";
}

std::string FigureTable::RemainingText() const
{
    return std::to_string(hours) + "h : " + std::to_string(minutes) + "m : " + std::to_string(seconds) + "s";
}

} // namespace nd
