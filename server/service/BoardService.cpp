#include "BoardService.h"

#include <cstdlib>
#include <ctime>

#include "AsciiText.h"

#include "BoardMetrics.h"
#include "BrowserWords.h"
#include "ChangeLog.h"
#include "LdapSearch.h"
#include "ProxyRule.h"
#include "StoreStart.h"
#include "Windows1252.h"

namespace {

typedef std::chrono::steady_clock Clock;

const std::size_t MaxQueuedChanges = 10000;
const std::chrono::seconds ForgetInterval{60};

}  // namespace

StaffSource StaffSourceOf(const ServiceConfig& config) {
    return config.directory == "ldap" ? StaffLdapSource(config.ldap) : StaffFileSource(config.directoryFile);
}

BoardService::BoardService(SocketManager& manager, const ServiceConfig& config_, ServiceHost& host_)
    : config(config_), host(host_), board(manager), web(board) {
    board.silentMinutes = config.silentMinutes;
    board.acceptPacingMs = static_cast<int>(config.acceptPacingMs);
    board.maxConnections = static_cast<int>(config.maxConnections);
    board.readerWaitMs = 20;  // a desk's record waits at most this long for the reader to look
    web.maxConnections = 256;
    web.notice = [this](const std::string& line) { host.Log(LogWarning, line); };
    board.webUpdates = config.webPort != 0 && config.webUpdates;
    UpdateSettings updates;
    updates.on = board.webUpdates;
    updates.code = config.webUpdateCode;
    web.SetUpdates(updates);
    if (config.directory != "none") board.directory = std::make_shared<StaffDirectory>(config.directory);
    board.boardChanged = [this] { ++changes; };
    board.workerFailed = [this](const std::string& text) { host.Log(LogError, text); };
    if (config.logChanges || config.historyDays) {
        board.rowChanged = [this](const RowChange& change) {
            if (!IsChange(change)) return;
            std::lock_guard<std::mutex> guard(queueLock);
            if (queued.size() < MaxQueuedChanges)
                queued.push_back({change, WallMs()});
            else
                ++dropped;
        };
    }
    if (config.historyDays) ServeHistory();
}

BoardService::~BoardService() {
    if (started) Stop();
}

bool BoardService::Load() {
    StoreStart opened;
    if (!OpenBoardStore(
            config.stateFile, [this](int priority, const std::string& line) { host.Log(priority, line); }, opened))
        return false;
    store = std::move(opened.store);
    savedWallMs = opened.savedMs;
    // Every age goes on from the stored time; a clock that went back gives 0.
    const Clock::time_point now = Clock::now();
    const std::int64_t wallNow = WallMs();
    for (const StoredRow& row : opened.rows) {
        std::int64_t ageMs = wallNow - row.storedMs;
        if (ageMs < 0) ageMs = 0;
        board.table.Restore(row.record, now - std::chrono::milliseconds(ageMs), row.word);
    }
    savedChanges = changes.load();
    return OpenHistory() && KeepStaff() && OpenSignIn() && OpenPlans();
}

bool BoardService::OpenPlans() {
    // A desk heard within the grey rows' minutes still speaks when a plan ends.
    const std::uint32_t minutes = config.silentMinutes ? config.silentMinutes : 3;
    plans.reset(new PlanKeeper(board, std::chrono::minutes(minutes)));
    std::string error;
    if (!plans->Open(config.stateFile, error)) {
        host.Log(LogError,
                 "the database " + config.stateFile + " cannot be opened for plans: " + error + "; not starting");
        return false;
    }
    if (plans->Size()) host.Log(LogInfo, std::to_string(plans->Size()) + " plans kept");
    PlanKeeper* keeper = plans.get();
    planDesk.list = [keeper](const std::string& name) { return keeper->Of(name); };
    planDesk.find = [keeper](std::int64_t id, Plan& plan) { return keeper->Find(id, plan); };
    planDesk.put = [keeper](Plan& plan, std::string& error) { return keeper->Put(plan, error); };
    planDesk.remove = [keeper](std::int64_t id, std::string& error) { return keeper->Delete(id, error); };
    planDesk.feedOf = [keeper](const std::string& key) { return keeper->FeedOf(key); };
    planDesk.newKey = [keeper](const std::string& feed, std::string& key) { return keeper->NewKey(feed, false, key); };
    std::shared_ptr<StaffDirectory> staff = board.directory;
    auto person = [staff](const std::string& name, bool group) {
        const DirectoryState state = staff ? staff->State() : DirectoryState();
        const StaffPerson* p = state.list ? FindStaff(*state.list, name) : nullptr;
        if (!p) return group ? std::string() : Windows1252ToUtf8(name);
        return group ? p->group : p->displayName.empty() ? Windows1252ToUtf8(name) : p->displayName;
    };
    planDesk.called = [person](const std::string& name) { return person(name, false); };
    planDesk.groupOf = [person](const std::string& name) { return person(name, true); };
    web.plans = &planDesk;
    web.nextPlan = [keeper](const std::string& name, std::int64_t nowMs, Plan& plan, Occurrence& occurrence) {
        return keeper->Next(name, nowMs, plan, occurrence);
    };
    return true;
}

