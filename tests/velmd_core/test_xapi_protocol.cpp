// The server's side of the XAPI wire, checked against the bytes the client builds and scans.
#include "XapiProtocol.h"

#include "UXAPI.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmd::xapi;

namespace {

// A literal with its embedded zero bytes.
template <size_t N>
std::string B(const char (&s)[N])
{
    return std::string(s, N - 1);
}

std::string S(const QByteArray &b) { return std::string(b.constData(), size_t(b.size())); }

std::string ClientHandshake(const QByteArray &serverType, const QByteArray &userName,
                            const QByteArray &passWord, const QByteArray &nameSpace, int bufferLen,
                            int timeOut)
{
    return S(XapiWire::Masked(
        XapiWire::HandshakeText(serverType, "1", userName, passWord, nameSpace, bufferLen, timeOut), 0x01));
}

std::string ClientCall(const QByteArray &serverType, const QList<QByteArray> &elements)
{
    return S(XapiWire::CallRequest(serverType, elements));
}

// One request as text, so that sequences compare and print readably.
std::string Show(const Request &r)
{
    switch (r.What) {
    case Request::Close: return "close";
    case Request::KeepAlive: return "keep-alive";
    case Request::Call: break;
    }
    std::string s = "call";
    for (const auto &e : r.Elements)
        s += "[" + e + "]";
    return s;
}

// Takes every request that is ready; the last entry is "need more" or "malformed: why".
std::vector<std::string> Drain(RequestParser &p)
{
    std::vector<std::string> out;
    for (;;) {
        Request r;
        std::string why;
        const Status st = p.Next(r, why);
        if (st == Status::Done) {
            out.push_back(Show(r));
            continue;
        }
        out.push_back(st == Status::NeedMore ? "need more" : "malformed: " + why);
        return out;
    }
}

// Feeds the stream in pieces of the given sizes (the rest in one piece) and collects what comes out.
std::vector<std::string> ParseInPieces(Framing frame, const std::string &stream,
                                       const std::vector<size_t> &sizes)
{
    RequestParser p(frame);
    std::vector<std::string> out;
    size_t at = 0;
    auto feed = [&](size_t n) {
        p.Feed(std::string_view(stream).substr(at, n));
        at += n;
        auto got = Drain(p);
        const std::string last = got.back();
        got.pop_back();
        out.insert(out.end(), got.begin(), got.end());
        return last;
    };
    std::string last = "need more";
    for (size_t n : sizes) {
        if (at >= stream.size())
            break;
        last = feed(std::min(n, stream.size() - at));
        if (last != "need more")
            break;
    }
    if (last == "need more" && at < stream.size())
        last = feed(stream.size() - at);
    out.push_back(last);
    return out;
}

std::vector<std::string> ParseWhole(Framing frame, const std::string &stream)
{
    return ParseInPieces(frame, stream, {});
}

std::vector<std::string> ParseByteByByte(Framing frame, const std::string &stream)
{
    return ParseInPieces(frame, stream, std::vector<size_t>(stream.size(), 1));
}

} // namespace

TEST(XapiHandshake, FieldsAsTheClientSendsThem)
{
    HandshakeResult r =
        ParseHandshake(ClientHandshake("CACHE", "velmbank", "\xf1\xe5\xea\xf0\xe5\xf2", "VELM", 4096, 60));
    ASSERT_EQ(r.State, Status::Done) << r.Error;
    EXPECT_EQ(r.Fields.ServerType, "CACHE");
    EXPECT_EQ(r.Fields.Version, "1");
    EXPECT_EQ(r.Fields.UserName, "velmbank");
    EXPECT_EQ(r.Fields.PassWord, "\xf1\xe5\xea\xf0\xe5\xf2"); // 8-bit bytes kept as they came
    EXPECT_EQ(r.Fields.NameSpace, "VELM");
    EXPECT_EQ(r.Fields.BufferLen, 4096);
    EXPECT_EQ(r.Fields.TimeOut, 60);
    EXPECT_EQ(r.Fields.Frame, Framing::Cache);

    r = ParseHandshake(ClientHandshake("MSM", "u", "", "USER", 100, 10000));
    ASSERT_EQ(r.State, Status::Done) << r.Error;
    EXPECT_EQ(r.Fields.Frame, Framing::Msm);
    EXPECT_EQ(r.Fields.PassWord, "");
    EXPECT_EQ(r.Fields.BufferLen, 100);
    EXPECT_EQ(r.Fields.TimeOut, 10000);
    r = ParseHandshake(ClientHandshake("CACHE", "u", "p", "USER", 4096, 1));
    ASSERT_EQ(r.State, Status::Done) << r.Error;
    EXPECT_EQ(r.Fields.TimeOut, 1);
}

