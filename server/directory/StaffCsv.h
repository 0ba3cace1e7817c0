// The staff directory as a spreadsheet writes it: CSV with RFC 4180 quotes,
// UTF-8 with or without a byte-order mark (a file that is not UTF-8 is read as
// the Windows code page a spreadsheet saves "CSV" in), and a header line naming the
// columns `name` (required), `display name`, `group` and `phone` in any order
// and case; other columns are ignored.
#pragma once

#include <string>
#include <vector>

#include "StaffList.h"

// The entries of `text`, each with `where` = "<file>:<line>". A line that
// cannot be read goes to `problems` as "<file>:<line>: what is wrong" and is
// skipped. False, with `error`, when the file as a whole cannot be used (no
// header, no `name` column).
bool ReadStaffCsv(const std::string& text, const std::string& file, std::vector<StaffEntry>& entries,
                  std::vector<std::string>& problems, std::string& error);

// The list as such a file, every field quoted: how the board keeps its last good list.
std::string StaffCsv(const StaffList& list);
