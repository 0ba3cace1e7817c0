// The board server's shared state and its two worker threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include <memory>

#include "BoardTable.h"
#include "StaffDirectory.h"
#include "Socket.h"
#include "WorkerThread.h"

// What the board has done since it started, for its metrics. Never a name or a message.
struct BoardCounters {
    std::atomic<std::uint64_t> recordsStored{0};
    // Connections closed before a record came, by why.
    std::atomic<std::uint64_t> closedSilent{0};
    std::atomic<std::uint64_t> closedFailedReceive{0};
    std::atomic<std::uint64_t> closedPeerEnded{0};
    std::atomic<std::uint64_t> closedRoomMade{0};
    // The service's state file; the window board keeps none.
    std::atomic<std::uint64_t> stateWrites{0};
    std::atomic<std::uint64_t> stateWriteFailures{0};
};

// One stored record as the reader saw it: what the row showed before (nothing
// for a new row) and what it shows now, and who sent it.
struct RowChange {
    bool added = false;
    StatusRecord before;
    StatusRecord after;
    std::uint32_t sender = 0;  // IPv4, network order; 0 when unknown
    bool fromBrowser = false;
    bool removed = false;      // from a browser: the row left the board
    bool kept = false;         // a desk's record that left a browser's word shown
    std::string until;         // "HH:MM" of a browser's word, when it has one
    bool untilPassed = false;  // a browser's word whose time came: the desk's record again
    std::string author;        // who, signed in, gave the browser's word (Windows-1252)
    bool fromPlan = false;     // a plan's time started or ended
    bool unchanged = false;    // a browser's word that says again what the row said: no change
};

struct BoardServer {
    explicit BoardServer(SocketManager& manager_)
        : manager(manager_), startTime(static_cast<std::int64_t>(std::time(nullptr))) {}

    // Set once at the start, before the threads run, and only read after.
    SocketManager& manager;
    const std::int64_t startTime;  // calendar seconds
    std::string localAddressText;
    std::int32_t serverPort = 0;
    Socket* listeningSocket = nullptr;
    // Who works here, when the board has a staff directory (the service).
    std::shared_ptr<StaffDirectory> directory;
    // Called by the reader, under tableLock, after every stored record. Must not block.
    std::function<void()> boardChanged;
    // Called by the reader, under tableLock, for every stored record when set. Must not block.
    std::function<void(const RowChange& change)> rowChanged;
    // Shown when a worker thread meets a failure it cannot serve on from; the program then ends.
    std::function<void(const std::string& text)> workerFailed;

    // Settings the board's options may change while it runs.
    // A connection that sends nothing for this long is given up.
    std::atomic<int> silentConnectionMs{60000};
    // Rows silent for longer are painted grey; 0 paints every row alike.
    std::atomic<std::uint32_t> silentMinutes{0};
    // The accept thread's pause after each connection: at most four a second.
    std::atomic<int> acceptPacingMs{250};
    // Connections that have sent nothing are held up to this many; past it the
    // longest silent one is closed to make room. 0: no limit.
    std::atomic<int> maxConnections{0};
    // How long one reader pass sleeps when nothing is readable; a new
    // connection waits at most this long before the reader watches it.
    std::atomic<int> readerWaitMs{100};
    // Words from browsers are taken (the web view's updates): desk records then
    // follow the rule of RowRule.h. Off, every record is stored as it comes.
    std::atomic<bool> webUpdates{false};

    // The rows, and the lock every reader and writer of them takes.
    BoardTable table;
    TableLock tableLock;

    // What changes while it runs: records waiting, the stop, and what the
    // health check and metrics read (the port listens, the reader's last pass).
    std::atomic<std::int32_t> pendingCount{0};
    std::atomic<bool> stopFlag{false};
    std::atomic<bool> listening{false};
    std::atomic<std::int64_t> lastReaderPassMs{0};  // steady clock, milliseconds
    BoardCounters counters;

    WorkerThread acceptThread;
    WorkerThread readerThread;
};

// How long the reader gathers a record that arrives in pieces.
const int RecordGatherMs = 2000;

inline std::chrono::seconds SilentAfter(const BoardServer& server) {
    return std::chrono::seconds(60 * static_cast<std::int64_t>(server.silentMinutes.load()));
}

// The steady clock in milliseconds, as lastReaderPassMs keeps it.
inline std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int AcceptThread(BoardServer& server);
int ReaderThread(BoardServer& server);

// Starts both threads on a bound, listening server.
void StartWorkers(BoardServer& server);
// Raises stopFlag, closes the listener so a pending accept ends, and waits a
// bounded time for both threads. True when both have ended.
bool StopWorkers(BoardServer& server);
