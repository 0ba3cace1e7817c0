// One function from a request to a response, knowing nothing of sockets:
// the page, its script and style, the board's JSON, and the refusals.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct WebRequest {
    std::string method;
    std::string target;
    bool hasHost = false;
    std::string host;
};

struct WebResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // besides SafetyHeaders
};

// Every response carries these: anybody on the network can write any name or message.
const std::vector<std::pair<std::string, std::string>>& SafetyHeaders();

// What the routes read from the board, without knowing how.
struct WebSources {
    // Fills the board's JSON; false when the board could not be read in time.
    std::function<bool(std::string& json)> boardJson;
    // True when the board is healthy; otherwise false with the reason.
    std::function<bool(std::string& reason)> healthy;
    // The metrics in the Prometheus text format.
    std::function<std::string()> metrics;
    // The roll call as CSV; false when the board could not be read in time.
    std::function<bool(std::string& csv)> rollCsv;
};

WebResponse Route(const WebRequest& request, const std::vector<std::string>& machineNames,
                  const WebSources& sources);

// A refusal made before any route is looked at (431, 400).
WebResponse Refusal(int status);
