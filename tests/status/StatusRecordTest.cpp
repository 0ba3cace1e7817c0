#include <gtest/gtest.h>

#include <cstring>

#include "StatusRecord.h"

TEST(StatusRecord, LayoutIsFixedAndLittleEndian) {
    static_assert(sizeof(StatusRecord) == 512, "the record is 512 bytes in memory");
    StatusRecord r;
    for (std::size_t i = 0; i < 512; ++i) ASSERT_EQ(r.Bytes()[i], 0) << i;
    r.SetName("Anna");
    r.SetStatus(0x01020304);
    r.SetMessage("at lunch");
    EXPECT_EQ(std::memcmp(r.Bytes(), "Anna\0", 5), 0);
    const unsigned char status[4] = {0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(std::memcmp(r.Bytes() + 20, status, 4), 0);
    EXPECT_EQ(std::memcmp(r.Bytes() + 24, "at lunch\0", 9), 0);
    r.SetStatus(-1);
    EXPECT_EQ(r.Status(), -1);
}

TEST(StatusRecord, SettersKeepTerminatorInsideAndTailBehindIt) {
    StatusRecord r;
    r.SetMessage("a much longer message");
    r.SetMessage("short");
    EXPECT_EQ(r.Message(), "short");
    EXPECT_EQ(std::memcmp(r.Bytes() + 24, "short\0 longer message\0", 22), 0);

    r.SetName(std::string(25, 'x'));
    EXPECT_EQ(r.Name(), std::string(19, 'x'));
    EXPECT_EQ(r.Bytes()[19], 0);
    EXPECT_EQ(r.Status(), 0);  // the name never spills into the status

    r.SetMessage(std::string(600, 'm'));
    EXPECT_EQ(r.Message().size(), 487u);
    EXPECT_EQ(r.Bytes()[511], 0);
}

TEST(StatusRecord, FieldsWithoutNulEndAtTheirOwnEnd) {
    unsigned char raw[512];
    std::memset(raw, 'Z', sizeof raw);
    StatusRecord r(raw, sizeof raw);
    EXPECT_EQ(r.Name(), std::string(20, 'Z'));
    EXPECT_EQ(r.Message(), std::string(488, 'Z'));
}

TEST(StatusRecord, ShortAndLongDeliveries) {
    std::string shortOne(300, 'a');
    StatusRecord r(shortOne.data(), shortOne.size());
    for (std::size_t i = 300; i < 512; ++i) ASSERT_EQ(r.Bytes()[i], 0) << i;
    std::string longOne(1000, 'b');
    longOne[511] = 'c';
    StatusRecord l(longOne.data(), longOne.size());
    EXPECT_EQ(l.Bytes()[511], 'c');
}

TEST(StatusRecord, KeyRuleFoldsAsciiCapitalsOnly) {
    EXPECT_TRUE(NamesEqual("Anna", "ANNA"));
    EXPECT_TRUE(NamesEqual("", ""));
    EXPECT_FALSE(NamesEqual("Anna", "Anna "));
    EXPECT_FALSE(NamesEqual(" Anna", "Anna"));
    EXPECT_FALSE(NamesEqual("Jos\xe9", "JOS\xc9"));  // Windows-1252 e-acute and E-acute
    EXPECT_TRUE(NamesEqual("Jos\xe9", "JOS\xe9"));
    EXPECT_FALSE(NamesEqual("[", "{"));  // 0x5B and 0x7B are not letters
    StatusRecord a, b;
    a.SetName("Bob");
    b.SetName("bOB");
    EXPECT_TRUE(NamesEqual(a, b));
}