bool BoardService::OpenSignIn() {
    if (config.webSignIn == "none") return true;
    signIn.reset(new ServiceSignIn(config.webAccountsFile, board.directory));
    std::vector<std::string> problems;
    std::string error;
    const bool byDirectory = config.webSignIn == "directory";
    if (byDirectory) {
        signIn->UseDirectory(config.ldap, config.webReceptionGroup);
        signIn->notice = [this](const std::string& line) { host.Log(LogWarning, line); };
    } else if (!signIn->LoadAccounts(problems)) {
        for (const std::string& problem : problems) host.Log(LogError, problem);
        host.Log(LogError, "people cannot sign in without their accounts; not starting");
        return false;
    }
    if (!signIn->OpenStore(config.stateFile, error)) {
        host.Log(LogError,
                 "the database " + config.stateFile + " cannot be opened for sign-in: " + error + "; not starting");
        return false;
    }
    signIn->ShowSignedInOnly(config.webViewAccess == "signed-in");
    web.signIn = &signIn->Desk();
    signIn->Forget(WallMs());
    host.Log(LogInfo, byDirectory ? "people sign in with their directory passwords at " + config.ldap.urls
                                  : "people sign in with the accounts in " + config.webAccountsFile);
    return true;
}

bool BoardService::KeepStaff() {
    if (!board.directory) return true;
    // The last good list, kept for a restart while the source is away, on the
    // refresher's own connection: shared, so that a refresher left behind by a
    // stop still has it.
    std::string error;
    std::shared_ptr<BoardStore> kept(BoardStore::Connect(config.stateFile, error));
    if (!kept) {
        host.Log(LogError, "the database " + config.stateFile + " cannot be opened for the staff list: " + error +
                               "; not starting");
        return false;
    }
    StaffKeeper keeper;
    keeper.where = config.stateFile;
    keeper.restore = [kept](StaffList& list, std::int64_t& readMs) {
        std::string ignored;
        return kept->LoadStaff(list, readMs, ignored);
    };
    keeper.keep = [kept](const StaffList& list, std::int64_t readMs, std::string& why) {
        return kept->SaveStaff(list, readMs, why);
    };
    staff.reset(new StaffRefresher(
        *board.directory, StaffSourceOf(config), keeper, std::chrono::minutes(config.directoryRefreshMinutes),
        [this](bool trouble, const std::string& line) { host.Log(trouble ? LogWarning : LogInfo, LogSafe(line)); }));
    return true;
}

