#include <gtest/gtest.h>

#include "Windows1252.h"

TEST(Windows1252, RoundTripsEveryAssignedByte) {
    for (int b = 1; b < 256; ++b) {
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;
        std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(one)), one) << b;
    }
}

TEST(Windows1252, KnownCharacters) {
    EXPECT_EQ(Windows1252ToUtf8("Jos\xe9"), "Jos\xc3\xa9");
    EXPECT_EQ(Windows1252ToUtf8("\x80"), "\xe2\x82\xac");  // euro sign
    EXPECT_EQ(Utf8ToWindows1252("\xe2\x82\xac 5"), "\x80 5");
    EXPECT_EQ(Utf8ToWindows1252("\xc5\x93uvre"), "\x9cuvre");  // oe ligature
    EXPECT_EQ(Utf8ToWindows1252("\xe6\x97\xa5"), "?");         // no byte for it
    EXPECT_EQ(Utf8ToWindows1252("\xf0\x9f\x98\x80!"), "?!");   // outside the BMP
    EXPECT_EQ(Utf8ToWindows1252("a\xc3"), "a?");               // cut short
    EXPECT_EQ(Utf8ToWindows1252("\xff\xfe"), "??");
}
