#include <gtest/gtest.h>

#include <cstring>

#include "ClientSettings.h"
#include "SettingsKey.h"
#include "TestSettings.h"
#include "TableRows.h"

namespace {

struct Recorder {
    std::vector<std::string> errors;
    int setupRuns = 0;
    bool pressOk = false;
    SetupFields edits;

    ClientSettingsShell Shell() {
        ClientSettingsShell shell;
        shell.showAccessError = [this](const std::string& text) { errors.push_back(text); };
        shell.runFirstSetup = [this](SetupFields& fields) {
            ++setupRuns;
            if (pressOk) fields = edits;
            return pressOk;
        };
        return shell;
    }
};

std::string ReadRaw(const char* name, std::uint32_t capacity, std::uint32_t* length) {
    std::string buffer(capacity, '\0');
    if (!SettingsKey::Open(ClientKeyPath)->Read(name, &buffer[0], capacity, length)) return "(missing)";
    buffer.resize(*length);
    return buffer;
}

}  // namespace

TEST(ClientSettings, FirstRunWritesAllThreeWhicheverButtonClosesTheDialog) {
    for (bool ok : {false, true}) {
        ClearSettingsKey(ClientKeyPath);
        Recorder r;
        r.pressOk = ok;
        r.edits = SetupFields{"Anna", "6001", "127.0.0.1"};
        ClientState state;
        ReadClientSettings(state, r.Shell());
        EXPECT_EQ(r.setupRuns, 1);
        EXPECT_TRUE(r.errors.empty()) << r.errors.front();
        std::uint32_t length = 0;
        std::string port = ReadRaw("Port", 4, &length);
        EXPECT_EQ(length, 4u);
        EXPECT_EQ(static_cast<unsigned char>(port[0]) | static_cast<unsigned char>(port[1]) << 8, ok ? 6001 : 5001);
        std::string name = ReadRaw("Name", 64, &length);
        EXPECT_EQ(length, 20u);
        EXPECT_STREQ(name.c_str(), ok ? "Anna" : "");
        std::string address = ReadRaw("ServerAddress", 256, &length);
        EXPECT_EQ(length, 128u);
        EXPECT_STREQ(address.c_str(), ok ? "127.0.0.1" : "192.0.0.1");
        EXPECT_EQ(state.config.ServerAddress(), ok ? "127.0.0.1" : "192.0.0.1");
    }
}

TEST(ClientSettings, PortWithoutNameKeepsTheDefaultAddress) {
    ClearSettingsKey(ClientKeyPath);
    auto key = SettingsKey::Open(ClientKeyPath);
    key->WriteDword("Port", 7000);
    key->Write("ServerAddress", SettingString, "10.1.1.1", 9);
    Recorder r;
    ClientState state;
    ReadClientSettings(state, r.Shell());
    EXPECT_EQ(r.setupRuns, 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0], "Unable to read \"Name\" field from the Registry.");
    EXPECT_EQ(state.config.port, 7000u);
    EXPECT_EQ(state.config.ServerAddress(), "192.0.0.1");
    EXPECT_EQ(state.record.Name(), "");
}

TEST(ClientSettings, OverlongValuesFailToRead) {
    ClearSettingsKey(ClientKeyPath);
    auto key = SettingsKey::Open(ClientKeyPath);
    key->WriteDword("Port", 7000);
    key->Write("Name", SettingString, "ABCDEFGHIJKLMNOPQRST", 21);  // 20 characters and the NUL
    Recorder r;
    ClientState state;
    ReadClientSettings(state, r.Shell());
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0], "Unable to read \"Name\" field from the Registry.");

    key->Write("Name", SettingString, "Bob", 4);
    std::string address(200, 'x');
    key->Write("ServerAddress", SettingString, address.c_str(), 201);
    Recorder r2;
    ClientState state2;
    ReadClientSettings(state2, r2.Shell());
    ASSERT_EQ(r2.errors.size(), 1u);
    EXPECT_EQ(r2.errors[0], "Unable to read \"ServerAddress\" field from the Registry.");
    EXPECT_EQ(state2.record.Name(), "Bob");
    EXPECT_EQ(state2.config.ServerAddress(), "192.0.0.1");

    // An address of exactly 128 bytes without a terminator is cut inside the buffer.
    key->Write("ServerAddress", SettingString, address.c_str(), 128);
    ClientState state3;
    ReadClientSettings(state3, r2.Shell());
    EXPECT_EQ(state3.config.ServerAddress(), std::string(127, 'x'));
}

TEST(ClientSettings, NamePresentButNoPortOpensSetupWithDefaults) {
    ClearSettingsKey(ClientKeyPath);
    auto key = SettingsKey::Open(ClientKeyPath);
    key->Write("Name", SettingString, "Stored", 7);
    key->Write("ServerAddress", SettingString, "10.9.9.9", 9);
    Recorder r;
    ClientState state;
    ReadClientSettings(state, r.Shell());
    EXPECT_EQ(r.setupRuns, 1);
    std::uint32_t length = 0;
    EXPECT_STREQ(ReadRaw("Name", 64, &length).c_str(), "");
    EXPECT_STREQ(ReadRaw("ServerAddress", 256, &length).c_str(), "192.0.0.1");
}

namespace {

struct AwaySetting {
    const char* what;
    std::uint32_t type;
    std::vector<unsigned char> bytes;
    bool on;
};
const AwaySetting awaySettings[] = {{"absent", 0, {}, false},
                                    {"DWORD 1", SettingDword, {1, 0, 0, 0}, true},
                                    {"DWORD 0", SettingDword, {0, 0, 0, 0}, false},
                                    {"DWORD 2", SettingDword, {2, 0, 0, 0}, false},
                                    {"string \"1\"", SettingString, {'1', 0}, false},
                                    {"four bytes of another type", 3, {1, 0, 0, 0}, false},
                                    {"two bytes", SettingDword, {1, 0}, false},
                                    {"eight bytes", SettingDword, {1, 0, 0, 0, 0, 0, 0, 0}, false}};

}  // namespace

class AwayOnLockIsADwordOneAndNothingElse : public ::testing::TestWithParam<AwaySetting> {};

TEST_P(AwayOnLockIsADwordOneAndNothingElse, EachRow) {
    const AwaySetting& row = GetParam();
    ClearSettingsKey(ClientKeyPath);
    if (!row.bytes.empty())
        SettingsKey::Open(ClientKeyPath)
            ->Write("AwayOnLock", row.type, row.bytes.data(), static_cast<std::uint32_t>(row.bytes.size()));
    ClientState state;
    state.awayOnLock = !row.on;
    ReadAwayOnLock(state);
    EXPECT_EQ(state.awayOnLock, row.on) << row.what;
}
INSTANTIATE_TEST_SUITE_P(Rows, AwayOnLockIsADwordOneAndNothingElse, ::testing::ValuesIn(awaySettings),
                         RowsNamedBy(&AwaySetting::what));

TEST(ClientSettings, AwayOnLockWrittenAndReadBack) {
    ClientState state;
    ClientSettingsShell shell;
    shell.showAccessError = [](const std::string&) { FAIL() << "no error for AwayOnLock"; };
    ToggleAwayOnLock(state);
    WriteAwayOnLock(state, shell);
    ClientState reread;
    ReadAwayOnLock(reread);
    EXPECT_TRUE(reread.awayOnLock);
    ToggleAwayOnLock(state);
    WriteAwayOnLock(state, shell);
    ReadAwayOnLock(reread);
    EXPECT_FALSE(reread.awayOnLock);
}
