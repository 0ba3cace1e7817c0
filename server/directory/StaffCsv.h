// The staff directory as a spreadsheet writes it: CSV with RFC 4180 quotes and a
// header line naming the columns `name` (required), `display name`, `group` and
// `phone` in any order and case; other columns are ignored. UTF-8 with or without
// a byte-order mark; a file with no UTF-8 sequence at all is read as the Windows
// code page a spreadsheet saves "CSV" in.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "StaffList.h"

// The list in `text`, each entry's `where` = "<file>:<line>", with how the file
// was read and how many of its lines were not. A line that cannot be read (a
// quote never closed, bytes in neither encoding) is skipped and counted, the
// first MaxProblemsKept of them in `problems` as "<file>:<line>: what is
// wrong"; every later line is read.
// False, with `error`, when the file as a whole cannot be used (no header, no
// `name` column). Linear in the size of the text, whatever it holds.
const std::size_t MaxProblemsKept = 100;

bool ReadStaffCsv(const std::string& text, const std::string& file, StaffList& list, std::vector<std::string>& problems,
                  std::string& error);

// Any such file by its header's column names (lower case): each line's
// fields in UTF-8, or why the line cannot be read. False, with `error`, when
// there is no header line.
struct CsvLine {
    int line = 0;
    std::map<std::string, std::string> fields;
    std::string problem;
};
bool ReadCsvColumns(const std::string& input, const std::string& file, std::vector<CsvLine>& lines, std::string& error);

// The list as such a file, every field quoted: how the board keeps its last good list.
std::string StaffCsv(const StaffList& list);
