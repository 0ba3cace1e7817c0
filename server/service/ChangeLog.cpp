#include "ChangeLog.h"

#include "Windows1252.h"

namespace {

std::string Printable(const std::string& windows1252) {
    std::string text = Windows1252ToUtf8(windows1252);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

}  // namespace

bool IsChange(const RowChange& change) {
    if (change.unchanged) return false;                      // the form sent again as it was
    if (change.fromBrowser || change.fromPlan) return true;  // every browser change and removal, every plan's switch
    if (change.untilPassed) return true;                     // the row shows its desk again, whatever it says
    if (change.kept) return false;                           // the browser's word stays shown
    return change.added || change.before.Status() != change.after.Status() ||
           change.before.Message() != change.after.Message();
}

std::string ChangeLine(const RowChange& change) {
    std::string line = Printable(change.after.Name()) + ": ";
    if (change.fromPlan) {
        line += change.removed ? std::string("a plan's time ended, nothing to go back to: off the board")
                               : std::string(change.added ? "new row" : StatusName(change.before.Status())) + " -> " +
                                     StatusName(change.after.Status()) + ", by a plan";
        if (!change.author.empty()) line += " entered by " + Printable(change.author);
        return line;
    } else if (change.removed) {
        line += "removed from a browser";
    } else if (change.fromBrowser) {
        line += std::string(change.added ? "new row" : StatusName(change.before.Status())) + " -> " +
                StatusName(change.after.Status()) + ", set from a browser";
        if (!change.until.empty()) line += " until " + change.until;
    } else if (change.untilPassed) {
        line += std::string(StatusName(change.before.Status())) + " -> " + StatusName(change.after.Status()) +
                ", the browser's word ran out: the desk's record again";
        return line;
    } else if (change.added) {
        line += std::string("new row, ") + StatusName(change.after.Status());
    } else {
        line += std::string(StatusName(change.before.Status())) + " -> " + StatusName(change.after.Status());
        if (change.before.Message() != change.after.Message()) line += " (new message)";
    }
    if (!change.author.empty()) line += ", by " + Printable(change.author);
    return line + ", from " + (change.sender ? DottedAddress(change.sender) : std::string("an unknown address"));
}

HistoryEntry HistoryOf(const RowChange& change, std::int64_t atMs) {
    HistoryEntry entry;
    entry.atMs = atMs;
    entry.name = change.after.Name();
    entry.status = change.after.Status();
    entry.message = change.after.Message();
    entry.until = change.until;
    entry.source = change.removed       ? "removed"
                   : change.fromPlan    ? "plan"
                   : change.fromBrowser ? "browser"
                   : change.untilPassed ? "until passed"
                                        : "desk";
    if (change.sender) entry.from = DottedAddress(change.sender);
    entry.author = change.author;
    return entry;
}
