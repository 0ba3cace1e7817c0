#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "ClientRules.h"
#include "TableRows.h"

namespace {

struct PortCase {
    const char* text;
    std::int32_t port;
};
const PortCase portCases[] = {{"5001", 5001},
                              {"  42", 42},
                              {"\t+7", 7},
                              {"-1", -1},
                              {"80abc", 80},
                              {"abc", 0},
                              {"", 0},
                              {"- 5", 0},
                              {"+-5", 0},
                              {"0x10", 0},
                              {"65536", 65536},
                              {"2147483647", 2147483647},
                              {"99999999999", 2147483647},
                              {"-99999999999", -2147483647 - 1}};

}  // namespace

class SignedDecimalLikeTheCLibrary : public ::testing::TestWithParam<PortCase> {};

TEST_P(SignedDecimalLikeTheCLibrary, EachRow) {
    const PortCase& r = GetParam();
    EXPECT_EQ(ParsePortText(r.text), r.port) << '"' << r.text << '"';
}
INSTANTIATE_TEST_SUITE_P(Rows, SignedDecimalLikeTheCLibrary, ::testing::ValuesIn(portCases),
                         RowsNamedBy(&PortCase::text));

TEST(PortText, TheStoredNumberAsTyped) {
    EXPECT_EQ(PortText(0xFFFFFFFFu), "-1");
    EXPECT_EQ(PortText(5001), "5001");
}

TEST(ClientRules, StartupTimerAndExit) {
    ClientState state;
    state.record.SetName("Anna");
    state.record.SetMessage("a long message from before");
    Effects e = OnStartup(state);
    EXPECT_TRUE(e.send);
    EXPECT_FALSE(e.writeSettings);
    EXPECT_EQ(state.record.Message(), "started but not signed in.");
    EXPECT_EQ(state.record.Status(), StatusOther);
    EXPECT_EQ(state.record.Name(), "Anna");

    StatusRecord before = state.record;
    e = OnTimerTick(state);
    EXPECT_TRUE(e.send);
    EXPECT_FALSE(e.recordChanged);
    EXPECT_EQ(std::memcmp(before.Bytes(), state.record.Bytes(), 512), 0);

    state.record.SetStatus(StatusIn);
    e = OnExit(state);
    EXPECT_TRUE(e.send);
    EXPECT_EQ(state.record.Message(), "Client shutdown");
    EXPECT_EQ(state.record.Status(), StatusOther);
}

TEST(ClientRules, StatusDialogOkSendsCancelKeepsEditsForTheNextTick) {
    ClientState state;
    state.record.SetName("Anna");
    state.record.SetStatus(7);
    StatusFields fields = OpenStatusDialog(state);
    EXPECT_EQ(fields.status, StatusOther);
    EXPECT_EQ(state.record.Status(), StatusOther);  // shown and stored as other

    fields.status = StatusOut;
    fields.message = std::string(250, 'm');
    Effects e = CloseStatusDialog(state, fields, false);
    EXPECT_FALSE(e.send);
    EXPECT_FALSE(e.writeSettings);
    EXPECT_EQ(state.record.Status(), StatusOut);
    EXPECT_EQ(state.record.Message(), std::string(199, 'm'));
    EXPECT_EQ(state.record.Bytes()[24 + 199], 0);
    for (int i = 224; i < 512; ++i) ASSERT_EQ(state.record.Bytes()[i], 0) << i;
    EXPECT_TRUE(OnTimerTick(state).send);

    fields.status = StatusIn;
    fields.message = "back";
    e = CloseStatusDialog(state, fields, true);
    EXPECT_TRUE(e.send);
    EXPECT_EQ(state.record.Status(), StatusIn);
    EXPECT_EQ(state.record.Message(), "back");
}

TEST(ClientRules, SetupDialogOkTakesFieldsAndBothButtonsWrite) {
    ClientState state;
    SetupFields fields = OpenSetupDialog(state);
    EXPECT_EQ(fields.user, "");
    EXPECT_EQ(fields.portText, "5001");
    EXPECT_EQ(fields.serverAddress, "192.0.0.1");

    fields.user = std::string(25, 'u');
    fields.portText = "6000x";
    fields.serverAddress = std::string(200, 'a');
    Effects e = CloseSetupDialog(state, fields, false);
    EXPECT_TRUE(e.writeSettings);
    EXPECT_FALSE(e.send);
    EXPECT_EQ(state.config.port, 5001u);
    EXPECT_EQ(state.record.Name(), "");

    e = CloseSetupDialog(state, fields, true);
    EXPECT_TRUE(e.writeSettings);
    EXPECT_FALSE(e.send);
    EXPECT_EQ(state.record.Name(), std::string(19, 'u'));
    EXPECT_EQ(state.config.port, 6000u);
    EXPECT_EQ(state.config.ServerAddress(), std::string(127, 'a'));

    fields.portText = "-1";
    CloseSetupDialog(state, fields, true);
    EXPECT_EQ(state.config.port, 0xFFFFFFFFu);
    EXPECT_EQ(OpenSetupDialog(state).portText, "-1");
}

// Whatever was open when the client ended returns after the exit steps; none
// of it may write over the last record or send again.
namespace {

struct ExitCase {
    const char* event;
    std::function<Effects(ClientState&, const StatusFields&, const SetupFields&)> run;
};
const ExitCase exitCases[] = {
    {"status dialog OK",
     [](ClientState& s, const StatusFields& f, const SetupFields&) { return CloseStatusDialog(s, f, true); }},
    {"status dialog Cancel",
     [](ClientState& s, const StatusFields& f, const SetupFields&) { return CloseStatusDialog(s, f, false); }},
    {"setup dialog OK",
     [](ClientState& s, const StatusFields&, const SetupFields& f) { return CloseSetupDialog(s, f, true); }},
    {"setup dialog Cancel",
     [](ClientState& s, const StatusFields&, const SetupFields& f) { return CloseSetupDialog(s, f, false); }},
    {"timer tick", [](ClientState& s, const StatusFields&, const SetupFields&) { return OnTimerTick(s); }},
    {"second exit", [](ClientState& s, const StatusFields&, const SetupFields&) { return OnExit(s); }},
};

}  // namespace

