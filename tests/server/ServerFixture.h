// A running board server on a system-chosen loopback port, with a shell that
// records what the user would see.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

#include "Loopback.h"
#include "ServerStartup.h"
#include "SettingsKey.h"
#include "TestSettings.h"

struct RecordingShell : BoardShell {
    bool windowOk = true;
    bool hidden = false;
    std::vector<std::string> messages;  // "caption: text"
    std::atomic<int> changes{0};

    bool CreateBoardWindow() override { return windowOk; }
    void HideBoardWindow() override { hidden = true; }
    void ShowMessage(const std::string& text, const std::string& caption, bool) override {
        messages.push_back(caption + ": " + text);
    }
    void BoardChanged() override { ++changes; }
};

inline void PresetServerPort(std::uint32_t port) {
    ClearSettingsKey(ServerKeyPath);
    SettingsKey::Open(ServerKeyPath)->WriteDword("Port", port);
}

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        SleepMs(10);
    }
    return true;
}

class RunningServer : public ::testing::Test {
protected:
    void SetUp() override {
        PresetServerPort(0);
        ASSERT_EQ(StartBoardServer(server, shell), ServerRunning);
        port = BoundPort(server.listeningSocket);
    }
    void TearDown() override { EXPECT_EQ(StopBoardServer(server), 0); }

    // What the board's counter shows: pending, and open accepted connections.
    std::string Counter() {
        return std::to_string(server.pendingCount.load()) + "/" + std::to_string(TestManager().SocketCount() - 1);
    }

    StatusRecord RowCopy(std::size_t i) {
        EXPECT_TRUE(server.tableLock.WaitFor(std::chrono::milliseconds(2000)));
        StatusRecord r = server.table.Row(i);
        server.tableLock.Release();
        return r;
    }

    void SendRecord(const std::string& name, std::int32_t status, const std::string& message) {
        StatusRecord r;
        r.SetName(name);
        r.SetStatus(status);
        r.SetMessage(message);
        RawClient c;
        ASSERT_TRUE(c.Connect(port));
        ASSERT_TRUE(c.Send(r.Bytes(), StatusRecord::Size));
    }

    RecordingShell shell;
    BoardServer server{TestManager()};
    std::uint16_t port = 0;
};
