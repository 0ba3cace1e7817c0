#include <gtest/gtest.h>

#include <cstring>

#include "SettingsKey.h"
#include "TestSettings.h"

namespace {
const char* const Key = "SOFTWARE\\ZORVEN\\PEGORA\\TESTKEY";
}

TEST(SettingsKey, ExactBytesAndSizeLimits) {
    ClearSettingsKey(Key);
    auto key = SettingsKey::Open(Key);
    ASSERT_TRUE(key);
    unsigned char buffer[32];
    std::uint32_t length = 0;
    EXPECT_FALSE(key->Read("Port", buffer, 4, &length));

    EXPECT_TRUE(key->WriteDword("Port", 5001));
    ASSERT_TRUE(key->Read("Port", buffer, 4, &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(buffer[0] | buffer[1] << 8, 5001);

    // A 20-byte name with bytes behind its NUL comes back byte for byte.
    unsigned char name[20] = {'A', 'n', 'n', 'a', 0, 'o', 'l', 'd', 0};
    EXPECT_TRUE(key->Write("Name", SettingString, name, 20));
    std::memset(buffer, 0x55, sizeof buffer);
    ASSERT_TRUE(key->Read("Name", buffer, 20, &length));
    EXPECT_EQ(length, 20u);
    EXPECT_EQ(std::memcmp(buffer, name, 20), 0);

    // A value larger than the reader's buffer fails to read.
    EXPECT_FALSE(key->Read("Name", buffer, 19, &length));

    // Values survive reopening, and a rewrite replaces type and bytes.
    key.reset();
    key = SettingsKey::Open(Key);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->Write("Port", SettingString, "12345678", 9));
    EXPECT_FALSE(key->Read("Port", buffer, 4, &length));
    ASSERT_TRUE(key->Read("Name", buffer, 20, &length));
    EXPECT_EQ(std::memcmp(buffer, name, 20), 0);
}

#if !defined(_WIN32)
#include <fstream>

TEST(SettingsKey, DamagedFileReadsAsMissingValues) {
    ClearSettingsKey(Key);
    {
        std::ofstream out(SettingsFilePath(Key), std::ios::binary);
        out << "Port 4 8913000\n"                // odd hex
            << "Name 1 zz\n"                     // not hex
            << "\x01\x02 garbage \xff\n"         // nonsense
            << "ServerAddress 1 3132372e302e302e3100\n";
    }
    auto key = SettingsKey::Open(Key);
    ASSERT_TRUE(key);
    char buffer[128];
    std::uint32_t length = 0;
    EXPECT_FALSE(key->Read("Port", buffer, 4, &length));
    EXPECT_FALSE(key->Read("Name", buffer, 20, &length));
    ASSERT_TRUE(key->Read("ServerAddress", buffer, 128, &length));
    EXPECT_STREQ(buffer, "127.0.0.1");
}
#endif
