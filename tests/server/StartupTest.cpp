#include "ServerFixture.h"

TEST(ServerPort, FirstStartWritesTheDefault) {
    ClearSettingsKey(ServerKeyPath);
    std::vector<std::string> shown;
    auto show = [&](const std::string& t, const std::string&, bool) { shown.push_back(t); };
    EXPECT_EQ(ReadServerPort(show), 5001);
    unsigned char bytes[8] = {};
    std::uint32_t length = 0;
    ASSERT_TRUE(SettingsKey::Open(ServerKeyPath)->Read("Port", bytes, sizeof bytes, &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 5001);
    EXPECT_TRUE(shown.empty());
}

TEST(ServerPort, StoredValuesAreTakenOrReplaced) {
    auto show = [](const std::string&, const std::string&, bool) {};
    PresetServerPort(80);
    EXPECT_EQ(ReadServerPort(show), 80);
    PresetServerPort(70000);
    EXPECT_EQ(ReadServerPort(show), 70000);  // the whole number; only the bind takes 16 bits

    ClearSettingsKey(ServerKeyPath);
    SettingsKey::Open(ServerKeyPath)->Write("Port", SettingString, "8080x", 6);
    EXPECT_EQ(ReadServerPort(show), 5001);
    std::uint32_t length = 0;
    unsigned char bytes[4];
    ASSERT_TRUE(SettingsKey::Open(ServerKeyPath)->Read("Port", bytes, 4, &length));
    EXPECT_EQ(length, 4u);

    // Up to four bytes of any type count as a little-endian number.
    ClearSettingsKey(ServerKeyPath);
    SettingsKey::Open(ServerKeyPath)->Write("Port", SettingString, "AB", 2);
    EXPECT_EQ(ReadServerPort(show), 'A' | 'B' << 8);
}

TEST(ServerStartup, PortHeldByAnotherSocketEndsWithExitCodeOne) {
    Socket* holder = TestManager().CreateSocket();
    holder->Bind(0);
    holder->Listen();
    PresetServerPort(BoundPort(holder));
    RecordingShell shell;
    BoardServer server(TestManager());
    EXPECT_EQ(StartBoardServer(server, shell), 1);
    EXPECT_TRUE(shell.hidden);
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0], "startup failed!: Unable to bind the socket. Try again later.");
    EXPECT_EQ(TestManager().SocketCount(), 1);
    delete holder;
}

TEST(ServerStartup, NoWindowEndsWithExitCodeZero) {
    RecordingShell shell;
    shell.windowOk = false;
    BoardServer server(TestManager());
    EXPECT_EQ(StartBoardServer(server, shell), 0);
    EXPECT_TRUE(shell.messages.empty());
}

TEST(RepaintClock, RepaintsWhenMoreThanTwoWholeSecondsPassed) {
    RepaintClock clock;
    EXPECT_FALSE(clock.IdleStep(100));
    EXPECT_FALSE(clock.IdleStep(101));
    EXPECT_FALSE(clock.IdleStep(102));
    EXPECT_TRUE(clock.IdleStep(103));
    EXPECT_FALSE(clock.IdleStep(105));
    EXPECT_TRUE(clock.IdleStep(106));
}

TEST_F(RunningServer, ShutdownEndsBothThreadsPromptly) {
    RawClient waiting;
    ASSERT_TRUE(waiting.Connect(port));
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(StopWorkers(server));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    delete server.listeningSocket;
    server.listeningSocket = nullptr;
    EXPECT_EQ(TestManager().SocketCount(), 0);
}
