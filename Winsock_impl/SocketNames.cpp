// Names to IPv4 addresses: the same calls under Windows Sockets and POSIX,
// so they are written once; only the headers differ.
#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>

#include "SocketPlatform.h"

namespace platform {

std::uint32_t InetAddr(const char* text) { return ::inet_addr(text); }

bool Lookup(const char* name, std::vector<std::uint32_t>& addresses) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &list) != 0 || list == nullptr) return false;
    for (addrinfo* it = list; it != nullptr; it = it->ai_next) {
        if (it->ai_family == AF_INET) addresses.push_back(reinterpret_cast<sockaddr_in*>(it->ai_addr)->sin_addr.s_addr);
    }
    ::freeaddrinfo(list);
    return !addresses.empty();
}

}  // namespace platform
