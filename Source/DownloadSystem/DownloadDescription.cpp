#include "DownloadSystem/DownloadDescription.h"

#include "Core/StringUtils.h"

#include <nlohmann/json.hpp>

namespace DownloadSystem
{

using nd::StringUtils;

namespace
{

std::u16string StringMember(const nlohmann::json& answer, const char* key)
{
    const auto member = answer.find(key);
    if (member == answer.end() || !member->is_string())
        return {};
    return StringUtils::ToWide(member->get_ref<const std::string&>());
}

} // namespace

DownloadDescription DownloadDescription::FromAnswer(const std::string& body)
{
    DownloadDescription description;
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded() || !answer.is_object())
        return description;
    description.productCode = StringMember(answer, "product_code");
    description.companyName = StringMember(answer, "company_name");
    description.storageSubfolder = StringMember(answer, "download_subdir");
    description.storageHost = StringMember(answer, "host_name");
    description.storageSignature = StringMember(answer, "SAS");
    return description;
}

bool DownloadDescription::NeedsSigning() const
{
    return !storageSignature.empty() &&
           storageHost.find(u"product-download-storage-v2") != std::u16string::npos;
}

std::string StorageSigningToken(const std::string& expiryText, const std::string& subfolder,
                                const std::string& signature)
{
    const std::string message = expiryText + "/" + subfolder + signature;
    const nd::ByteBuffer digest =
        StringUtils::HashBytes(reinterpret_cast<const uint8_t*>(message.data()), message.size(), 1);
    std::string token = StringUtils::Base64Encode(digest.Data(), static_cast<int>(digest.Size()));
    // The token travels inside a path: the two Base64 characters that are not path-safe change.
    for (char& c : token)
    {
        if (c == '/')
            c = '_';
        else if (c == '+')
            c = '-';
    }
    return token;
}

void DownloadDescription::SignStoragePath(uint32_t expirySeconds)
{
    const std::string expiry = std::to_string(expirySeconds);
    const std::string token = StorageSigningToken(expiry, StringUtils::ToNarrow(storageSubfolder),
                                                  StringUtils::ToNarrow(storageSignature));
    std::u16string lowered = storageSubfolder;
    StringUtils::ToLower(lowered);
    storageSubfolder = StringUtils::ToWide(token + "," + expiry + "/") + lowered;
    storageSignature.clear();
}

std::map<std::u16string, std::u16string> DescriptionRequestHeaders(const std::u16string& computerId)
{
    return {
        {u"ComputerId", computerId},
        {u"Content-Type", u"application/x-www-form-urlencoded"},
        {u"Method", u"RequestDownload"},
        {u"User-Agent", kUserAgent},
    };
}

std::map<std::u16string, std::u16string> DescriptionRequestFields(const std::u16string& releaseName)
{
    // Only the release name needs encoding; the version goes out as "9.5".
    return {
        {u"DownloadManagerVersion", kManagerVersion},
        {u"ReleaseName", StringUtils::UrlEncode(releaseName)},
    };
}

} // namespace DownloadSystem
