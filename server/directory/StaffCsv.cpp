#include "StaffCsv.h"

#include "AsciiText.h"
#include "Windows1252.h"

namespace {

// One record from `at`: its fields, the line it began on, and whether its
// quotes were whole. Line breaks inside quotes belong to the field.
struct Record {
    std::vector<std::string> fields;
    int line = 0;
    bool whole = true;
};

bool NextRecord(const std::string& text, std::size_t& at, int& line, Record& record) {
    if (at >= text.size()) return false;
    record = Record();
    record.line = line;
    std::string field;
    bool quoted = false, wasQuoted = false;
    while (at < text.size()) {
        const char c = text[at++];
        if (quoted) {
            if (c == '"' && at < text.size() && text[at] == '"') {
                field += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') ++line;
                field += c;
            }
            continue;
        }
        if (c == '"' && TrimSpace(field).empty() && !wasQuoted) {
            quoted = wasQuoted = true;
            field.clear();
        } else if (c == ',') {
            record.fields.push_back(wasQuoted ? field : TrimSpace(field));
            field.clear();
            wasQuoted = false;
        } else if (c == '\n') {
            ++line;
            break;
        } else if (c != '\r') {
            field += c;
        }
    }
    if (quoted) record.whole = false;
    record.fields.push_back(wasQuoted ? field : TrimSpace(field));
    return true;
}

bool Blank(const Record& record) { return record.fields.size() == 1 && record.fields[0].empty(); }

bool ValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
        i += n;
    }
    return true;
}

}  // namespace

bool ReadStaffCsv(const std::string& input, const std::string& file, std::vector<StaffEntry>& entries,
                  std::vector<std::string>& problems, std::string& error) {
    std::string text = input;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    // A spreadsheet that saved "CSV" in the Windows code page rather than UTF-8.
    if (!ValidUtf8(text)) text = Windows1252ToUtf8(text);
    std::size_t at = 0;
    int line = 1;
    Record header;
    while (NextRecord(text, at, line, header) && Blank(header)) {
    }
    if (header.fields.empty() || Blank(header)) {
        error = file + ": the file is empty; it needs a header line naming the columns";
        return false;
    }
    int name = -1, display = -1, group = -1, phone = -1;
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
        const std::string column = AsciiLower(TrimSpace(header.fields[i]));
        int* slot = column == "name"           ? &name
                    : column == "display name" ? &display
                    : column == "group"        ? &group
                    : column == "phone"        ? &phone
                                               : nullptr;
        if (slot && *slot < 0) *slot = static_cast<int>(i);
    }
    if (name < 0) {
        error = file + ":" + std::to_string(header.line) + ": no \"name\" column in the header line";
        return false;
    }
    auto take = [](const Record& r, int column) {
        return column >= 0 && static_cast<std::size_t>(column) < r.fields.size() ? r.fields[column] : std::string();
    };
    Record record;
    while (NextRecord(text, at, line, record)) {
        const std::string where = file + ":" + std::to_string(record.line);
        if (!record.whole) {
            problems.push_back(where + ": a quoted field is not closed");
            continue;
        }
        if (Blank(record)) continue;
        entries.push_back(StaffEntry{TrimSpace(take(record, name)), TrimSpace(take(record, display)),
                                     TrimSpace(take(record, group)), TrimSpace(take(record, phone)), where});
    }
    return true;
}

std::string StaffCsv(const StaffList& list) {
    auto field = [](const std::string& text) {
        std::string out = "\"";
        for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
        return out + "\"";
    };
    std::string csv = "name,display name,group,phone\r\n";
    for (const StaffPerson& p : list.people)
        csv += field(Windows1252ToUtf8(p.key)) + "," + field(p.displayName) + "," + field(p.group) + "," +
               field(p.phone) + "\r\n";
    return csv;
}
