#include "BoardMetrics.h"

bool BoardHealthy(const BoardServer& board, std::int64_t nowMs, std::string& reason) {
    if (!board.listening.load()) {
        reason = "the board port is not listening";
        return false;
    }
    std::int64_t last = board.lastReaderPassMs.load();
    if (last == 0 || nowMs - last > ReaderStuckMs) {
        reason = last == 0 ? "the reader thread has not completed a pass yet"
                           : "the reader thread has not completed a pass for " + std::to_string((nowMs - last) / 1000) +
                                 " seconds";
        return false;
    }
    return true;
}

MetricsValues ReadMetrics(const BoardServer& board, const std::map<int, std::uint64_t>& webRequests) {
    MetricsValues v;
    v.rows = board.table.RowCount();
    std::int32_t open = board.manager.SocketCount() - 1;  // less the listener
    v.openConnections = open < 0 ? 0 : open;
    v.pendingConnections = board.pendingCount.load();
    const BoardCounters& c = board.counters;
    v.recordsStored = c.recordsStored.load();
    v.closedSilent = c.closedSilent.load();
    v.closedFailedReceive = c.closedFailedReceive.load();
    v.closedPeerEnded = c.closedPeerEnded.load();
    v.closedRoomMade = c.closedRoomMade.load();
    v.stateWrites = c.stateWrites.load();
    v.stateWriteFailures = c.stateWriteFailures.load();
    v.webRequests = webRequests;
    v.startTime = board.startTime;
    if (board.directory) {
        const DirectoryState d = board.directory->State();
        v.directory = true;
        v.directoryEntries = static_cast<std::int64_t>(d.list->people.size());
        v.directoryLastSuccess = d.updatedMs / 1000;
        v.directoryFailures = d.failures;
    }
    return v;
}

namespace {

void Family(std::string& text, const char* name, const char* type, const char* help) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

template <typename T>
void Sample(std::string& text, const char* name, const std::string& labels, T value) {
    text += name;
    if (!labels.empty()) text += "{" + labels + "}";
    text += " " + std::to_string(value) + "\n";
}

}  // namespace

std::string MetricsText(const MetricsValues& v) {
    std::string t;
    Family(t, "pegora_rows", "gauge", "Rows on the board.");
    Sample(t, "pegora_rows", "", v.rows);
    Family(t, "pegora_connections_open", "gauge", "Accepted desk connections still open.");
    Sample(t, "pegora_connections_open", "", v.openConnections);
    Family(t, "pegora_connections_pending", "gauge", "Accepted desk connections whose record has not been stored.");
    Sample(t, "pegora_connections_pending", "", v.pendingConnections);
    Family(t, "pegora_records_stored_total", "counter", "Status records stored since the start.");
    Sample(t, "pegora_records_stored_total", "", v.recordsStored);
    Family(t, "pegora_connections_closed_unread_total", "counter",
           "Desk connections closed before a record came, by reason.");
    Sample(t, "pegora_connections_closed_unread_total", "reason=\"silent\"", v.closedSilent);
    Sample(t, "pegora_connections_closed_unread_total", "reason=\"failed_receive\"", v.closedFailedReceive);
    Sample(t, "pegora_connections_closed_unread_total", "reason=\"peer_closed\"", v.closedPeerEnded);
    Sample(t, "pegora_connections_closed_unread_total", "reason=\"room_made\"", v.closedRoomMade);
    Family(t, "pegora_web_requests_total", "counter", "Web view requests answered, by status code.");
    for (const auto& entry : v.webRequests)
        Sample(t, "pegora_web_requests_total", "code=\"" + std::to_string(entry.first) + "\"", entry.second);
    Family(t, "pegora_state_writes_total", "counter", "State file writes that succeeded.");
    Sample(t, "pegora_state_writes_total", "", v.stateWrites);
    Family(t, "pegora_state_write_failures_total", "counter", "State file writes that failed.");
    Sample(t, "pegora_state_write_failures_total", "", v.stateWriteFailures);
    Family(t, "pegora_start_time_seconds", "gauge", "When the board started, in seconds since 1970 (UTC).");
    Sample(t, "pegora_start_time_seconds", "", v.startTime);
    if (!v.directory) return t;
    Family(t, "pegora_directory_entries", "gauge", "People in the staff directory's list in use.");
    Sample(t, "pegora_directory_entries", "", v.directoryEntries);
    Family(t, "pegora_directory_unheard", "gauge", "People in the staff directory with no row on the board.");
    Sample(t, "pegora_directory_unheard", "", v.directoryUnheard);
    Family(t, "pegora_directory_last_success_timestamp_seconds", "gauge",
           "When the staff directory was last read whole, in seconds since 1970 (UTC); 0: never.");
    Sample(t, "pegora_directory_last_success_timestamp_seconds", "", v.directoryLastSuccess);
    Family(t, "pegora_directory_refresh_failures_total", "counter", "Staff directory reads that failed.");
    Sample(t, "pegora_directory_refresh_failures_total", "", v.directoryFailures);
    return t;
}
