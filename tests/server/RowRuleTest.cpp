#include <gtest/gtest.h>

#include <map>

#include "BoardTable.h"
#include "Records.h"
#include "TableRows.h"

namespace {

// One event on the board: a desk's record, a browser's word (with an until
// when `until` > 0), the clock at `until`, a removal, or a plan's time
// starting or ending (the plan's id in `until`; its start the event's time
// when first seen), the desk still speaking at the end or not.
struct Event {
    char kind;  // 'd' desk, 'b' browser, 't' time, 'r' remove, 'p' plan starts, 'e'/'E' it ends, desk speaking/not
    std::int32_t status;
    const char* message;
    std::int64_t until;
};

const char* const started = "started but not signed in.";

struct Case {
    const char* what;
    std::vector<Event> events;
    std::int32_t rows;
    const char* shown;  // the message the row shows
    RowSource source;
    bool passed;         // the browser's until has passed with no desk record to go back to
    std::int64_t since;  // when the shown words began: the event's time (the n-th event at n s)
};

}  // namespace

const Case whoseWordCases[] = {
    {"a desk's record, no row", {{'d', 1, "in", 0}}, 1, "in", RowSource::Desk, false, 1000},
    {"desk after desk", {{'d', 1, "in", 0}, {'d', 2, "out", 0}}, 1, "out", RowSource::Desk, false, 2000},
    {"the browser's word", {{'d', 1, "in", 0}, {'b', 2, "sick", 0}}, 1, "sick", RowSource::Browser, false, 2000},
    {"a re-send leaves the browser's word",
     {{'d', 1, "in", 0}, {'b', 2, "sick", 0}, {'d', 1, "in", 0}},
     1,
     "sick",
     RowSource::Browser,
     false,
     2000},
    {"automatic records leave it too",
     {{'d', 1, "in", 0},
      {'b', 2, "sick", 0},
      {'d', 3, started, 0},
      {'d', 3, "Client shutdown", 0},
      {'d', 3, "away from desk since 14:05", 0}},
     1,
     "sick",
     RowSource::Browser,
     false,
     2000},
    {"the person at their desk ends it",
     {{'d', 1, "in", 0}, {'b', 2, "sick", 0}, {'d', 1, "back", 0}},
     1,
     "back",
     RowSource::Desk,
     false,
     3000},
    {"an automatic record, then the person's own change",
     {{'d', 1, "in", 0}, {'b', 2, "out", 0}, {'d', 3, started, 0}, {'d', 2, "lunch", 0}},
     1,
     "lunch",
     RowSource::Desk,
     false,
     4000},
    {"a re-send of the automatic record the desk last sent",
     {{'d', 3, started, 0}, {'b', 1, "in today", 0}, {'d', 3, started, 0}},
     1,
     "in today",
     RowSource::Browser,
     false,
     2000},
    {"status 1 with the startup text is the person's word",
     {{'d', 3, started, 0}, {'b', 2, "out", 0}, {'d', 1, started, 0}},
     1,
     started,
     RowSource::Desk,
     false,
     3000},
    {"until passes: back to the desk's last record",
     {{'d', 1, "in", 0}, {'b', 2, "meeting", 5000}, {'d', 3, "Client shutdown", 0}, {'t', 0, "", 5000}},
     1,
     "Client shutdown",
     RowSource::Desk,
     false,
     5000},
    {"until not yet",
     {{'d', 1, "in", 0}, {'b', 2, "meeting", 5000}, {'t', 0, "", 4999}},
     1,
     "meeting",
     RowSource::Browser,
     false,
     2000},
    {"until passes without a desk: the word stays, passed",
     {{'b', 2, "off sick", 5000}, {'t', 0, "", 6000}},
     1,
     "off sick",
     RowSource::Browser,
     true,
     1000},
    {"a new word replaces an old until",
     {{'d', 1, "in", 0}, {'b', 2, "a", 5000}, {'b', 2, "b", 0}, {'t', 0, "", 9000}},
     1,
     "b",
     RowSource::Browser,
     false,
     3000},
    {"remove, then the desk's re-send brings the row back",
     {{'d', 1, "in", 0}, {'b', 2, "gone", 0}, {'r', 0, "", 0}, {'d', 1, "in", 0}},
     1,
     "in",
     RowSource::Desk,
     false,
     4000},
    {"remove", {{'b', 2, "gone", 0}, {'r', 0, "", 0}}, 0, "", RowSource::Desk, false, 0},
    {"a re-send keeps since", {{'d', 1, "x", 0}, {'d', 1, "x", 0}}, 1, "x", RowSource::Desk, false, 1000},
    {"the client's own records are changes like any other",
     {{'d', 1, "in", 0}, {'d', 3, "away from desk since 14:05", 0}},
     1,
     "away from desk since 14:05",
     RowSource::Desk,
     false,
     2000},
    {"a browser's word equal to the shown one keeps since",
     {{'d', 2, "out", 0}, {'b', 2, "out", 0}},
     1,
     "out",
     RowSource::Browser,
     false,
     1000},
    {"a desk's record equal to the browser's word keeps since",
     {{'b', 2, "lunch", 0}, {'d', 2, "lunch", 0}},
     1,
     "lunch",
     RowSource::Desk,
     false,
     1000},
    {"a plan's start shows its word, since its start",
     {{'d', 1, "in", 0}, {'p', 2, "holiday", 1}},
     1,
     "holiday",
     RowSource::Plan,
     false,
     2000},
    {"a desk's re-send and its automatic records keep the plan's word",
     {{'d', 1, "in", 0}, {'p', 2, "holiday", 1}, {'d', 1, "in", 0}, {'d', 3, "Client shutdown", 0}},
     1,
     "holiday",
     RowSource::Plan,
     false,
     2000},
    {"an edit of the plan in force shows its new word, since the plan's start",
     {{'d', 1, "in", 0}, {'p', 2, "holiday", 1}, {'p', 3, "conference", 1}},
     1,
     "conference",
     RowSource::Plan,
     false,
     2000},
    {"an edit of a plan the person spoke over changes nothing",
     {{'d', 1, "in", 0}, {'p', 2, "holiday", 1}, {'d', 2, "lunch", 0}, {'p', 3, "conference", 1}},
     1,
     "lunch",
     RowSource::Desk,
     false,
     3000},
    {"a desk's change wins over the plan",
     {{'d', 1, "in", 0}, {'p', 2, "holiday", 1}, {'d', 2, "lunch", 0}},
     1,
     "lunch",
     RowSource::Desk,
     false,
     3000},
    {"a browser's word wins over the plan",
     {{'d', 1, "in", 0}, {'p', 2, "holiday", 1}, {'b', 1, "here after all", 0}},
     1,
     "here after all",
     RowSource::Browser,
     false,
     3000},
    {"at its end, the word of a desk that still speaks",
     {{'d', 1, "in", 0}, {'p', 2, "holiday", 1}, {'e', 0, "", 1}},
     1,
     "in",
     RowSource::Desk,
     false,
     3000},
    {"at its end with a silent desk, what stood before",
     {{'d', 1, "in", 0}, {'b', 2, "dentist", 0}, {'p', 2, "holiday", 1}, {'E', 0, "", 1}},
     1,
     "dentist",
     RowSource::Browser,
     false,
     4000},
    {"a plan for a person with no row: the row comes and goes",
     {{'p', 3, "training", 1}, {'E', 0, "", 1}},
     0,
     "",
     RowSource::Desk,
     false,
     0},
    {"a desk heard during the plan is gone back to at its end",
     {{'p', 3, "training", 1}, {'d', 3, "Client shutdown", 0}, {'E', 0, "", 1}},
     1,
     "Client shutdown",
     RowSource::Desk,
     false,
     3000},
    {"overlapping plans: the later shows, then the earlier again, then what stood before both",
     {{'d', 1, "in", 0}, {'p', 2, "holiday", 1}, {'p', 3, "training", 2}, {'E', 0, "", 2}, {'p', 2, "holiday", 1}},
     1,
     "holiday",
     RowSource::Plan,
     false,
     2000},
    {"and at the earlier's end",
     {{'d', 1, "in", 0},
      {'p', 2, "holiday", 1},
      {'p', 3, "training", 2},
      {'E', 0, "", 2},
      {'p', 2, "holiday", 1},
      {'E', 0, "", 1}},
     1,
     "in",
     RowSource::Desk,
     false,
     6000},
    {"a plan's time spoken over is not shown again, and its end changes nothing",
     {{'d', 1, "in", 0}, {'p', 2, "holiday", 1}, {'d', 2, "lunch", 0}, {'p', 2, "holiday", 1}, {'e', 0, "", 1}},
     1,
     "lunch",
     RowSource::Desk,
     false,
     3000},
};

