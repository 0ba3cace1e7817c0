#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "StaffCsv.h"
#include "StaffRefresher.h"

namespace {

std::string Names(const StaffList& list) {
    std::string out;
    for (const StaffPerson& p : list.people)
        out += (out.empty() ? "" : "|") + p.key + "/" + p.displayName + "/" + p.group;
    return out;
}

}  // namespace

// One table of files and what each gives: the people, then what was said.
TEST(StaffDirectory, CsvFilesAsSpreadsheetsWriteThem) {
    struct Row {
        const char* what;
        std::string text;
        bool usable;
        const char* people;  // key/display/group, in order
        const char* said;    // a problem, an error or a summary's part; "" for none
    } rows[] = {
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
        {"a file saved in the Windows code page", "name,display name\nrene,Ren\xe9 Roux\n", true,
         "rene/Ren\xc3\xa9 Roux/", ""},
        {"a quoted field never closed", "name\nanna\n\"bert,x\n", true, "anna//",
         "staff.csv:3: a quoted field is not closed"},
    };
    for (const Row& row : rows) {
        std::vector<StaffEntry> entries;
        std::vector<std::string> problems;
        std::string error;
        EXPECT_EQ(ReadStaffCsv(row.text, "staff.csv", entries, problems, error), row.usable) << row.what;
        StaffList list = MakeStaffList(entries);
        EXPECT_EQ(Names(list), row.people) << row.what;
        std::string said = error;
        for (const std::string& p : problems) said += p;
        said += StaffSummary(list, "staff.csv");
        EXPECT_NE(said.find(row.said), std::string::npos) << row.what << ": " << said;
    }
}

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
    source.read = [gate](StaffList& list, std::vector<std::string>&, std::string&) {
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
        StaffRefresher refresher(directory, source, "", std::chrono::minutes(15),
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
