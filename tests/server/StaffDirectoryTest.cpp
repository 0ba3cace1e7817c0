#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <memory>
#include <mutex>

#include "StaffCsv.h"
#include "StaffRefresher.h"
#include "Windows1252.h"
#include "TableRows.h"

namespace {

std::string Names(const StaffList& list) {
    std::string out;
    for (const StaffPerson& p : list.people)
        out += (out.empty() ? "" : "|") + p.key + "/" + p.displayName + "/" + p.group;
    return out;
}

}  // namespace

// One table of files and what each gives: the people, then what was said.
namespace {

struct CsvFile {
    const char* what;
    std::string text;
    bool usable;
    const char* people;  // key/display/group, in order
    const char* said;    // a problem, an error or a summary's part; "" for none
};
const std::string longField(5000, 'a'), longPerson = "anna/" + longField + "/";
const CsvFile csvFiles[] = {
    {"a byte-order mark and columns in any order and case",
     "\xEF\xBB\xBFGroup,NAME,Display Name\r\nSales,jsmith,Jo Smith\r\n", true, "jsmith/Jo Smith/Sales", ""},
    {"quotes, commas and a line break inside quotes",
     "name,display name,group,notes\n\"bert\",\"Bert \"\"B\"\" Berg\",\"Sales, "
     "North\",\"two\nlines\"\nanna,Anna,HR,x\n",
     true, "bert/Bert \"B\" Berg/Sales, North|anna/Anna/HR", ""},
    {"only a name column; blank lines and spaces", "\n name \n\n  cleo  \n\n", true, "cleo//", ""},
    {"no name column", "display name,group\nJo,Sales\n", false, "", "staff.csv:1: no \"name\" column"},
    {"an empty file", "", false, "", "staff.csv: the file is empty"},
    {"duplicate names in another case: the first stands", "name,group\nJSmith,A\njsmith,B\n", true, "JSmith//A",
     "1 entries with a name already listed; staff.csv:3: \"jsmith\" is already listed"},
    {"a 25-byte name is cut to 19, as the installer cuts it", "name\nabcdefghijklmnopqrstuvwxy\n", true,
     "abcdefghijklmnopqrs//", ""},
    {"a name outside Windows-1252 is skipped, an accented one kept", "name\n\xce\xa9mega\nRen\xc3\xa9\n,\n", true,
     "Ren\xe9//", "2 entries skipped (no name a desk can send); staff.csv:2: \"\xce\xa9mega\" has a character"},
    {"a file saved in the Windows code page", "name,display name\nrene,Ren\xe9 Roux\n", true, "rene/Ren\xc3\xa9 Roux/",
     "1 people, read as Windows-1252"},
    {"a quoted field never closed", "name\nanna\n\"bert,x\n", true, "anna//",
     "staff.csv:3: a quoted field is not closed"},
    {"an unclosed quote skips its own line, and every later line is read",
     "name,display name\nanna,Anna\nuser49,\"User 49,Dept\nbert,Bert\ncleo,\"Cole, C\"\n", true,
     "anna/Anna/|bert/Bert/|cleo/Cole, C/",
     "staff.csv:3: a quoted field is not closed on its line; the line is skipped"},
    {"a quote closed lines later but not as a field ends is no field", "name,group\nanna,\"A\nbert,\"B\",x\ncleo,C\n",
     true, "bert//B|cleo//C", "read as UTF-8, 1 lines not read"},
    {"one stray byte in a UTF-8 file skips that line alone",
     "name,display name\nrene,Ren\xc3\xa9\njose,Jos\xe9\nanna,Anna\n", true, "rene/Ren\xc3\xa9/|anna/Anna/",
     "staff.csv:3: not UTF-8, as the rest of the file is; the line is skipped"},
    {"a byte in neither encoding", "name\nx\x81y\nren\xe9\n", true, "ren\xe9//",
     "staff.csv:2: neither UTF-8 nor Windows-1252"},
    {"a name that would forge a log line is skipped, and said on one line",
     "name,display name\n\"ann\n<0>x\"\nbo,\"Bo\nBerg\"\n", true, "bo/Bo Berg/",
     "staff.csv:2: \"ann?<0>x\" has a character a desk cannot send"},
    {"a quoted name keeps its spaces, as the kept copy writes a 19-byte cut that ends in one",
     "name,display name\n\"abcdefghijklmnopqr s\", x \n", true, "abcdefghijklmnopqr /x/", ""},
    {"a long quoted field on one line is a field", "name,display name\nanna,\"" + longField + "\"\n", true,
     longPerson.c_str(), ""},
};

}  // namespace