TEST(XapiHandshake, ASlowClientIsNeverRefusedBeforeTheTimeOutHasBegun)
{
    const std::string full = ClientHandshake("MSM", "velmbank", "secret", "VELM", 4096, 60);
    const size_t lastField = full.rfind('\0') + 1;
    for (size_t n = 0; n <= full.size(); ++n) {
        const HandshakeResult r = ParseHandshake(full.substr(0, n));
        EXPECT_EQ(r.State, n <= lastField ? Status::NeedMore : Status::Done)
            << "prefix of " << n << ": " << r.Error;
    }
}

TEST(XapiHandshake, RefusalsOfMalformedHandshakes)
{
    auto refused = [](const std::string &bytes) {
        const HandshakeResult r = ParseHandshake(bytes);
        return r.State == Status::Malformed && !r.Error.empty();
    };
    // Server types are compared case-sensitively, as the client does.
    EXPECT_TRUE(refused(ClientHandshake("cache", "u", "p", "USER", 4096, 60)));
    EXPECT_TRUE(refused(ClientHandshake("", "u", "p", "USER", 4096, 60)));
    EXPECT_TRUE(refused(ClientHandshake("GTM", "u", "p", "USER", 4096, 60)));
    // A 0x01 inside a field goes out as 0x00: one field too many.
    EXPECT_TRUE(refused(ClientHandshake("CACHE", "u", "p\x01q", "USER", 4096, 60)));
    // Limits of the numbers.
    EXPECT_TRUE(refused(ClientHandshake("CACHE", "u", "p", "USER", 99, 60)));
    EXPECT_TRUE(refused(ClientHandshake("CACHE", "u", "p", "USER", 4096, 0)));
    EXPECT_TRUE(refused(ClientHandshake("CACHE", "u", "p", "USER", 4096, 10001)));
    EXPECT_TRUE(refused(ClientHandshake("CACHE", "u", "p", "USER", -5, 60)));
    EXPECT_TRUE(refused(B("1\0CACHE\0"
                          "1\0u\0p\0USER\0"
                          "4096\0"
                          "6x")));
    EXPECT_TRUE(refused(B("1\0CACHE\0"
                          "1\0u\0p\0USER\0"
                          "\0"
                          "60")));
    EXPECT_TRUE(refused(B("1\0CACHE\0"
                          "1\0u\0p\0USER\0"
                          "99999999999\0"
                          "60")));
    // Another protocol or version is refused at its first byte, without waiting for more.
    EXPECT_TRUE(refused("G"));
    EXPECT_TRUE(refused("GET / HTTP/1.1\r\n"));
    EXPECT_TRUE(refused(B("\x02"
                          "0\x01")));
    EXPECT_TRUE(refused(B("12\0CACHE\0"
                          "1\0u\0p\0USER\0"
                          "4096\0"
                          "60")));
    // Junk in the numbers is refused as soon as it comes, not after the whole handshake.
    EXPECT_TRUE(refused(B("1\0CACHE\0"
                          "1\0u\0p\0USER\0"
                          "40x")));
    // Endless fields.
    EXPECT_TRUE(refused("1" + std::string(MaxHandshake, 'a')));
    EXPECT_TRUE(refused(B("1\0CACHE\0"
                          "1\0u\0p\0USER\0")
                        + std::string(MaxHandshake, '1')));
    EXPECT_TRUE(refused(B("1\0\0\0\0\0\0\0\0")));
}