int BoardService::Start() {
    if (!Load()) {
        signIn.reset();
        staff.reset();
        store.reset();
        storeReader.reset();
        return 1;
    }
    Forget();
    SocketManager& manager = board.manager;
    manager.Startup();
    try {
        board.listeningSocket = manager.CreateSocket();
        board.listeningSocket->Bind(static_cast<std::uint16_t>(config.port));
        board.listeningSocket->Listen();
    } catch (const CExcept& e) {
        host.Log(LogError, "cannot listen on the board port " + std::to_string(config.port) + ": " + e.GetText());
        delete board.listeningSocket;
        board.listeningSocket = nullptr;
        manager.Cleanup();
        return 1;
    }
    board.listening = true;
    if (config.webPort != 0) {
        std::string error;
        if (!config.webTlsCertificateFile.empty()) {
            tls = std::make_shared<WebTls>();
            web.transport = tls->Transport();
            if (!tls->Load(config.webTlsCertificateFile, config.webTlsKeyFile, config.webTlsCertificatePasswordFile,
                           error))
                error = "The web view cannot serve HTTPS: " + error;
        }
        std::string wrong;
        ParseProxyAddresses(config.webTrustedProxy, web.trustedProxies, wrong);  // checked with the configuration
        if (!error.empty() || !web.Start(static_cast<std::uint16_t>(config.webPort), error)) {
            host.Log(LogError, error);
            delete board.listeningSocket;
            board.listeningSocket = nullptr;
            manager.Cleanup();
            return 1;
        }
    }
    if (staff) staff->Start();  // the first read now, so the board starts knowing who works here
    StartWorkers(board);
    started = true;
    lastSave = Clock::now();
    host.Log(LogInfo, std::string("pegmastd ") + ServiceVersion + " started: board port " +
                          std::to_string(config.port) + ", web view " +
                          (config.webPort ? std::string(tls ? "HTTPS " : "") + "port " + std::to_string(config.webPort)
                                          : std::string("off")) +
                          ", " + std::to_string(board.table.RowCount()) + " rows loaded");
    host.Ready();
    host.Log(LogInfo, "ready");
    return 0;
}

void BoardService::Reload() {
    ReloadDirectory();
    std::vector<std::string> problems;
    if (signIn && config.webSignIn == "accounts") {
        if (!signIn->LoadAccounts(problems)) {
            for (const std::string& problem : problems) host.Log(LogError, problem);
            host.Log(LogError, "the accounts read before stand");
        } else {
            host.Log(LogInfo, "the accounts in " + config.webAccountsFile + " are read again");
        }
    }
    if (!tls) return;
    std::string error;
    if (tls->Load(config.webTlsCertificateFile, config.webTlsKeyFile, config.webTlsCertificatePasswordFile, error))
        host.Log(LogInfo, "the web view's certificate " + config.webTlsCertificateFile + " is read again");
    else
        host.Log(LogError, error + "; the certificate read before serves on");
}

void BoardService::Forget() {
    lastForget = Clock::now();
    if (config.forgetDays == 0) return;
    const Clock::time_point cutoff = lastForget - std::chrono::hours(24) * static_cast<int>(config.forgetDays);
    std::size_t gone = 0;
    std::vector<StatusRecord> rows;
    {
        TableHold hold(board.tableLock, std::chrono::milliseconds(1500));
        if (!hold) return;  // next time
        gone = board.table.Forget(cutoff, &rows);
    }
    if (gone == 0) return;
    if (config.historyDays) {
        std::vector<HistoryEntry> entries;
        for (const StatusRecord& row : rows) {
            RowChange change;
            change.after = row;
            entries.push_back(HistoryOf(change, WallMs()));
            entries.back().source = "forgotten";
        }
        KeepHistory(entries);
    }
    ++changes;
    host.Log(LogInfo, std::to_string(gone) + " rows silent for more than " + std::to_string(config.forgetDays) +
                          " days forgotten");
}

BoardService::Saved BoardService::SaveState() {
    std::vector<StoredRow> rows;
    std::uint64_t seen = 0;
    Clock::time_point now;
    std::int64_t wallNow = 0;
    {
        TableHold hold(board.tableLock, std::chrono::milliseconds(1500));
        if (!hold) return Saved::Busy;  // the next tick tries again
        seen = changes.load();
        now = Clock::now();
        wallNow = WallMs();
        const std::int32_t n = board.table.RowCount();
        rows.resize(static_cast<std::size_t>(n));
        for (std::int32_t i = 0; i < n; ++i) {
            const std::size_t index = static_cast<std::size_t>(i);
            rows[index].record = board.table.Row(index);
            rows[index].word = board.table.Word(index);
            auto age = std::chrono::duration_cast<std::chrono::milliseconds>(now - board.table.LastStored(index));
            rows[index].storedMs = wallNow - age.count();
        }
    }
    lastSave = now;
    std::string error;
    if (!store || !store->SaveRows(rows, wallNow, error)) {
        ++board.counters.stateWriteFailures;
        // Once per distinct error; the board serves on from memory.
        if (error != lastStateError)
            host.Log(LogError, "cannot write the rows to " + config.stateFile + ": " + error +
                                   "; the board keeps its rows in memory and tries again at the next change");
        lastStateError = error;
        return Saved::Failed;
    }
    ++board.counters.stateWrites;
    savedChanges = seen;
    savedWallMs = wallNow;
    if (!lastStateError.empty()) host.Log(LogInfo, "the rows are written to " + config.stateFile + " again");
    lastStateError.clear();
    return Saved::Written;
}

