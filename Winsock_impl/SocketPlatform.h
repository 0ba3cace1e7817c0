// The narrow seam between the socket layer and the platform's socket calls.
// One implementation per platform: Windows Sockets or POSIX sockets. Every
// failing call leaves LastError() holding the Windows Sockets number.
#pragma once

#include <cstdint>
#include <vector>

#include "Socket.h"

namespace platform {

const int Failure = -1;
extern const int LargestBacklog;  // SOMAXCONN

int Startup(std::uint16_t* grantedVersion);  // 0 when the library started
void Cleanup();
int LastError();
// The Windows Sockets number of an error the system reported in its own terms.
int SocketErrorNumber(int systemError);

SocketHandle Open(int type);
int CloseHandle(SocketHandle handle);
bool IsListening(SocketHandle handle);
int Bind(SocketHandle handle, std::uint16_t port);
int Listen(SocketHandle handle, int backlog);
SocketHandle Accept(SocketHandle handle);
// The connected peer's IPv4 address in network order; 0 when it cannot be had.
std::uint32_t PeerAddress(SocketHandle handle);
int Connect(SocketHandle handle, std::uint32_t address, std::uint16_t port);
long Send(SocketHandle handle, const void* data, int length);
long Recv(SocketHandle handle, void* buffer, int length);
int Ioctl(SocketHandle handle, std::int32_t command, std::uint32_t* argument);

std::uint32_t InetAddr(const char* text);
bool HostName(char* buffer, int size);
// Every IPv4 address the name service gives for a name, in its order.
bool Lookup(const char* name, std::vector<std::uint32_t>& addresses);
// First IPv4 address of the machine's interfaces that is not loopback.
bool FirstInterfaceAddress(std::uint32_t* address);
std::vector<bool> WaitReadable(const std::vector<SocketHandle>& handles, int timeoutMs);

}  // namespace platform
