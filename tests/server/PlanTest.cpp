#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ICalendar.h"
#include "PlanBook.h"
#include "TableRows.h"

namespace {

struct StampCase {
    const char* text;
    bool good, dateOnly;
    const char* back;
};
const StampCase stampCases[] = {
    {"2027-01-05", true, true, "2027-01-05"},
    {"2027-01-05T14:00", true, false, "2027-01-05T14:00"},
    {"2027-01-05 09:30:00", true, false, "2027-01-05T09:30"},
    {"2027-02-29", false, false, ""},
    {"2028-02-29", true, true, "2028-02-29"},
    {"2027-1-05", false, false, ""},
    {"2027-01-05T24:00", false, false, ""},
    {"2027-01-05T14:00:30", false, false, ""},
    {"2027-01-05T14:00Z", false, false, ""},
    {"", false, false, ""},
};

// The board's zone for a test: London, for its summer time.
struct InLondon {
    InLondon() {
#ifdef _WIN32
        _putenv_s("TZ", "GMT0BST,M3.5.0/1,M10.5.0");
        _tzset();
#else
        setenv("TZ", "Europe/London", 1);
        tzset();
#endif
    }
};

Plan Weekly(const char* start, const char* end, unsigned weekdays, int every) {
    Plan p;
    bool dateOnly = false;
    ParseLocalStamp(start, p.start, dateOnly);
    p.allDay = dateOnly;
    ParseLocalStamp(end, p.end, dateOnly);
    p.name = "anna";
    p.repeats = weekdays != 0;
    p.repeat.weekdays = weekdays;
    p.repeat.every = every;
    return p;
}

std::string Local(std::int64_t ms) { return LocalText(UtcToLocal(ms), false); }

}  // namespace

class LocalStamps : public ::testing::TestWithParam<StampCase> {};

TEST_P(LocalStamps, ReadAndWrittenBack) {
    const StampCase& row = GetParam();
    LocalStamp stamp;
    bool dateOnly = false;
    EXPECT_EQ(ParseLocalStamp(row.text, stamp, dateOnly), row.good) << row.text;
    if (row.good) {
        EXPECT_EQ(LocalText(stamp, dateOnly), row.back);
        EXPECT_EQ(dateOnly, row.dateOnly);
    }
}
INSTANTIATE_TEST_SUITE_P(Rows, LocalStamps, ::testing::ValuesIn(stampCases), RowsNamedBy(&StampCase::text));

TEST(Plans, ARepeatKeepsItsLocalTimeAcrossSummerTimeBothWays) {
    InLondon zone;
    // Tuesdays 14:00-15:00 from March to November 2027: summer time starts 28 March, ends 31 October.
    Plan p = Weekly("2027-03-23T14:00", "2027-03-23T15:00", 1u << 1, 1);
    ASSERT_EQ(PlanProblem(p), "");
    const std::vector<Occurrence> all = Occurrences(p, LocalToUtcMs(p.start), LocalToUtcMs({2027, 11, 10, 0}), 100);
    ASSERT_EQ(all.size(), 34u);
    for (const Occurrence& o : all) {
        EXPECT_EQ(Local(o.startMs).substr(10), "T14:00");
        EXPECT_EQ(o.endMs - o.startMs, 3600000);
    }
#ifndef _WIN32  // Windows takes the zone's changes from its own settings, never from TZ's rules
    EXPECT_EQ(all[1].startMs - all[0].startMs, 7 * 86400000LL - 3600000) << "the spring week is an hour short";
    EXPECT_EQ(all[32].startMs - all[31].startMs, 7 * 86400000LL + 3600000) << "the autumn week an hour long";
#endif
}

TEST(Plans, WeekdaysEveryNWeeksUntilADayLeavingDaysOut) {
    InLondon zone;
    Plan p = Weekly("2027-01-04", "2027-01-04", (1u << 0) | (1u << 4), 2);  // Mondays and Fridays, fortnightly
    p.repeat.hasUntil = true;
    p.repeat.until = {2027, 2, 1, 0};
    p.repeat.except = {{2027, 1, 18, 0}};
    std::vector<std::string> days;
    for (const Occurrence& o : Occurrences(p, 0, LocalToUtcMs({2028, 1, 1, 0}))) {
        days.push_back(LocalText(UtcToLocal(o.startMs), true));
        EXPECT_EQ(o.endMs - o.startMs, 86400000) << "a whole day";
    }
    EXPECT_EQ(days, (std::vector<std::string>{"2027-01-04", "2027-01-08", "2027-01-22", "2027-02-01"}));
    EXPECT_EQ(LastEndMs(p), LocalToUtcMs({2027, 2, 2, 0}));
    p.repeat.weekdays = 0;
    EXPECT_EQ(PlanProblem(p), "A repeat needs its weekdays.");
}

