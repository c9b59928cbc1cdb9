#include "settings/profile.h"

#include <gtest/gtest.h>

#include <random>

TEST(Profile, NamesIgnoreCaseAndBlanks) {
    const ProfileFile p("[Sec]\r\n  Key  =  value with blanks  \r\n;Key=comment\r\n");
    EXPECT_EQ(p.readString("sec", "KEY", "d"), "value with blanks");
    EXPECT_EQ(p.readString(" SEC ", "key", "d"), "value with blanks");
    EXPECT_EQ(p.readString("Sec", "missing", "d"), "d");
    EXPECT_EQ(p.readString("Other", "Key", "d"), "d");
}

TEST(Profile, IntegersTakeTheLeadingSignAndDigits) {
    EXPECT_EQ(ProfileFile::parseInt("12abc"), 12);
    EXPECT_EQ(ProfileFile::parseInt("-"), 0);
    EXPECT_EQ(ProfileFile::parseInt("abc"), 0);
    EXPECT_EQ(ProfileFile::parseInt("-4"), -4);
    EXPECT_EQ(ProfileFile::parseInt(" 7 "), 7);
    EXPECT_EQ(ProfileFile::parseInt("99999999999"), 2147483647);
    EXPECT_EQ(ProfileFile::parseInt("-99999999999999999999999"), -2147483647 - 1);
    const ProfileFile p("[S]\r\nA=\r\n");
    EXPECT_EQ(p.readInt("S", "A", 5), 0); // present without digits
    EXPECT_EQ(p.readInt("S", "B", 5), 5); // missing
}

TEST(Profile, WritesReplaceInPlaceAppendToSectionOrFile) {
    ProfileFile p("; head\r\n[A]\r\nx=1\r\n; tail comment of A\r\n\r\n[B]\r\ny=2\r\n");
    p.writeString("a", "X", "9"); // in place, original spelling of the name kept
    p.writeString("A", "z", "3"); // at the end of A, after its comment, before the blank
    p.writeString("C", "w", "4"); // new section at the end
    EXPECT_EQ(p.bytes(), "; head\r\n[A]\r\nx=9\r\n; tail comment of A\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"
                         "[C]\r\nw=4\r\n");
    // A value never brings a line end into the file.
    p.writeString("B", "y", "one\r\ntwo");
    EXPECT_EQ(p.readString("B", "y", ""), "one");
}

TEST(Profile, DuplicatesLongValuesAndOddLinesSurvive) {
    const std::string longValue(10000, 'v');
    const std::string text = "[S]\nnoequals\n[broken\nk=first\nk=second\rlong=" + longValue +
                             "\r[S]\rk=third\r\n[T]\r\nn=1";
    ProfileFile p(text);
    EXPECT_EQ(p.readString("S", "k", ""), "first");
    EXPECT_EQ(p.readString("S", "long", "").size(), 255u);
    EXPECT_EQ(p.readString("S", "noequals", "d"), "d");
    p.writeString("S", "k", "new");
    p.writeString("T", "m", "2"); // the last line had no line end
    std::string expected = text;
    expected.replace(expected.find("k=first"), 7, "k=new");
    expected += "\r\nm=2\r\n";
    EXPECT_EQ(p.bytes(), expected); // every other line (and its own line end) kept
    ProfileFile again(p.bytes());
    EXPECT_EQ(again.readString("S", "long", "").size(), 255u);
    EXPECT_EQ(again.readString("T", "n", ""), "1");
}

TEST(Profile, LongValueIsCutAtACharacterBoundary) {
    std::string v = "a";
    for (int i = 0; i < 200; ++i)
        v += "\x82\xA0"; // あ
    const ProfileFile p("[S]\r\nk=" + v + "\r\n");
    EXPECT_EQ(p.readString("S", "k", "").size(), 255u); // 'a' + 127 double-byte characters
    v = "bb" + std::string(300, '\x82'); // a run of lead bytes pairs up from its start
    EXPECT_EQ(ProfileFile("[S]\r\nk=" + v).readString("S", "k", "").size(), 254u);
}

TEST(Profile, RandomBytesNeverBreakIt) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        std::string junk(static_cast<std::size_t>(rng() % 4000), '\0');
        for (char& c : junk)
            c = static_cast<char>(rng());
        ProfileFile p(junk);
        EXPECT_EQ(p.bytes(), junk); // read and written back unchanged
        p.writeInt("String", "MaxLength", 70);
        ProfileFile q(p.bytes());
        EXPECT_EQ(q.readInt("String", "MaxLength", 0), 70) << round;
    }
    const std::string bigLine(1 << 20, 'x');
    ProfileFile big("[S]\r\n" + bigLine + "\r\nk=1\r\n");
    big.writeInt("S", "k", 2);
    EXPECT_EQ(big.bytes(), "[S]\r\n" + bigLine + "\r\nk=2\r\n");
}
