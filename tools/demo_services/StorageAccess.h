#pragma once
// How the download storage grants access. Two modes, chosen by the storage host name:
// - signed paths (host name contains "product-download-storage-v2"): the client turns the
//   release folder into token "," expiry "/" lower-cased folder, where token is the URL-safe
//   Base64 of MD5(expiry "/" folder signature), and sends no query;
// - query signature (any other storage host): the signature text is appended to every path.

#include <cstdint>
#include <string>
#include <vector>

namespace demo
{

// Longest expiry accepted, counted from now. The program asks for three days.
constexpr int64_t kMaxExpirySeconds = 30 * 24 * 3600;

// Base64 of MD5(expiry + "/" + folder + signature) with "/" -> "_" and "+" -> "-", padding kept.
std::string SignedPathToken(const std::string& expiry, const std::string& folder,
                            const std::string& signature);

struct AccessCheck
{
    bool granted = false;
    std::string fileName;              // the file asked for, when the target had the right shape
    std::vector<std::string> refusals; // every reason the request was refused, checked independently
};

// target: the request path as received (leading "/", no query). Token, expiry and folder are
// each checked on their own, so a request can be refused for several reasons at once.
AccessCheck CheckSignedPath(const std::string& target, const std::string& folder,
                            const std::string& signature, int64_t now);

// path: request path; query: the raw text after "?" (empty when none). The path must be "/"
// folder "/" file exactly; the query must carry the expected sig value.
AccessCheck CheckQuerySignature(const std::string& path, const std::string& query, const std::string& folder,
                                const std::string& signature);

// The signature text handed out in the description: "?sv=...&sr=c&sp=r&sig=" + secret.
std::string MakeSignature(const std::string& secret);

} // namespace demo
