#include <gtest/gtest.h>

#include "AccountsFile.h"
#include "PasswordHash.h"
#include "TableRows.h"

namespace {

struct Vector {
    const char* name;
    const char* password;
    const char* salt;
    std::uint32_t rounds;
    std::size_t length;
    const char* hex;
};

// RFC 7914's PBKDF2-HMAC-SHA256 vectors, and the one every library repeats.
const Vector vectors[] = {
    {"Rfc7914One", "passwd", "salt", 1, 64,
     "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc49ca9cccf179b645991664b39d77ef317c71b845b1e30bd5"
     "09112041d3a19783"},
    {"Rfc7914Eighty", "Password", "NaCl", 80000, 64,
     "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56a1d425a1225833549adb841b51c9b3176a272bdebba1d0"
     "78478f62b397f33c8d"},
    {"Common4096", "password", "salt", 4096, 32, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
};

class Pbkdf2Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Pbkdf2Vectors, GiveTheirKnownKeys) {
    const Vector& v = GetParam();
    EXPECT_EQ(HexOf(Pbkdf2Sha256(v.password, v.salt, v.rounds, v.length)), v.hex);
}

INSTANTIATE_TEST_SUITE_P(Known, Pbkdf2Vectors, ::testing::ValuesIn(vectors), RowsNamedBy(&Vector::name));

const char* const Good =
    "pbkdf2-sha256$1000$00112233445566778899aabbccddeeff$"
    "0000000000000000000000000000000000000000000000000000000000000000";

struct Line {
    const char* name;
    std::string text;
    const char* problem;  // empty: taken
};

const Line lines[] = {
    {"Person", std::string("anna:person:") + Good, ""},
    {"ReceptionAfterAComment", std::string("# who\r\nnina north:reception:") + Good, ""},
    {"NoRole", "anna:" + std::string(Good), "1: not name:role:hash"},
    {"UnknownRole", std::string("anna:boss:") + Good, "1: the role must be person or reception, not \"boss\""},
    {"ControlInName", std::string("an\tna:person:") + Good, "1: a name cannot hold a colon or a control character"},
    {"NameTooLong", std::string("abcdefghijklmnopqrstu:person:") + Good,
     "1: a name is at most 19 characters, as a row's is"},
    {"OtherScheme", "anna:person:sha1$1$00$00", "1: not a pbkdf2-sha256 hash"},
    {"ZeroRounds", "anna:person:pbkdf2-sha256$0$00$00", "1: its rounds are 0"},
    {"ShortHash", "anna:person:pbkdf2-sha256$10$0011$abcd", "1: its hash is not 32 bytes of hex"},
    {"TwiceByTheKeyRule", std::string("Anna:person:") + Good + "\nANNA:person:" + Good, "2: ANNA is given twice"},
};

class AccountLines : public ::testing::TestWithParam<Line> {};

// A wrong line is refused with its number, and nothing is taken from the file.
TEST_P(AccountLines, AreTakenOrRefusedWithTheirLine) {
    const Line& row = GetParam();
    std::vector<Account> accounts{{"kept", false, Good}};
    std::vector<AccountsProblem> problems;
    const bool taken = ParseAccounts(row.text, accounts, problems);
    std::string said = problems.empty() ? "" : std::to_string(problems[0].line) + ": " + problems[0].what;
    EXPECT_EQ(said, row.problem);
    EXPECT_EQ(taken, std::string(row.problem).empty());
    if (!taken) EXPECT_EQ(accounts[0].name, "kept");
}

INSTANTIATE_TEST_SUITE_P(Rows, AccountLines, ::testing::ValuesIn(lines), RowsNamedBy(&Line::name));

}  // namespace

// A hash from a random salt each time; the password matches, a near one does
// not; the file reads back what it wrote, found by the board's key rule.
TEST(Accounts, HashesMatchAndTheFileReadsBack) {
    std::string first, second;
    ASSERT_TRUE(HashPassword("correct horse", first, 1000));
    ASSERT_TRUE(HashPassword("correct horse", second, 1000));
    EXPECT_NE(first, second) << "a new salt each time";
    EXPECT_EQ(StoredHashProblem(first), "");
    EXPECT_TRUE(PasswordMatches("correct horse", first));
    EXPECT_FALSE(PasswordMatches("correct horsE", first));
    EXPECT_FALSE(PasswordMatches("", first));
    EXPECT_FALSE(PasswordMatches("correct horse", "damaged"));
    EXPECT_EQ(first.compare(0, 19, "pbkdf2-sha256$1000$"), 0) << first;

    std::vector<Account> accounts{{"Ren\xc3\xa9", true, first}, {"bert", false, second}}, back;
    std::vector<AccountsProblem> problems;
    ASSERT_TRUE(ParseAccounts(AccountsText(accounts), back, problems));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_TRUE(back[0].reception);
    EXPECT_EQ(back[1].hash, second);
    ASSERT_NE(FindAccount(back, "REN\xc3\xa9"), nullptr) << "ASCII case folded, as the board keys rows";
    EXPECT_EQ(FindAccount(back, "nobody"), nullptr);
}
