#include "DownloadSystem/LocalFiles.h"

#include "Core/ScopedHandle.h"
#include "DownloadSystem/CRC.h"
#include "Platform/FileIo.h"

#include <memory>

namespace DownloadSystem::LocalFiles
{

std::u16string InsertSuffix(const std::u16string& name, const std::u16string& suffix)
{
    const size_t extensionLength = name.find(u".exe") != std::u16string::npos ? 4 : 7;
    const size_t position = name.size() > extensionLength ? name.size() - extensionLength : 0;
    std::u16string result = name;
    result.insert(position, suffix);
    return result;
}

CrcStatus ComputeFileCrc(const std::string& path, uint32_t& crc, uint64_t& length, int& errorNumber,
                         const std::atomic<bool>* keepRunning)
{
    crc = 0;
    length = 0;
    errorNumber = 0;
    nd::ScopedHandle file(Platform::OpenFileForReading(path));
    if (!file.IsValid())
    {
        errorNumber = Platform::LastErrorNumber();
        return CrcStatus::NotOpened;
    }

    CRC calculator;
    calculator.Init();
    // Not cleared first: every byte used was read into it.
    const auto piece = std::make_unique_for_overwrite<uint8_t[]>(kCrcPieceSize);
    for (;;)
    {
        size_t read = 0;
        if (!Platform::ReadFile(file.Get(), piece.get(), kCrcPieceSize, read))
        {
            errorNumber = Platform::LastErrorNumber();
            return CrcStatus::ReadFailed;
        }
        if (read == 0)
            return CrcStatus::Computed;
        if (length > 0 && keepRunning && !keepRunning->load())
            return CrcStatus::Stopped;
        crc = calculator.Extend(crc, piece.get(), read);
        length += read;
    }
}

} // namespace DownloadSystem::LocalFiles
