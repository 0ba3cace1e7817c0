#include "RollCall.h"

#include <algorithm>

#include "AsciiText.h"
#include "WebUpdates.h"
#include "Windows1252.h"

namespace {

bool SaidGoodbye(const SnapshotRow& row) {
    return !row.fromBrowser && row.status == StatusOther && row.message == "Client shutdown";
}

bool DeskSaysIn(const SnapshotRow& row) { return row.fromBrowser && row.hasDesk && row.deskStatus == StatusIn; }

std::string LocalTime(std::time_t when) {
    std::tm parts = LocalParts(when);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
    return text;
}

}  // namespace

std::string SpreadsheetField(const std::string& text) {
    std::string out = "\"";
    if (!text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos) out += '\'';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::vector<RollGroup> RollCallGroups(const BoardSnapshot& snapshot) {
    std::vector<RollGroup> groups = {{"In", {}}, {"No word for a while", {}}, {"Other", {}}, {"Out", {}}};
    const std::int64_t silentAfter =
        60 * static_cast<std::int64_t>(snapshot.silentMinutes ? snapshot.silentMinutes : 3);
    for (const SnapshotRow& row : snapshot.rows) {
        const bool silent = !snapshot.asAtMs && row.ageSeconds > silentAfter;
        std::size_t group = SaidGoodbye(row)          ? 2
                            : silent                  ? 1
                            : DeskSaysIn(row)         ? 0
                            : row.status == StatusIn  ? 0
                            : row.status == StatusOut ? 3
                                                      : 2;
        groups[group].rows.push_back(row);
    }
    // Everybody in the staff directory is on it: the unheard have had no word at all.
    for (const SnapshotRow& person : snapshot.unheard) groups[1].rows.push_back(person);
    // Out by a plan: not expected in the building, whether the desk still speaks
    // or not; a group of its own only on a board that has such rows.
    RollGroup planned{"Planned away", {}};
    for (RollGroup& group : groups)
        for (auto it = group.rows.begin(); it != group.rows.end();)
            if (it->planned && it->status == StatusOut) {
                planned.rows.push_back(*it);
                it = group.rows.erase(it);
            } else {
                ++it;
            }
    if (!planned.rows.empty()) groups.push_back(planned);
    // By the names people answer to: the display name where the directory gives one.
    auto called = [](const SnapshotRow& row) {
        return AsciiLower(row.displayName.empty() ? Windows1252ToUtf8(row.name) : row.displayName);
    };
    for (RollGroup& group : groups)
        std::stable_sort(group.rows.begin(), group.rows.end(),
                         [&called](const SnapshotRow& a, const SnapshotRow& b) { return called(a) < called(b); });
    return groups;
}

std::string RollMessage(const SnapshotRow& row, std::size_t group) {
    if (row.unheard) return "no word yet";
    if (group != 0 || !DeskSaysIn(row) || row.status == StatusIn) return row.message;
    return std::string("set from a browser: ") + StatusName(row.status) + (row.message.empty() ? "" : ", ") +
           row.message;
}

std::string RollCsv(const BoardSnapshot& snapshot, std::time_t now) {
    std::string csv = "\xEF\xBB\xBF\"Group\",\"Name\",\"Status\",\"Message\",\"Last heard\"";
    // The directory's columns after the existing ones, whose positions stay; a
    // roll call of a moment gone says which moment on every line, last.
    if (snapshot.hasDirectory) csv += ",\"Display name\",\"Directory group\"";
    if (snapshot.signIn) csv += ",\"Set by\"";  // where people sign in, who set a browser's word
    const std::string asAt =
        snapshot.asAtMs ? "as at " + LocalTime(static_cast<std::time_t>(snapshot.asAtMs / 1000)) : "";
    csv += asAt.empty() ? "\r\n" : ",\"As at\"\r\n";
    const std::vector<RollGroup> groups = RollCallGroups(snapshot);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (const SnapshotRow& row : groups[g].rows) {
            std::int64_t age = row.ageSeconds < 0 ? 0 : row.ageSeconds;
            const std::int32_t status = g == 0 && DeskSaysIn(row) ? StatusIn : row.status;
            csv += SpreadsheetField(groups[g].title) + "," + SpreadsheetField(Windows1252ToUtf8(row.name)) + "," +
                   SpreadsheetField(row.unheard ? "" : StatusName(status)) + "," +
                   SpreadsheetField(Windows1252ToUtf8(RollMessage(row, g))) + "," +
                   SpreadsheetField(row.unheard ? "" : LocalTime(now - static_cast<std::time_t>(age)));
            if (snapshot.hasDirectory)
                csv += "," + SpreadsheetField(row.displayName) + "," + SpreadsheetField(row.group);
            if (snapshot.signIn)
                csv += "," + SpreadsheetField(row.author.empty()          ? ""
                                              : row.authorDisplay.empty() ? Windows1252ToUtf8(row.author)
                                                                          : row.authorDisplay);
            if (!asAt.empty()) csv += "," + SpreadsheetField(asAt);
            csv += "\r\n";
        }
    }
    return csv;
}
