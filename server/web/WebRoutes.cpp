#include "WebRoutes.h"

#include "EmbeddedPage.h"
#include "HostRule.h"

namespace {

const char* Reason(int status) {
    switch (status) {
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "";
    }
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& SafetyHeaders() {
    static const std::vector<std::pair<std::string, std::string>> headers = {
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self' data:"},
        {"X-Content-Type-Options", "nosniff"},
        {"Cache-Control", "no-store"},
        {"Referrer-Policy", "no-referrer"}};
    return headers;
}

WebResponse Refusal(int status) {
    WebResponse response;
    response.status = status;
    response.body = std::to_string(status) + " " + Reason(status) + "\n";
    return response;
}

WebResponse Route(const WebRequest& request, const std::vector<std::string>& machineNames,
                  const WebSources& sources) {
    if (!request.hasHost || !HostAllowed(request.host, machineNames)) return Refusal(421);
    if (request.method != "GET" && request.method != "HEAD") {
        WebResponse response = Refusal(405);
        response.headers.push_back({"Allow", "GET, HEAD"});
        return response;
    }
    std::string path = request.target.substr(0, request.target.find('?'));  // "/?wall" is the page
    if (path == "/board.json") {
        WebResponse response;
        if (!sources.boardJson(response.body)) {
            response = Refusal(503);
            response.headers.push_back({"Retry-After", "1"});
            return response;
        }
        response.contentType = "application/json";
        return response;
    }
    if (path == "/roll.csv") {
        WebResponse response;
        if (!sources.rollCsv(response.body)) {
            response = Refusal(503);
            response.headers.push_back({"Retry-After", "1"});
            return response;
        }
        response.contentType = "text/csv; charset=utf-8";
        response.headers.push_back({"Content-Disposition", "attachment; filename=\"roll-call.csv\""});
        return response;
    }
    if (path == "/healthz") {
        WebResponse response;
        std::string reason;
        if (sources.healthy(reason)) {
            response.body = "ok\n";
        } else {
            response.status = 503;
            response.body = reason + "\n";
        }
        return response;
    }
    if (path == "/metrics") {
        WebResponse response;
        response.contentType = "text/plain; version=0.0.4; charset=utf-8";
        response.body = sources.metrics();
        return response;
    }
    const EmbeddedFile* file = FindPageFile(path);
    if (!file) return Refusal(404);
    WebResponse response;
    response.contentType = file->contentType;
    response.body.assign(reinterpret_cast<const char*>(file->data), file->size);
    return response;
}
