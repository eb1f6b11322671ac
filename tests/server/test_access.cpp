// Who gets in where: the routines an XAPI call reaches, the protocols of an account, and
// connections that never log in or never read, which must lock nobody out.
#include "Routines.h"
#include "UXAPI.h"
#include "VelmdProcess.h"
#include "codepage.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

// A velmd built with AddressSanitizer runs its sessions without the memory cap, which its shadow
// memory would exceed: there a filling call would fill the machine.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELM_TEST_ASAN 1
#endif
#endif
#ifdef VELM_TEST_ASAN
constexpr bool SessionsCapped = false;
#else
constexpr bool SessionsCapped = true;
#endif

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
        EXPECT_EQ(r.Text,
                  "<PROTECT>" + call[0].mid(call[0].startsWith("$$") ? 2 : 0) + ": not offered over XAPI");
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
    EXPECT_EQ(bad.HandshakeReply,
              QByteArray("\0\x02", 2) + ToWin1251(QStringLiteral("Сервер не настроен.")) + '\0');
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
    EXPECT_EQ(x.Call({"$$login^%cplogG", "2", "velm2", "lich2"}).Text, "");
    EXPECT_EQ(x.Call({"$$3^%caA03", "2", "NL", "1"}).Text, "1");
    x.Close();
}

// Anyone may hold the gateway's XAPI account (its password is in every operator's profile): it
// reaches the gateway's entry points only, and each checks on the server who calls it.
TEST_F(DemoAccess, TheGatewaysAccountReachesItsEntriesOnlyAndEachChecksTheVelmUser)
{
    QFile conf(Server->DataDir() + QStringLiteral("/velmd.conf"));
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    QByteArray entries;
    for (const char *e : Routines::All)
        entries += (entries.isEmpty() ? "" : ", ") + QByteArray(e);
    EXPECT_TRUE(conf.readAll().contains("xapi_entries.VELM = " + entries + "\n"));

    VismClient v;
    ASSERT_TRUE(v.Connect(Server->VismPort));
    ASSERT_FALSE(v.Login(Server->VismUser, Server->VismPassword, "VELM").Failed);
    auto state = [&v] {
        return v
            .Run("VELM", "$g(^VELMU(1,\"pw\"))_$g(^VELMD(1))_$d(^VELMU(777))_$g(^VELMD)_$g(^VELMC(1,\"V\"))")
            .Value;
    };
    const QByteArray before = state();
    const QByteArray clb = ToWin1251(QStringLiteral("Клиент-Банк Демо"));
    const QByteArray setting = "x\x02"
                               "1\x02"
                               "/tmp\x02"
                               "f.dbf\x02\x02\x02";

    RawXapi x;
    ASSERT_TRUE(x.Open(Server->XapiPort, Server->User, Server->Password, "VELM"));
    // Other labels of the same routines, and the entries in the other call form.
    for (const QList<QByteArray> &call :
         QList<QList<QByteArray>>{{"setpw^%cplogG", "1", "owned", "owned"},
                                  {"$$hash^%cplogG", "pw", "salt", "1000000000"},
                                  {"$$close^ZZ001c", "1", "", "999", "Attacker", "1", "11"},
                                  {"$$make^ZZ001c", "9", "", "-5", "A", "1"},
                                  {"$$rec^ZZ001c", "2", "YB", "x", "A", ""},
                                  {"$$load^ZZ001b", "1", "1"},
                                  {"login^%cplogG", "1", "velm1", "lich1"},
                                  {"$$Clist^ZZ001a"}}) {
        SCOPED_TRACE(call[0].toStdString());
        EXPECT_EQ(x.Call(call).Text,
                  "<PROTECT>" + call[0].mid(call[0].startsWith("$$") ? 2 : 0) + ": not offered over XAPI");
    }
    // Without a Velm login every entry but the login (and the harmless logout) is refused.
    const QList<QList<QByteArray>> writers = {{Routines::SaveSetPar, clb, "9", setting},
                                              {Routines::SaveSetRec, clb, "1", "1\x02X"},
                                              {Routines::DelSet, clb, "1"},
                                              {Routines::AddCLB, "Attacker"},
                                              {Routines::DelCLB, clb},
                                              {Routines::SaveTask, "0\x02\x02\x02\x02\x02\x02"}};
    QList<QList<QByteArray>> calls = writers;
    calls += QList<QList<QByteArray>>{{Routines::LockTO},
                                      {Routines::UnLockTO},
                                      {Routines::TOinGL},
                                      {Routines::GLinTO},
                                      {Routines::RightEditSettings, "1", "NL", "2"},
                                      {Routines::RightRunTask, "1", "YB"},
                                      {Routines::Clist},
                                      {Routines::Tlist},
                                      {Routines::Mlist, "1"},
                                      {Routines::Slist, clb},
                                      {Routines::LoadSetRecs, clb, "1"},
                                      {Routines::AutoSet, "1"},
                                      {Routines::GetFields, "1"},
                                      {Routines::PDVelm, clb, "1", "1"}};
    for (const auto &call : calls) {
        SCOPED_TRACE(call[0].toStdString());
        const auto r = x.Call(call);
        EXPECT_TRUE(r.Failed && r.Text.endsWith(" UVELM-NOLOGIN")) << r.Text.toStdString();
    }
    EXPECT_EQ(x.Call({Routines::RecYB, "x", "A"}).Text,
              ToWin1251(QStringLiteral("Вход в Вельм не выполнен")));
    // A made-up user has no login either.
    EXPECT_EQ(x.Call({Routines::Login, "777", "owned", "owned"}).Text,
              ToWin1251(QStringLiteral("Неверный номер пользователя или пароль")));
    // The second user may run both tasks but not edit settings: every settings writer says no.
    ASSERT_EQ(x.Call({Routines::Login, "2", "velm2", "lich2"}).Text, "");
    for (const auto &call : writers) {
        SCOPED_TRACE(call[0].toStdString());
        const auto r = x.Call(call);
        EXPECT_TRUE(r.Failed && r.Text.endsWith(" UVELM-NORIGHT")) << r.Text.toStdString();
    }
    EXPECT_EQ(state(), before);

    // A user's failed logins slow every further attempt for that user, a right one too.
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(x.Call({Routines::Login, "3", "velm3", "wrong"}).Text, "");
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(x.Call({Routines::Login, "3", "velm3", "lich3"}).Text, "");
    EXPECT_GE(t.elapsed(), 900);
    x.Close();
}

