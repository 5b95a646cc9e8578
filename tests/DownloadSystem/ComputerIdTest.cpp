#include "DownloadSystem/ComputerId.h"
#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace
{

using DownloadSystem::ComputerId;

bool IsLowerHex(const std::string& text)
{
    return text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

TEST(ComputerIdHash, KnownSha1Digests)
{
    ComputerId id;
    std::string digest = "stale";
    ASSERT_TRUE(id.HashText("abc", digest));
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", digest);
    ASSERT_TRUE(id.HashText("", digest));
    EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", digest);
    // The text's bytes are hashed whole, zero bytes included.
    ASSERT_TRUE(id.HashText(std::string("a\0b", 3), digest));
    EXPECT_NE("da39a3ee5e6b4b0d3255bfef95601890afd80709", digest);
}

TEST(ComputerIdIdentifier, StableFortyLowerCaseHexDigits)
{
    std::string first;
    std::string second;
    EXPECT_TRUE(ComputerId().GetComputerId(first));
    EXPECT_TRUE(ComputerId().GetComputerId(second));
    EXPECT_EQ(40u, first.size());
    EXPECT_TRUE(IsLowerHex(first)) << first;
    EXPECT_EQ(first, second);

    std::u16string wide;
    EXPECT_TRUE(ComputerId().GetComputerIdWide(wide));
    EXPECT_EQ(nd::StringUtils::ToWide(first), wide);
}

TEST(ComputerIdIdentifier, HashesMachineGuidVolumeAndProcessorInThatOrder)
{
    std::string machineGuid;
    std::ifstream("/etc/machine-id") >> machineGuid;
    if (machineGuid.empty())
        std::ifstream("/var/lib/dbus/machine-id") >> machineGuid;

    ComputerId id;
    std::string read;
    id.ReadMachineGuid(read);
    EXPECT_EQ(machineGuid, read);

    std::string volume;
    id.GetVolumeId(volume);
    EXPECT_EQ(std::string::npos, volume.find_first_of("{}"));

    unsigned a = 0, b = 0, c = 0, d = 0;
#if defined(__x86_64__) || defined(__i386__)
    __cpuid_count(0, 0, a, b, c, d);
#endif
    const std::string text = machineGuid + "|" + volume + std::to_string(static_cast<int32_t>(a)) +
                             std::to_string(static_cast<int32_t>(b)) +
                             std::to_string(static_cast<int32_t>(c)) +
                             std::to_string(static_cast<int32_t>(d));
    std::string expected;
    ASSERT_TRUE(id.HashText(text, expected));

    std::string identifier;
    id.GetComputerId(identifier);
    EXPECT_EQ(expected, identifier);
}

TEST(ComputerIdIdentifier, ReadableMachineFactsRecordNothing)
{
    nd::ClearErrors();
    std::string identifier;
    ComputerId().GetComputerId(identifier);
    std::ifstream machineId("/etc/machine-id");
    if (machineId)
    {
        EXPECT_EQ(0u, nd::GetErrorCount());
    }
    for (const auto& record : nd::GetLogRecords())
        EXPECT_EQ("DownloadSystem/ComputerId.cpp", record["file"].get<std::string>());
}

} // namespace
