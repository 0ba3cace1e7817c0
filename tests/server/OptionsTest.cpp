#include "Records.h"
#include "BoardOptions.h"
#include "BoardView.h"
#include "ServerFixture.h"
#include "TableRows.h"

namespace {

struct OptionRow {
    const char* what;
    const char* name;
    std::uint32_t type;
    std::vector<unsigned char> bytes;
    std::uint32_t webPort, silentMinutes, pacing = 250;
};
const OptionRow optionRows[] = {{"absent", "", 0, {}, 0, 0},
                                {"port 8080", "WebPort", SettingDword, {0x90, 0x1f, 0, 0}, 8080, 0},
                                {"port above 65535", "WebPort", SettingDword, {0, 0, 1, 0}, 0, 0},
                                {"port as a string", "WebPort", SettingString, {'8', '0', 0, 0}, 0, 0},
                                {"port in two bytes", "WebPort", SettingDword, {0x90, 0x1f}, 0, 0},
                                {"port in eight bytes", "WebPort", SettingDword, {0x90, 0x1f, 0, 0, 0, 0, 0, 0}, 0, 0},
                                {"3 minutes", "SilentMinutes", SettingDword, {3, 0, 0, 0}, 0, 3},
                                {"1440 minutes", "SilentMinutes", SettingDword, {0xa0, 5, 0, 0}, 0, 1440},
                                {"1441 minutes", "SilentMinutes", SettingDword, {0xa1, 5, 0, 0}, 0, 0},
                                {"minutes of another type", "SilentMinutes", 3, {3, 0, 0, 0}, 0, 0},
                                {"no pacing", "AcceptPacingMs", SettingDword, {0, 0, 0, 0}, 0, 0, 0},
                                {"pacing 1000", "AcceptPacingMs", SettingDword, {0xe8, 3, 0, 0}, 0, 0, 1000},
                                {"pacing 1001", "AcceptPacingMs", SettingDword, {0xe9, 3, 0, 0}, 0, 0, 250},
                                {"pacing as a string", "AcceptPacingMs", SettingString, {'0', 0, 0, 0}, 0, 0, 250}};

}  // namespace

class ReadOnlyWhatIsADwordInRange : public ::testing::TestWithParam<OptionRow> {};

TEST_P(ReadOnlyWhatIsADwordInRange, EachRow) {
    const OptionRow& row = GetParam();
    ClearSettingsKey(ServerKeyPath);
    if (row.name[0])
        SettingsKey::Open(ServerKeyPath)
            ->Write(row.name, row.type, row.bytes.data(), static_cast<std::uint32_t>(row.bytes.size()));
    BoardOptions options = ReadBoardOptions();
    EXPECT_EQ(options.webPort, row.webPort) << row.what;
    EXPECT_EQ(options.silentMinutes, row.silentMinutes) << row.what;
    EXPECT_EQ(options.acceptPacingMs, row.pacing) << row.what;
}
INSTANTIATE_TEST_SUITE_P(Rows, ReadOnlyWhatIsADwordInRange, ::testing::ValuesIn(optionRows),
                         RowsNamedBy(&OptionRow::what));

TEST(BoardOptions, WrittenAndReadBack) {
    ClearSettingsKey(ServerKeyPath);
    BoardOptions written = TestOptions(8081, 5);
    written.webUpdates = true;
    written.webUpdateCode = "caf\xe9";
    ASSERT_TRUE(WriteBoardOptions(written));
    BoardOptions back = ReadBoardOptions();
    EXPECT_EQ(back.webPort, 8081u);
    EXPECT_EQ(back.silentMinutes, 5u);
    EXPECT_TRUE(back.webUpdates);
    EXPECT_EQ(back.webUpdateCode, "caf\xe9");

    struct Update {
        const char* what;
        const char* name;
        std::uint32_t type;
        std::vector<unsigned char> bytes;
        bool on;
        const char* code;
    } updates[] = {
        {"on", "WebUpdates", SettingDword, {1, 0, 0, 0}, true, ""},
        {"2 is not on", "WebUpdates", SettingDword, {2, 0, 0, 0}, false, ""},
        {"on as a string", "WebUpdates", SettingString, {'1', 0}, false, ""},
        {"a code", "WebUpdateCode", SettingString, {'a', 'b', 0}, false, "ab"},
        {"a code as a DWORD", "WebUpdateCode", SettingDword, {'a', 'b', 'c', 0}, false, ""},
        {"a code without its end", "WebUpdateCode", SettingString, {'a', 'b'}, false, ""},
        {"a code of 32 characters", "WebUpdateCode", SettingString, std::vector<unsigned char>(33, 'x'), false, ""}};
    for (Update& u : updates) {
        ClearSettingsKey(ServerKeyPath);
        if (u.bytes.size() == 33) u.bytes.back() = 0;
        SettingsKey::Open(ServerKeyPath)
            ->Write(u.name, u.type, u.bytes.data(), static_cast<std::uint32_t>(u.bytes.size()));
        BoardOptions options = ReadBoardOptions();
        EXPECT_EQ(options.webUpdates, u.on) << u.what;
        EXPECT_EQ(options.webUpdateCode, u.code) << u.what;
    }
}

