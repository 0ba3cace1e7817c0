#include "HostRule.h"

#include <algorithm>
#include <cctype>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <unistd.h>
#endif

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool AllDigits(const std::string& text, std::size_t most) {
    return !text.empty() && text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsIpv4Literal(const std::string& text) {
    int parts = 0;
    std::size_t start = 0;
    for (;;) {
        std::size_t dot = text.find('.', start);
        std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (!AllDigits(part, 3) || std::stoi(part) > 255) return false;
        ++parts;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts == 4;
}

}  // namespace

std::vector<std::string> MachineNames() {
    std::vector<std::string> names;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !name[0]) return names;
    names.push_back(Lower(name));
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) == 0) {
        if (found && found->ai_canonname) names.push_back(Lower(found->ai_canonname));
        freeaddrinfo(found);
    }
    // Each fully qualified name also by its first label.
    for (std::size_t i = 0, n = names.size(); i < n; ++i) {
        std::size_t dot = names[i].find('.');
        if (dot != std::string::npos && dot > 0) names.push_back(names[i].substr(0, dot));
    }
    return names;
}

bool HostAllowed(const std::string& host, const std::vector<std::string>& machineNames) {
    std::string name = host;
    std::size_t colon = name.rfind(':');
    if (colon != std::string::npos) {
        if (!AllDigits(name.substr(colon + 1), 5)) return false;
        name = name.substr(0, colon);
    }
    if (name.empty()) return false;
    name = Lower(name);
    if (name.back() == '.') name.pop_back();  // the root's dot names the same host
    if (IsIpv4Literal(name) || name == "localhost") return true;
    return std::find(machineNames.begin(), machineNames.end(), name) != machineNames.end();
}
