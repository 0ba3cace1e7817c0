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
        // What loads must write back to the same bytes, less any later fields.
        if (rows.size() * 520 + 24 > size) std::abort();
    } else if (problem.empty() || !rows.empty()) {
        std::abort();
    }
    ServiceConfig config;
    std::vector<ConfigProblem> problems;
    if (!ParseServiceConfig(bytes, config, problems) && problems.empty()) std::abort();
    return 0;
}