namespace {

struct FieldsCase {
    bool share;
    const char* port;
    bool grey;
    const char* minutes;
    bool taken;
    std::uint32_t webPort, silentMinutes;
    bool updates = false;
    const char* code = "";
    bool updatesTaken = false;
};
const FieldsCase fieldsCases[] = {
    {false, "junk", false, "junk", true, 0, 0},
    {true, "8080", false, "3", true, 8080, 0, true, "fire drill", true},
    {false, "8080", false, "3", true, 0, 0, true, "", false},  // updates only with the web view
    {true, "8080", false, "3", true, 8080, 0, true, "0123456789012345678901234567890", true},
    {true, "8080", false, "3", false, 0, 0, true, "01234567890123456789012345678901"},
    {true, "8080", false, "3", false, 0, 0, true, "1234567"},  // a new code of 7: guessable
    {true, "8080", false, "3", true, 8080, 0, true, "12345678", true},
    {true, "8080", false, "3", true, 8080, 0},
    {true, "65535", true, "1440", true, 65535, 1440},
    {true, "65536", false, "3", false, 0, 0},
    {true, "0", false, "3", false, 0, 0},
    {true, "80x", false, "3", false, 0, 0},
    {true, "", false, "3", false, 0, 0},
    {false, "1", true, "0", false, 0, 0},
    {false, "1", true, "1441", false, 0, 0},
    {false, "1", true, "-3", false, 0, 0}};

}  // namespace

class DialogFieldsAreTakenOrRefused : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(DialogFieldsAreTakenOrRefused, EachRow) {
    const FieldsCase& row = GetParam();
    BoardOptions options = TestOptions(77, 77, 5);
    std::string refusal;
    bool taken = TakeOptionsFields(OptionsFields{row.share, row.port, row.grey, row.minutes, row.updates, row.code},
                                   options, refusal);
    EXPECT_EQ(taken, row.taken) << row.port << " " << row.minutes;
    if (taken) {
        EXPECT_EQ(options.webPort, row.webPort) << row.port;
        EXPECT_EQ(options.silentMinutes, row.silentMinutes) << row.minutes;
        EXPECT_EQ(options.acceptPacingMs, 5u) << "the pacing is no field of the dialog";
        EXPECT_EQ(options.webUpdates, row.updatesTaken) << row.code;
        EXPECT_EQ(options.webUpdateCode, row.code);
    } else {
        EXPECT_FALSE(refusal.empty());
        EXPECT_EQ(options.webPort, 77u) << "a refusal changes nothing";
    }
}
INSTANTIATE_TEST_SUITE_P(Rows, DialogFieldsAreTakenOrRefused, ::testing::ValuesIn(fieldsCases));

TEST(BoardOptions, TheDialogOpensAndShowsItsBoxes) {
    OptionsFields fields = OpenOptionsDialog(BoardOptions{});
    EXPECT_FALSE(fields.share);
    EXPECT_EQ(fields.portText, "8080");  // offered when first checked
    EXPECT_FALSE(fields.grey);
    EXPECT_EQ(fields.minutesText, "3");

    // What the dialog opens and shows as its boxes stand.
    struct Look {
        OptionsFields fields;
        const char* open;  // port, minutes, updates, code
        const char* address;
    } looks[] = {
        {{false, "8080", false, "", true, ""}, "----", ""},
        {{true, "8080", false, "", false, ""}, "P-U-", "http://10.0.0.5:8080/"},
        {{true, "80x", true, "3", true, ""}, "PMUC", "http://10.0.0.5:80x/"},  // as typed, wrong or not
        {{false, "8080", true, "3", true, ""}, "-M--", ""},
    };
    for (const Look& l : looks) {
        const OptionsLook look = LookOfOptions(l.fields, "10.0.0.5");
        std::string open = {look.port ? 'P' : '-', look.minutes ? 'M' : '-', look.updates ? 'U' : '-',
                            look.code ? 'C' : '-'};
        EXPECT_EQ(open, l.open) << l.address;
        EXPECT_EQ(look.address, l.address);
    }

    // A short code already stored keeps working, with a warning; changing it needs 8.
    BoardOptions stored = TestOptions(77, 77, 5);
    stored.webUpdateCode = "abc";
    std::string refusal;
    EXPECT_TRUE(TakeOptionsFields(OptionsFields{true, "8080", false, "3", true, "abc"}, stored, refusal));
    EXPECT_FALSE(TakeOptionsFields(OptionsFields{true, "8080", false, "3", true, "abd"}, stored, refusal));
    EXPECT_NE(ShortCodeWarning("abc").find("shorter than 8"), std::string::npos);
    EXPECT_EQ(ShortCodeWarning("12345678") + ShortCodeWarning(""), "");
}

TEST(BoardView, SilentRowsAreGreyAndOnlyThey) {
    BoardTable table;
    StatusRecord a, b;
    a.SetName("Anna");
    b.SetName("Bert");
    table.Store(a);
    table.Store(b);
    BoardView view;
    view.Create(10, 500, 100, 2);
    auto later = std::chrono::steady_clock::now() + std::chrono::seconds(181);
    for (const PaintItem& item : view.Rows(table)) EXPECT_FALSE(item.grey) << "off by default";
    for (const PaintItem& item : view.Rows(table, std::chrono::seconds(180), later))
        EXPECT_EQ(item.grey, item.text != ">") << item.text;  // the marker keeps its colour
    table.Store(a);                                           // Anna is heard from again
    for (const PaintItem& item : view.Rows(table, std::chrono::seconds(180), later - std::chrono::seconds(2)))
        if (item.y == 0) EXPECT_FALSE(item.grey) << item.text;
}
