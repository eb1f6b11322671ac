// The VisM messages of velmd: exact bytes, any chunking, and refusal of anything malformed.
#include "VismWire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vism;

namespace {

template <size_t N>
std::string B(const char (&s)[N])
{
    return std::string(s, N - 1);
}

std::string Length(size_t n)
{
    return {char(n >> 24 & 0xFF), char(n >> 16 & 0xFF), char(n >> 8 & 0xFF), char(n & 0xFF)};
}

std::string Show(const Message &m)
{
    std::string s(1, m.Type);
    for (const auto &f : m.Fields)
        s += "[" + f + "]";
    return s;
}

// What comes out of the stream fed in pieces of the given sizes (the rest in one piece);
// the last entry is "need more" or "malformed: why".
std::vector<std::string> ParseInPieces(const std::string &stream, const std::vector<size_t> &sizes)
{
    MessageParser p;
    std::vector<std::string> out;
    size_t at = 0;
    auto feed = [&](size_t n) {
        p.Feed(std::string_view(stream).substr(at, n));
        at += n;
        for (;;) {
            Message m;
            std::string why;
            const Status st = p.Next(m, why);
            if (st == Status::Done) {
                out.push_back(Show(m));
                continue;
            }
            return st == Status::NeedMore ? std::string("need more") : "malformed: " + why;
        }
    };
    std::string last = "need more";
    for (size_t n : sizes) {
        if (at >= stream.size() || last != "need more")
            break;
        last = feed(std::min(n, stream.size() - at));
    }
    if (last == "need more" && at < stream.size())
        last = feed(stream.size() - at);
    out.push_back(last);
    return out;
}

std::vector<std::string> ParseWhole(const std::string &stream) { return ParseInPieces(stream, {}); }

bool Malformed(const std::string &stream)
{
    const auto got = ParseWhole(stream);
    return got.size() == 1 && got[0].substr(0, 9) == "malformed";
}

} // namespace

TEST(VismMessages, ExactBytesOfTheReply)
{
    EXPECT_EQ(Encode('R', {"0", "", "USER"}), B("\0\0\0\x12R"
                                                "\0\0\0\x01"
                                                "0"
                                                "\0\0\0\0"
                                                "\0\0\0\x04"
                                                "USER"));
    EXPECT_EQ(Encode('R', {"1", "<UNDEFINED>x+1^y", ""}), B("\0\0\0\x1eR"
                                                            "\0\0\0\x01"
                                                            "1"
                                                            "\0\0\0\x10<UNDEFINED>x+1^y"
                                                            "\0\0\0\0"));
    // Lengths are big-endian in all four bytes, and values keep every byte.
    const std::string value = std::string(0x1234, '\xfe') + B("\0\x1b");
    const std::string r = Encode('R', {"0", "", value});
    EXPECT_EQ(r.substr(0, 4), Length(1 + 5 + 4 + 4 + value.size()));
    EXPECT_EQ(r.substr(14, 4), B("\0\0\x12\x36"));
    EXPECT_EQ(r.substr(18), value);
    EXPECT_EQ(Encode('Q', {}), B("\0\0\0\x01Q"));
}

TEST(VismMessages, ClientMessagesRoundTrip)
{
    const std::string code = "k ^rMAC(\"X\") ZR  X \"s i=\"\"\"\"\" ZS X";
    const std::string p2 = B("line 1\r\nline\0 2 \x1b\xff");
    const std::string stream = Encode('C', {"velmsetup", "\xef\xe0\xf0", "%SYS"})
                               + Encode('X', {"USER", "$ZNSPACE", "", ""}) + Encode('X', {"", code, "1", p2})
                               + Encode('Q', {});
    const std::vector<std::string> expected{"C[velmsetup][\xef\xe0\xf0][%SYS]", "X[USER][$ZNSPACE][][]",
                                            "X[][" + code + "][1][" + p2 + "]", "Q", "need more"};
    ASSERT_EQ(ParseWhole(stream), expected);
    EXPECT_EQ(ParseInPieces(stream, std::vector<size_t>(stream.size(), 1)), expected);
    for (size_t cut = 1; cut < stream.size(); ++cut)
        EXPECT_EQ(ParseInPieces(stream, {cut}), expected) << "cut at " << cut;
    for (size_t a = 1; a < stream.size(); a += 2)
        for (size_t b = 1; a + b < stream.size(); b += 5)
            EXPECT_EQ(ParseInPieces(stream, {a, b}), expected) << "pieces " << a << "," << b;

    Message m;
    ASSERT_TRUE(DecodeBody(Encode('X', {"USER", code, "1", p2}).substr(4), m));
    EXPECT_TRUE(IsClientMessage(m));
    ASSERT_EQ(m.Fields.size(), 4u);
    EXPECT_EQ(m.Fields[3], p2);
}