// Guessing the password of an account from one address: after a few failures every answer to
// that address comes late, a right password as late as a wrong one; other addresses are not slowed.
TEST(VelmdLimits, GuessingFromOneAddressIsSlowAndTellsNothing)
{
    VelmdProcess server;
    ASSERT_TRUE(server.Start()) << server.Error.toStdString();
    ASSERT_EQ(
        server.Run(QStringLiteral("passwd"), {QStringLiteral("guess"), QStringLiteral("--xapi")}, "pw150\n"),
        0)
        << server.Error.toStdString();
    // Ten connections at a time; each drops what has not answered in 0.4 s, as a guesser would
    // once it knew that refusals take longer than acceptances.
    std::atomic<int> next{1}, found{0};
    QElapsedTimer t;
    t.start();
    std::vector<std::thread> guessers;
    for (int i = 0; i < 10; ++i)
        guessers.emplace_back([&] {
            while (t.elapsed() < 10000 && !found) {
                const int n = next++;
                RawXapi x;
                x.HandshakeMsecs = 400;
                if (x.Open(server.XapiPort, "guess", "pw" + QByteArray::number(n), "USER"))
                    found = n;
            }
        });
    for (auto &g : guessers)
        g.join();
    EXPECT_EQ(found, 0) << "tries: " << next;
    // From the guesser's address the right password is answered no sooner than a wrong one.
    RawXapi same;
    same.HandshakeMsecs = 15000;
    t.restart();
    EXPECT_TRUE(same.Open(server.XapiPort, "guess", "pw150", "USER"));
    EXPECT_GE(t.elapsed(), 900);
    // Another machine logs in at once.
    RawXapi other;
    other.Source = "127.0.0.2";
    t.restart();
    EXPECT_TRUE(other.Open(server.XapiPort, "guess", "pw150", "USER"));
    EXPECT_LT(t.elapsed(), 900);
}

