// Who gets in where: the routines an XAPI call reaches, the protocols of an account, and
// connections that never log in or never read, which must lock nobody out.
#include "UXAPI.h"
#include "VelmdProcess.h"
#include "codepage.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include <unistd.h>

namespace {

const QByteArray kWrongAccount = "<PROTECT>wrong account or password";

class DemoAccess : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Server = new VelmdProcess(VelmdProcess::Kind::Demo);
        ASSERT_TRUE(Server->Start()) << Server->Error.toStdString();
    }
    static void TearDownTestSuite()
    {
        delete Server;
        Server = nullptr;
    }
    static inline VelmdProcess *Server = nullptr;
};

TEST_F(DemoAccess, XapiCallsReachOnlyTheRoutinesTheirNamespaceOffers)
{
    const QByteArray marker = QFile::encodeName(Server->DataDir()) + "/ran";
    const QByteArray shell = "zsystem \"touch " + marker + "\"";
    const QByteArray dir = QFile::encodeName(Server->DataDir());
    RawXapi x;
    ASSERT_TRUE(x.Open(Server->XapiPort, Server->User, Server->Password, "VELM"));
    // velmd's own routines, GT.M's, and a routine of the namespace that it does not offer.
    const QList<QList<QByteArray>> refused = {
        {"$$vism^%ZVELMD", "a", "b", shell, "0"},
        {"$$vism^%ZVELMD", "", "", "s ^VELMX=1", "0"},
        {"frame^%ZVELMD", shell},
        {"ns^%ZVELMD", dir + "/ns/USER/g.gld", dir + "/ns/USER/o"},
        {"zs^%ZVELMD", "../../x"},
        {"DISABLE^%NOJRN"},
        {"^%XCMD"},
        {"SEED^VELMDEMO", dir},
    };
    for (const auto &call : refused) {
        SCOPED_TRACE(call[0].toStdString());
        const auto r = x.Call(call);
        EXPECT_TRUE(r.Failed);
        EXPECT_EQ(r.Text, "<PROTECT>" + call[0].mid(call[0].startsWith("$$") ? 2 : 0) + ": not offered over XAPI");
    }
    EXPECT_FALSE(QFile::exists(QFile::decodeName(marker)));
    // The session is still in VELM, and the gateway's routines answer.
    EXPECT_EQ(x.Call({"$$login^%cplogG", "1", "velm1", "lich1"}).Text, "");
    EXPECT_TRUE(x.Call({"Tlist^ZZ001a"}).Text.startsWith("0\x02"));
    x.Close();
    VismClient v;
    ASSERT_TRUE(v.Connect(Server->VismPort));
    ASSERT_FALSE(v.Login(Server->VismUser, Server->VismPassword, "VELM").Failed);
    EXPECT_EQ(v.Run("VELM", "$d(^VELMX)").Value, "0");

    // USER lists nothing: it offers nothing, not even the percent routines VELM offers.
    RawXapi user;
    ASSERT_TRUE(user.Open(Server->XapiPort, Server->User, Server->Password, "USER"));
    EXPECT_EQ(user.Call({"$$login^%cplogG", "1", "velm1", "lich1"}).Text,
              "<PROTECT>login^%cplogG: not offered over XAPI");
    user.Close();

    // A list that names velmd's own routine is no configuration: a client is told only that, the
    // log tells where.
    ASSERT_TRUE(Server->SetConfig("xapi_routines.USER", "TVD, %ZVELMD"));
    RawXapi bad;
    EXPECT_FALSE(bad.Open(Server->XapiPort, Server->User, Server->Password, "VELM"));
    EXPECT_EQ(bad.HandshakeReply, QByteArray("\0\x02", 2) + ToWin1251(QStringLiteral("Сервер не настроен.")) + '\0');
    VismClient installer;
    ASSERT_TRUE(installer.Connect(Server->VismPort));
    EXPECT_EQ(installer.Login(Server->VismUser, Server->VismPassword, "VELM").ErrorName,
              "<ERROR>the server is not configured");
    QFile log(Server->DataDir() + QStringLiteral("/sessions.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("velmd.conf:"));
    ASSERT_TRUE(Server->SetConfig("xapi_routines.USER", {}));
}

TEST_F(DemoAccess, EachAccountHasItsProtocolAndFailedLoginsCostTime)
{
    // The gateway's account runs no code over VisM; the refusal is the one of a wrong password
    // or an unknown account, after a pause; the third ends the connection.
    VismClient v;
    ASSERT_TRUE(v.Connect(Server->VismPort));
    for (const auto &[user, password] : {std::pair<QByteArray, QByteArray>{Server->User, Server->Password},
                                         {Server->VismUser, "wrong"},
                                         {"nobody", "x"}}) {
        SCOPED_TRACE(user.toStdString());
        QElapsedTimer t;
        t.start();
        const auto r = v.Login(user, password, "VELM");
        EXPECT_TRUE(r.Failed);
        EXPECT_EQ(r.ErrorName, kWrongAccount);
        EXPECT_GE(t.elapsed(), 900);
    }
    EXPECT_TRUE(v.WaitClosed(3000));

    // The installer's account opens no XAPI session, refused as a wrong password is.
    RawXapi x;
    EXPECT_FALSE(x.Open(Server->XapiPort, Server->User, "wrong", "VELM"));
    const QByteArray wrongPassword = x.HandshakeReply;
    EXPECT_TRUE(wrongPassword.startsWith(QByteArray("\0\x01", 2)));
    EXPECT_FALSE(x.Open(Server->XapiPort, Server->VismUser, Server->VismPassword, "VELM"));
    EXPECT_EQ(x.HandshakeReply, wrongPassword);

    // Each in its own protocol.
    VismClient installer;
    ASSERT_TRUE(installer.Connect(Server->VismPort));
    ASSERT_FALSE(installer.Login(Server->VismUser, Server->VismPassword, "VELM").Failed);
    EXPECT_EQ(installer.Run("VELM", "$ZNSPACE").Value, "VELM");
    ASSERT_TRUE(x.Open(Server->XapiPort, Server->User, Server->Password, "VELM"));
    EXPECT_EQ(x.Call({"$$3^%caA03", "1", "NL", "2"}).Text, "1");
    x.Close();
}

TEST(VelmdLimits, ConnectionsThatNeverLogInOrNeverReadHoldNothing)
{
    VelmdProcess server;
    ASSERT_TRUE(server.Start()) << server.Error.toStdString();
    ASSERT_TRUE(server.Load(QStringLiteral("USER"), {QStringLiteral(TVD_SOURCE)})) << server.Error.toStdString();
    ASSERT_TRUE(server.OfferXapi(QStringLiteral("USER"), {QStringLiteral("TVD")}));
    ASSERT_TRUE(server.SetConfig("io_timeout", "2"));
    RawXapi before; // a session from before: the idle connections never push it out
    ASSERT_TRUE(before.Open(server.XapiPort, server.User, server.Password, "USER"));

    // 200 connections that say nothing, on both ports.
    std::vector<int> idle;
    std::vector<std::unique_ptr<VismClient>> idleVism;
    for (int i = 0; i < 100; ++i) {
        idle.push_back(ConnectLoopback(server.XapiPort));
        idleVism.push_back(std::make_unique<VismClient>());
        ASSERT_TRUE(idleVism.back()->Connect(server.VismPort));
    }
    QElapsedTimer sinceIdle;
    sinceIdle.start();
    ASSERT_TRUE(server.WaitForLog(QStringLiteral(" start ("), 201, 20000));
    {
        QElapsedTimer t;
        t.start();
        RawXapi gateway;
        ASSERT_TRUE(gateway.Open(server.XapiPort, server.User, server.Password, "USER"));
        EXPECT_EQ(gateway.Call({"$$add^TVD", "1", "2"}).Text, "3");
        VismClient installer;
        ASSERT_TRUE(installer.Connect(server.VismPort));
        const auto r = installer.Login(server.User, server.Password, "USER");
        EXPECT_FALSE(r.Failed) << r.ErrorName.toStdString();
        EXPECT_EQ(installer.Run("USER", "$ZNSPACE").Value, "USER");
        EXPECT_LT(t.elapsed(), 1000);
        gateway.Close();
    }
    EXPECT_EQ(before.Call({"$$add^TVD", "2", "2"}).Text, "4");
    // The newest idle VisM connection is still there, and ends at its login deadline.
    EXPECT_FALSE(idleVism.back()->WaitClosed(std::max<int>(0, 8000 - int(sinceIdle.elapsed()))));
    EXPECT_TRUE(idleVism.back()->WaitClosed(5000));
    for (int fd : idle)
        ::close(fd);
    idleVism.clear();

    // Logged in, a frame begun must be whole within io_timeout.
    {
        VismClient half;
        ASSERT_TRUE(half.Connect(server.VismPort));
        ASSERT_FALSE(half.Login(server.User, server.Password, "USER").Failed);
        ASSERT_TRUE(half.SendRaw(VismClient::Message('X', {"USER", "$ZNSPACE", "", ""}).left(10)));
        EXPECT_TRUE(half.WaitClosed(6000));
    }
    // A client that asks and never reads: its session ends once a reply has waited io_timeout.
    {
        RawXapi slow;
        ASSERT_TRUE(slow.Open(server.XapiPort, server.User, server.Password, "USER"));
        const int pid = slow.Call({"$$pid^TVD"}).Text.toInt();
        ASSERT_GT(pid, 0);
        for (int i = 0; i < 40; ++i)
            ASSERT_TRUE(slow.SendRaw(XapiWire::CallRequest("CACHE", {"$$big^TVD", "1000000"})));
        EXPECT_TRUE(server.WaitForLog(QStringLiteral("session %1 end (timed out)").arg(pid), 1, 20000))
            << server.Log().toStdString();
        EXPECT_NE(::kill(pid, 0), 0);
    }
    EXPECT_EQ(before.Call({"$$add^TVD", "3", "3"}).Text, "6");
    before.Close();

    // Sessions have their own cap, met at login: with max_sessions 1 the second login of either
    // protocol is refused, while connections that have not logged in yet do not count.
    server.Stop();
    ASSERT_TRUE(server.SetConfig("max_sessions", "1"));
    ASSERT_TRUE(server.Start()) << server.Error.toStdString();
    const int waiting = ConnectLoopback(server.VismPort);
    RawXapi first;
    ASSERT_TRUE(first.Open(server.XapiPort, server.User, server.Password, "USER"));
    RawXapi second;
    EXPECT_FALSE(second.Open(server.XapiPort, server.User, server.Password, "USER"));
    EXPECT_TRUE(second.HandshakeReply.startsWith(QByteArray("\0\x02", 2)));
    VismClient third;
    ASSERT_TRUE(third.Connect(server.VismPort));
    EXPECT_EQ(third.Login(server.User, server.Password, "USER").ErrorName, "<PROTECT>too many sessions");
    const int pid = first.Call({"$$pid^TVD"}).Text.toInt();
    first.Close();
    ASSERT_TRUE(server.WaitForLog(QStringLiteral("session %1 end").arg(pid), 1));
    EXPECT_TRUE(second.Open(server.XapiPort, server.User, server.Password, "USER"));
    second.Close();
    ::close(waiting);
}

} // namespace
