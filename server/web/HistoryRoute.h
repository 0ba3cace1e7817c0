// What the rows showed, for those who may change them: GET /history (JSON)
// and /history.csv, filtered by ?name=, ?from= and ?to= (the board's local
// time, "2026-12-09" or "2026-12-09T14:05"). Served only on a board that
// takes words from browsers with a code, to a request that carries the code
// in X-Pegora-Code; wrong codes count against the guard as updates do.
#pragma once

#include <string>

#include "WebRoutes.h"

// The most entries one answer gives: the newest of those asked for.
const std::size_t MaxHistoryAnswer = 10000;

bool IsHistoryRoute(const std::string& path);
WebResponse HistoryAnswer(const WebRequest& request, const WebSources& sources);

// The roll call as it stood at ?at= (the same local time): GET /roll.json for
// the page and /roll.csv?at= for a spreadsheet, with the history's rights.
bool IsRollAtRoute(const WebRequest& request);
WebResponse RollAtAnswer(const WebRequest& request, const WebSources& sources);

// The value of `key` in the target's query, %-decoded; false when it is not there.
bool QueryValue(const std::string& target, const std::string& key, std::string& value);
// A query's text in Windows-1252 where it is UTF-8, else as it came.
std::string FromUtf8(const std::string& text);
// A local date or date and time as milliseconds since 1970; false when it is neither.
bool LocalTimeMs(const std::string& text, std::int64_t& ms);
