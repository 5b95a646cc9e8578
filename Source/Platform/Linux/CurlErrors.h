#pragma once
// Translation of libcurl results into the WinINet-compatible numbers of HttpError.

#include <curl/curl.h>

namespace Platform
{

// verifyResult is the certificate check's X509 result, osErrno the socket error curl saw.
int HttpErrorFromCurl(CURLcode code, long verifyResult, long osErrno);

} // namespace Platform
