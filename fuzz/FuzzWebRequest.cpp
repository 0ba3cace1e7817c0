// Bytes a browser, or anybody, sends to the web view: parsed and routed as
// the server would, and the Host rule on its own. Every answer is one of the
// view's statuses; nothing crashes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "HostRule.h"
#include "WebServer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> names = {"board", "board.office.example"};
    std::string bytes(reinterpret_cast<const char*>(data), size);
    UpdateSettings updates;
    updates.on = true;
    updates.code = "drill";
    // Without updates and with them: the update routes' refusals are statuses too.
    for (const UpdateSettings& settings : {UpdateSettings(), updates}) {
        switch (AnswerRawRequest(bytes, names, settings)) {
        case 0:
        case 200:
        case 400:
        case 403:
        case 404:
        case 405:
        case 413:
        case 415:
        case 421:
        case 429:
        case 431: break;
        default: std::abort();
        }
    }
    HostAllowed(bytes, names);
    return 0;
}
