#include <gtest/gtest.h>

#include "HostRule.h"
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
