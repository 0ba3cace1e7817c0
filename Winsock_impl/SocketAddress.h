// An IPv4 endpoint as both platforms' socket calls take it.
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstdint>
#include <cstring>

namespace platform {

// `address` in network order; 0 is any address.
inline sockaddr_in Endpoint(std::uint32_t address, std::uint16_t port) {
    sockaddr_in record;
    std::memset(&record, 0, sizeof record);
    record.sin_family = AF_INET;
    record.sin_port = htons(port);
    record.sin_addr.s_addr = address;
    return record;
}

}  // namespace platform
