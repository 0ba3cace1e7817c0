// pegmastd without its platform: the board, its web view and its database,
// driven by a host that stands for the service manager (systemd, the Windows
// service control manager, or a console).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "BoardServer.h"
#include "BoardStore.h"
#include "HistoryQueue.h"
#include "PlanKeeper.h"
#include "PlanRoutes.h"
#include "PegoraVersion.h"
#include "ServiceConfig.h"
#include "ServiceSignIn.h"
#include "StaffRefresher.h"
#include "WebServer.h"
#include "WebTls.h"

// Syslog priorities, as the journal reads them from a line's prefix.
const int LogError = 3;
const int LogWarning = 4;
const int LogInfo = 6;

class ServiceHost {
public:
    virtual ~ServiceHost() = default;
    virtual void Log(int priority, const std::string& line) = 0;
    virtual void Ready() = 0;     // the state is loaded and both ports listen
    virtual void Stopping() = 0;  // a stop was asked for
    virtual void Alive() = 0;     // the reader is making passes: feed the watchdog
};

const char* const ServiceVersion = PEGORA_VERSION;
// How often a changed board reaches the database, at most.
const std::chrono::milliseconds StateWriteInterval{2000};
// How often history older than HistoryDays is deleted.
const std::chrono::minutes HistoryRetentionInterval{60};
// How many history entries wait for a database that cannot take them, and how often it is tried again.
const std::size_t HistoryWaitLimit = 200000;
const std::chrono::seconds HistoryRetryInterval{2};

// Where the configuration says the staff list comes from (a directory is configured).
StaffSource StaffSourceOf(const ServiceConfig& config);

class BoardService {
public:
    BoardService(SocketManager& manager, const ServiceConfig& config, ServiceHost& host);
    ~BoardService();

    // Loads the state, opens the board port and the web view and starts the
    // threads. 0 when the board runs; otherwise the exit code (1: a port
    // could not be had, or a state file that was not read could not be set
    // aside, so the service manager tries again).
    int Start();
    // Called a few times a second: logs changes, forgets, writes the state
    // when due, tells the host that the reader is alive.
    void Tick();
    // Stops the threads and the web view and writes the state. Exit code 0, or
    // 1 when changes could not be written (the board was busy, or the disk
    // refused), so that the service manager shows it.
    int Stop();
    // The staff directory read again at once.
    void ReloadDirectory() {
        if (staff) staff->Request();
    }
    // The administrator's reload: the staff directory and the web view's certificate read again.
    void Reload();

    BoardServer& Board() { return board; }
    WebServer& Web() { return web; }
    PlanKeeper* Plans() { return plans.get(); }

private:
    // Each false when the board must not start.
    bool Load();
    bool OpenHistory();
    bool KeepStaff();
    bool OpenSignIn();
    bool OpenPlans();
    void KeepHistory(const std::vector<HistoryEntry>& entries);
    void ForgetHistory();
    void Forget();
    enum class Saved { Written, Busy, Failed };
    Saved SaveState();
    void LogQueuedChanges();

    const ServiceConfig config;
    ServiceHost& host;
    BoardServer board;
    WebServer web;
    std::unique_ptr<StaffRefresher> staff;  // with a staff directory, from the start
    std::shared_ptr<WebTls> tls;            // with HTTPS
    std::unique_ptr<ServiceSignIn> signIn;  // with WebSignIn
    std::unique_ptr<PlanKeeper> plans;
    PlanDesk planDesk;  // the web view's way to them
    // The store the main thread writes; with HistoryDays, the web view's own reader.
    std::unique_ptr<BoardStore> store, storeReader;
    std::chrono::steady_clock::time_point lastRetention{};
    std::string lastHistoryError;
    // Entries a busy or full database could not take, until it can; a failing one tried every few seconds.
    HistoryQueue history{HistoryWaitLimit, 5000};
    std::chrono::steady_clock::time_point lastHistoryTry{};
    std::uint64_t droppedTold = 0;
    void FlushHistory(bool force = false);
    void ServeHistory();  // the web view's history, the roll call as it stood, and /healthz's line
    std::atomic<std::uint64_t> changes{0};
    std::uint64_t savedChanges = 0;
    std::chrono::steady_clock::time_point lastSave{};
    std::int64_t savedWallMs = 0;  // when the rows were last saved; 0: never
    std::chrono::steady_clock::time_point lastForget{};
    std::chrono::steady_clock::time_point lastPlanForget{};
    std::string lastStateError;
    bool started = false;

    // Changes wait here for the main thread: the reader never waits on the log
    // or the history. Each with its calendar time.
    std::mutex queueLock;
    std::deque<std::pair<RowChange, std::int64_t>> queued;
    std::uint64_t dropped = 0;
};
