// The accept thread and the reader thread: connections in, records into the board.
#include "BoardServer.h"
#include "PendingRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <map>
#include <set>
#include <vector>

namespace {

typedef std::chrono::steady_clock Clock;

// One walk over the manager's list: every accepted (connected) endpoint, once.
std::vector<Socket*> AcceptedConnections(BoardServer& server) {
    std::vector<Socket*> endpoints;
    std::set<Socket*> seen;
    for (Socket* s = server.manager.NextSocket(true); s != nullptr; s = server.manager.NextSocket(false)) {
        if (!seen.insert(s).second) break;  // a lone entry is yielded again and again
        if (s->IsConnected()) endpoints.push_back(s);
    }
    return endpoints;
}

// What the reader knows about one accepted connection.
struct Connection {
    Clock::time_point seen;
    Clock::time_point firstByte;
    PendingRecord record;
    bool complete = false;
};

class Reader {
public:
    explicit Reader(BoardServer& server_) : server(server_) {}

    ~Reader() {
        // The reader owns every accepted connection it has seen; none outlives it.
        for (auto& entry : connections) delete entry.first;
    }

    void Pass() {
        std::vector<Socket*> endpoints = AcceptedConnections(server);
        MakeRoom(endpoints);
        // Sleep until a connection has something to say; one whose record is
        // complete and only waits for the lock is not watched.
        std::vector<SocketHandle> handles;
        std::vector<std::size_t> watched;
        for (std::size_t i = 0; i < endpoints.size(); ++i) {
            auto found = connections.find(endpoints[i]);
            if (found != connections.end() && found->second.complete) continue;
            handles.push_back(endpoints[i]->Handle());
            watched.push_back(i);
        }
        std::vector<bool> ready = WaitReadable(handles, server.readerWaitMs.load());
        std::vector<bool> readable(endpoints.size(), false);
        for (std::size_t k = 0; k < watched.size(); ++k) readable[watched[k]] = ready[k];
        for (std::size_t i = 0; i < endpoints.size() && !server.stopFlag; ++i) Handle(endpoints[i], readable[i]);
        server.lastReaderPassMs = SteadyMs();
    }

private:
    Connection& Known(Socket* endpoint, Clock::time_point now) {
        auto found = connections.find(endpoint);
        if (found == connections.end()) {
            found = connections.emplace(endpoint, Connection()).first;
            found->second.seen = now;
        }
        return found->second;
    }

    // Past the limit, the connections that have been silent longest are closed
    // so that a flood of idle ones cannot lock desks out.
    void MakeRoom(std::vector<Socket*>& endpoints) {
        const int limit = server.maxConnections.load();
        if (limit <= 0 || endpoints.size() <= static_cast<std::size_t>(limit)) return;
        Clock::time_point now = Clock::now();
        std::vector<std::pair<Clock::time_point, Socket*>> silent;
        for (Socket* endpoint : endpoints) {
            Connection& c = Known(endpoint, now);
            if (!c.complete && c.record.Empty()) silent.push_back({c.seen, endpoint});
        }
        if (silent.size() <= static_cast<std::size_t>(limit)) return;
        std::size_t excess = silent.size() - static_cast<std::size_t>(limit);
        std::partial_sort(silent.begin(), silent.begin() + static_cast<std::ptrdiff_t>(excess), silent.end());
        std::set<Socket*> closed;
        for (std::size_t i = 0; i < excess; ++i) {
            closed.insert(silent[i].second);
            Destroy(silent[i].second, server.counters.closedRoomMade);
        }
        endpoints.erase(
            std::remove_if(endpoints.begin(), endpoints.end(), [&closed](Socket* s) { return closed.count(s) != 0; }),
            endpoints.end());
    }

    void Handle(Socket* endpoint, bool readable) {
        Clock::time_point now = Clock::now();
        Connection& c = Known(endpoint, now);
        if (!c.complete && readable && !ReadSome(endpoint, c)) return;
        if (!c.complete) {
            if (!c.record.Empty() && now - c.firstByte >= std::chrono::milliseconds(RecordGatherMs)) {
                c.complete = true;
            } else if (c.record.Empty() &&
                       now - c.seen >= std::chrono::milliseconds(server.silentConnectionMs.load())) {
                Destroy(endpoint, server.counters.closedSilent);
                return;
            }
        }
        if (c.complete) TryStore(endpoint, c);
    }

