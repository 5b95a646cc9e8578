#pragma once
// Move-only owners of the libcurl handles used by HttpRequest. Each releases its handle with
// the matching curl cleanup call; a moved-from owner holds nothing. An easy handle must be
// removed from its multi handle before either owner lets go (HttpRequest takes care of it).

#include <string>

typedef void CURL;
typedef void CURLM;
struct curl_slist;

namespace Platform
{

// Initialises libcurl once per process, whichever thread asks first; false when that failed.
bool EnsureCurlInitialised();

class CurlEasy
{
public:
    // Creates a handle; get() is null when libcurl could not make one.
    static CurlEasy Create();
    CurlEasy() = default;
    ~CurlEasy();
    CurlEasy(CurlEasy&& other) noexcept;
    CurlEasy& operator=(CurlEasy&& other) noexcept;
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    CURL* get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void reset();

private:
    CURL* handle = nullptr;
};

class CurlMulti
{
public:
    static CurlMulti Create();
    CurlMulti() = default;
    ~CurlMulti();
    CurlMulti(CurlMulti&& other) noexcept;
    CurlMulti& operator=(CurlMulti&& other) noexcept;
    CurlMulti(const CurlMulti&) = delete;
    CurlMulti& operator=(const CurlMulti&) = delete;

    CURLM* get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void reset();

private:
    CURLM* handle = nullptr;
};

// A list of header lines; it must outlive every transfer that was given it.
class CurlHeaderList
{
public:
    CurlHeaderList() = default;
    ~CurlHeaderList();
    CurlHeaderList(CurlHeaderList&& other) noexcept;
    CurlHeaderList& operator=(CurlHeaderList&& other) noexcept;
    CurlHeaderList(const CurlHeaderList&) = delete;
    CurlHeaderList& operator=(const CurlHeaderList&) = delete;

    // Appends a copy of the line; false (list unchanged) when memory ran out.
    bool Append(const std::string& line);
    curl_slist* get() const { return list; }
    void reset();

private:
    curl_slist* list = nullptr;
};

} // namespace Platform