class WhoseWordIsShown : public ::testing::TestWithParam<Case> {};

TEST_P(WhoseWordIsShown, AfterTheEvents) {
    const Case& c = GetParam();
    BoardTable table;
    table.Store(MakeRecord("Other", 1, "stays"));
    std::int64_t now = 0, at = 0;
    std::map<std::int64_t, std::int64_t> starts;  // plan id -> its time's start
    for (const Event& e : c.events) {
        StatusRecord r = MakeRecord("Anna", e.status, e.message);
        bool shown = false;
        at += 1000;
        if (e.kind == 'd') table.StoreFromDesk(r, shown, at);
        if (e.kind == 'b') table.StoreFromBrowser(r, e.until > 0, e.until, at);
        if (e.kind == 't') table.PassUntil(now = e.until);
        if (e.kind == 'r') EXPECT_TRUE(table.Remove("ANNA")) << c.what;
        bool added = false;
        if (e.kind == 'p') {
            const std::int64_t start = starts.emplace(e.until, at).first->second;
            table.StartPlan(r, e.until, start, start + 100000, "", added);
        }
        if (e.kind == 'e' || e.kind == 'E')
            table.EndPlan("ANNA", e.until, starts[e.until],
                          e.kind == 'e' ? std::chrono::steady_clock::duration(std::chrono::hours(1))
                                        : std::chrono::steady_clock::duration(-1),
                          at);
    }
    ASSERT_EQ(table.RowCount(), c.rows + 1) << c.what;
    EXPECT_EQ(table.Row(0).Message(), "stays") << c.what;
    if (c.rows == 0) return;
    EXPECT_EQ(table.Row(1).Message(), c.shown) << c.what;
    EXPECT_EQ(table.Word(1).source, c.source) << c.what;
    EXPECT_EQ(UntilPassed(table.Word(1), now), c.passed) << c.what;
    if (c.source == RowSource::Plan) EXPECT_EQ(table.Word(1).untilMs, table.Word(1).sinceMs + 100000) << c.what;
    EXPECT_EQ(table.Word(1).sinceMs, c.since) << c.what;
}
INSTANTIATE_TEST_SUITE_P(Rows, WhoseWordIsShown, ::testing::ValuesIn(whoseWordCases), RowsNamedBy(&Case::what));

namespace {

struct AutomaticCase {
    std::int32_t status;
    const char* message;
    bool automatic;
};
const AutomaticCase automaticCases[] = {{3, "started but not signed in.", true},
                                        {3, "Client shutdown", true},
                                        {3, "away from desk since 09:30", true},
                                        {3, "away from desk since 9:30", false},
                                        {3, "away from desk since 09:30!", false},
                                        {1, "Client shutdown", false},
                                        {3, "client shutdown", false},
                                        {3, "", false}};

}  // namespace

class OnlyTheClientsOwnAutomaticRecords : public ::testing::TestWithParam<AutomaticCase> {};

TEST_P(OnlyTheClientsOwnAutomaticRecords, EachRow) {
    const AutomaticCase& row = GetParam();
    EXPECT_EQ(IsAutomaticRecord(MakeRecord("x", row.status, row.message)), row.automatic) << row.message;
}
INSTANTIATE_TEST_SUITE_P(Rows, OnlyTheClientsOwnAutomaticRecords, ::testing::ValuesIn(automaticCases),
                         RowsNamedBy(&AutomaticCase::message));
