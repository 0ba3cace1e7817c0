#include <gtest/gtest.h>

#include "BoardSnapshot.h"
#include "RollCall.h"

TEST(RollCall, FourGroupsByNameAndACsvNoSpreadsheetRuns) {
    BoardSnapshot snapshot;
    snapshot.silentMinutes = 0;  // the page's 3 minutes then
    snapshot.rows = {{"zoe", 1, "", 10},           {"Adam", 1, "", 179},
                     {"Quiet", 1, "", 181},        {"Cleo", 3, "at the dentist", 5},
                     {"Bert", 2, "home", 0},       {"=HYPERLINK(\"x\")", 3, "+1 \"a\"", 0},
                     {"Out Long", 2, "-", 100000}, {"stray", 9, "@home", 1}};
    std::vector<RollGroup> groups = RollCallGroups(snapshot);
    std::string csv;
    ASSERT_EQ(groups.size(), 4u);
    std::vector<std::string> seen[4];
    for (int i = 0; i < 4; ++i)
        for (const SnapshotRow& row : groups[i].rows) seen[i].push_back(row.name);
    EXPECT_STREQ(groups[1].title, "No word for a while");
    EXPECT_EQ(seen[0], (std::vector<std::string>{"Adam", "zoe"})) << "by name, without regard to case";
    EXPECT_EQ(seen[1], (std::vector<std::string>{"Out Long", "Quiet"})) << "silent whatever the status";
    EXPECT_EQ(seen[2], (std::vector<std::string>{"=HYPERLINK(\"x\")", "Cleo", "stray"}));
    EXPECT_EQ(seen[3], (std::vector<std::string>{"Bert"}));
    snapshot.silentMinutes = 1;
    EXPECT_EQ(RollCallGroups(snapshot)[1].rows.size(), 3u) << "the board's own minutes when it greys";

    // For the warden's sake: goodbyes are not silence, and a desk saying "in" is never folded away.
    snapshot.silentMinutes = 0;
    auto browser = [](const char* name, std::int32_t status, const char* message, std::int64_t age, std::int32_t desk) {
        SnapshotRow row{name, status, message, age};
        row.fromBrowser = true;
        row.hasDesk = true;
        row.deskStatus = desk;
        return row;
    };
    snapshot.rows = {{"Gone Home", 3, "Client shutdown", 30000},
                     browser("Dora", 2, "at the dentist", 20, 1),
                     browser("Eli", 2, "", 5000, 1),
                     browser("Fay", 2, "", 20, 2),
                     browser("Gus", 3, "Client shutdown", 20, 1)};
    groups = RollCallGroups(snapshot);
    const std::size_t expected[] = {2, 0, 1, 3, 0};
    for (std::size_t i = 0; i < snapshot.rows.size(); ++i) {
        const SnapshotRow& row = snapshot.rows[i];
        bool found = false;
        for (const SnapshotRow& r : groups[expected[i]].rows) found = found || r.name == row.name;
        EXPECT_TRUE(found) << row.name << " under " << groups[expected[i]].title;
    }
    EXPECT_EQ(RollMessage(snapshot.rows[1], 0), "set from a browser: out, at the dentist");
    EXPECT_EQ(RollMessage(snapshot.rows[3], 3), "");
    csv = RollCsv(snapshot, 86400 * 365);
    EXPECT_NE(csv.find("\"In\",\"Dora\",\"in\",\"set from a browser: out, at the dentist\""), std::string::npos) << csv;
    EXPECT_NE(csv.find("\"Other\",\"Gone Home\",\"other\",\"Client shutdown\""), std::string::npos) << csv;

    // With a staff directory the unheard are on it too, and the directory's columns follow.
    SnapshotRow unheard{"nobody", 0, "", 0};
    unheard.unheard = true;
    unheard.displayName = "No Body";
    unheard.group = "=Sales";
    snapshot.unheard = {unheard};
    snapshot.hasDirectory = true;
    SnapshotRow bert{"zbrown", 0, "", 0};
    bert.unheard = true;
    bert.displayName = "Bert Brown";
    snapshot.unheard.push_back(bert);
    groups = RollCallGroups(snapshot);
    EXPECT_EQ(groups[1].rows.back().name, "nobody");
    EXPECT_EQ(groups[1].rows.front().name, "zbrown") << "by the name people answer to: Bert Brown first";
    csv = RollCsv(snapshot, 86400 * 365);
    EXPECT_NE(csv.find("\"Last heard\",\"Display name\",\"Directory group\"\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\"No word for a while\",\"nobody\",\"\",\"no word yet\",\"\",\"No Body\",\"'=Sales\""),
              std::string::npos)
        << csv;

    EXPECT_LT(csv.find("\"zbrown\",\"\",\"no word yet\""), csv.find("\"Eli\""));

    snapshot.unheard.clear();
    snapshot.hasDirectory = false;  // and without one, the columns as they were
    snapshot.rows = {{"Ren\xe9", 1, "caf\xe9", 0}, {"=HYPERLINK(\"x\")", 3, "+1 \"a\"", 60}, {"Out", 2, "@home", 0}};
    csv = RollCsv(snapshot, 86400 * 365);
    ASSERT_EQ(csv.compare(0, 3, "\xEF\xBB\xBF"), 0) << "a byte-order mark for the spreadsheet";
    std::vector<std::string> lines;
    for (std::size_t at = 3, end; (end = csv.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(csv.substr(at, end - at));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "\"Group\",\"Name\",\"Status\",\"Message\",\"Last heard\"");
    const char* starts[] = {"\"In\",\"Ren\xc3\xa9\",\"in\",\"caf\xc3\xa9\",\"197",
                            "\"Other\",\"'=HYPERLINK(\"\"x\"\")\",\"other\",\"'+1 \"\"a\"\"\",\"197",
                            "\"Out\",\"Out\",\"out\",\"'@home\",\"197"};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(lines[i + 1].rfind(starts[i], 0), 0u) << lines[i + 1];
    EXPECT_EQ(lines[1].size() - lines[1].rfind(",\""), 19u) << "last heard as \"YYYY-MM-DD HH:MM\"";
}

TEST(RollCall, PeopleOutByAPlanArePlannedAwayWhateverTheirDesk) {
    BoardSnapshot snapshot;
    auto planned = [](const char* name, std::int32_t status, std::int64_t age) {
        SnapshotRow row{name, status, "holiday", age};
        row.planned = true;
        return row;
    };
    snapshot.rows = {planned("Hal", 2, 5), planned("Ida", 2, 100000), planned("Jo", 3, 5), {"Kim", 2, "lunch", 5}};
    const std::vector<RollGroup> groups = RollCallGroups(snapshot);
    ASSERT_EQ(groups.size(), 5u);
    EXPECT_STREQ(groups[4].title, "Planned away");
    ASSERT_EQ(groups[4].rows.size(), 2u) << "silent or not";
    EXPECT_EQ(groups[2].rows.size(), 1u) << "a plan of other may be a meeting in the building";
    EXPECT_EQ(groups[3].rows.size(), 1u);
    EXPECT_NE(RollCsv(snapshot, 0).find("\"Planned away\",\"Hal\",\"out\",\"holiday\""), std::string::npos);
}
