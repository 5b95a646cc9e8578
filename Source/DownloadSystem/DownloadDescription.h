#pragma once
// The download description: the download service's answer that tells which product this
// program downloads and where the release's files lie, and the signing of the storage path.

#include <cstdint>
#include <map>
#include <string>

namespace DownloadSystem
{

struct DownloadDescription
{
    std::u16string productCode;      // product_code
    std::u16string companyName;      // company_name
    std::u16string storageSubfolder; // download_subdir
    std::u16string storageHost;      // host_name, may carry ":port"
    std::u16string storageSignature; // SAS, appended unchanged to every storage path

    // Reads the members of the JSON answer; a missing member, one of another type or an answer
    // that does not parse gives empty strings.
    static DownloadDescription FromAnswer(const std::string& body);

    // Storage hosts of this kind take a signed path instead of the signature query.
    bool NeedsSigning() const;
    // Replaces the subfolder by token + "," + expiry + "/" + the lower-cased subfolder and empties
    // the signature. The token is the Base64 form ("/" -> "_", "+" -> "-", padding kept) of the
    // MD5 of expiry + "/" + subfolder + signature, with the subfolder as received.
    void SignStoragePath(uint32_t expirySeconds);

    // "_" + the product code: inserted into local file names.
    std::u16string FileNameSuffix() const { return u"_" + productCode; }
};

// The signing token of SignStoragePath, exposed for checking it independently.
std::string StorageSigningToken(const std::string& expiryText, const std::string& subfolder,
                                const std::string& signature);

// How long a signed path stays valid.
inline constexpr uint32_t kSignatureLifetimeSeconds = 259200;

// The request that asks for the description, as ordered maps (sent in key order).
std::map<std::u16string, std::u16string> DescriptionRequestHeaders(const std::u16string& computerId);
std::map<std::u16string, std::u16string> DescriptionRequestFields(const std::u16string& releaseName);

inline constexpr const char16_t* kUserAgent = u"Norvia Download Manager / 9.5";
inline constexpr const char16_t* kManagerVersion = u"9.5";

} // namespace DownloadSystem
