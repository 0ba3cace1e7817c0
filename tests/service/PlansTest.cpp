#include <ctime>

#include "LocalTime.h"
#include "PasswordHash.h"
#include "PlanImport.h"
#include "ServiceFixture.h"

namespace {

// A local time `minutes` from now, to the minute, as the routes take it.
std::string LocalIn(int minutes) { return LocalText(UtcToLocal(NowMs() + minutes * 60000LL), false); }

std::string PlanAsk(std::uint16_t port, const std::string& method, const std::string& path, const std::string& json) {
    return HttpAsk(port, method, path, "Content-Type: application/json\r\nX-Pegora-Update: 1\r\n", json);
}

std::string Body(const std::string& answer) { return answer.substr(answer.find("\r\n\r\n") + 4); }

}  // namespace

// A plan entered from the page switches a row at its start, a desk's re-send
// leaves it, and when it no longer holds the row goes back; plans outlive a
// restart, each switch is in the history, the next plan shows beside the row,
// and only the code's holders read or change plans.
TEST_F(ServiceTest, APlanSwitchesARowAndBackAndOutlivesARestart) {
    config.webUpdates = true;
    config.webUpdateCode = "s3cretcode";
    config.historyDays = 7;
    config.logChanges = true;
    BoardService& s = Start();
    s.Board().webUpdates = true;
    UpdateSettings updates;
    updates.on = true;
    updates.code = config.webUpdateCode;
    s.Web().SetUpdates(updates);
    std::string error;
    ASSERT_TRUE(s.Web().Start(0, error)) << error;
    std::uint16_t web = s.Web().Port();
    Send("Anna", 1, "at my desk");
    ASSERT_TRUE(TickUntil([&] { return s.Board().table.RowCount() == 1; }));
    Send("Bert", 1, "in");
    ASSERT_TRUE(TickUntil([&] { return s.Board().table.RowCount() == 2; }));

    const std::string holiday = R"({"name":"anna","start":")" + LocalIn(0) + R"(","end":")" + LocalIn(120) +
                                R"(","status":2,"message":"holiday","code":"s3cretcode"})";
    EXPECT_NE(PlanAsk(web, "POST", "/plans",
                      R"({"name":"anna","start":"2027-01-05","end":"2027-01-04","status":2,)"
                      R"("code":"s3cretcode"})")
                  .find("The plan ends before it starts."),
              std::string::npos);
    EXPECT_NE(PlanAsk(web, "POST", "/plans",
                      R"({"name":"anna","start":"2027-01-05","end":"2027-01-05","status":1,)"
                      R"("code":"s3cretcode"})")
                  .find("A plan is for out or other."),
              std::string::npos);
    EXPECT_NE(PlanAsk(web, "POST", "/plans",
                      R"({"name":"anna","start":")" + LocalIn(-120) + R"(","end":")" + LocalIn(-60) +
                          R"(","status":2,"code":"s3cretcode"})")
                  .find("400 Bad Request"),
              std::string::npos)
        << "a plan already ended";
    EXPECT_NE(PlanAsk(web, "POST", "/plans",
                      R"({"name":"anna","start":"2020-01-06","end":"2020-01-07","status":2,"code":"s3cretcode"})")
                  .find(R"({"error":"That plan has already ended."})"),
              std::string::npos);
    std::string wrong = holiday;
    wrong.replace(wrong.find("s3cretcode"), 10, "guessed it");
    EXPECT_NE(PlanAsk(web, "POST", "/plans", wrong).find("403 Forbidden"), std::string::npos) << "a wrong code";
    const std::string made = PlanAsk(web, "POST", "/plans", holiday);
    ASSERT_NE(made.find("201 Created"), std::string::npos) << made;
    const std::string id = Body(made).substr(6, Body(made).find('}') - 6);
    const std::string tomorrow = LocalText(UtcToLocal(NowMs() + 86400000LL), true);
    ASSERT_NE(PlanAsk(web, "POST", "/plans",
                      R"({"name":"Bert","start":")" + tomorrow + R"(","end":")" + tomorrow +
                          R"(","status":3,"message":"training","code":"s3cretcode"})")
                  .find("201"),
              std::string::npos);
    ASSERT_TRUE(TickUntil([&] { return HttpGet(web, "/board.json").find(R"("planned":true)") != std::string::npos; }));
    std::string board = HttpGet(web, "/board.json");
    EXPECT_NE(board.find(R"("word":"out","message":"holiday")"), std::string::npos) << board;
    EXPECT_NE(board.find(R"("source":"plan","planned":true,"back":)"), std::string::npos) << board;
    Send("anna", 1, "at my desk");  // a re-send leaves the plan's word
    ASSERT_TRUE(TickUntil([&] { return s.Board().table.Word(0).hasDesk; }));
    EXPECT_NE(HttpGet(web, "/board.json").find(R"("planned":true)"), std::string::npos);
    EXPECT_NE(HttpGet(web, "/plans").find("403"), std::string::npos) << "reading needs the code";
    const std::string plans = HttpGet(web, "/plans?name=ANNA", "X-Pegora-Code: s3cretcode\r\n");
    EXPECT_NE(plans.find(R"("start":")" + LocalIn(0) + "\""), std::string::npos) << plans;
    EXPECT_EQ(plans.find("Bert"), std::string::npos) << "one person's plans";
    EXPECT_EQ(s.Stop(), 0);

    BoardService& again = Start();
    again.Board().webUpdates = true;
    again.Web().SetUpdates(updates);
    ASSERT_TRUE(again.Web().Start(0, error)) << error;
    web = again.Web().Port();
    ASSERT_TRUE(TickUntil([&] { return HttpGet(web, "/board.json").find(R"("planned":true)") != std::string::npos; }))
        << "the row and its plan outlive a restart";
    // Edited while in force: the row shows the new word, message and back time at once.
    const auto back = [&] {
        const std::string b = HttpGet(web, "/board.json");
        return b.substr(b.find(R"("back":)"), 22);
    };
    const std::string backBefore = back();
    const std::string edited = R"({"name":"anna","start":")" + LocalIn(0) + R"(","end":")" + LocalIn(180) +
                               R"(","status":3,"message":"conference","code":"s3cretcode"})";
    EXPECT_NE(PlanAsk(web, "PUT", "/plans/" + id, edited).find("200 OK"), std::string::npos);
    EXPECT_TRUE(TickUntil([&] {
        return HttpGet(web, "/board.json").find(R"("word":"other","message":"conference")") != std::string::npos;
    })) << HttpGet(web, "/board.json");
    EXPECT_NE(back(), backBefore) << "the later end";
    // The plan cut short: the desk still speaks, so its word shows again.
    const std::string shortened = R"({"name":"anna","start":")" + LocalIn(-60) + R"(","end":")" + LocalIn(0) +
                                  R"(","status":2,"message":"holiday","code":"s3cretcode"})";
    EXPECT_NE(PlanAsk(again.Web().Port(), "PUT", "/plans/" + id, shortened).find("200 OK"), std::string::npos);
    ASSERT_TRUE(TickUntil([&] { return HttpGet(web, "/board.json").find(R"("planned":true)") == std::string::npos; }));
    board = HttpGet(web, "/board.json");
    EXPECT_NE(board.find(R"("message":"at my desk")"), std::string::npos) << board;
    EXPECT_NE(board.find(R"("nextPlan":{"start":")" + tomorrow + R"(","end":")" + tomorrow +
                         R"(","status":3,"message":"training"})"),
              std::string::npos)
        << "Bert's next plan, tomorrow: " << board;
    ASSERT_TRUE(TickUntil([&] { return host.Count(": other -> in, by a plan") == 1; }));
    EXPECT_EQ(host.Count(": in -> out, by a plan"), 1);
    EXPECT_EQ(host.Count(": out -> other, by a plan"), 1) << "the edit is a change of its own";
    const std::string history = HttpGet(web, "/history?name=anna", "X-Pegora-Code: s3cretcode\r\n");
    EXPECT_NE(history.find(R"("message":"holiday","source":"plan")"), std::string::npos) << history;
    // Calendars: a key opens its own feed only; the page is given a person's own address.
    const std::string key(64, 'c');
    std::unique_ptr<BoardStore> keys = BoardStore::Connect(config.stateFile, error);
    ASSERT_TRUE(keys && keys->AddCalendarKey(Sha256(key), "person:bert", NowMs(), false, error)) << error;
    EXPECT_NE(HttpGet(web, "/calendar/person/Bert.ics?key=" + key).find("SUMMARY:Bert: other\\, training\r\n"),
              std::string::npos);
    EXPECT_NE(HttpGet(web, "/calendar/person/anna.ics?key=" + key).find("404"), std::string::npos);
    const std::string link = Body(PlanAsk(web, "POST", "/calendar-link", R"({"name":"Anna","code":"s3cretcode"})"));
    const std::string path = link.substr(link.find("/calendar/"), link.rfind('"') - link.find("/calendar/"));
    EXPECT_EQ(path.substr(0, 30), "/calendar/person/anna.ics?key=") << link;
    EXPECT_NE(HttpGet(web, path).find("BEGIN:VCALENDAR"), std::string::npos) << path;
    EXPECT_NE(PlanAsk(web, "DELETE", "/plans/" + id, R"({"code":"s3cretcode"})").find("200 OK"), std::string::npos);
    EXPECT_NE(PlanAsk(web, "DELETE", "/plans/" + id, R"({"code":"s3cretcode"})").find("404"), std::string::npos);
    EXPECT_EQ(again.Stop(), 0);
}