TEST(Plans, TheBookGivesWhatIsDueInOrderAndWhatHolds) {
    InLondon zone;
    PlanBook book;
    Plan holiday = Weekly("2027-12-20", "2028-01-02", 0, 1);
    holiday.id = 1;
    Plan meeting = Weekly("2027-12-21T10:00", "2027-12-21T11:00", 1u << 1, 1);
    meeting.id = 2;
    const std::int64_t before = LocalToUtcMs({2027, 12, 1, 0});
    book.Put(holiday, before);
    book.Put(meeting, before);
    EXPECT_TRUE(book.Due(before).empty());
    const std::vector<PlanEvent> due = book.Due(LocalToUtcMs({2027, 12, 21, 10 * 60 + 30}));
    ASSERT_EQ(due.size(), 2u);
    EXPECT_TRUE(due[0].planId == 1 && due[0].start && due[1].planId == 2 && due[1].start);
    Plan holding;
    Occurrence when;
    ASSERT_TRUE(book.Holding("ANNA", LocalToUtcMs({2027, 12, 21, 10 * 60 + 30}), holding, when));
    EXPECT_EQ(holding.id, 2) << "the later start shows";
    EXPECT_EQ(book.Due(LocalToUtcMs({2027, 12, 21, 11 * 60})).size(), 1u) << "the meeting's end";
    ASSERT_TRUE(book.Next("anna", before, 21 * 86400000LL, holding, when));
    EXPECT_EQ(holding.id, 1);
    EXPECT_FALSE(book.Next("anna", before, 14 * 86400000LL, holding, when)) << "nothing within 14 days";
    EXPECT_EQ(book.Forget(LocalToUtcMs({2028, 2, 1, 0})), std::vector<std::int64_t>{1}) << "the repeat never ends";
}

TEST(Calendar, LinesFoldedWholeTextEscapedAndTheZoneWithItsChanges) {
    InLondon zone;
    std::string long_;
    for (int i = 0; i < 100; ++i) long_ += "\xC3\xA9";  // é, two octets each
    const std::string folded = FoldLine("SUMMARY:" + long_);
    std::size_t start = 0;
    for (std::size_t end; (end = folded.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, 75u);
        EXPECT_NE(static_cast<unsigned char>(folded[end - 1]), 0xC3u) << "never inside a sequence";
    }
    EXPECT_EQ(CalendarEscape("a, b; c\\d\ne"), "a\\, b\\; c\\\\d\\ne");

    Plan p = Weekly("2027-01-04T14:00", "2027-01-04T15:00", (1u << 0) | (1u << 4), 2);
    p.id = 42;
    p.message = "stand-up, room 2";
    p.repeat.hasUntil = true;
    p.repeat.until = {2027, 12, 31, 0};
    p.repeat.except = {{2027, 1, 8, 0}};
    Plan holiday = Weekly("2027-08-02", "2027-08-13", 0, 1);
    holiday.id = 43;
    CalendarFeed feed;
    feed.title = "Pegora: the office";
    feed.host = "board.example";
    feed.nowMs = LocalToUtcMs({2027, 1, 1, 0});
    const std::string ics = CalendarText(feed, {p, holiday});
    const std::string tzid = LocalZoneName();
#ifdef _WIN32
    // Windows names its zone from its own settings and takes TZ's changes by its
    // own rule, not London's: the parts' offsets are checked, not their days.
    const std::string daylight = "\r\nBEGIN:DAYLIGHT\r\nDTSTART:2027", standard = "\r\nBEGIN:STANDARD\r\nDTSTART:2027";
    const std::string spring = "\r\nTZOFFSETFROM:+0000\r\nTZOFFSETTO:+0100\r\nEND:DAYLIGHT\r\n",
                      autumn = "\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0000\r\nEND:STANDARD\r\n";
#else
    EXPECT_EQ(tzid, "Europe/London");
    const std::string daylight =
                          "\r\nBEGIN:DAYLIGHT\r\nDTSTART:20270328T010000\r\nTZOFFSETFROM:+0000\r\nTZOFFSETTO:+0100\r\n",
                      standard =
                          "\r\nBEGIN:STANDARD\r\nDTSTART:20271031T020000\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0000\r\n";
    const std::string &spring = daylight, &autumn = standard;
#endif
    for (const std::string& line :
         {std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"), std::string("\r\nUID:plan-42@board.example\r\n"),
          "\r\nDTSTART;TZID=" + tzid + ":20270104T140000\r\n",
          std::string("\r\nSUMMARY:anna: out\\, stand-up\\, room 2\r\n"),
          std::string("\r\nRRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,FR;UNTIL=20271231T235959Z;WKST=MO\r\n"),
          "\r\nEXDATE;TZID=" + tzid + ":20270108T140000\r\n", daylight, standard, spring, autumn,
          std::string("\r\nDTSTART;VALUE=DATE:20270802\r\nDTEND;VALUE=DATE:20270814\r\n"),
          std::string("END:VCALENDAR\r\n")})
        EXPECT_NE(ics.find(line), std::string::npos) << line << "\n" << ics;
#ifndef _WIN32
    setenv("TZ", "GMT0BST,M3.5.0/1,M10.5.0", 1);  // a zone by its rules: no comma may end the parameter
    tzset();
    EXPECT_NE(CalendarText(feed, {p}).find("\r\nDTSTART;TZID=GMT0BST_M3.5.0/1_M10.5.0:20270104T140000\r\n"),
              std::string::npos);
    InLondon back;
#endif
}
