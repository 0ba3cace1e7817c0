#include "BeastMessages.h"

#include <boost/asio.hpp>
#include <cstring>

#include "AsciiText.h"
#include "BoardServer.h"
#include "WebUpdates.h"

namespace asio = boost::asio;
namespace http = boost::beast::http;

namespace {

const std::size_t HeaderLimit = 8 * 1024;

// Whether an Accept-Encoding names gzip (or anything) with a weight above 0.
bool AcceptsGzip(const std::string& header) {
    std::size_t at = 0;
    while (at <= header.size()) {
        std::size_t end = header.find(',', at);
        if (end == std::string::npos) end = header.size();
        const std::string item = AsciiLower(header.substr(at, end - at));
        at = end + 1;
        const std::size_t semicolon = item.find(';');
        const std::string coding = TrimSpace(item.substr(0, semicolon));
        if (coding != "gzip" && coding != "*") continue;
        if (semicolon == std::string::npos) return true;
        const std::string weight = TrimSpace(item.substr(semicolon + 1));
        if (weight.compare(0, 2, "q=") != 0) return true;
        if (weight.find_first_of("123456789", 2) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

void LimitRequest(HttpParser& parser) {
    parser.header_limit(HeaderLimit);
    parser.body_limit(MaxUpdateBody);
}

int ParseRefusal(const boost::beast::error_code& ec) {
    if (ec == http::error::header_limit) return 431;
    if (ec == http::error::body_limit) return 413;
    return 400;
}

std::uint32_t AddressOf(const std::string& dotted) {
    boost::beast::error_code ec;
    asio::ip::address address = asio::ip::make_address(dotted, ec);
    if (ec || !address.is_v4()) return 0;
    auto bytes = address.to_v4().to_bytes();
    std::uint32_t networkOrder = 0;
    std::memcpy(&networkOrder, bytes.data(), 4);
    return networkOrder;
}

// The sign-in cookie's token among the request's cookies; empty unless it is one this board could have given.
std::string SessionOf(const std::string& cookies) {
    const std::string prefix = std::string(SessionCookie) + "=";
    for (std::size_t at = 0; at < cookies.size();) {
        while (at < cookies.size() && (cookies[at] == ' ' || cookies[at] == ';')) ++at;
        const std::size_t end = std::min(cookies.find(';', at), cookies.size());
        if (cookies.compare(at, prefix.size(), prefix) == 0) {
            const std::string token = cookies.substr(at + prefix.size(), end - at - prefix.size());
            if (token.size() == 64 && token.find_first_not_of("0123456789abcdef") == std::string::npos) return token;
        }
        at = end;
    }
    return std::string();
}

WebRequest RequestOf(const HttpRequest& message) {
    WebRequest request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    auto host = message.find(http::field::host);
    request.hasHost = host != message.end();
    if (request.hasHost) request.host = std::string(host->value());
    auto text = [&message](auto field) {
        auto it = message.find(field);
        return it == message.end() ? std::string() : std::string(it->value());
    };
    request.contentType = text(http::field::content_type);
    request.origin = text(http::field::origin);
    request.updateHeader = text("X-Pegora-Update");
    request.fetchSite = text("Sec-Fetch-Site");
    request.ifNoneMatch = text(http::field::if_none_match);
    request.codeHeader = text("X-Pegora-Code");
    request.session = SessionOf(text(http::field::cookie));
    request.wallKey = text("X-Pegora-Wall");
    request.forwardedProto = text("X-Forwarded-Proto");
    request.forwardedFor = text("X-Forwarded-For");
    request.acceptsGzip = AcceptsGzip(text(http::field::accept_encoding));
    std::string length = text(http::field::content_length);
    request.contentLength =
        length.empty() || length.size() > 18 || length.find_first_not_of("0123456789") != std::string::npos
            ? (length.empty() ? 0 : ~std::uint64_t(0))
            : std::stoull(length);
    request.steadyMs = SteadyMs();
    return request;
}

HttpResponse ResponseOf(const WebResponse& answer, unsigned version, bool head) {
    HttpResponse response(static_cast<http::status>(answer.status), version);
    response.set(http::field::content_type, answer.contentType);
    for (const auto& header : SafetyHeaders()) response.set(header.first, header.second);
    for (const auto& header : answer.headers) response.set(header.first, header.second);
    if (head) {
        response.content_length(answer.body.size());  // what GET would send, without it
    } else {
        response.body() = answer.body;
        response.prepare_payload();
    }
    return response;
}