void BoardService::LogQueuedChanges() {
    std::deque<std::pair<RowChange, std::int64_t>> taken;
    std::uint64_t lost = 0;
    {
        std::lock_guard<std::mutex> guard(queueLock);
        taken.swap(queued);
        lost = dropped;
        dropped = 0;
    }
    std::vector<HistoryEntry> entries;
    for (const auto& change : taken) {
        if (config.logChanges) host.Log(LogInfo, ChangeLine(change.first));
        if (config.historyDays) entries.push_back(HistoryOf(change.first, change.second));
    }
    if (!entries.empty()) KeepHistory(entries);  // one transaction a tick
    if (lost) host.Log(LogWarning, std::to_string(lost) + " changes came too fast to be logged or kept");
}

void BoardService::Tick() {
    const Clock::time_point now = Clock::now();
    if (board.webUpdates) PassBrowserWords(board, WallMs());
    if (plans) {
        // Plans that last held more than ForgetDays ago go with the hourly forgetting.
        const bool forget = config.forgetDays && now - lastPlanForget >= HistoryRetentionInterval;
        if (forget) lastPlanForget = now;
        plans->Tick(WallMs(), forget ? WallMs() - std::int64_t(config.forgetDays) * 86400000 : 0);
    }
    LogQueuedChanges();
    FlushHistory();
    if (now - lastForget >= ForgetInterval) Forget();
    if (now - lastRetention >= HistoryRetentionInterval) {
        ForgetHistory();
        if (signIn) signIn->Forget(WallMs());
    }
    if (changes.load() != savedChanges && now - lastSave >= StateWriteInterval) SaveState();
    std::string reason;
    if (BoardHealthy(board, SteadyMs(), reason)) host.Alive();
}

int BoardService::Stop() {
    if (!started) return 0;
    started = false;
    if (staff) staff->Stop();
    web.Stop();
    bool ended = StopWorkers(board);
    LogQueuedChanges();
    FlushHistory(true);
    if (history.Waiting())
        host.Log(LogError, std::to_string(history.Waiting()) + " changes could not be written to the history");
    const Saved result = SaveState();
    // Closed, so that the database is one whole file while the service is stopped.
    staff.reset();
    storeReader.reset();
    store.reset();
    web.signIn = nullptr;
    signIn.reset();
    web.plans = nullptr;
    web.nextPlan = nullptr;
    plans.reset();
    const std::uint64_t lost = changes.load() - savedChanges;
    std::string saved = std::to_string(board.table.RowCount()) + " rows saved";
    int exitCode = 0;
    if (result != Saved::Written && lost != 0) {
        // Never "saved" when it was not: what stands on disk, and what is lost.
        const std::string stands =
            savedWallMs ? "the rows saved at " + ClockText(savedWallMs, true) + " stand" : "no rows were saved";
        saved = (result == Saved::Busy ? "the board was busy; " : "the rows could not be saved; ") + stands + ", " +
                std::to_string(lost) + " changes since then are lost";
        exitCode = 1;
    }
    if (!ended) {
        // A thread that does not end may still use the listener and the manager:
        // end at once with everything still standing, as the window board does.
        host.Log(LogError, "a worker thread did not end in time; stopped, " + saved);
        std::_Exit(exitCode);
    }
    delete board.listeningSocket;
    board.listeningSocket = nullptr;
    board.manager.Cleanup();
    host.Log(exitCode ? LogError : LogInfo, "stopped, " + saved);
    return exitCode;
}
