// ParseUri on any code units: every part is a piece of the URL, in order, and none reaches
// outside it.

#include "Core/StringUtils.h"
#include "FuzzInput.h"

using fuzzinput::Require;

namespace
{

void Check(const std::u16string& url)
{
    const nd::UriParts parts = nd::StringUtils::ParseUri(url);
    Require(parts.protocol.size() + parts.host.size() + parts.port.size() + parts.path.size() +
                parts.query.size() <=
            url.size());
    for (const std::u16string* part : {&parts.protocol, &parts.host, &parts.port, &parts.path, &parts.query})
        Require(part->empty() || url.find(*part) != std::u16string::npos);
    Require(parts.query.empty() ||
            (parts.query.front() == u'?' && url.size() >= parts.query.size() &&
             url.compare(url.size() - parts.query.size(), parts.query.size(), parts.query) == 0));
    Require(parts.path.empty() || parts.path.front() == u'/');
    Require(parts.path.find(u'?') == std::u16string::npos);
    Require(parts.host.find_first_of(u"/?") == std::u16string::npos);
    Require(parts.port.find_first_of(u"/?") == std::u16string::npos);
    Require(parts.protocol.empty() || url.compare(parts.protocol.size(), 3, u"://") == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Check(fuzzinput::Widened(data, size));
    Check(fuzzinput::Units(data, size));
    return 0;
}
