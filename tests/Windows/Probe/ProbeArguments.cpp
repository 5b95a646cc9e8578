#include "ProbeArguments.h"

#include "Core/StringUtils.h"

namespace probe
{

Arguments::Arguments(int argc, wchar_t** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::u16string wide(reinterpret_cast<const char16_t*>(argv[i]));
        const std::string argument = nd::StringUtils::ToUtf8(wide);
        if (argument.rfind("--", 0) != 0)
        {
            operation = argument;
            continue;
        }
        const size_t equals = argument.find('=');
        values.emplace(argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2),
                       equals == std::string::npos ? std::string() : argument.substr(equals + 1));
    }
}

std::string Arguments::Text(const std::string& name, const std::string& fallback) const
{
    const auto found = values.find(name);
    return found == values.end() ? fallback : found->second;
}

int64_t Arguments::Number(const std::string& name, int64_t fallback) const
{
    const auto found = values.find(name);
    return found == values.end() || found->second.empty() ? fallback : std::stoll(found->second);
}

std::vector<std::string> Arguments::All(const std::string& name) const
{
    std::vector<std::string> all;
    const auto [first, last] = values.equal_range(name);
    for (auto it = first; it != last; ++it)
        all.push_back(it->second);
    return all;
}

} // namespace probe
