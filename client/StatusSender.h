// Delivers the client's record: one short-lived detached thread per send,
// each with its own connection, reading the record at the moment it sends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "ClientState.h"
#include "Socket.h"

class StatusSender {
public:
    StatusSender(SocketManager& manager, ClientState& state);

    // Starts one send and returns at once.
    void StartStatusSend(bool reportFailures);
    // Waits until no send is running, at most `limit`. True when none is left.
    bool WaitForSends(std::chrono::milliseconds limit);
    int RunningSends();

    // Shows a "Socket Error!" box for sends started with reportFailures.
    std::function<void(const std::string& text)> showFailure;

private:
    void SendStatusThread(bool reportFailures);

    SocketManager& manager;
    ClientState& state;
    std::mutex lock;
    std::condition_variable allDone;
    int running = 0;
};
