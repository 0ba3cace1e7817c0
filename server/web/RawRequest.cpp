// One connection's bytes answered as the session would answer them, without a
// socket: for the fuzzer and the tests. Nothing carries over from one call to the next.
#include <boost/asio/buffer.hpp>

#include "BeastMessages.h"
#include "WebServer.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

int AnswerRawRequest(const std::string& bytes, const std::vector<std::string>& machineNames,
                     const UpdateSettings& updates) {
    HttpParser parser;
    LimitRequest(parser);
    parser.eager(false);  // the header first, as the server reads it
    beast::error_code ec;
    std::size_t used = parser.put(asio::buffer(bytes.data(), bytes.size()), ec);
    if (ec && ec != http::error::need_more) return ParseRefusal(ec);
    if (!parser.is_header_done()) return 0;  // the server would wait for more
    CodeGuard guard;                         // one request's own: nothing carries over to the next
    WebSources sources;
    sources.updates = [&updates] { return updates; };
    sources.guard = &guard;
    sources.setWord = [](const BrowserWord&, const std::string&, const std::string&) { return true; };
    sources.removeRow = [](const std::string&, const std::string&, bool& found, const std::string&) {
        found = true;
        return true;
    };
    sources.boardJson = [](const std::string& ifNoneMatch, bool, BoardJsonAnswer& answer) {
        answer.etag = "W/\"0\"";
        if (ifNoneMatch.find(answer.etag.substr(2)) == std::string::npos)
            answer.body = std::make_shared<const std::string>("{}");
        return true;
    };
    sources.healthy = [](std::string&) { return true; };
    sources.metrics = [] { return std::string(); };
    sources.rollCsv = [](std::string& csv) {
        csv.clear();
        return true;
    };
    WebRequest request = RequestOf(parser.get());
    request.peer = "192.0.2.1";
    if (IsUpdateRoute(request)) {
        WebResponse refusal = UpdateRefusal(request, machineNames, sources);
        if (refusal.status != 0) return refusal.status;
        // Only then the body, as the server reads it.
        parser.eager(true);
        while (!ec && !parser.is_done() && used < bytes.size()) {
            std::size_t n = parser.put(asio::buffer(bytes.data() + used, bytes.size() - used), ec);
            if (n == 0 && !ec) break;
            used += n;
        }
        if (ec && ec != http::error::need_more) return ParseRefusal(ec);
        if (!parser.is_done()) return 0;  // the server would wait for the body
        request.body = parser.get().body();
    }
    return Route(request, machineNames, sources).status;
}
