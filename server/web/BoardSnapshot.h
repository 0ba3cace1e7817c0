// What the web view shows: a copy of the board taken the way the painter
// reads it, and the JSON made from that copy outside the lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "BoardServer.h"
#include "HistoryEntry.h"

struct SnapshotRow {
    std::string name;     // the record's bytes, Windows-1252
    std::int32_t status;  // as stored
    std::string message;
    std::int64_t ageSeconds;
    bool fromBrowser = false;
    std::string until;     // "HH:MM" of a browser's word, when it has one
    bool passed = false;   // that time has come with no desk record to go back to
    bool hasDesk = false;  // beside a browser's word: the desk's last record
    std::int32_t deskStatus = 0;
    std::int64_t sinceMs = 0;  // since when the row's words have stood, board clock
    std::int64_t sinceSeconds = 0;
    // From the staff directory, UTF-8 (the display name empty only for a row the
    // directory does not know); an unheard person is a directory entry with no row.
    std::string displayName, group, phone;
    bool unheard = false;
    // Who, signed in, set the browser's word (Windows-1252), and their display name (UTF-8).
    std::string author, authorDisplay;
    // A plan's word shows until `backMs`; and the next plan within two weeks, as local times.
    bool planned = false;
    std::int64_t backMs = 0;
    bool hasNextPlan = false;
    std::string nextStart, nextEnd, nextMessage;
    std::int32_t nextStatus = 0;
};

struct BoardSnapshot {
    std::int32_t pending = 0;
    std::int32_t open = 0;
    std::uint32_t silentMinutes = 0;
    bool updates = false;     // words from browsers are taken
    bool codeNeeded = false;  // and need the board's code
    bool signIn = false;      // or people sign in
    bool history = false;     // the history is served, to the code's holders
    std::vector<SnapshotRow> rows;
    bool hasDirectory = false;
    DirectoryState directory;
    std::vector<SnapshotRow> unheard;  // directory people with no row, in its order
    // A roll call rebuilt from the history as it stood at this moment (ms since
    // 1970): the rows said what they said then, and nobody counts as silent.
    std::int64_t asAtMs = 0;
};

// The snapshot as the rows stood at `atMs`, from each row's last history entry
// by then, with today's staff directory beside them (null: none).
BoardSnapshot SnapshotAt(std::int64_t atMs, const std::vector<HistoryEntry>& standing, const StaffDirectory* directory);

// Copies the rows under tableLock, waiting at most 1500 ms; false when the
// lock could not be had in that time. With a staff directory, each row gets
// its person's names and the unheard are listed, after the lock is left.
bool TakeSnapshot(BoardServer& server, BoardSnapshot& snapshot);

// {["asAt":ms,]"counter":{"pending":a,"open":b},"silentMinutes":m,"updates":u,"code":c,["history":true,]
// "rows":[{"name":..,"status":1..3,"word":"in"|"out"|"other","message":..,
// "age":seconds,"since":ms since 1970,"sinceAge":seconds,
// "source":"desk"|"browser"[,"until":"HH:MM"[,"passed":true]]
// [,"desk":"in"|"out"|"other" beside a browser's word]
// [,"displayName":..,"group":..,"phone":.. with a staff directory]}]
// [,"unheard":[{"name","displayName","group","phone"}],
//  "directory":{"source","entries","updated":ms,"error":text|null[,"errorAt":ms]} with a staff directory]}
// in board order, texts converted from Windows-1252 to UTF-8.
std::string BoardJson(const BoardSnapshot& snapshot);

// A weak entity tag for that JSON that follows what the rows say, not how
// old they are: the same while every row says the same and each row's age
// shows the same ("just now", "4 min ago", silent or not), so a page polling
// every 2 seconds is answered 304 until something it shows changes. The
// counter, which every desk's connection moves, is left out.
std::string BoardEtag(const BoardSnapshot& snapshot);
