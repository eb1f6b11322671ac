#include "funcs.h"

#include <gtest/gtest.h>

TEST(Piece, CountsFromOneAndGivesEmptyPastTheEnd)
{
    const QByteArray t("a_b__c");
    EXPECT_EQ(Piece(t, '_', 1), "a");
    EXPECT_EQ(Piece(t, '_', 2), "b");
    EXPECT_EQ(Piece(t, '_', 3), "");
    EXPECT_EQ(Piece(t, '_', 4), "c");
    EXPECT_EQ(Piece(t, '_', 5), "");
    EXPECT_EQ(Piece(t, '_', 0), "a");
    EXPECT_EQ(Piece(t, '_', -3), "a");
    for (int n = -1; n < 4; ++n)
        EXPECT_EQ(Piece(QByteArray(), '_', n), "");
    EXPECT_EQ(Piece("whole", '\x01', 1), "whole");
    EXPECT_EQ(Piece("whole", '\x01', 2), "");
    // A trailing separator gives one more, empty, piece: the end of a server list.
    EXPECT_EQ(Piece("x\x01y\x01", '\x01', 3), "");
}

TEST(CountChar, GivesOneLessThanThePieces)
{
    EXPECT_EQ(CountChar("a_b__c", '_'), 3);
    EXPECT_EQ(CountChar("", '_'), 0);
    EXPECT_EQ(CountChar(QByteArray("\0\0x", 3), '\0'), 2);
}

TEST(HasHighChars, LooksForBytesAboveAscii)
{
    EXPECT_FALSE(HasHighChars(""));
    EXPECT_FALSE(HasHighChars("plain \x7f text"));
    EXPECT_TRUE(HasHighChars("\xc0"));                 // Cyrillic A in Windows-1251
    EXPECT_TRUE(HasHighChars(QByteArray("a\x80", 2))); // the lowest high byte
}

TEST(TranslateChars, MapsByFirstPositionAndRemovesBeyondTo)
{
    EXPECT_EQ(TranslateChars("1,5", ",", "."), "1.5");
    EXPECT_EQ(TranslateChars("1'000,5", ",'", "."), "1000.5");
    // The first occurrence in from decides: 'a' maps to 'x', not to 'y'.
    EXPECT_EQ(TranslateChars("banana", "aa", "xy"), "bxnxnx");
    EXPECT_EQ(TranslateChars("abc", "", "zz"), "abc");
    EXPECT_EQ(TranslateChars("", "a", "b"), "");
    EXPECT_EQ(TranslateChars("\xe0\xe1", "\xe0", "\xc0"), "\xc0\xe1"); // bytes, not characters
}