TEST(XapiHandshake, ReplyBytesAreWhatTheClientReads)
{
    // Accepted: the port's digits and one 0x00, in one read whose last byte the client drops.
    const std::string accept = HandshakeAccept(50123);
    EXPECT_EQ(accept, B("50123\0"));
    XapiWire::HandshakeReply c = XapiWire::ScanHandshakeReply(accept.data(), qsizetype(accept.size()));
    EXPECT_TRUE(c.Accepted);
    EXPECT_EQ(StrToInt(c.Text), 50123);
    EXPECT_EQ(HandshakeAccept(1), B("1\0"));

    // Wrong password: 0x00 0x01 and the text; the client asks for a new password.
    const std::string text = "\xcd\xe5\xe2\xe5\xf0\xed\xfb\xe9 \xef\xe0\xf0\xee\xeb\xfc";
    const std::string wrong = HandshakeRefusal(true, text);
    EXPECT_EQ(wrong, B("\0\x01") + text + B("\0"));
    c = XapiWire::ScanHandshakeReply(wrong.data(), qsizetype(wrong.size()));
    EXPECT_FALSE(c.Accepted);
    EXPECT_EQ(c.ErrorCode, 1);
    EXPECT_EQ(S(c.Text), text);

    // Any other refusal: 0x00 0x02 and the text. A zero byte of the text would end it early.
    const std::string other = HandshakeRefusal(false, B("No namespace\0 VELM"));
    EXPECT_EQ(other, B("\0\x02No namespace\0"));
    c = XapiWire::ScanHandshakeReply(other.data(), qsizetype(other.size()));
    EXPECT_FALSE(c.Accepted);
    EXPECT_EQ(c.ErrorCode, 0);
    EXPECT_EQ(c.Text, "No namespace");
    EXPECT_EQ(HandshakeRefusal(false, ""), B("\0\x02\0"));
}

TEST(XapiRequests, CallsOfBothFramingsAsTheClientBuildsThem)
{
    const QList<QByteArray> elements{"$$login^%cplogG", "12", "", QByteArray("a\0b", 3),
                                     "\xcf\xe0\xf0\xee\xeb\xfc"};
    const std::string expected = "call[$$login^%cplogG][12][]" + B("[a\0b]") + "[\xcf\xe0\xf0\xee\xeb\xfc]";
    for (const char *type : {"CACHE", "MSM"}) {
        const Framing frame = QByteArray(type) == "CACHE" ? Framing::Cache : Framing::Msm;
        EXPECT_EQ(ParseWhole(frame, ClientCall(type, elements)),
                  (std::vector<std::string>{expected, "need more"}))
            << type;
        EXPECT_EQ(ParseWhole(frame, ClientCall(type, {"logout^%cplogG"})),
                  (std::vector<std::string>{"call[logout^%cplogG]", "need more"}))
            << type;
    }
    // The framings differ: a CACHE call must end with 0x00, an MSM call must not.
    EXPECT_EQ(ParseWhole(Framing::Cache, ClientCall("MSM", {"a^b"})),
              (std::vector<std::string>{"need more"}));
    EXPECT_EQ(ParseWhole(Framing::Msm, ClientCall("CACHE", {"a^b"})).back().substr(0, 9), "malformed");
    EXPECT_EQ(ParseWhole(Framing::Cache, B("\x02"
                                           "0\x01"
                                           "a^b\x1b"
                                           "x"))
                  .back()
                  .substr(0, 9),
              "malformed");
}

TEST(XapiRequests, EveryChunkingGivesTheSameRequests)
{
    for (const char *type : {"CACHE", "MSM"}) {
        const Framing frame = QByteArray(type) == "CACHE" ? Framing::Cache : Framing::Msm;
        const std::string stream = ClientCall(type, {"$$f^R", "1", ""}) + S(XapiWire::KeepAliveRequest(type))
                                   + ClientCall(type, {"d^R"}) + S(XapiWire::KeepAliveRequest(type))
                                   + S(XapiWire::KeepAliveRequest(type))
                                   + ClientCall(type, {"x^Y", "\x80\xff"}) + "\x03";
        const std::vector<std::string> expected{
            "call[$$f^R][1][]", "keep-alive",          "call[d^R]", "keep-alive",
            "keep-alive",       "call[x^Y][\x80\xff]", "close",     "need more"};
        // Several requests in one read.
        ASSERT_EQ(ParseWhole(frame, stream), expected) << type;
        EXPECT_EQ(ParseByteByByte(frame, stream), expected) << type;
        for (size_t cut = 1; cut < stream.size(); ++cut)
            EXPECT_EQ(ParseInPieces(frame, stream, {cut}), expected) << type << " cut at " << cut;
        for (size_t a = 1; a < stream.size(); ++a)
            for (size_t b = 1; a + b < stream.size(); b += 3)
                EXPECT_EQ(ParseInPieces(frame, stream, {a, b}), expected)
                    << type << " pieces " << a << "," << b;
    }
}

