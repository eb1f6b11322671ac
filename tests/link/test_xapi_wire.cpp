// The wire forms of the XAPI protocol, without sockets.
#include "UXAPI.h"

#include <gtest/gtest.h>

using namespace XapiWire;

// A literal with its embedded zero bytes.
template <size_t N>
static QByteArray B(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

TEST(XapiWire, HandshakeIsMaskedWithZerosIncludingInsideFields)
{
    const QByteArray text = HandshakeText("CACHE", "1.0", "gw", "p\x01w", "VELM", 4096, 60);
    EXPECT_EQ(Masked(text, 0x01), B("1\0CACHE\0"
                                    "1.0\0gw\0p\0w\0VELM\0"
                                    "4096\0"
                                    "60"));
    // Nothing follows the last digit.
    EXPECT_TRUE(Masked(text, 0x01).endsWith("60"));
}

TEST(XapiWire, CallFramingAndLengthsPerServerType)
{
    const QByteArray msm = CallRequest("MSM", {"logout^%cplogG"});
    EXPECT_EQ(msm.size(), 18);
    EXPECT_EQ(msm, B("\x02"
                     "0\x01logout^%cplogG\x1b"));
    const QByteArray cache = CallRequest("CACHE", {"logout^%cplogG"});
    EXPECT_EQ(cache.size(), 19);
    EXPECT_EQ(cache.back(), '\0');
    EXPECT_EQ(cache.left(18), msm);

    const QList<QByteArray> e{"$$login^%cplogG", "12", "", "\xcf\xe0\xf0\xee\xeb\xfc"};
    qsizetype l = 0;
    for (const auto &x : e)
        l += x.size();
    EXPECT_EQ(CallRequest("MSM", e).size(), 3 + 4 + l);
    EXPECT_EQ(CallRequest("CACHE", e).size(), 3 + 4 + l + 1);
    EXPECT_EQ(CallRequest("MSM", e).mid(3), B("$$login^%cplogG\x1b"
                                              "12\x1b\x1b\xcf\xe0\xf0\xee\xeb\xfc\x1b"));

    // N is one unsigned byte: 255 elements is the most, and it is not sent as a negative.
    const QList<QByteArray> many(255, QByteArray("x"));
    EXPECT_EQ(static_cast<unsigned char>(CallRequest("MSM", many)[2]), 255);
    EXPECT_THROW(CallRequest("MSM", QList<QByteArray>(256, "x")), TVELM_Activate_Except);
    EXPECT_THROW(CallRequest("MSM", {}), TVELM_Activate_Except);
}

TEST(XapiWire, KeepAliveBytes)
{
    EXPECT_EQ(KeepAliveRequest("CACHE"), B("\x04\x00"));
    EXPECT_EQ(KeepAliveRequest("MSM"), B("\x01\x04"));
}

TEST(XapiWire, HandshakeReplies)
{
    auto scan = [](const QByteArray &b) { return ScanHandshakeReply(b.constData(), b.size()); };
    HandshakeReply r = scan(B("50123\0"));
    EXPECT_TRUE(r.Accepted);
    EXPECT_EQ(r.Text, "50123");
    // The last byte of the read is never part of the port, even when it is a digit.
    EXPECT_EQ(scan("50123").Text, "5012");
    EXPECT_EQ(scan(B("77\0"
                     "99\0"))
                  .Text,
              "77");

    r = scan(B("\0\x01\xcd\xe5\xe2\xe5\xf0\xed\xfb\xe9\0junk"));
    EXPECT_FALSE(r.Accepted);
    EXPECT_EQ(r.ErrorCode, 1);
    EXPECT_EQ(r.Text, "\xcd\xe5\xe2\xe5\xf0\xed\xfb\xe9");
    r = scan(B("\0\x02No such namespace"));
    EXPECT_EQ(r.ErrorCode, 0);
    EXPECT_EQ(r.Text, "No such namespace");
    r = scan(B("\0")); // a refusal without even a code
    EXPECT_FALSE(r.Accepted);
    EXPECT_EQ(r.ErrorCode, 0);
    EXPECT_EQ(r.Text, "");
}

TEST(XapiWire, ReplyChunks)
{
    auto scan = [](const QByteArray &b) { return ScanReplyChunk(b.constData(), b.size()); };
    ReplyChunk c = scan("\x1b");
    EXPECT_TRUE(c.Complete);
    EXPECT_FALSE(c.Error);
    EXPECT_EQ(c.Text, "");

    c = scan(B("ab\0cd")); // 0x00 cuts this read only
    EXPECT_FALSE(c.Complete);
    EXPECT_EQ(c.Text, "ab");

    c = scan("value\x1btrailing");
    EXPECT_TRUE(c.Complete);
    EXPECT_EQ(c.Text, "value");

    c = scan(B("\x1b\x1b<UNDEFINED>x+3^ZZ001\0rest"));
    EXPECT_TRUE(c.Error);
    EXPECT_EQ(c.Text, "<UNDEFINED>x+3^ZZ001");
    c = scan("\x1b\x1b"); // the error form with an empty text
    EXPECT_TRUE(c.Error);
    EXPECT_EQ(c.Text, "");
    // ESC ESC only counts at the start of a read.
    c = scan("a\x1b\x1b");
    EXPECT_FALSE(c.Error);
    EXPECT_EQ(c.Text, "a");
}

TEST(XapiWire, PortTextMustBeAnInteger)
{
    EXPECT_EQ(StrToInt("1973"), 1973);
    EXPECT_EQ(StrToInt("-5"), -5);
    EXPECT_THROW(StrToInt(""), EConvertError);
    EXPECT_THROW(StrToInt("12a"), EConvertError);
    EXPECT_THROW(StrToInt(" 12"), EConvertError);
    EXPECT_THROW(StrToInt("99999999999"), EConvertError);
    try {
        StrToInt("abc");
    } catch (const EConvertError &e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
}
