// The board server's shared state and its two worker threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "BoardTable.h"
#include "Socket.h"
#include "WorkerThread.h"

struct BoardServer {
    explicit BoardServer(SocketManager& manager_) : manager(manager_) {}

    SocketManager& manager;
    BoardTable table;
    TableLock tableLock;
    std::string localAddressText;
    std::int32_t serverPort = 0;
    Socket* listeningSocket = nullptr;
    std::atomic<std::int32_t> pendingCount{0};
    std::atomic<bool> stopFlag{false};
    // Called by the reader, under tableLock, after every stored record. Must not block.
    std::function<void()> boardChanged;
    // Shown when a worker thread meets a failure it cannot serve on from; the program then ends.
    std::function<void(const std::string& text)> workerFailed;
    // A connection that sends nothing for this long is given up.
    std::atomic<int> silentConnectionMs{60000};
    // Rows silent for longer are painted grey; 0 paints every row alike.
    std::atomic<std::uint32_t> silentMinutes{0};
    // The accept thread's pause after each connection: at most four a second.
    std::atomic<int> acceptPacingMs{250};

    WorkerThread acceptThread;
    WorkerThread readerThread;
};

// How long the reader gathers a record that arrives in pieces.
const int RecordGatherMs = 2000;

inline std::chrono::seconds SilentAfter(const BoardServer& server) {
    return std::chrono::seconds(60 * static_cast<std::int64_t>(server.silentMinutes.load()));
}

int AcceptThread(BoardServer& server);
int ReaderThread(BoardServer& server);

// Starts both threads on a bound, listening server.
void StartWorkers(BoardServer& server);
// Raises stopFlag, closes the listener so a pending accept ends, and waits a
// bounded time for both threads. True when both have ended.
bool StopWorkers(BoardServer& server);
