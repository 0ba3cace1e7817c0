// Plans from HR's spreadsheet: CSV with the columns name, start, end, status
// (out or other) and message, read as the staff list's file is read; each
// problem said with its line.
#pragma once

#include <string>
#include <vector>

#include "Plan.h"

// The plans of `text` that are good, and "<file>:<line>: what is wrong" for each that is not.
void ReadPlansCsv(const std::string& text, const std::string& file, std::vector<Plan>& plans,
                  std::vector<std::string>& problems);

// pegmastd --import-plans: nothing is taken from a file with a problem unless
// `skipBad`. The exit code: 0 taken, 1 the database or file cannot be used, 2 problems.
int ImportPlansCommand(const std::string& database, const std::string& file, bool skipBad);
