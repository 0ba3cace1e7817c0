#include "ClientState.h"

#include <cstring>

ClientConfig::ClientConfig() : port(DefaultClientPort) {
    std::memset(serverAddress, 0, sizeof serverAddress);
    std::strcpy(serverAddress, DefaultServerAddress);
}

std::string ClientConfig::ServerAddress() const {
    return std::string(serverAddress, strnlen(serverAddress, sizeof serverAddress));
}

void ClientConfig::SetServerAddress(const std::string& text) {
    std::size_t length = text.size() < sizeof serverAddress - 1 ? text.size() : sizeof serverAddress - 1;
    std::memcpy(serverAddress, text.data(), length);
    serverAddress[length] = 0;
}

StatusRecord ClientState::RecordCopy() {
    std::lock_guard<std::mutex> guard(lock);
    return record;
}

ClientConfig ClientState::ConfigCopy() {
    std::lock_guard<std::mutex> guard(lock);
    return config;
}