TEST(XapiRequests, LongStreamsInSmallReads)
{
    // Far more than the parser keeps before it drops what it has consumed, with calls that
    // straddle the reads.
    std::string stream;
    std::vector<std::string> expected;
    for (int i = 0; i < 300; ++i) {
        const QByteArray arg(700 + i % 13, char('a' + i % 26));
        stream += ClientCall("CACHE", {"$$f^R", QByteArray::number(i), arg});
        expected.push_back("call[$$f^R][" + std::to_string(i) + "][" + S(arg) + "]");
        if (i % 7 == 0) {
            stream += B("\x04\x00");
            expected.emplace_back("keep-alive");
        }
    }
    expected.emplace_back("need more");
    for (size_t piece : {size_t(997), size_t(4096), size_t(65535), size_t(65537)})
        EXPECT_EQ(
            ParseInPieces(Framing::Cache, stream, std::vector<size_t>(stream.size() / piece + 1, piece)),
            expected)
            << "pieces of " << piece;
}

TEST(XapiRequests, KeepAlivesAndCloseOfEachFraming)
{
    EXPECT_EQ(ParseWhole(Framing::Cache, B("\x04\x00")),
              (std::vector<std::string>{"keep-alive", "need more"}));
    EXPECT_EQ(ParseWhole(Framing::Msm, B("\x01\x04")), (std::vector<std::string>{"keep-alive", "need more"}));
    EXPECT_EQ(ParseWhole(Framing::Cache, "\x04"), (std::vector<std::string>{"need more"}));
    EXPECT_EQ(ParseWhole(Framing::Msm, "\x01"), (std::vector<std::string>{"need more"}));
    // The other framing's keep-alive, or a wrong second byte, is malformed.
    for (const auto &[frame, bytes] :
         std::vector<std::pair<Framing, std::string>>{{Framing::Cache, B("\x01\x04")},
                                                      {Framing::Msm, B("\x04\x00")},
                                                      {Framing::Cache, B("\x04\x04")},
                                                      {Framing::Msm, B("\x01\x00")}}) {
        const auto got = ParseWhole(frame, bytes);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].substr(0, 9), "malformed");
    }
    for (Framing frame : {Framing::Cache, Framing::Msm}) {
        EXPECT_EQ(ParseWhole(frame, "\x03"), (std::vector<std::string>{"close", "need more"}));
        // Nothing that is not a request is taken for one.
        for (const std::string &first :
             {B("\0"), std::string("\x05"), std::string("\x1b"), std::string("0"), std::string("\xff")}) {
            const auto got = ParseWhole(frame, first + "\x03");
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0], "malformed: unknown request");
        }
    }
}

