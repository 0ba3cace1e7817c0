#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "JsonText.h"
#include "TableRows.h"

namespace {

struct BrokenText {
    std::string in, out;
};
const BrokenText brokenTexts[] = {
    {"a\x80z", "\"a\xef\xbf\xbdz\""},
    {"\xc3", "\"\xef\xbf\xbd\""},                                  // cut short at the end
    {"\xe2\x82z", "\"\xef\xbf\xbdz\""},                            // a broken beginning: one replacement
    {"\xe0\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},  // overlong: each byte on its own
    {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},  // a surrogate
    {"\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},  // past U+10FFFF
    {"\xff\xc3\xa9", "\"\xef\xbf\xbd\xc3\xa9\""},
};

}  // namespace

// Texts from desks and directories: the same JSON as a document dumped by
// nlohmann where it is well-formed, one U+FFFD for each broken sequence where not.
TEST(JsonText, StringsAsADocumentWouldDumpThem) {
    const std::string sameAsDocument[] = {"",
                                          "plain",
                                          "say \"hi\" \\ /",
                                          "\b\f\n\r\t",
                                          std::string("\x01\x1f\x7f", 3),
                                          "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
                                          "</script>"};
    for (const std::string& text : sameAsDocument) {
        std::string mine;
        AppendJsonString(mine, text);
        EXPECT_EQ(mine, nlohmann::json(text).dump()) << text;
    }
    JsonText j;
    j.Begin('{').Key("a").Begin('[').Number(-1).Bool(true).Null().Begin('{').End('}').End(']').Key("b");
    j.String("x").End('}');
    EXPECT_EQ(j.Text(), "{\"a\":[-1,true,null,{}],\"b\":\"x\"}");
}

class BrokenTextsGetOneReplacementEach : public ::testing::TestWithParam<BrokenText> {};

TEST_P(BrokenTextsGetOneReplacementEach, AsUnicodeSays) {
    const BrokenText& row = GetParam();
    std::string mine;
    AppendJsonString(mine, row.in);
    EXPECT_EQ(mine, row.out);
}
INSTANTIATE_TEST_SUITE_P(Rows, BrokenTextsGetOneReplacementEach, ::testing::ValuesIn(brokenTexts));
