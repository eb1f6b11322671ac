#include "codepage.h"

#include <gtest/gtest.h>

TEST(CodePage, Windows1251RoundTripsCyrillic)
{
    const QString text = QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\" ёЁ №");
    const QByteArray bytes = ToWin1251(text);
    EXPECT_EQ(bytes, QByteArray("\xd8\xeb\xfe\xe7 \"\xc2\xc5\xcb\xdc\xcc - \xc1\xe0\xed\xea\" "
                                "\xb8\xa8 \xb9"));
    EXPECT_EQ(FromWin1251(bytes), text);
    // Every defined byte survives the trip through Unicode.
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        const QString u = FromWin1251(one);
        if (u != QString(QChar(0xFFFD)))
            EXPECT_EQ(ToWin1251(u), one) << b;
    }
    EXPECT_EQ(ToWin1251(QStringLiteral("日本")), "??");
}

TEST(CodePage, Cp866IsTheDosCyrillic)
{
    EXPECT_EQ(ToCp866(QStringLiteral("АЯаяЁё")), QByteArray("\x80\x9f\xa0\xef\xf0\xf1"));
    EXPECT_EQ(FromCp866("\x8f\xe0\xa8\xa2\xa5\xe2"), QStringLiteral("Привет"));
}

TEST(CodePage, InstallerTableChangesOnlyItsRows)
{
    // Server (CP866) to display (Windows-1251) and back, byte by byte.
    for (int b = 0; b < 256; ++b) {
        const char c = char(b);
        const auto s2d = static_cast<unsigned char>(ServerToDisplay(c));
        int expect = b;
        if (b >= 0x80 && b <= 0xAF)
            expect = b + 0x40;
        else if (b >= 0xE0 && b <= 0xEF)
            expect = b + 0x10;
        else if (b == 0xFF)
            expect = 0x03;
        EXPECT_EQ(s2d, expect) << b;
    }
    EXPECT_EQ(ServerToDisplay(QByteArray("\x8f\xe0\xa8\xa2\xa5\xe2")), ToWin1251(QStringLiteral("Привет")));
    EXPECT_EQ(DisplayToServer(ToWin1251(QStringLiteral("Привет"))), QByteArray("\x8f\xe0\xa8\xa2\xa5\xe2"));
    // Ё and ё are left alone in both directions; 0xFF and 0x03 trade places.
    EXPECT_EQ(ServerToDisplay(QByteArray("\xf0\xf1")), QByteArray("\xf0\xf1"));
    EXPECT_EQ(DisplayToServer(QByteArray("\xa8\xb8")), QByteArray("\xa8\xb8"));
    EXPECT_EQ(DisplayToServer(QByteArray("\x03")), QByteArray("\xff"));
    EXPECT_EQ(DisplayToServer(QByteArray("\xff")), QByteArray("\xef"));
}
