// Whose word a row shows: a desk's record, a word given in a browser, or a
// plan entered ahead.
// Desks re-send once a minute, so a browser's word would be gone within a
// minute if every record were simply stored; each row therefore keeps, beside
// the record it shows, where that came from, the desk's last record and an
// optional "until" time. One function per event; the painter, the web view
// and the state file only read the result.
#pragma once

#include <cstdint>

#include "StatusRecord.h"

enum class RowSource : std::uint8_t { Desk = 0, Browser = 1, Plan = 2 };

struct RowWord {
    RowSource source = RowSource::Desk;
    bool hasDesk = false;
    StatusRecord desk;  // the desk's last record
    bool hasUntil = false;
    std::int64_t untilMs = 0;  // calendar time, milliseconds since 1970 UTC
    // Since when the shown status and message have stood (calendar time); 0
    // for a row not yet shown. Re-sends and equal records leave it.
    std::int64_t sinceMs = 0;
    // Who, signed in, set the browser's word (Windows-1252); empty: the desk, or the code.
    std::string author;
    // The plan's time last shown on this row (its id and start), kept after the
    // person has spoken over it, so that it is not shown again.
    std::int64_t planId = 0, planStartMs = 0;
    // What stood before the plan's word, to go back to at its end.
    bool hasBefore = false;
    StatusRecord before;
    RowSource beforeSource = RowSource::Desk;
    std::string beforeAuthor;
};

// The client's own automatic records: status 3 with "started but not signed
// in.", "Client shutdown" or "away from desk since HH:MM".
bool IsAutomaticRecord(const StatusRecord& record);

// A record from a desk. True when the row now shows it; false when the
// browser's word stays (a re-send, or an automatic record).
// `nowMs` is the calendar time, for the row's since.
bool OnDeskRecord(StatusRecord& shown, RowWord& word, const StatusRecord& record, std::int64_t nowMs);
// A record stored as it came, on a board that takes no words from browsers.
void OnRecord(StatusRecord& shown, RowWord& word, const StatusRecord& record, std::int64_t nowMs);
// A word given in a browser, with or without an "until".
void OnBrowserWord(StatusRecord& shown, RowWord& word, const StatusRecord& record, bool hasUntil, std::int64_t untilMs,
                   std::int64_t nowMs, const std::string& author = std::string());
// The clock. True when the word's time has come and the row shows the desk's
// last record again; without one the word stays, shown as passed.
bool OnUntilPassed(StatusRecord& shown, RowWord& word, std::int64_t nowMs);
// A plan's time starts: the row shows its word until `untilMs`, since its
// start, unless the person already spoke over this very time. `existed`: the
// row was there before (otherwise it goes at the end). True when it shows.
bool OnPlanStart(StatusRecord& shown, RowWord& word, bool existed, const StatusRecord& record, std::int64_t planId,
                 std::int64_t startMs, std::int64_t untilMs, const std::string& author);
// A plan's time ends: back to the desk's word if the desk still speaks, else
// to what stood before, else the desk's last word. False when there is
// nothing to go back to: the row leaves the board.
enum class PlanEnd { NotShown, Shown, Gone };
PlanEnd OnPlanEnd(StatusRecord& shown, RowWord& word, std::int64_t planId, std::int64_t startMs, bool deskSpeaks,
                  std::int64_t nowMs);
// A browser's word whose time has come and that has no desk record to fall back to.
inline bool UntilPassed(const RowWord& word, std::int64_t nowMs) {
    return word.source == RowSource::Browser && word.hasUntil && nowMs >= word.untilMs;
}
