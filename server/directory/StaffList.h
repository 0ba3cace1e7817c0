// Who works here: the staff directory's people, keyed as their desks name
// them, so that the board can show everybody and the unheard as unheard.
// Filled from a CSV file or from LDAP; this part knows neither.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// One person as a source gives them, texts in UTF-8.
struct StaffEntry {
    std::string name;  // the log-in name, as the desk's client sends it
    std::string displayName;
    std::string group;
    std::string phone;
    std::string where;  // for the log: "staff.csv:12" or an entry's DN
};

struct StaffPerson {
    std::string key;                        // the name as a desk sends it: Windows-1252, at most 19 bytes
    std::string displayName, group, phone;  // UTF-8
};

struct StaffList {
    std::vector<StaffPerson> people;                     // in the source's order
    std::size_t skipped = 0;                             // empty, or a name a desk cannot send
    std::size_t duplicates = 0;                          // a key already taken by an earlier entry
    std::vector<std::string> examples;                   // up to five of those, in words
    std::unordered_map<std::string, std::size_t> byKey;  // folded key -> index in people
    // From a file: how it was read, its lines with an entry, and of those the ones skipped unread.
    std::string encoding;
    std::size_t lines = 0, unreadable = 0;
};

// A person's key: the name converted strictly to Windows-1252 and cut to 19
// bytes, as the client's installer cuts the Windows user name. False when
// the name is empty, has a control character or one outside Windows-1252.
bool StaffKey(const std::string& utf8Name, std::string& key);

// The list from a source's entries: entries without a key are skipped, and of
// entries whose keys match by the board's key rule the first stands. Every text
// is made valid UTF-8 (and the display name, group and phone one line each), so
// that one stray byte from a source changes nothing else.
StaffList MakeStaffList(const std::vector<StaffEntry>& entries);

// The person whose key matches `name` (Windows-1252) by the key rule, or null.
const StaffPerson* FindStaff(const StaffList& list, const std::string& name);

// One log line: how many people, how many skipped and why, with examples, and
// for a file how it was read.
std::string StaffSummary(const StaffList& list, const std::string& source);