    // False when the connection was destroyed.
    bool ReadSome(Socket* endpoint, Connection& c) {
        std::uint32_t waiting = 0;
        try {
            endpoint->IoControl(SocketFionRead, &waiting);
        } catch (const CExcept& e) {
            (void)e.GetText();
            waiting = 0;
        }
        try {
            std::uint16_t length = 0;
            const char* data = endpoint->Receive(length);
            if (length == 0) {
                // The peer has closed: store what came, or give up a connection that sent nothing.
                if (c.record.Empty()) {
                    Destroy(endpoint, server.counters.closedPeerEnded);
                    return false;
                }
                c.complete = true;
                return true;
            }
            if (c.record.Empty()) c.firstByte = Clock::now();
            if (c.record.Append(data, length)) c.complete = true;
        } catch (const CExcept& e) {
            (void)e.GetText();
            Destroy(endpoint, server.counters.closedFailedReceive);
            return false;
        }
        return true;
    }

    void TryStore(Socket* endpoint, Connection& c) {
        // On a time-out the record stays with its connection for a later pass.
        TableHold hold(server.tableLock, std::chrono::milliseconds(1000));
        if (!hold) return;
        const StatusRecord record = c.record.Record();
        RowChange change;
        if (server.rowChanged) {
            std::int32_t before = server.table.Find(record.Name());
            change.added = before < 0;
            if (!change.added) change.before = server.table.Row(static_cast<std::size_t>(before));
            change.after = record;
            change.sender = endpoint->PeerAddress();
        }
        // No room for a new row just now (bad_alloc): the record stays with its connection for a later pass.
        if (server.webUpdates) {
            bool shown = true;
            server.table.StoreFromDesk(record, shown);
            change.kept = !shown;
        } else {
            server.table.Store(record);
        }
        connections.erase(endpoint);
        delete endpoint;
        --server.pendingCount;
        ++server.counters.recordsStored;
        if (server.rowChanged) server.rowChanged(change);
        if (server.boardChanged) server.boardChanged();
    }

    void Destroy(Socket* endpoint, std::atomic<std::uint64_t>& why) {
        connections.erase(endpoint);
        delete endpoint;
        ++why;
    }

    BoardServer& server;
    std::map<Socket*, Connection> connections;
};

// A thread that cannot go on must not leave a board that looks alive but stores nothing.
[[noreturn]] void WorkerFailed(BoardServer& server, const char* thread) {
    std::string text = std::string("The board's ") + thread + " thread failed; the board ends.";
    if (server.workerFailed) server.workerFailed(text);
    std::fprintf(stderr, "pegmast: %s\n", text.c_str());
    std::_Exit(1);
}

}  // namespace

int AcceptThread(BoardServer& server) {
    while (!server.stopFlag) {
        try {
            server.listeningSocket->Accept();
            ++server.pendingCount;
        } catch (const CExcept& e) {
            (void)e.GetText();
        } catch (const std::exception& e) {
            // Out of memory or threads for one connection: the next one may fare better.
            (void)e.what();
        } catch (...) {
            WorkerFailed(server, "accept");
        }
        // Pacing: at most four connections a second; the rest wait in the backlog.
        std::this_thread::sleep_for(std::chrono::milliseconds(server.acceptPacingMs.load()));
    }
    return 0;
}

int ReaderThread(BoardServer& server) {
    try {
        Reader reader(server);
        while (!server.stopFlag) {
            try {
                reader.Pass();
            } catch (const std::exception& e) {
                // Every lock is released by now and each record is still with its
                // connection: pause one wait's length, then serve on.
                (void)e.what();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    } catch (...) {
        WorkerFailed(server, "reader");
    }
    return 0;
}

void StartWorkers(BoardServer& server) {
    server.stopFlag = false;
    server.acceptThread.Start([&server] { AcceptThread(server); });
    server.readerThread.Start([&server] { ReaderThread(server); });
}

bool StopWorkers(BoardServer& server) {
    server.stopFlag = true;
    if (server.listeningSocket) server.listeningSocket->Close();
    bool acceptEnded = server.acceptThread.JoinFor(std::chrono::milliseconds(3000));
    bool readerEnded = server.readerThread.JoinFor(std::chrono::milliseconds(3000));
    if (!acceptEnded || !readerEnded) return false;
    // Connections accepted after the reader's last pass have no other owner.
    for (Socket* s : AcceptedConnections(server)) delete s;
    return true;
}
