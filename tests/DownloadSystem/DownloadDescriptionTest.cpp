#include "DownloadSystem/DownloadDescription.h"

#include "Core/StringUtils.h"
#include "DownloadSystem/ReferenceToken.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/md5.h>

namespace DownloadSystem
{
namespace
{

using enginetest::ReferenceToken;

TEST(DownloadDescriptionAnswer, ReadsTheStringMembers)
{
    const auto description = DownloadDescription::FromAnswer(
        R"({"product_code":"ABC","company_name":"Halden","download_subdir":"Rel/A","host_name":"h:8443","SAS":"?s=1","x":1})");
    EXPECT_EQ(description.productCode, u"ABC");
    EXPECT_EQ(description.companyName, u"Halden");
    EXPECT_EQ(description.storageSubfolder, u"Rel/A");
    EXPECT_EQ(description.storageHost, u"h:8443");
    EXPECT_EQ(description.storageSignature, u"?s=1");
    EXPECT_EQ(description.FileNameSuffix(), u"_ABC");
}

TEST(DownloadDescriptionAnswer, MissingOrMistypedMembersAreEmpty)
{
    const auto description = DownloadDescription::FromAnswer(R"({"product_code":5,"host_name":null})");
    EXPECT_EQ(description.productCode, u"");
    EXPECT_EQ(description.storageHost, u"");
    EXPECT_EQ(description.storageSignature, u"");
    EXPECT_EQ(description.FileNameSuffix(), u"_");
}

TEST(DownloadDescriptionAnswer, TextThatDoesNotParseGivesEmptyMembers)
{
    for (const std::string body : {"", "not json", "[1,2]", "{\"product_code\":", "\"ABC\""})
    {
        const auto description = DownloadDescription::FromAnswer(body);
        EXPECT_EQ(description.productCode, u"") << body;
        EXPECT_EQ(description.storageSubfolder, u"") << body;
    }
}

TEST(DownloadDescriptionSigning, OnlyMarkedStorageHostsWithASignatureAreSigned)
{
    DownloadDescription description;
    description.storageHost = u"product-download-storage-v2.example";
    EXPECT_FALSE(description.NeedsSigning()) << "no signature";
    description.storageSignature = u"S";
    EXPECT_TRUE(description.NeedsSigning());
    description.storageHost = u"storage.example";
    EXPECT_FALSE(description.NeedsSigning());
}

TEST(DownloadDescriptionSigning, SignedSubfolderIsTokenExpiryAndLowerCasedFolder)
{
    DownloadDescription description;
    description.storageHost = u"product-download-storage-v2.example";
    description.storageSubfolder = u"Rel/A";
    description.storageSignature = u"S";
    description.SignStoragePath(1700000000);

    const std::string token = ReferenceToken("1700000000/Rel/AS");
    ASSERT_EQ(token.size(), 24u);
    EXPECT_EQ(token.substr(22), "==");
    EXPECT_EQ(nd::StringUtils::ToUtf8(description.storageSubfolder), token + ",1700000000/rel/a");
    EXPECT_EQ(description.storageSignature, u"");
}

TEST(DownloadDescriptionSigning, TokenReplacesSlashAndPlus)
{
    // Search messages whose Base64 digest holds both characters, and check none remain.
    int checked = 0;
    for (int i = 0; i < 400 && checked < 5; ++i)
    {
        const std::string message = std::to_string(i) + "/Folder" + "sig";
        unsigned char digest[16];
        unsigned int length = 0;
        EVP_Digest(message.data(), message.size(), digest, &length, EVP_md5(), nullptr);
        unsigned char encoded[32] = {};
        EVP_EncodeBlock(encoded, digest, 16);
        const std::string plain(reinterpret_cast<char*>(encoded));
        if (plain.find('/') == std::string::npos || plain.find('+') == std::string::npos)
            continue;
        const std::string token = StorageSigningToken(std::to_string(i), "Folder", "sig");
        EXPECT_EQ(token.find('/'), std::string::npos);
        EXPECT_EQ(token.find('+'), std::string::npos);
        EXPECT_EQ(token, ReferenceToken(message));
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(DownloadDescriptionRequest, HeadersAndFieldsAreThoseOfTheService)
{
    const auto headers = DescriptionRequestHeaders(u"0123abcd");
    std::vector<std::pair<std::u16string, std::u16string>> ordered(headers.begin(), headers.end());
    const std::vector<std::pair<std::u16string, std::u16string>> expected{
        {u"ComputerId", u"0123abcd"},
        {u"Content-Type", u"application/x-www-form-urlencoded"},
        {u"Method", u"RequestDownload"},
        {u"User-Agent", u"Norvia Download Manager / 9.5"},
    };
    EXPECT_EQ(ordered, expected);

    const auto fields = DescriptionRequestFields(u"Norvia_3 2");
    EXPECT_EQ(fields.at(u"DownloadManagerVersion"), u"9.5");
    EXPECT_EQ(fields.at(u"ReleaseName"), u"Norvia%5f3%202");
    EXPECT_EQ(fields.size(), 2u);
}

} // namespace
} // namespace DownloadSystem