class CsvFilesAsSpreadsheetsWriteThem : public ::testing::TestWithParam<CsvFile> {};

TEST_P(CsvFilesAsSpreadsheetsWriteThem, EachRow) {
    const CsvFile& row = GetParam();
    StaffList list;
    std::vector<std::string> problems;
    std::string error;
    EXPECT_EQ(ReadStaffCsv(row.text, "staff.csv", list, problems, error), row.usable) << row.what;
    EXPECT_EQ(Names(list), row.people) << row.what;
    std::string said = error;
    for (const std::string& p : problems) said += p;
    const std::string summary = StaffSummary(list, "staff.csv");
    said += summary;
    EXPECT_NE(said.find(row.said), std::string::npos) << row.what << ": " << said;
    EXPECT_EQ(summary.find_first_of("\r\n"), std::string::npos) << "one log line: " << summary;
    EXPECT_TRUE(ValidUtf8(StaffCsv(list))) << "the kept copy is always UTF-8";
}
INSTANTIATE_TEST_SUITE_P(Rows, CsvFilesAsSpreadsheetsWriteThem, ::testing::ValuesIn(csvFiles),
                         RowsNamedBy(&CsvFile::what));

// Whether a read is taken in place of the list before: a fault looks like a
// change only when the administrator says it is one.
namespace {

struct Doubt {
    const char* what;
    std::size_t before, after, lines, unreadable;
    bool asked;
    const char* said;  // "" when taken
} const doubts[] = {
    {"the first list is taken, whatever it is", 0, 3, 10, 5, false, ""},
    {"nobody where there were people is never taken", 3, 0, 0, 0, true, "the directory gave nobody"},
    {"a tenth of the lines unread is taken", 100, 90, 100, 10, false, ""},
    {"more than a tenth unread is not", 100, 89, 100, 11, false, "11 of 100 lines could not be read"},
    {"half the people is taken", 100, 50, 50, 0, false, ""},
    {"fewer than half is not", 100, 49, 49, 0, false, "gave 49 people, fewer than half of the 100"},
    {"unless the administrator asked for the read", 100, 49, 100, 51, true, ""},
};

StaffList People(std::size_t n) {
    std::vector<StaffEntry> entries;
    for (std::size_t i = 0; i < n; ++i) entries.push_back({"p" + std::to_string(i), "", "", "", "x"});
    return MakeStaffList(entries);
}

}  // namespace

class ADoubtfulListIsNotTaken : public ::testing::TestWithParam<Doubt> {};

TEST_P(ADoubtfulListIsNotTaken, EachRow) {
    const Doubt& row = GetParam();
    StaffList after = People(row.after);
    after.lines = row.lines;
    after.unreadable = row.unreadable;
    const std::string said = DoubtfulList(after, People(row.before), row.asked);
    EXPECT_EQ(said.empty(), row.said[0] == 0) << said;
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
}
INSTANTIATE_TEST_SUITE_P(Rows, ADoubtfulListIsNotTaken, ::testing::ValuesIn(doubts), RowsNamedBy(&Doubt::what));

TEST(StaffDirectory, DesksFindTheirPersonByTheKeyRule) {
    StaffList list =
        MakeStaffList({{"JSmith", "Jo Smith", "Sales", "+44 20 1", "x:2"}, {"Ren\xc3\xa9", "", "", "", "x:3"}});
    ASSERT_NE(FindStaff(list, "jsmith"), nullptr);
    EXPECT_EQ(FindStaff(list, "JSMITH")->phone, "+44 20 1");
    EXPECT_NE(FindStaff(list, "ren\xe9"), nullptr) << "ASCII letters fold; the Windows-1252 byte matches itself";
    EXPECT_EQ(FindStaff(list, "REN\xc9"), nullptr) << "only ASCII letters are folded";
    EXPECT_EQ(FindStaff(list, "jsmit"), nullptr);
    EXPECT_EQ(StaffSummary(list, "x"), "directory x: 2 people");
}

