// The gateway's own XAPI client against velmd: handshake, refusals, both kinds of call, errors,
// keep-alive, close and the end of a silent session.
#include "ScriptedUi.h"
#include "UXAPI.h"
#include "VelmdProcess.h"
#include "codepage.h"
#include "servertest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

namespace {

class XapiServer : public SharedVelmd
{
protected:
    // An open link as the gateway makes it, from a profile.
    std::unique_ptr<TXAPI> Link(const QByteArray &serverType = "CACHE", int timeOut = 60)
    {
        auto x = std::make_unique<TXAPI>();
        EXPECT_TRUE(x->LoadProfile(Server->WriteProfile(QStringLiteral("USER"), serverType, timeOut)));
        EXPECT_TRUE(x->Open());
        return x;
    }

    static QByteArray ErrorOf(TXAPI &x, const QList<QByteArray> &elements)
    {
        try {
            x.Call(elements);
        } catch (const TVELM_Activate_Except &e) {
            return e.Message;
        }
        return "no error";
    }

    ScriptedUi ui;
};

TEST_F(XapiServer, FunctionsReplyWithTheirValueAndRoutinesWithTheirOutput)
{
    for (const QByteArray &serverType : {"CACHE", "MSM"}) {
        SCOPED_TRACE(serverType.toStdString());
        auto x = Link(serverType);
        EXPECT_EQ(x->Call({"$$add^TVD", "2", "40"}), "42");
        EXPECT_EQ(x->Call({"$$echo^TVD"}), "");
        EXPECT_EQ(x->Call({"$$echo^TVD", ""}), "");
        // Empty arguments keep their places.
        EXPECT_EQ(x->Call({"$$count^TVD", "", "b", ""}), "|b|");
        EXPECT_EQ(x->Call({"out^TVD"}), QByteArray("hello\x01world"));
        EXPECT_EQ(x->Call({"outarg^TVD", "\xC0\xFF"}), "<\xC0\xFF>"); // bytes as they are
        // A long value comes whole over many reads of the client's buffer.
        EXPECT_EQ(x->Call({"$$big^TVD", "100000"}), QByteArray(100000, 'x'));
        EXPECT_EQ(x->Call({"bigout^TVD", "70000"}), QByteArray(70000, 'y'));
        x->Close();
    }
    EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(QLatin1Char('\n')).toStdString();
}

TEST_F(XapiServer, MErrorsComeInTheOriginalPlatformsForm)
{
    auto x = Link();
    EXPECT_EQ(ErrorOf(*x, {"$$undef^TVD"}), "<UNDEFINED>undef^TVD");
    EXPECT_EQ(ErrorOf(*x, {"$$div^TVD"}), "<DIVIDE>div^TVD");
    EXPECT_TRUE(ErrorOf(*x, {"$$nolabel^TVD"}).startsWith("<NOLINE>"));
    EXPECT_TRUE(ErrorOf(*x, {"$$f^TVDNONE"}).startsWith("<NOROUTINE>")); // offered, not there
    EXPECT_TRUE(ErrorOf(*x, {"$$f^NOSUCH"}).startsWith("<PROTECT>"));    // not offered: not looked for
    // Not an entry reference: never run, whatever it holds.
    EXPECT_TRUE(ErrorOf(*x, {"s ^X=1"}).startsWith("<SYNTAX>"));
    EXPECT_TRUE(ErrorOf(*x, {"$$add^TVD(1,2)"}).startsWith("<SYNTAX>"));
    EXPECT_TRUE(ErrorOf(*x, {"@x"}).startsWith("<SYNTAX>"));
    // A value XAPI cannot carry is an error, not a cut reply.
    EXPECT_TRUE(ErrorOf(*x, {"$$esc^TVD"}).startsWith("<ILLEGAL VALUE>"));
    EXPECT_TRUE(ErrorOf(*x, {"$$nul^TVD"}).startsWith("<ILLEGAL VALUE>"));
    // The session goes on after every error.
    EXPECT_EQ(x->Call({"$$add^TVD", "1", "1"}), "2");
    x->Close();
}

TEST_F(XapiServer, LocalsLastForTheConnection)
{
    auto a = Link();
    auto b = Link();
    EXPECT_EQ(a->Call({"$$setl^TVD", "mine"}), "");
    EXPECT_EQ(a->Call({"$$getl^TVD"}), "mine");
    EXPECT_EQ(b->Call({"$$getl^TVD"}), "none");
    a->Close();
    b->Close();
    auto c = Link();
    EXPECT_EQ(c->Call({"$$getl^TVD"}), "none");
    c->Close();
}

TEST_F(XapiServer, RefusalsOfTheHandshake)
{
    {
        // A wrong password: the gateway's own notice and prompt; cancelled, Open gives false.
        TXAPI x;
        ASSERT_TRUE(x.LoadProfile(Server->WriteProfile(QStringLiteral("USER"), "CACHE", 60, {}, "wrong")));
        ui.ExpectPassword(std::nullopt);
        EXPECT_FALSE(x.Open());
        EXPECT_EQ(ui.Events, (QStringList{QStringLiteral("message: Неверный пароль!!!"),
                                          QStringLiteral("password: Введите пароль")}));
        ui.Clear();
    }
    {
        // Then the right one, typed at the prompt.
        TXAPI x;
        ASSERT_TRUE(x.LoadProfile(Server->WriteProfile(QStringLiteral("USER"), "CACHE", 60, {}, "wrong")));
        ui.ExpectPassword(QString::fromUtf8(Server->Password));
        ASSERT_TRUE(x.Open());
        EXPECT_EQ(x.Call({"$$add^TVD", "1", "2"}), "3");
        x.Close();
        ui.Clear();
    }
    auto refusal = [&](const QString &profile) -> QByteArray {
        TXAPI x;
        EXPECT_TRUE(x.LoadProfile(profile));
        try {
            x.Open();
        } catch (const TVELM_Activate_Except &e) {
            EXPECT_EQ(e.ErrorCode, 0);
            return e.Message;
        }
        return "opened";
    };
    EXPECT_TRUE(refusal(Server->WriteProfile(QStringLiteral("NOSUCH"))).contains("NOSUCH"));

    // Bad framing, as the raw bytes show it.
    RawXapi raw;
    EXPECT_FALSE(raw.Open(Server->XapiPort, Server->User, Server->Password, "USER", "GTM"));
    EXPECT_TRUE(raw.HandshakeReply.startsWith(QByteArray("\0\x02", 2)));
    EXPECT_FALSE(raw.Open(Server->XapiPort, Server->User, "bad", "USER"));
    EXPECT_TRUE(raw.HandshakeReply.startsWith(QByteArray("\0\x01", 2)));
    // An unknown account gets the very same refusal: nothing tells which accounts exist.
    const QByteArray wrongPassword = raw.HandshakeReply;
    EXPECT_FALSE(raw.Open(Server->XapiPort, "nobody", "x", "USER"));
    EXPECT_EQ(raw.HandshakeReply, wrongPassword);
    EXPECT_TRUE(ui.Events.isEmpty());
}

TEST_F(XapiServer, HandshakeReplyIsThePortDigitsAndOneZeroByte)
{
    RawXapi raw;
    ASSERT_TRUE(raw.Open(Server->XapiPort, Server->User, Server->Password, "user")); // any case
    EXPECT_TRUE(raw.HandshakeReply.endsWith('\0'));
    bool digits = false;
    raw.HandshakeReply.chopped(1).toInt(&digits);
    EXPECT_TRUE(digits);
    EXPECT_EQ(raw.Call({"$$add^TVD", "20", "22"}).Text, "42");
    raw.Close();
}

TEST_F(XapiServer, KeepAlivesAreAnsweredWithEsc)
{
    for (const QByteArray &serverType : {"CACHE", "MSM"}) {
        RawXapi raw;
        ASSERT_TRUE(raw.Open(Server->XapiPort, Server->User, Server->Password, "USER", serverType));
        const auto r = raw.KeepAlive();
        EXPECT_FALSE(r.Lost);
        EXPECT_FALSE(r.Failed);
        EXPECT_EQ(r.Text, "");
        EXPECT_EQ(raw.Call({"$$add^TVD", "1", "2"}).Text, "3");
        raw.Close();
    }
    // Through the link's own timer: TimeOut 3 keeps a session alive past 2 x TimeOut.
    auto x = Link("CACHE", 3);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 7500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(x->Call({"$$add^TVD", "2", "2"}), "4");
    x->Close();
    EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(QLatin1Char('\n')).toStdString();
}

TEST_F(XapiServer, CloseByteEndsTheSessionAndSilenceEndsItToo)
{
    {
        RawXapi raw;
        ASSERT_TRUE(raw.Open(Server->XapiPort, Server->User, Server->Password, "USER"));
        ASSERT_TRUE(raw.SendRaw(QByteArray(1, '\x03')));
        EXPECT_TRUE(raw.WaitClosed(5000));
    }
    {
        // TimeOut 1: silent for 2 s, the server ends the session.
        RawXapi raw;
        ASSERT_TRUE(raw.Open(Server->XapiPort, Server->User, Server->Password, "USER", "CACHE", 1));
        EXPECT_EQ(raw.Call({"$$add^TVD", "1", "2"}).Text, "3");
        QElapsedTimer t;
        t.start();
        EXPECT_TRUE(raw.WaitClosed(6000));
        EXPECT_GE(t.elapsed(), 1500);
    }
    {
        // The gateway then meets its own lost-link text.
        TXAPI x;
        ASSERT_TRUE(x.LoadProfile(Server->WriteProfile(QStringLiteral("USER"), "CACHE", 1)));
        ASSERT_TRUE(x.Open());
        QThread::msleep(3000); // no event loop: no keep-alive
        EXPECT_EQ(ErrorOf(x, {"$$add^TVD", "1", "2"}), ToWin1251(QStringLiteral("Нет связи с сервером")));
        x.Close();
    }
    EXPECT_TRUE(Server->WaitForLog(QStringLiteral("end (timed out)"), 2));
}

TEST_F(XapiServer, TheSessionPortIsForTheSamePeerOnlyAndClosesWhenNobodyComes)
{
    // A handshake whose session connection never comes: the port is closed after TimeOut.
    const int fd = ConnectLoopback(Server->XapiPort);
    ASSERT_GE(fd, 0);
    const QByteArray hs = XapiWire::Masked(
        XapiWire::HandshakeText("CACHE", "1", Server->User, Server->Password, "USER", 4096, 1), 1);
    ASSERT_EQ(::send(fd, hs.constData(), size_t(hs.size()), 0), hs.size());
    char buf[64];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    ::close(fd);
    ASSERT_GT(n, 1);
    const int port = QByteArray(buf, int(n) - 1).toInt();
    QThread::msleep(1500);
    EXPECT_LT(ConnectLoopback(port), 0);
}

} // namespace
