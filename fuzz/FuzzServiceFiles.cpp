// The service's own files as a damaged disk or a careless edit may leave
// them: the state reader and the configuration reader refuse, never crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "BoardState.h"
#include "ServiceConfig.h"

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
    return 0;
}