TEST(VismMessages, LongStreamsInSmallReads)
{
    std::string stream;
    std::vector<std::string> expected;
    for (int i = 0; i < 200; ++i) {
        const std::string text(900 + i % 17, char('A' + i % 26));
        stream += Encode('X', {"USER", "s text(P1)=P2", std::to_string(i), text});
        expected.push_back("X[USER][s text(P1)=P2][" + std::to_string(i) + "][" + text + "]");
    }
    expected.emplace_back("need more");
    for (size_t piece : {size_t(1000), size_t(65535), size_t(65537)})
        EXPECT_EQ(ParseInPieces(stream, std::vector<size_t>(stream.size() / piece + 1, piece)), expected)
            << "pieces of " << piece;
}

TEST(VismMessages, TypesAndFieldCountsOfClientMessages)
{
    auto client = [](char type, const std::vector<std::string_view> &fields) {
        Message m;
        return DecodeBody(Encode(type, fields).substr(4), m) && IsClientMessage(m);
    };
    EXPECT_TRUE(client('C', {"u", "p", "USER"}));
    EXPECT_TRUE(client('X', {"", "", "", ""}));
    EXPECT_TRUE(client('Q', {}));
    EXPECT_FALSE(client('C', {"u", "p"}));
    EXPECT_FALSE(client('C', {"u", "p", "USER", ""}));
    EXPECT_FALSE(client('X', {"USER", "k text", ""}));
    EXPECT_FALSE(client('X', {"USER", "k text", "", "", ""}));
    EXPECT_FALSE(client('Q', {""}));
    EXPECT_FALSE(client('R', {"0", "", ""}));
    EXPECT_FALSE(client('c', {"u", "p", "USER"}));
    EXPECT_FALSE(client('\0', {}));
}

TEST(VismMessages, BadLengthsAreRefused)
{
    // No body at all.
    EXPECT_TRUE(Malformed(Length(0)));
    // A length beyond any message is refused at once, not awaited.
    EXPECT_TRUE(Malformed(B("\xff\xff\xff\xff")));
    EXPECT_TRUE(Malformed(Length(MaxBody + 1)));
    EXPECT_EQ(ParseWhole(Length(MaxBody)), (std::vector<std::string>{"need more"}));
    EXPECT_EQ(ParseWhole(B("\0\0\0")), (std::vector<std::string>{"need more"}));
    // Fields that do not fill the body exactly.
    EXPECT_TRUE(Malformed(Length(3) + B("Q\0\0")));
    EXPECT_TRUE(Malformed(Length(5) + "Q" + Length(1)));
    EXPECT_TRUE(Malformed(Length(6) + "Q" + Length(2) + "a"));
    EXPECT_TRUE(Malformed(Length(7) + "C" + Length(0) + "xy"));
    EXPECT_TRUE(Malformed(Length(9) + "C" + B("\xff\xff\xff\xff") + "abcd"));
    // Fields up to MaxField bytes; one more is refused even when the body holds it.
    Message m;
    const std::string big(MaxField, 'v');
    ASSERT_TRUE(DecodeBody("X" + Length(MaxField) + big, m));
    EXPECT_EQ(m.Fields.at(0).size(), MaxField);
    EXPECT_FALSE(DecodeBody("X" + Length(MaxField + 1) + big + "v", m));
    EXPECT_TRUE(Malformed(Length(1 + 4 + MaxField + 1) + "X" + Length(MaxField + 1) + big + "v"));
    // The largest client message, an X of four fields of MaxField bytes, is taken.
    const std::string x = Encode('X', {big, big, big, big});
    EXPECT_EQ(ParseWhole(x).size(), 2u);
    EXPECT_FALSE(DecodeBody("", m));
}

TEST(VismMessages, AMalformedStreamStaysMalformed)
{
    const std::string good = Encode('Q', {});
    for (const std::string &bad : {Length(0), Length(3) + B("Q\0\0"), B("\xff\xff\xff\xff")}) {
        MessageParser p;
        p.Feed(good + bad);
        Message m;
        std::string why;
        ASSERT_EQ(p.Next(m, why), Status::Done);
        ASSERT_EQ(p.Next(m, why), Status::Malformed);
        EXPECT_FALSE(why.empty());
        p.Feed(good);
        why.clear();
        EXPECT_EQ(p.Next(m, why), Status::Malformed);
        EXPECT_FALSE(why.empty());
    }
}
