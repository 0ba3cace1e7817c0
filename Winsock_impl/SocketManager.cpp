// The one manager per program: library start and stop, the list of live
// endpoints with its shared walk, and the two address look-ups.
#include <cstring>

#include "Socket.h"
#include "SocketPlatform.h"

namespace {

const std::uint32_t AllOnes = 0xFFFFFFFFu;

// liveSockets and the walk over it are shared by every thread of the program;
// one mutex keeps the list, its count and the walk position consistent.
struct LiveSockets {
    std::mutex lock;
    std::list<Socket*> entries;
    std::int32_t count = 0;
    std::list<Socket*>::iterator walkPosition;
    bool walkPlaced = false;
    // The entry under the walk was removed and the walk already stands on its follower.
    bool walkOnFollower = false;
};

LiveSockets& Live() {
    static LiveSockets live;
    return live;
}

bool IsLoopback(std::uint32_t networkOrder) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&networkOrder);
    return b[0] == 127;
}

}  // namespace

ErrorTextMap& ErrorTextTable() {
    static ErrorTextMap table;
    return table;
}

SocketManager::SocketManager() : started(false) {
    // Construct the list, then the table, so that both outlive this manager.
    Live();
    ErrorTextTable();
}

SocketManager::~SocketManager() {
    LiveSockets& live = Live();
    {
        std::lock_guard<std::mutex> guard(live.lock);
        while (!live.entries.empty()) {
            live.entries.pop_front();
            --live.count;
        }
        live.walkPlaced = false;
        live.walkOnFollower = false;
    }
    platform::Cleanup();
}

void SocketManager::Startup() {
    started = false;
    std::uint16_t granted = 0;
    if (platform::Startup(&granted) != 0) return;
    if (granted != 0x0202) return;
    FillErrorTextTable();
    started = true;
}

void SocketManager::Cleanup() { platform::Cleanup(); }

Socket* SocketManager::CreateSocket() {
    Socket* endpoint = new Socket(this, 1);  // a raise here frees the memory and lists nothing
    LiveSockets& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    live.entries.push_back(endpoint);
    ++live.count;
    return endpoint;
}

void SocketManager::RemoveSocket(Socket* endpoint) {
    LiveSockets& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    for (auto it = live.entries.begin(); it != live.entries.end(); ++it) {
        if (*it != endpoint) continue;
        if (live.walkPlaced && live.walkPosition == it) {
            live.walkPosition = live.entries.erase(it);
            live.walkOnFollower = true;
        } else {
            live.entries.erase(it);
        }
        --live.count;
        return;
    }
}

std::int32_t SocketManager::SocketCount() {
    LiveSockets& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    return live.count;
}

Socket* SocketManager::NextSocket(bool restart) {
    LiveSockets& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    if (!live.walkPlaced) {
        // The first call places the walk, on the end mark when the list is empty.
        live.walkPosition = live.entries.begin();
        live.walkPlaced = true;
        live.walkOnFollower = false;
    }
    if (live.count <= 0) return nullptr;
    if (restart || live.count < 2) {
        live.walkPosition = live.entries.begin();
    } else if (live.walkOnFollower) {
        // The removal already moved the walk onto the entry that followed.
    } else if (live.walkPosition == live.entries.end()) {
        live.walkPosition = live.entries.begin();
    } else {
        ++live.walkPosition;
    }
    live.walkOnFollower = false;
    return live.walkPosition == live.entries.end() ? nullptr : *live.walkPosition;
}

std::uint32_t SocketManager::LocalAddress() {
    char name[200];
    if (!platform::HostName(name, sizeof name)) return AllOnes;
    std::vector<std::uint32_t> addresses;
    if (!platform::Lookup(name, addresses)) return AllOnes;
    for (std::uint32_t a : addresses)
        if (!IsLoopback(a)) return a;
    // The host name only maps to loopback (Debian's 127.0.1.1): no client could
    // use that, so show the address of a real interface.
    std::uint32_t address = AllOnes;
    if (platform::FirstInterfaceAddress(&address)) return address;
    return AllOnes;
}

std::uint32_t SocketManager::ResolveAddress(const char* text) {
    std::uint32_t address = platform::InetAddr(text);
    if (address != AllOnes) return address;
    std::vector<std::uint32_t> addresses;
    if (platform::Lookup(text, addresses)) return addresses.front();
    return AllOnes;
}

const char* SocketManager::LastErrorText() { return ErrorText(LastErrorCode()); }

int SocketManager::LastErrorCode() { return platform::LastError(); }

std::string DottedAddress(std::uint32_t address) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}
