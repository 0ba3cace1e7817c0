#include <gtest/gtest.h>

#include "HostRule.h"
#include "ProxyRule.h"
#include "TableRows.h"

namespace {

const std::vector<std::string> names = {"board", "board.office.example"};

struct HostCase {
    const char* host;
    bool allowed;
};
const HostCase hostCases[] = {{"127.0.0.1", true},
                              {"127.0.0.1:8080", true},
                              {"10.1.2.3:80", true},
                              {"localhost", true},
                              {"LOCALHOST:8080", true},
                              {"board", true},
                              {"Board:8080", true},
                              {"board.office.example", true},
                              {"board.office.example.:80", true},
                              {"evil.example", false},
                              {"board.evil.example", false},
                              {"localhost.evil.example", false},
                              {"127.0.0.1.evil", false},
                              {"256.1.1.1", false},
                              {"1.2.3", false},
                              {"1.2.3.4.5", false},
                              {"[::1]:8080", false},
                              {"board:80x", false},
                              {"board:", false},
                              {"", false},
                              {":8080", false}};

}  // namespace

class WhoMayAsk : public ::testing::TestWithParam<HostCase> {};

TEST_P(WhoMayAsk, EachRow) {
    const HostCase& row = GetParam();
    EXPECT_EQ(HostAllowed(row.host, names), row.allowed) << '"' << row.host << '"';
}
INSTANTIATE_TEST_SUITE_P(Rows, WhoMayAsk, ::testing::ValuesIn(hostCases), RowsNamedBy(&HostCase::host));

namespace {

// A reverse proxy's words are believed from the listed addresses only, and
// then only its own last hop of X-Forwarded-For.
struct ProxyCase {
    const char* peer;
    const char* proto;
    const char* forwardedFor;
    bool secure;
    const char* sender;
};
const ProxyCase proxyCases[] = {
    {"127.0.0.1", "https", "10.1.2.3", true, "10.1.2.3"},
    {"::ffff:127.0.0.1", "HTTPS", "203.0.113.9, 10.1.2.3", true, "10.1.2.3"},
    {"::1", "http", "", false, "::1"},
    {"127.0.0.1", "", "not an address", false, "127.0.0.1"},
    {"10.9.9.9", "https", "10.1.2.3", false, "10.9.9.9"},
    {"127.0.0.2", "https", "10.1.2.3", false, "127.0.0.2"},
};

}  // namespace

class WhichProxyIsBelieved : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(WhichProxyIsBelieved, EachRow) {
    const ProxyCase& row = GetParam();
    std::vector<std::string> proxies;
    std::string wrong;
    ASSERT_TRUE(ParseProxyAddresses("127.0.0.1, 0:0::1", proxies, wrong));
    bool secure = false;
    std::string peer = row.peer;
    BelieveProxy(proxies, row.proto, row.forwardedFor, secure, peer);
    EXPECT_EQ(secure, row.secure);
    EXPECT_EQ(peer, row.sender);
}
INSTANTIATE_TEST_SUITE_P(Rows, WhichProxyIsBelieved, ::testing::ValuesIn(proxyCases), RowsNamedBy(&ProxyCase::peer));

TEST(ProxyAddresses, ANameIsNoAddress) {
    std::vector<std::string> proxies = {"kept"};
    std::string wrong;
    EXPECT_FALSE(ParseProxyAddresses("127.0.0.1 proxy.local", proxies, wrong));
    EXPECT_EQ(wrong, "proxy.local");
    EXPECT_EQ(proxies, std::vector<std::string>{"kept"});
}
