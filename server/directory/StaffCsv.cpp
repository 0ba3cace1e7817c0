#include "StaffCsv.h"

#include "AsciiText.h"
#include "Windows1252.h"

namespace {

// A quoted field may hold line breaks (an address), but a quote left open must
// not swallow the lines after it: past these the field ends at its line's end.
const int MaxRecordLines = 8;
const std::size_t MaxRecordBytes = 4096;

// One record: its fields, the line it began on, its raw bytes (for the
// encoding), and whether its quotes were whole.
struct Record {
    std::vector<std::string> fields;
    int line = 0;
    std::size_t begin = 0, end = 0;
    bool whole = true;
};

// The record at `at`. A quoted field that runs over a line break must close
// properly (its quote followed by a comma, a line end or the end) within
// MaxRecordLines and MaxRecordBytes; otherwise the record is its first line
// alone, not whole, and the next begins on the line after it. Each byte is
// looked at a bounded number of times, so reading stays linear.
bool NextRecord(const std::string& text, std::size_t& at, int& line, Record& record) {
    if (at >= text.size()) return false;
    record = Record();
    record.line = line;
    record.begin = at;
    auto firstLineOnly = [&]() {
        const std::size_t end = text.find('\n', record.begin);
        at = end == std::string::npos ? text.size() : end + 1;
        line = record.line + 1;
        record.fields.clear();
        record.end = at;
        record.whole = false;
        return true;
    };
    std::string field;
    bool quoted = false, wasQuoted = false, blank = true;
    int breaks = 0;
    std::size_t i = at;
    auto finish = [&]() { record.fields.push_back(wasQuoted ? field : TrimSpace(field)); };
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
                const char next = i + 1 < text.size() ? text[i + 1] : '\n';
                if (breaks > 0 && next != ',' && next != '\r' && next != '\n') return firstLineOnly();
            } else {
                if ((c == '\n' && ++breaks > MaxRecordLines) || (breaks > 0 && i - record.begin > MaxRecordBytes))
                    return firstLineOnly();
                field += c;
            }
            continue;
        }
        if (c == '"' && blank && !wasQuoted) {
            quoted = wasQuoted = true;
            field.clear();
        } else if (c == ',') {
            finish();
            field.clear();
            wasQuoted = false;
            blank = true;
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            field += c;
            if (c != ' ' && c != '\t') blank = false;
        }
    }
    if (quoted) return firstLineOnly();
    finish();
    at = i < text.size() ? i + 1 : text.size();
    record.end = at;
    line = record.line + breaks + 1;
    return true;
}

bool Blank(const Record& record) { return record.fields.size() == 1 && record.fields[0].empty(); }

enum class Encoding { Utf8, Mixed, Windows1252 };

// UTF-8 when every byte is; Windows-1252 when no byte beyond ASCII forms a
// UTF-8 sequence; otherwise UTF-8 with lines that are not, which are skipped.
Encoding EncodingOf(const std::string& text) {
    bool sequences = false, stray = false;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceAt(text, i);
        if (n == 0) {
            stray = true;
            ++i;
            continue;
        }
        sequences = sequences || n > 1;
        i += n;
    }
    return !stray ? Encoding::Utf8 : sequences ? Encoding::Mixed : Encoding::Windows1252;
}

// Why the record's bytes cannot be read in the file's encoding; empty when they can.
std::string Unreadable(const std::string& text, const Record& record, Encoding encoding) {
    if (encoding == Encoding::Utf8) return std::string();
    const std::string raw = text.substr(record.begin, record.end - record.begin);
    if (encoding == Encoding::Mixed) return ValidUtf8(raw) ? std::string() : "not UTF-8, as the rest of the file is";
    return ValidWindows1252(raw) ? std::string() : "neither UTF-8 nor Windows-1252";
}

}  // namespace

bool ReadStaffCsv(const std::string& input, const std::string& file, StaffList& list,
                  std::vector<std::string>& problems, std::string& error) {
    const std::size_t mark = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const std::string text = input.substr(mark);
    const Encoding encoding = EncodingOf(text);
    auto decoded = [encoding](const std::string& field) {
        return encoding == Encoding::Windows1252 ? Windows1252ToUtf8(field) : field;
    };
    std::size_t at = 0;
    int line = 1;
    Record header;
    while (NextRecord(text, at, line, header) && header.whole && Blank(header)) {
    }
    if (!header.whole) {
        error = file + ":" + std::to_string(header.line) + ": a quoted field in the header line is not closed";
        return false;
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
    // Unquoted fields come trimmed; a quoted one is kept as written, spaces and
    // all, so that the kept copy (every field quoted) reads back the same.
    auto take = [&](const Record& r, int column) {
        return column >= 0 && static_cast<std::size_t>(column) < r.fields.size() ? decoded(r.fields[column])
                                                                                 : std::string();
    };
    std::vector<StaffEntry> entries;
    std::size_t lines = 0, unreadable = 0;
    Record record;
    while (NextRecord(text, at, line, record)) {
        if (record.whole && Blank(record)) continue;
        ++lines;
        const std::string where = file + ":" + std::to_string(record.line);
        const std::string wrong =
            record.whole ? Unreadable(text, record, encoding) : "a quoted field is not closed on its line";
        if (!wrong.empty()) {
            if (++unreadable <= MaxProblemsKept) problems.push_back(where + ": " + wrong + "; the line is skipped");
            continue;
        }
        entries.push_back(
            StaffEntry{take(record, name), take(record, display), take(record, group), take(record, phone), where});
    }
    list = MakeStaffList(entries);
    list.encoding = encoding == Encoding::Windows1252 ? "Windows-1252" : "UTF-8";
    list.lines = lines;
    list.unreadable = unreadable;
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
        csv += field(Windows1252ToUtf8(p.key)) + "," + field(ValidUtf8Text(p.displayName)) + "," +
               field(ValidUtf8Text(p.group)) + "," + field(ValidUtf8Text(p.phone)) + "\r\n";
    return csv;
}

bool ReadCsvColumns(const std::string& input, const std::string& file, std::vector<CsvLine>& lines,
                    std::string& error) {
    const std::size_t mark = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const std::string text = input.substr(mark);
    const Encoding encoding = EncodingOf(text);
    std::size_t at = 0;
    int line = 1;
    Record header;
    while (NextRecord(text, at, line, header) && header.whole && Blank(header)) {
    }
    if (!header.whole || header.fields.empty() || Blank(header)) {
        error = file + ": no header line naming the columns";
        return false;
    }
    std::vector<std::string> names;
    for (const std::string& field : header.fields) names.push_back(AsciiLower(TrimSpace(field)));
    Record record;
    while (NextRecord(text, at, line, record)) {
        if (record.whole && Blank(record)) continue;
        CsvLine taken;
        taken.line = record.line;
        taken.problem = record.whole ? Unreadable(text, record, encoding) : "a quoted field is not closed on its line";
        for (std::size_t i = 0; i < names.size() && i < record.fields.size(); ++i)
            if (taken.fields.find(names[i]) == taken.fields.end())
                taken.fields[names[i]] =
                    encoding == Encoding::Windows1252 ? Windows1252ToUtf8(record.fields[i]) : record.fields[i];
        lines.push_back(taken);
    }
    return true;
}
