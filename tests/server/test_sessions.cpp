// One session never harms another: concurrency, malformed bytes, a killed session process, and
// the listener's own end.
#include "UXAPI.h"
#include "VelmdProcess.h"
#include "servertest.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace {

class Sessions : public SharedVelmd
{
protected:
    static std::unique_ptr<RawXapi> Open(const QByteArray &serverType = "CACHE")
    {
        auto x = std::make_unique<RawXapi>();
        EXPECT_TRUE(x->Open(Server->XapiPort, Server->User, Server->Password, "USER", serverType));
        return x;
    }
};

TEST_F(Sessions, TwentyConcurrentSessionsOfAThousandCallsEach)
{
    constexpr int kSessions = 20, kCalls = 1000;
    std::atomic<int> wrong{0}, done{0};
    std::vector<std::thread> threads;
    for (int s = 0; s < kSessions; ++s) {
        threads.emplace_back([&, s] {
            RawXapi x;
            if (!x.Open(Server->XapiPort, Server->User, Server->Password, "USER", s % 2 ? "MSM" : "CACHE")) {
                wrong += kCalls;
                return;
            }
            x.Call({"$$setl^TVD", QByteArray::number(s)});
            for (int i = 0; i < kCalls; ++i) {
                const auto r = x.Call({"$$add^TVD", QByteArray::number(s), QByteArray::number(i)});
                if (r.Failed || r.Lost || r.Text != QByteArray::number(s + i))
                    ++wrong;
                else
                    ++done;
            }
            // Each session still has its own locals at the end.
            if (x.Call({"$$getl^TVD"}).Text != QByteArray::number(s))
                ++wrong;
            x.Close();
        });
    }
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(done.load(), kSessions * kCalls);
}

TEST_F(Sessions, MalformedHandshakesAndRequestsEndOnlyTheirOwnSession)
{
    auto good = Open();
    ASSERT_EQ(good->Call({"$$add^TVD", "1", "1"}).Text, "2");

    // Handshakes that are not XAPI: a refusal 0x00 0x02 and the connection closed.
    for (const QByteArray &junk : {QByteArray("GET / HTTP/1.0\r\n\r\n"),
                                   QByteArray("1\0CACHE\0"
                                              "1\0a\0b\0USER\0x\0"
                                              "60",
                                              24),
                                   QByteArray(5000, '\x01')}) {
        const QByteArray reply = ExchangeRaw(Server->XapiPort, junk, 12000);
        EXPECT_TRUE(reply.startsWith(QByteArray("\0\x02", 2))) << reply.toStdString();
    }
    // A connection that says nothing is closed after a while, and nothing waits for it meanwhile.
    const int silent = ConnectLoopback(Server->XapiPort);
    ASSERT_GE(silent, 0);
    EXPECT_EQ(good->Call({"$$add^TVD", "2", "2"}).Text, "4");

    // Session requests that are not XAPI end that session.
    for (const QByteArray &junk : {QByteArray("\x07"),
                                   QByteArray("\x02"
                                              "9\x01x\x1b",
                                              5),
                                   QByteArray("\x02"
                                              "0\x00",
                                              3),
                                   QByteArray("\x04\x05")}) {
        auto bad = Open();
        ASSERT_TRUE(bad->SendRaw(junk));
        EXPECT_TRUE(bad->WaitClosed(5000));
    }
    // An element longer than an M string ends the session without the server keeping it all.
    {
        auto bad = Open();
        QByteArray big("\x02"
                       "0\x01");
        big += QByteArray((1 << 20) + 10, 'a');
        bad->SendRaw(big);
        EXPECT_TRUE(bad->WaitClosed(10000));
    }
    // VisM: a length beyond any message, and a message of the wrong shape.
    for (const QByteArray &junk : {QByteArray("\x7f\xff\xff\xff"
                                              "C",
                                              5),
                                   VismClient::Message('C', {"only one"}), VismClient::Message('Z', {})}) {
        VismClient v;
        ASSERT_TRUE(v.Connect(Server->VismPort));
        v.SendRaw(junk);
        EXPECT_TRUE(v.WaitClosed(5000));
    }
    EXPECT_EQ(good->Call({"$$add^TVD", "3", "3"}).Text, "6");
    ::close(silent);
    good->Close();
}

TEST_F(Sessions, AKilledSessionProcessHarmsNoOther)
{
    auto keep = Open();
    EXPECT_EQ(keep->Call({"$$setl^TVD", "kept"}).Text, "");
    auto victim = Open();
    const int pid = victim->Call({"$$pid^TVD"}).Text.toInt();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    EXPECT_TRUE(victim->WaitClosed(5000));
    EXPECT_TRUE(Server->WaitForLog(QStringLiteral("session %1 end (killed by signal 9)").arg(pid), 1));
    EXPECT_EQ(keep->Call({"$$getl^TVD"}).Text, "kept");
    auto fresh = Open();
    EXPECT_EQ(fresh->Call({"$$add^TVD", "5", "5"}).Text, "10");
    keep->Close();
    fresh->Close();
}

TEST_F(Sessions, AClientThatLeavesDuringALongCallDoesNotLeaveItsProcessBehind)
{
    auto x = Open();
    const int pid = x->Call({"$$pid^TVD"}).Text.toInt();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(x->SendRaw(XapiWire::CallRequest("CACHE", {"$$loop^TVD"})));
    QThread::msleep(300);
    ::close(x->Fd);
    x->Fd = -1;
    EXPECT_TRUE(Server->WaitForLog(QStringLiteral("session %1 end").arg(pid), 1, 15000));
    EXPECT_NE(::kill(pid, 0), 0);
}

TEST(VelmdServe, EndsEverySessionOnSigtermAndExitsZero)
{
    VelmdProcess server;
    ASSERT_TRUE(server.Start()) << server.Error.toStdString();
    RawXapi a;
    ASSERT_TRUE(a.Open(server.XapiPort, server.User, server.Password, "USER"));
    VismClient b;
    ASSERT_TRUE(b.Connect(server.VismPort));
    ASSERT_FALSE(b.Login(server.User, server.Password, "USER").Failed);
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_TRUE(a.WaitClosed(2000));
    EXPECT_TRUE(b.WaitClosed(2000));
    const QString log = server.Log();
    EXPECT_EQ(log.count(QStringLiteral(" start (")), 2) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral(" end (")), 2) << log.toStdString();
}

} // namespace
