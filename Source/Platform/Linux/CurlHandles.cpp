#include "Platform/Linux/CurlHandles.h"

#include <utility>

#include <curl/curl.h>

namespace Platform
{

bool EnsureCurlInitialised()
{
    // A function-local static is initialised exactly once even when threads race here.
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return initialised;
}

CurlEasy CurlEasy::Create()
{
    CurlEasy easy;
    if (EnsureCurlInitialised())
        easy.handle = curl_easy_init();
    return easy;
}

CurlEasy::~CurlEasy()
{
    reset();
}

CurlEasy::CurlEasy(CurlEasy&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}

CurlEasy& CurlEasy::operator=(CurlEasy&& other) noexcept
{
    if (this != &other)
    {
        reset();
        handle = std::exchange(other.handle, nullptr);
    }
    return *this;
}

void CurlEasy::reset()
{
    if (handle)
        curl_easy_cleanup(std::exchange(handle, nullptr));
}

CurlMulti CurlMulti::Create()
{
    CurlMulti multi;
    if (EnsureCurlInitialised())
        multi.handle = curl_multi_init();
    return multi;
}

CurlMulti::~CurlMulti()
{
    reset();
}

CurlMulti::CurlMulti(CurlMulti&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}

CurlMulti& CurlMulti::operator=(CurlMulti&& other) noexcept
{
    if (this != &other)
    {
        reset();
        handle = std::exchange(other.handle, nullptr);
    }
    return *this;
}

void CurlMulti::reset()
{
    if (handle)
        curl_multi_cleanup(std::exchange(handle, nullptr));
}

CurlHeaderList::~CurlHeaderList()
{
    reset();
}

CurlHeaderList::CurlHeaderList(CurlHeaderList&& other) noexcept : list(std::exchange(other.list, nullptr)) {}

CurlHeaderList& CurlHeaderList::operator=(CurlHeaderList&& other) noexcept
{
    if (this != &other)
    {
        reset();
        list = std::exchange(other.list, nullptr);
    }
    return *this;
}

bool CurlHeaderList::Append(const std::string& line)
{
    curl_slist* extended = curl_slist_append(list, line.c_str());
    if (!extended)
        return false;
    list = extended;
    return true;
}

void CurlHeaderList::reset()
{
    if (list)
        curl_slist_free_all(std::exchange(list, nullptr));
}

} // namespace Platform
