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
        out << "Port 4 8913000\n"         // odd hex
            << "Name 1 zz\n"              // not hex
            << "\x01\x02 garbage \xff\n"  // nonsense
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

#if !defined(_WIN32)
#include <atomic>
#include <cstdio>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
std::vector<SettingValue> Generation(unsigned char g) {
    return {DwordValue("Port", 1000u + g),
            {"Name", SettingString, std::vector<unsigned char>(20, g)},
            {"ServerAddress", SettingString, std::vector<unsigned char>(128, g)}};
}
}  // namespace

// Three values written as one update: a reader of the file sees all three of
// one generation, never a file with some of them changed.
TEST(SettingsKey, SeveralValuesAreOneUpdate) {
    ClearSettingsKey(Key);
    ASSERT_TRUE(SettingsKey::Open(Key)->WriteValues(Generation(1)));
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0}, reads{0};
    std::thread reader([&] {
        while (!done) {
            std::ifstream in(SettingsFilePath(Key), std::ios::binary);
            std::string line, port, name, address;
            while (std::getline(in, line)) {
                std::string value = line.substr(line.rfind(' ') + 1);
                if (line.rfind("Port ", 0) == 0) port = value.substr(0, 2);
                if (line.rfind("Name ", 0) == 0) name = value.substr(0, 2);
                if (line.rfind("ServerAddress ", 0) == 0) address = value.substr(0, 2);
            }
            // Port holds 1000 + g: its low byte is (0xe8 + g) & 0xff.
            char expected[3];
            std::snprintf(expected, sizeof expected, "%02x",
                          (0xe8 + std::stoi(name.empty() ? "0" : name, nullptr, 16)) & 0xff);
            if (name.empty() || name != address || port != expected) ++mixed;
            ++reads;
        }
    });
    auto writer = SettingsKey::Open(Key);
    for (int g = 2; g < 200; ++g) ASSERT_TRUE(writer->WriteValues(Generation(static_cast<unsigned char>(g))));
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(mixed.load(), 0);
}

TEST(SettingsKey, AFailedUpdateLeavesTheOldValuesWhole) {
    ClearSettingsKey(Key);
    auto key = SettingsKey::Open(Key);
    ASSERT_TRUE(key->WriteValues(Generation(7)));
    // Where the update's new file would go, something that is no file.
    std::string blocker = SettingsFilePath(Key) + ".tmp" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(blocker.c_str(), 0700), 0);
    EXPECT_FALSE(key->WriteValues(Generation(8)));
    ::rmdir(blocker.c_str());
    unsigned char name[20];
    std::uint32_t length = 0;
    ASSERT_TRUE(key->Read("Name", name, 20, &length));
    EXPECT_EQ(name[0], 7);
    ASSERT_TRUE(key->Read("Port", name, 4, &length));
    EXPECT_EQ(name[0] | name[1] << 8, 1007);
}
#endif
