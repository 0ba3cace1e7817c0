// Words given in a browser, carried into the board the way the reader stores
// a record: under tableLock with a timed wait, the change told to whoever
// listens, the board-changed notification posted.
#pragma once

#include <cstdint>
#include <string>

#include "BoardServer.h"

// False when tableLock could not be had within 1000 ms; nothing changed then.
// `author`: who, signed in, gave it (Windows-1252); empty for the code's holder.
bool StoreBrowserWord(BoardServer& board, const StatusRecord& record, bool hasUntil, std::int64_t untilMs,
                      const std::string& untilText, std::uint32_t sender, const std::string& author = std::string());
bool RemoveBrowserRow(BoardServer& board, const std::string& name, std::uint32_t sender, bool& found,
                      const std::string& author = std::string());
// Words whose "until" has come go back to their desk's record. Called a few
// times a second by the shell; waits for the lock only briefly.
void PassBrowserWords(BoardServer& board, std::int64_t nowMs);
