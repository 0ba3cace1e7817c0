#include "StaffList.h"

#include "AsciiText.h"
#include "Windows1252.h"

namespace {

const std::size_t MaxExamples = 5;
const std::size_t KeyBytes = 19;

void Example(StaffList& list, const std::string& text) {
    if (list.examples.size() < MaxExamples) list.examples.push_back(text);
}

}  // namespace

bool StaffKey(const std::string& utf8Name, std::string& key) {
    if (LogSafe(utf8Name) != utf8Name) return false;  // a line break or a tab is nobody's log-in name
    const std::string converted = Utf8ToWindows1252(utf8Name);
    // '?' stands for anything Windows-1252 lacks: strict means it comes back unchanged.
    if (converted.empty() || Windows1252ToUtf8(converted) != utf8Name) return false;
    key = converted.substr(0, KeyBytes);
    return true;
}

StaffList MakeStaffList(const std::vector<StaffEntry>& entries) {
    StaffList list;
    for (const StaffEntry& given : entries) {
        // Each text one line of valid UTF-8, so that the kept copy reads back as it was written.
        auto line = [](const std::string& text) {
            std::string out = ValidUtf8Text(text);
            for (char& c : out)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
            return out;
        };
        const StaffEntry entry{ValidUtf8Text(given.name), line(given.displayName), line(given.group), line(given.phone),
                               ValidUtf8Text(given.where)};
        std::string key;
        if (!StaffKey(entry.name, key)) {
            ++list.skipped;
            Example(list, entry.where + ": " +
                              (entry.name.empty() ? std::string("no name")
                                                  : "\"" + entry.name + "\" has a character a desk cannot send"));
            continue;
        }
        if (!list.byKey.emplace(AsciiLower(key), list.people.size()).second) {
            ++list.duplicates;
            Example(list, entry.where + ": \"" + entry.name + "\" is already listed");
            continue;
        }
        list.people.push_back(StaffPerson{key, entry.displayName, entry.group, entry.phone});
    }
    return list;
}

const StaffPerson* FindStaff(const StaffList& list, const std::string& name) {
    auto found = list.byKey.find(AsciiLower(name));
    return found == list.byKey.end() ? nullptr : &list.people[found->second];
}

std::string StaffSummary(const StaffList& list, const std::string& source) {
    std::string line = "directory " + source + ": " + std::to_string(list.people.size()) + " people";
    if (!list.encoding.empty()) line += ", read as " + list.encoding;
    if (list.unreadable) line += ", " + std::to_string(list.unreadable) + " lines not read";
    if (list.skipped) line += ", " + std::to_string(list.skipped) + " entries skipped (no name a desk can send)";
    if (list.duplicates) line += ", " + std::to_string(list.duplicates) + " entries with a name already listed";
    for (const std::string& example : list.examples) line += "; " + example;
    return LogSafe(line);
}