TEST(XapiRequests, ElementCountsAndSizeLimits)
{
    // 0 elements: no routine reference.
    EXPECT_EQ(ParseWhole(Framing::Msm, B("\x02"
                                         "0\x00"))
                  .back()
                  .substr(0, 9),
              "malformed");
    EXPECT_EQ(ParseWhole(Framing::Cache, B("\x02"
                                           "0\x00\x00"))
                  .back()
                  .substr(0, 9),
              "malformed");
    EXPECT_EQ(ParseWhole(Framing::Msm, B("\x02"
                                         "1\x01"
                                         "a^b\x1b"))
                  .back()
                  .substr(0, 9),
              "malformed");

    // 255 elements, the most one count byte carries.
    QList<QByteArray> many{"$$f^R"};
    for (int i = 1; i < 255; ++i)
        many.push_back(QByteArray::number(i));
    RequestParser p(Framing::Cache);
    p.Feed(ClientCall("CACHE", many));
    Request r;
    std::string why;
    ASSERT_EQ(p.Next(r, why), Status::Done) << why;
    ASSERT_EQ(r.Elements.size(), 255u);
    EXPECT_EQ(r.Elements[0], "$$f^R");
    EXPECT_EQ(r.Elements[254], "254");
    EXPECT_EQ(p.Buffered(), 0u);

    // An element of MaxElement bytes is taken; one byte more is refused, whether its end has
    // come or not (the parser must not buffer without bound).
    const std::string longest(MaxElement, 'x');
    EXPECT_EQ(ParseWhole(Framing::Msm, B("\x02"
                                         "0\x02"
                                         "a^b\x1b")
                                           + longest + "\x1b")
                  .size(),
              2u);
    EXPECT_EQ(ParseWhole(Framing::Msm, B("\x02"
                                         "0\x02"
                                         "a^b\x1b")
                                           + longest + "y\x1b")
                  .back(),
              "malformed: call request too long");
    EXPECT_EQ(ParseWhole(Framing::Msm, B("\x02"
                                         "0\x02"
                                         "a^b\x1b")
                                           + longest + "y")
                  .back(),
              "malformed: call request too long");
    EXPECT_EQ(ParseWhole(Framing::Msm, B("\x02"
                                         "0\x02"
                                         "a^b\x1b")
                                           + longest)
                  .back(),
              "need more");

    // All elements together up to MaxRequest.
    const size_t parts = MaxRequest / MaxElement;
    std::string call = B("\x02"
                         "0")
                       + char(parts);
    for (size_t i = 0; i < parts; ++i)
        call += longest + "\x1b";
    p = RequestParser(Framing::Msm);
    p.Feed(call);
    ASSERT_EQ(p.Next(r, why), Status::Done) << why;
    EXPECT_EQ(r.Elements.size(), parts);
    std::string over = B("\x02"
                         "0")
                       + char(parts + 1);
    for (size_t i = 0; i < parts; ++i)
        over += longest + "\x1b";
    EXPECT_EQ(ParseWhole(Framing::Msm, over + "z\x1b").back(), "malformed: call request too long");
    EXPECT_EQ(ParseWhole(Framing::Msm, over + "z").back(), "malformed: call request too long");
}

TEST(XapiRequests, AMalformedStreamStaysMalformed)
{
    const std::string good = ClientCall("CACHE", {"$$f^R"});
    for (const std::string &bad : {std::string("\x05"),
                                   B("\x02"
                                     "0\x00\x00"),
                                   B("\x02"
                                     "9\x01"
                                     "a^b\x1b\x00"),
                                   B("\x02"
                                     "0\x01"
                                     "a^b\x1b"
                                     "x"),
                                   B("\x04\x01")}) {
        RequestParser p(Framing::Cache);
        p.Feed(good + bad);
        Request r;
        std::string why;
        ASSERT_EQ(p.Next(r, why), Status::Done);
        ASSERT_EQ(p.Next(r, why), Status::Malformed);
        const std::string first = why;
        EXPECT_FALSE(first.empty());
        // Good requests after it are never taken, and nothing is kept for them.
        p.Feed(good + good);
        why.clear();
        EXPECT_EQ(p.Next(r, why), Status::Malformed);
        EXPECT_EQ(why, first);
        EXPECT_EQ(p.Buffered(), 0u);
    }
}

