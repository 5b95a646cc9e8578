#pragma once
// The probe's command line: an operation and --name=value options (a name may repeat).

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace probe
{

class Arguments
{
public:
    Arguments(int argc, wchar_t** argv);

    const std::string& Operation() const { return operation; }
    bool Has(const std::string& name) const { return values.count(name) > 0; }
    std::string Text(const std::string& name, const std::string& fallback = {}) const;
    int64_t Number(const std::string& name, int64_t fallback = 0) const;
    std::vector<std::string> All(const std::string& name) const;

private:
    std::string operation;
    std::multimap<std::string, std::string> values;
};

} // namespace probe
