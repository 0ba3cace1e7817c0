#include "ProxyRule.h"

#include <algorithm>
#include <boost/asio/ip/address.hpp>

#include "AsciiText.h"

namespace {

// The canonical spelling, so that "::ffff:127.0.0.1" or "0:0::1" match as the socket says them.
std::string Canonical(const std::string& text, bool& good) {
    boost::system::error_code ec;
    boost::asio::ip::address address = boost::asio::ip::make_address(TrimSpace(text), ec);
    good = !ec;
    if (!good) return std::string();
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    return address.to_string();
}

}  // namespace

bool ParseProxyAddresses(const std::string& text, std::vector<std::string>& addresses, std::string& wrong) {
    std::vector<std::string> found;
    std::string word;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char ch = i < text.size() ? text[i] : ' ';
        if (ch != ' ' && ch != ',' && ch != '\t') {
            word += ch;
            continue;
        }
        if (word.empty()) continue;
        bool good = false;
        const std::string address = Canonical(word, good);
        if (!good) {
            wrong = word;
            return false;
        }
        found.push_back(address);
        word.clear();
    }
    addresses.swap(found);
    return true;
}

void BelieveProxy(const std::vector<std::string>& proxies, const std::string& forwardedProto,
                  const std::string& forwardedFor, bool& secure, std::string& peer) {
    bool good = false;
    const std::string from = Canonical(peer, good);
    if (!good || std::find(proxies.begin(), proxies.end(), from) == proxies.end()) return;
    const std::string proto = AsciiLower(TrimSpace(forwardedProto.substr(forwardedProto.rfind(',') + 1)));
    if (!proto.empty()) secure = proto == "https";
    const std::string last = forwardedFor.substr(forwardedFor.rfind(',') + 1);
    const std::string client = Canonical(last, good);
    if (good) peer = client;
}
