// The client's one record and its settings. The user-interface thread writes
// them; sender threads take consistent copies under the same lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "StatusRecord.h"

struct ClientConfig {
    ClientConfig();
    char serverAddress[128];
    std::uint32_t port;

    std::string ServerAddress() const;
    void SetServerAddress(const std::string& text);  // at most 127 characters
};

const char* const DefaultServerAddress = "192.0.0.1";
const std::uint32_t DefaultClientPort = 5001;

class ClientState {
public:
    // Writers hold this while they change the record or the settings.
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(lock); }
    StatusRecord record;
    ClientConfig config;
    // Set by the exit steps: the record then holds the last words and stays so.
    bool exited = false;
    // Away while locked: the setting, and what a lock put aside until the unlock.
    bool awayOnLock = false;
    bool away = false;
    std::int32_t statusBeforeAway = 0;
    std::string messageBeforeAway;

    StatusRecord RecordCopy();
    ClientConfig ConfigCopy();

private:
    std::mutex lock;
};
