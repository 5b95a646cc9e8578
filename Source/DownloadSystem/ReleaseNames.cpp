#include "DownloadSystem/ReleaseNames.h"

#include "Core/StringUtils.h"
#include "Platform/UserFolders.h"

#include <vector>

namespace DownloadSystem
{

using nd::StringUtils;

ReleaseNames::ReleaseNames(std::u16string programPath) : programPath(std::move(programPath)) {}

std::u16string ReleaseNames::ProgramFolder() const
{
    // A bare file name lies in the current folder; an empty folder would put files at the root.
    const size_t slash = programPath.rfind(u'/');
    if (slash == std::u16string::npos)
        return u".";
    return slash == 0 ? std::u16string(u"/") : programPath.substr(0, slash);
}

std::u16string ReleaseNames::ReleaseName() const
{
    const size_t slash = programPath.rfind(u'/');
    std::u16string name = slash == std::u16string::npos ? programPath : programPath.substr(slash + 1);
    static constexpr std::u16string_view kExtension = u".exe";
    if (name.size() >= kExtension.size() &&
        name.compare(name.size() - kExtension.size(), kExtension.size(), kExtension) == 0)
        name.resize(name.size() - kExtension.size());
    const size_t cut = name.rfind(u'_');
    if (cut == std::u16string::npos)
        return {};
    return name.substr(0, cut);
}

std::u16string ReleaseNames::ReleaseVersionFolder() const
{
    std::vector<std::string> pieces;
    for (auto& piece : StringUtils::SplitString(StringUtils::ToUtf8(ReleaseName()), "_"))
    {
        if (!piece.empty())
            pieces.push_back(std::move(piece));
    }
    if (pieces.size() < 3)
        return {};
    return StringUtils::FromUtf8(pieces[1]);
}

std::u16string ReleaseNames::FileListName() const
{
    return ReleaseName() + u".txt";
}

std::u16string ReleaseNames::DataFolder() const
{
    return StringUtils::ToWide(Platform::UserDataFolder()) + u"/" + ReleaseName();
}

} // namespace DownloadSystem