TEST(XapiEntryRefs, OnlyLabelAndRoutineNames)
{
    struct Ok
    {
        const char *Ref;
        bool Function;
        const char *Label, *Routine;
    };
    for (const Ok &c :
         {Ok{"$$login^%cplogG", true, "login", "%cplogG"}, Ok{"logout^%cplogG", false, "logout", "%cplogG"},
          Ok{"^ZZ001", false, "", "ZZ001"}, Ok{"$$^ZZ001", true, "", "ZZ001"}, Ok{"10^R", false, "10", "R"},
          Ok{"%^%", false, "%", "%"}, Ok{"%a1^%Z9", false, "%a1", "%Z9"}}) {
        const auto r = ParseEntryRef(c.Ref);
        ASSERT_TRUE(r) << c.Ref;
        EXPECT_EQ(r->Function, c.Function) << c.Ref;
        EXPECT_EQ(r->Label, c.Label) << c.Ref;
        EXPECT_EQ(r->Routine, c.Routine) << c.Ref;
        EXPECT_EQ(r->Text(), std::string(c.Label) + "^" + c.Routine) << c.Ref;
    }
    const std::string name31(31, 'a'), name32(32, 'a');
    EXPECT_TRUE(ParseEntryRef(name31 + "^" + name31));
    // Anything that would let a caller run more than one routine entry is refused.
    for (const std::string &ref : {std::string("x^y;k"),
                                   std::string("@x"),
                                   std::string("$$x"),
                                   std::string("^"),
                                   std::string("a^b(1)"),
                                   std::string("a^b()"),
                                   std::string(""),
                                   std::string("$$"),
                                   std::string("$$^"),
                                   std::string("a^"),
                                   std::string(" a^b"),
                                   std::string("a^b "),
                                   std::string("a ^b"),
                                   std::string("a^ b"),
                                   std::string("d a^b"),
                                   std::string("a^b d c^d"),
                                   std::string("a^b,c^d"),
                                   std::string("a+1^b"),
                                   std::string("a^b^c"),
                                   std::string("a^@b"),
                                   std::string("@a^b"),
                                   std::string("$x^y"),
                                   std::string("$$$x^y"),
                                   std::string("$$a^b^c"),
                                   std::string("a^1b"),
                                   std::string("1a^b"),
                                   std::string("a-b^c"),
                                   std::string("a^b:1"),
                                   std::string("a^b\"x\""),
                                   std::string("a^b\x1b"),
                                   B("a^b\0"),
                                   std::string("\xe0^b"),
                                   std::string("a^b\xe0"),
                                   std::string("a_b^c"),
                                   std::string("a^%%"),
                                   name32 + "^a",
                                   "a^" + name32}) {
        EXPECT_FALSE(ParseEntryRef(ref)) << ref;
    }
}

TEST(XapiReplies, NormalReplyCarriesTextWithoutZeroOrEsc)
{
    const std::string text = "\xce\xea 1^2^3";
    const auto reply = NormalReply(text);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, text + "\x1b");
    const auto c = XapiWire::ScanReplyChunk(reply->data(), qsizetype(reply->size()));
    EXPECT_TRUE(c.Complete);
    EXPECT_FALSE(c.Error);
    EXPECT_EQ(S(c.Text), text);
    EXPECT_EQ(NormalReply(""), std::optional<std::string>("\x1b"));
    // Either byte would end the reply early on the client or, at its start, turn it into an error.
    for (const std::string &bad : {B("\0"), std::string("\x1b"), B("ab\0cd"), std::string("ab\x1b"),
                                   std::string("\x1b\x1b"
                                               "ERR"),
                                   B("abc\0")})
        EXPECT_FALSE(NormalReply(bad)) << bad;
}

TEST(XapiReplies, ErrorReplyFitsOneClientRead)
{
    EXPECT_EQ(ErrorReply("<UNDEFINED>label+3^routine", 4096), B("\x1b\x1b<UNDEFINED>label+3^routine\0"));
    EXPECT_EQ(ErrorReply(B("<DIVIDE>a+1^b\0rest"), 4096), B("\x1b\x1b<DIVIDE>a+1^b\0"));
    EXPECT_EQ(ErrorReply("", 4096), B("\x1b\x1b\0"));
    for (int bufferLen : {100, 101, 4096}) {
        for (size_t len : {size_t(bufferLen) - 4, size_t(bufferLen) - 3, size_t(bufferLen) - 2,
                           size_t(bufferLen), size_t(100000)}) {
            std::string text(len, 'e');
            for (size_t i = 0; i < len; i += 7)
                text[i] = char('0' + i % 10);
            const std::string reply = ErrorReply(text, bufferLen);
            ASSERT_LE(reply.size(), size_t(bufferLen)) << bufferLen << "/" << len;
            // The client's one read of at most BufferLen bytes holds the whole of it.
            const auto c = XapiWire::ScanReplyChunk(reply.data(), qsizetype(reply.size()));
            EXPECT_TRUE(c.Error);
            const size_t kept = std::min(len, size_t(bufferLen) - 3);
            EXPECT_EQ(S(c.Text), text.substr(0, kept)) << bufferLen << "/" << len;
            EXPECT_EQ(reply.back(), '\0');
        }
    }
}
