#include "Platform/Linux/CurlErrors.h"

#include <cerrno>

#include <openssl/x509_vfy.h>

#include "Platform/HttpRequest.h"

namespace Platform
{
namespace
{

int CertificateError(long verifyResult)
{
    switch (verifyResult)
    {
    // A broken chain stops the handshake with its own result. Otherwise curl checks the host
    // name itself, and on a mismatch the result keeps curl's preset of 1 (or 0).
    case X509_V_OK:
    case X509_V_ERR_UNSPECIFIED:
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return HttpError::kCertNameInvalid;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return HttpError::kCertDateInvalid;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return HttpError::kInvalidCa;
    default:
        return HttpError::kInvalidCertificate;
    }
}

} // namespace

int HttpErrorFromCurl(CURLcode code, long verifyResult, long osErrno)
{
    switch (code)
    {
    case CURLE_OK:
        return 0;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return HttpError::kInvalidUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return HttpError::kNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return HttpError::kCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpError::kTimeout;
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
        return HttpError::kConnectionAborted;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return osErrno == ECONNRESET || osErrno == EPIPE ? HttpError::kConnectionReset
                                                         : HttpError::kConnectionAborted;
    case CURLE_PEER_FAILED_VERIFICATION:
        return CertificateError(verifyResult);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
        return HttpError::kSecurityChannelError;
    case CURLE_BAD_CONTENT_ENCODING:
        return HttpError::kDecodingFailed;
    case CURLE_TOO_MANY_REDIRECTS:
        return HttpError::kRedirectFailed;
    case CURLE_ABORTED_BY_CALLBACK:
        return HttpError::kOperationCancelled;
    default:
        return HttpError::kInternalError;
    }
}

} // namespace Platform