// A handshake that never ends, handshakes whose session connection never comes, a call that never
// returns, a call that fails holding a lock or a transaction, a call that eats memory: each costs
// its own session only.
TEST(VelmdLimits, EveryConnectionAndCallIsBoundedAndAFailedCallLeavesNothingHeld)
{
    VelmdProcess server;
    ASSERT_TRUE(server.Start()) << server.Error.toStdString();
    ASSERT_TRUE(server.Load(QStringLiteral("USER"), {QStringLiteral(TVD_SOURCE)}))
        << server.Error.toStdString();
    ASSERT_TRUE(server.OfferXapi(QStringLiteral("USER"), {QStringLiteral("TVD")}));
    ASSERT_TRUE(server.SetConfig("max_sessions", "2"));
    ASSERT_TRUE(server.SetConfig("call_timeout", "2"));
    ASSERT_TRUE(server.SetConfig("max_memory", "256"));
    // The old key offers whole routines, and the log says so; run as root, velmd says what that means.
    server.Stop();
    ASSERT_TRUE(server.Start()) << server.Error.toStdString();
    QFile log(server.DataDir() + QStringLiteral("/sessions.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray warnings = log.readAll();
    EXPECT_TRUE(warnings.contains("xapi_routines.USER offers every label of its routines"))
        << warnings.toStdString();
    if (::geteuid() == 0)
        EXPECT_TRUE(warnings.contains("running as root: a VisM account runs its code as root"));

    // The eighth field of a handshake that never ends: refused once the handshake is too long.
    {
        const int fd = ConnectLoopback(server.XapiPort);
        const QByteArray start = XapiWire::Masked(
            XapiWire::HandshakeText("CACHE", "1", server.User, server.Password, "USER", 4096, 6), 0x01);
        ASSERT_EQ(::send(fd, start.data(), size_t(start.size()), MSG_NOSIGNAL), start.size());
        const QByteArray digits(1024, '0');
        QElapsedTimer t;
        t.start();
        bool closed = false;
        char c;
        while (!closed && t.elapsed() < 12000)
            closed = ::send(fd, digits.data(), size_t(digits.size()), MSG_NOSIGNAL) < 0
                     || ::recv(fd, &c, 1, MSG_DONTWAIT | MSG_PEEK) >= 0;
        EXPECT_TRUE(closed);
        EXPECT_LT(t.elapsed(), 11000);
        ::close(fd);
    }
    // Handshakes whose session connection never comes hold no session.
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(
            ExchangeRaw(server.XapiPort,
                        XapiWire::Masked(XapiWire::HandshakeText("CACHE", "1", server.User, server.Password,
                                                                 "USER", 4096, 10000),
                                         0x01),
                        300)
                .endsWith('\0'));
    RawXapi a, b;
    ASSERT_TRUE(a.Open(server.XapiPort, server.User, server.Password, "USER"));
    ASSERT_TRUE(b.Open(server.XapiPort, server.User, server.Password, "USER"));

    // A failed call gives back the lock and the transaction it took, and keeps what came before.
    EXPECT_EQ(a.Call({"$$lock^TVD"}).Text, "1");
    EXPECT_TRUE(a.Call({"$$lockfail^TVD", "x"}).Failed);
    EXPECT_TRUE(a.Call({"$$tpfail^TVD"}).Failed);
    EXPECT_EQ(a.Call({"$$tl^TVD"}).Text, "0,0");
    EXPECT_EQ(b.Call({"$$locked^TVD", "x"}).Text, "1");
    EXPECT_EQ(b.Call({"$$lock^TVD"}).Text, "0");

    // A call that runs past call_timeout ends its session and says so; one that takes more memory
    // than max_memory ends its own.
    const int pid = a.Call({"$$pid^TVD"}).Text.toInt();
    EXPECT_TRUE(a.Call({"$$loop^TVD"}).Lost);
    EXPECT_TRUE(server.WaitForLog(QStringLiteral("session %1 end").arg(pid), 1, 10000));
    log.seek(0);
    EXPECT_TRUE(log.readAll().contains("a call ran longer than 2 s (call_timeout)"));
    if (SessionsCapped) {
        const auto filled = b.Call({"$$fill^TVD"});
        EXPECT_TRUE(filled.Lost || filled.Failed);
        log.seek(0);
        EXPECT_TRUE(log.readAll().contains("GTM-F-MEMORY"));
    }
    RawXapi c;
    ASSERT_TRUE(c.Open(server.XapiPort, server.User, server.Password, "USER"));
    EXPECT_EQ(c.Call({"$$add^TVD", "1", "2"}).Text, "3");
}

TEST(VelmdLimits, ConnectionsThatNeverLogInOrNeverReadHoldNothing)
{
    VelmdProcess server;
    ASSERT_TRUE(server.Start()) << server.Error.toStdString();
    ASSERT_TRUE(server.Load(QStringLiteral("USER"), {QStringLiteral(TVD_SOURCE)}))
        << server.Error.toStdString();
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