// HR's spreadsheet: each wrong line said with its number, the good ones taken.
TEST(PlanImport, EachLineTakenOrSaidWithItsNumber) {
    const std::string csv =
        "\xEF\xBB\xBFName,Start,End,Status,Message,Cost centre\n"
        "anna,2027-01-04,2027-01-08,out,skiing\n"
        "bert,2027-01-04 14:00,2027-01-04 15:00,Other,\"training, room 2\"\n"
        "cleo,2027-01-04,2027-01-04 15:00,out,\n"
        "dora,2027-02-30,2027-03-01,out,\n"
        "eli,2027-01-05,2027-01-04,out,\n"
        "fay,2027-01-04,2027-01-04,in,\n"
        ",2027-01-04,2027-01-04,out,\n"
        "a name of more than nineteen,2027-01-04,2027-01-04,out,\n"
        "gus,2027-01-04,2027-01-04,,\"never closed\n";
    std::vector<Plan> plans;
    std::vector<std::string> problems;
    ReadPlansCsv(csv, "hr.csv", plans, problems);
    ASSERT_EQ(plans.size(), 2u);
    EXPECT_TRUE(plans[0].allDay && plans[0].message == "skiing" && plans[0].source == "import");
    EXPECT_TRUE(!plans[1].allDay && plans[1].status == StatusOther && plans[1].message == "training, room 2");
    const std::vector<std::string> said = {
        "hr.csv:4: the start and the end are both dates, or both dates and times",
        "hr.csv:5: the start \"2027-02-30\" is not a date (2027-01-05) or date and time (2027-01-05 14:00)",
        "hr.csv:6: the plan ends before it starts",
        "hr.csv:7: the status \"in\" is not out or other",
        "hr.csv:8: no name",
        "hr.csv:9: the name is longer than 19 characters or has one the board cannot show",
        "hr.csv:10: a quoted field is not closed on its line"};
    EXPECT_EQ(problems, said);
}
