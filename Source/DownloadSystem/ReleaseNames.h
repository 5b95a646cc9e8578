#pragma once
// The names a run derives from the program's own file: for /dl/Norvia_3_2_Home_Download (or
// Norvia_3_2_Home_Download.exe) the release is Norvia_3_2_Home, its version folder 3 and its
// file list Norvia_3_2_Home.txt.

#include <string>

namespace DownloadSystem
{

class ReleaseNames
{
public:
    explicit ReleaseNames(std::u16string programPath);

    const std::u16string& ProgramPath() const { return programPath; }
    // Up to, not including, the last "/" ("." for a bare file name, "/" for one in the root).
    std::u16string ProgramFolder() const;
    // The file name without ".exe" (only when it ends so), cut before its last "_". Empty when
    // the name holds no "_" there: such a program has no release name.
    std::u16string ReleaseName() const;
    // The second "_" piece of the release name (empty pieces dropped) when there are at least
    // three pieces, else empty.
    std::u16string ReleaseVersionFolder() const;
    std::u16string FileListName() const;
    // The per-user data folder + "/" + the release name.
    std::u16string DataFolder() const;

private:
    std::u16string programPath;
};

} // namespace DownloadSystem
