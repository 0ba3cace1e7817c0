// The board's health check and its metrics in the Prometheus text format:
// counts and times only, never a name or a message.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "BoardServer.h"

// How stale the reader's last pass may be before the board counts as stuck.
const std::int64_t ReaderStuckMs = 5000;

// True while the board port listens and the reader has ended a pass within
// ReaderStuckMs of `nowMs`; otherwise false with the reason in words.
bool BoardHealthy(const BoardServer& board, std::int64_t nowMs, std::string& reason);

struct MetricsValues {
    std::int64_t rows = 0;
    std::int64_t openConnections = 0;
    std::int64_t pendingConnections = 0;
    std::uint64_t recordsStored = 0;
    std::uint64_t closedSilent = 0, closedFailedReceive = 0, closedPeerEnded = 0, closedRoomMade = 0;
    std::uint64_t stateWrites = 0, stateWriteFailures = 0;
    std::map<int, std::uint64_t> webRequests;  // by status code
    std::int64_t startTime = 0;
    // With a staff directory.
    bool directory = false;
    std::int64_t directoryEntries = 0, directoryUnheard = 0, directoryLastSuccess = 0;
    std::uint64_t directoryFailures = 0;
};

MetricsValues ReadMetrics(const BoardServer& board, const std::map<int, std::uint64_t>& webRequests);
std::string MetricsText(const MetricsValues& values);
