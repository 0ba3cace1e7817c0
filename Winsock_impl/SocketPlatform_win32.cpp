// Windows Sockets 2.2 behind the layer.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstring>

#include "SocketAddress.h"
#include "SocketPlatform.h"

namespace platform {

const int LargestBacklog = SOMAXCONN;

namespace {

WSADATA wsaData;

SOCKET S(SocketHandle handle) { return static_cast<SOCKET>(handle); }

}  // namespace

int Startup(std::uint16_t* grantedVersion) {
    int result = ::WSAStartup(MAKEWORD(2, 2), &wsaData);
    *grantedVersion = wsaData.wVersion;
    return result;
}

void Cleanup() { ::WSACleanup(); }

int LastError() { return ::WSAGetLastError(); }

int SocketErrorNumber(int systemError) { return systemError; }

SocketHandle Open(int type) {
    SOCKET s = ::socket(AF_INET, type, 0);
    return s == INVALID_SOCKET ? InvalidSocketHandle : static_cast<SocketHandle>(s);
}

bool IsListening(SocketHandle handle) {
    BOOL value = FALSE;
    int size = sizeof value;
    return ::getsockopt(S(handle), SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&value), &size) == 0 &&
           value != FALSE;
}

int CloseHandle(SocketHandle handle) { return ::closesocket(S(handle)) == SOCKET_ERROR ? Failure : 0; }

int Bind(SocketHandle handle, std::uint16_t port) {
    sockaddr_in record = Endpoint(0, port);  // any address
    return ::bind(S(handle), reinterpret_cast<sockaddr*>(&record), sizeof record) == SOCKET_ERROR ? Failure : 0;
}

int Listen(SocketHandle handle, int backlog) { return ::listen(S(handle), backlog) == SOCKET_ERROR ? Failure : 0; }

SocketHandle Accept(SocketHandle handle) {
    SOCKET s = ::accept(S(handle), nullptr, nullptr);
    return s == INVALID_SOCKET ? InvalidSocketHandle : static_cast<SocketHandle>(s);
}

std::uint32_t PeerAddress(SocketHandle handle) {
    sockaddr_in peer;
    int size = sizeof peer;
    if (::getpeername(S(handle), reinterpret_cast<sockaddr*>(&peer), &size) != 0 || peer.sin_family != AF_INET)
        return 0;
    return peer.sin_addr.s_addr;
}

int Connect(SocketHandle handle, std::uint32_t address, std::uint16_t port) {
    sockaddr_in record = Endpoint(address, port);
    return ::connect(S(handle), reinterpret_cast<sockaddr*>(&record), sizeof record) == SOCKET_ERROR ? Failure : 0;
}

long Send(SocketHandle handle, const void* data, int length) {
    int n = ::send(S(handle), static_cast<const char*>(data), length, 0);
    return n == SOCKET_ERROR ? Failure : n;
}

long Recv(SocketHandle handle, void* buffer, int length) {
    int n = ::recv(S(handle), static_cast<char*>(buffer), length, 0);
    return n == SOCKET_ERROR ? Failure : n;
}

int Ioctl(SocketHandle handle, std::int32_t command, std::uint32_t* argument) {
    u_long value = 0;
    if (::ioctlsocket(S(handle), static_cast<long>(command), &value) == SOCKET_ERROR) return Failure;
    *argument = value;
    return 0;
}

bool HostName(char* buffer, int size) {
    if (::gethostname(buffer, size) == SOCKET_ERROR) return false;
    buffer[size - 1] = '\0';
    return true;
}

bool FirstInterfaceAddress(std::uint32_t* address) {
    ULONG size = 0;
    if (::GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return false;
    std::vector<unsigned char> buffer(size);
    IP_ADAPTER_INFO* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (::GetAdaptersInfo(list, &size) != NO_ERROR) return false;
    for (IP_ADAPTER_INFO* it = list; it != nullptr; it = it->Next) {
        for (IP_ADDR_STRING* ip = &it->IpAddressList; ip != nullptr; ip = ip->Next) {
            std::uint32_t a = ::inet_addr(ip->IpAddress.String);
            if (a == INADDR_NONE || a == 0 || (::ntohl(a) >> 24) == 127) continue;
            *address = a;
            return true;
        }
    }
    return false;
}

std::vector<bool> WaitReadable(const std::vector<SocketHandle>& handles, int timeoutMs) {
    std::vector<WSAPOLLFD> fds(handles.size());
    for (std::size_t i = 0; i < handles.size(); ++i) {
        fds[i].fd = S(handles[i]);
        fds[i].events = POLLRDNORM;
        fds[i].revents = 0;
    }
    std::vector<bool> ready(handles.size(), false);
    if (fds.empty()) {
        ::Sleep(static_cast<DWORD>(timeoutMs));
        return ready;
    }
    int n = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
    if (n > 0) {
        for (std::size_t i = 0; i < fds.size(); ++i)
            ready[i] = (fds[i].revents & (POLLRDNORM | POLLHUP | POLLERR | POLLNVAL)) != 0;
    } else if (n == SOCKET_ERROR) {
        // The wait itself failed: still take its time, so a caller's loop never spins.
        ::Sleep(static_cast<DWORD>(timeoutMs));
    }
    return ready;
}

}  // namespace platform