// A directory server that hangs: the stop does not wait for it, and what the
// read left behind finds is never taken. (Were the stop to wait, it would wait
// for ever: the read is let go only after the stop.)
TEST(StaffDirectory, AStopNeverWaitsForAHungSource) {
    struct Gate {
        std::mutex lock;
        std::condition_variable changed;
        bool entered = false, open = false, left = false;
    };
    auto gate = std::make_shared<Gate>();
    StaffSource source;
    source.kind = "ldap";
    source.name = "ldap://127.0.0.1:1";
    source.remote = true;
    source.read = [gate](StaffList& list, std::vector<std::string>&, StaffError&) {
        std::unique_lock<std::mutex> guard(gate->lock);
        gate->entered = true;
        gate->changed.notify_all();
        gate->changed.wait(guard, [&] { return gate->open; });
        list = MakeStaffList({{"anna", "Anna Adams", "HR", "", "dn"}});
        gate->left = true;
        gate->changed.notify_all();
        return true;
    };
    StaffDirectory directory("ldap");
    std::vector<std::string> said;
    {
        StaffRefresher refresher(directory, source, StaffKeeper(), std::chrono::minutes(15),
                                 [&said](bool, const std::string& line) { said.push_back(line); });
        refresher.Start();
        std::unique_lock<std::mutex> guard(gate->lock);
        gate->changed.wait(guard, [&] { return gate->entered; });
        guard.unlock();
        refresher.Stop();
    }
    std::unique_lock<std::mutex> guard(gate->lock);
    gate->open = true;
    gate->changed.notify_all();
    gate->changed.wait(guard, [&] { return gate->left; });
    guard.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the thread left behind ends
    EXPECT_EQ(directory.State().updatedMs, 0) << "the list found after the stop is not taken";
    EXPECT_TRUE(said.empty());
}

// The kept list serves from the start until the source is read, then follows
// every good read; a keeper that cannot write is said once, and the list serves.
TEST(StaffDirectory, TheKeptListServesFirstAndFollowsEachGoodRead) {
    struct Kept {
        std::mutex lock;
        std::vector<std::size_t> sizes;
    };
    auto kept = std::make_shared<Kept>();
    std::atomic<int> reads{0};
    StaffSource source;
    source.kind = "file";
    source.name = "staff.csv";
    source.read = [&](StaffList& list, std::vector<std::string>&, StaffError&) {
        list = MakeStaffList(
            ++reads < 3 ? std::vector<StaffEntry>{{"anna", "Anna", "HR", "", "x:2"}}
                        : std::vector<StaffEntry>{{"anna", "Anna", "HR", "", "x:2"}, {"bert", "", "", "", "x:3"}});
        return true;
    };
    StaffKeeper keeper;
    keeper.where = "the database";
    keeper.restore = [](StaffList& list, std::int64_t& readMs) {
        list = MakeStaffList({{"cleo", "", "", "", "x"}});
        readMs = 1234;
        return true;
    };
    keeper.keep = [kept](const StaffList& list, std::int64_t, std::string& error) {
        std::lock_guard<std::mutex> guard(kept->lock);
        kept->sizes.push_back(list.people.size());
        error = "disk full";
        return kept->sizes.size() > 1;
    };
    StaffDirectory directory("file");
    std::vector<std::string> said;
    std::mutex saidLock;
    StaffRefresher refresher(directory, source, keeper, std::chrono::minutes(15), [&](bool, const std::string& line) {
        std::lock_guard<std::mutex> guard(saidLock);
        said.push_back(line);
    });
    refresher.Start();
    auto keptCount = [kept] {
        std::lock_guard<std::mutex> guard(kept->lock);
        return kept->sizes.size();
    };
    for (int i = 0; i < 500 && keptCount() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int asked = 2; asked <= 3; ++asked) {
        refresher.Request();
        for (int i = 0; i < 500 && keptCount() < static_cast<std::size_t>(asked); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    refresher.Stop();
    std::lock_guard<std::mutex> guard(kept->lock);
    EXPECT_EQ(kept->sizes, (std::vector<std::size_t>{1, 1, 2})) << "each good read kept, the changed list too";
    std::lock_guard<std::mutex> saidGuard(saidLock);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said[0],
              "directory: the last good list of 1 people, from the database, serves until the source has "
              "been read");
    EXPECT_EQ(std::count(said.begin(), said.end(), "directory: cannot keep the list in the database: disk full"), 1);
}
