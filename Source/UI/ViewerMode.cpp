#include "UI/ViewerMode.h"

#include "Core/ProgramFile.h"
#include "Core/StringUtils.h"

namespace nd
{

bool IsViewerProgram(std::u16string_view programPath)
{
    const std::u16string stem = StringUtils::ToLowerCopy(FileStem(programPath));
    return stem.find(u"viewer") != std::u16string::npos;
}

} // namespace nd
