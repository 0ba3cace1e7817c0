// The service's own files as a damaged disk or a careless edit may leave
// them: the state reader, the configuration reader and the staff list's
// reader refuse, never crash; a staff list read is valid UTF-8 and reads back
// the same.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "BoardState.h"
#include "ServiceConfig.h"
#include "StaffCsv.h"
#include "Windows1252.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<StoredRow> rows;
    std::string problem;
    if (DecodeBoardState(bytes, rows, problem)) {
        // Every row that loads came from at least its record and time in the file.
        if (rows.size() * 520 + 24 > size) std::abort();
        std::vector<StoredRow> again;
        if (!DecodeBoardState(EncodeBoardState(rows), again, problem) || again.size() != rows.size()) std::abort();
    } else if (problem.empty() || !rows.empty()) {
        std::abort();
    }
    ServiceConfig config;
    std::vector<ConfigProblem> problems;
    if (!ParseServiceConfig(bytes, config, problems) && problems.empty()) std::abort();
    StaffList staff, again;
    std::vector<std::string> skipped;
    std::string error;
    if (ReadStaffCsv(bytes, "staff.csv", staff, skipped, error)) {
        const std::string kept = StaffCsv(staff);
        if (!ValidUtf8(kept) || std::min(staff.unreadable, MaxProblemsKept) != skipped.size()) std::abort();
        if (!ReadStaffCsv(kept, "kept.csv", again, skipped, error) || again.people.size() != staff.people.size())
            std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