class ExitIsFinal : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitIsFinal, EachRow) {
    const ExitCase& row = GetParam();
    ClientState state;
    state.record.SetName("Anna");
    OnStartup(state);
    StatusFields status = OpenStatusDialog(state);  // the dialog opens ...
    SetupFields setup = OpenSetupDialog(state);
    status.status = StatusIn;
    status.message = "in all day";
    setup.user = "Bert";
    setup.portText = "6000";

    Effects exit = OnExit(state);  // ... the client ends under it ...
    EXPECT_TRUE(exit.send) << row.event;
    StatusRecord last = state.record;
    ClientConfig config = state.config;

    Effects late = row.run(state, status, setup);  // ... and the dialog returns
    EXPECT_FALSE(late.send) << row.event;
    EXPECT_FALSE(late.writeSettings) << row.event;
    EXPECT_FALSE(late.recordChanged) << row.event;
    EXPECT_EQ(std::memcmp(last.Bytes(), state.record.Bytes(), 512), 0) << row.event;
    EXPECT_EQ(state.record.Message(), "Client shutdown") << row.event;
    EXPECT_EQ(state.record.Status(), StatusOther) << row.event;
    EXPECT_EQ(state.config.port, config.port) << row.event;
}
INSTANTIATE_TEST_SUITE_P(Rows, ExitIsFinal, ::testing::ValuesIn(exitCases), RowsNamedBy(&ExitCase::event));

// Away while locked, one row per event sequence. Events: L lock at 09:05,
// U unlock, T tick, S status dialog closed with OK (status in, "back"),
// C the same with Cancel, N setup OK renaming to "Bert", X exit, A toggle.
namespace {

struct AwayCase {
    const char* what;
    bool setting;
    std::int32_t status;  // before the events
    std::string events;
    std::string sends;  // '1' where an event sends, '0' where not
    std::int32_t wantStatus;
    std::string wantMessage;
};
const AwayCase awayCases[] = {
    {"lock while in", true, StatusIn, "L", "1", StatusOther, "away from desk since 09:05"},
    {"lock then unlock puts all back", true, StatusIn, "LU", "11", StatusIn, "at my desk"},
    {"other is put back as other", true, StatusOther, "LU", "11", StatusOther, "at my desk"},
    {"locked while out: nothing", true, StatusOut, "LU", "00", StatusOut, "at my desk"},
    {"setting off: nothing", false, StatusIn, "LU", "00", StatusIn, "at my desk"},
    {"a second lock: no second change", true, StatusIn, "LLU", "101", StatusIn, "at my desk"},
    {"unlock without lock: nothing", true, StatusIn, "U", "0", StatusIn, "at my desk"},
    {"the tick sends the away record", true, StatusIn, "LT", "11", StatusOther, "away from desk since 09:05"},
    {"exit while locked wins", true, StatusIn, "LXU", "110", StatusOther, "Client shutdown"},
    {"dialog OK after unlock applies the choice", true, StatusIn, "LUS", "111", StatusIn, "back"},
    {"dialog closed while locked: unlock keeps it", true, StatusIn, "LCU", "100", StatusIn, "back"},
    {"renamed while locked: status and message back", true, StatusIn, "LNU", "101", StatusIn, "at my desk"},
    {"toggled on, then locked", false, StatusIn, "AL", "01", StatusOther, "away from desk since 09:05"},
};

}  // namespace

class AwayWhileLocked : public ::testing::TestWithParam<AwayCase> {};

TEST_P(AwayWhileLocked, EachRow) {
    const AwayCase& row = GetParam();
    ClientState state;
    state.awayOnLock = row.setting;
    state.record.SetName("Anna");
    state.record.SetStatus(row.status);
    state.record.SetMessage("at my desk");
    std::string sends;
    for (char event : row.events) {
        Effects e;
        StatusFields status{"Anna", StatusIn, "back"};
        SetupFields setup{"Bert", "5001", "127.0.0.1"};
        switch (event) {
        case 'L': e = OnScreenLocked(state, 9, 5); break;
        case 'U': e = OnScreenUnlocked(state); break;
        case 'T': e = OnTimerTick(state); break;
        case 'S': e = CloseStatusDialog(state, status, true); break;
        case 'C': e = CloseStatusDialog(state, status, false); break;
        case 'N': e = CloseSetupDialog(state, setup, true); break;
        case 'X': e = OnExit(state); break;
        case 'A':
            e = ToggleAwayOnLock(state);
            EXPECT_TRUE(e.writeAwayOnLock) << row.what;
            break;
        }
        sends += e.send ? '1' : '0';
    }
    EXPECT_EQ(sends, row.sends) << row.what;
    EXPECT_EQ(state.record.Status(), row.wantStatus) << row.what;
    EXPECT_EQ(state.record.Message(), row.wantMessage) << row.what;
}
INSTANTIATE_TEST_SUITE_P(Rows, AwayWhileLocked, ::testing::ValuesIn(awayCases), RowsNamedBy(&AwayCase::what));

TEST(ClientRules, TheAwayMessage) { EXPECT_EQ(AwayMessage(23, 7), "away from desk since 23:07"); }
