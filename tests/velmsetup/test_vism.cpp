// The VisM client against a small fake server in the test: the exact frames it sends, how it
// reads replies, refusals, the account prompt, lost connections and malformed replies.

#include "ScriptedUi.h"
#include "VisM.h"
#include "codepage.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

namespace {

QByteArray L(quint32 n)
{
    const char b[4] = {char(n >> 24), char(n >> 16 & 0xFF), char(n >> 8 & 0xFF), char(n & 0xFF)};
    return QByteArray(b, 4);
}

QByteArray R(const QByteArray &error, const QByteArray &name, const QByteArray &value)
{
    const QByteArray body = "R" + L(quint32(error.size())) + error + L(quint32(name.size())) + name
                            + L(quint32(value.size())) + value;
    return L(quint32(body.size())) + body;
}

// What the fake server does with one message.
struct TAction
{
    QByteArray Send;     // raw bytes to send back
    bool Close = false;  // then close the connection
    bool Silent = false; // send nothing, keep the connection
};

// One listening socket on a free loopback port; connections are served one after the other.
class FakeVisMServer
{
public:
    using Script = std::function<TAction(char type, const QList<QByteArray> &fields)>;

    explicit FakeVisMServer(Script script) : FScript(std::move(script))
    {
        FListen = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(FListen, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(FListen, 8), 0);
        socklen_t len = sizeof a;
        ::getsockname(FListen, reinterpret_cast<sockaddr *>(&a), &len);
        Port = ntohs(a.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~FakeVisMServer()
    {
        FStop = true;
        FThread.join();
        ::close(FListen);
    }
    FakeVisMServer(const FakeVisMServer &) = delete;
    FakeVisMServer &operator=(const FakeVisMServer &) = delete;

    QByteArray Server() const
    {
        const QByteArray p = QByteArray::number(Port);
        return "CN_IPTCP:127.0.0.1[" + p + "]:127.0.0.1[" + p + "]";
    }
    // Every message received, as its raw frame, and how many connections were accepted.
    QByteArrayList Frames()
    {
        std::lock_guard<std::mutex> g(FMutex);
        return FFrames;
    }
    int Connections() const { return FConnections; }
    // Waits until count frames arrived (the client's quit message comes without a reply).
    bool WaitFrames(qsizetype count)
    {
        for (int i = 0; i < 200; ++i) {
            if (Frames().size() >= count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    int Port = 0;

private:
    bool Ready(int fd)
    {
        while (!FStop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0)
                return true;
        }
        return false;
    }
    bool ReadAll(int fd, char *to, size_t n)
    {
        size_t got = 0;
        while (got < n) {
            if (!Ready(fd))
                return false;
            const ssize_t r = ::recv(fd, to + got, n - got, 0);
            if (r <= 0)
                return false;
            got += size_t(r);
        }
        return true;
    }
    void Serve()
    {
        while (Ready(FListen)) {
            const int fd = ::accept(FListen, nullptr, nullptr);
            if (fd < 0)
                continue;
            ++FConnections;
            for (;;) {
                char head[4];
                if (!ReadAll(fd, head, 4))
                    break;
                const quint32 n = VisMWire::GetLength(head);
                QByteArray body(qsizetype(n), '\0');
                if (!ReadAll(fd, body.data(), n))
                    break;
                {
                    std::lock_guard<std::mutex> g(FMutex);
                    FFrames << QByteArray(head, 4) + body;
                }
                char type = 0;
                QList<QByteArray> fields;
                VisMWire::Decode(body, type, fields);
                if (type == 'Q')
                    break;
                const TAction a = FScript(type, fields);
                if (!a.Silent)
                    ::send(fd, a.Send.constData(), size_t(a.Send.size()), MSG_NOSIGNAL);
                if (a.Close)
                    break;
            }
            ::close(fd);
        }
    }

    Script FScript;
    int FListen = -1;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<int> FConnections{0};
    std::mutex FMutex;
    QByteArrayList FFrames;
};

// Answers like velmd: C accepted, X answered with "value of <code>".
TAction Friendly(char type, const QList<QByteArray> &fields)
{
    if (type == 'C')
        return {R("0", "", ""), false, false};
    return {R("0", "", "value of " + fields.value(1) + " in " + fields.value(0)), false, false};
}

class VisMClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("VELMSETUP_USER", "installer");
        qputenv("VELMSETUP_PASSWORD", "secret");
    }
    void TearDown() override
    {
        qunsetenv("VELMSETUP_USER");
        qunsetenv("VELMSETUP_PASSWORD");
    }
    ScriptedUi Operator;
};

} // namespace

TEST_F(VisMClientTest, SendsTheExactFramesAndReadsReplies)
{
    FakeVisMServer server(Friendly);
    {
        TVisMClient vism;
        vism.SetMServer(server.Server());
        vism.SetNameSpace("%SYS");
        vism.SetValue(QByteArray());
        vism.Execute("$ZNSPACE");
        ASSERT_EQ(vism.Error(), 0) << vism.ErrorName().constData();
        EXPECT_EQ(vism.Value(), "value of $ZNSPACE in %SYS");
        EXPECT_EQ(vism.MServer(), server.Server()); // the connection in use, read back

        // A command leaves the value alone; P1 and P2 travel as they are, CP866 included.
        vism.SetNameSpace("VELM");
        vism.SetCode("s text(P1)=P2");
        vism.SetP1(12);
        vism.SetP2(ToCp866(QStringLiteral("Привет")) + "\r\n q");
        vism.SetExecFlag(1);
        EXPECT_EQ(vism.Error(), 0);
        EXPECT_EQ(vism.Value(), "value of $ZNSPACE in %SYS");
        // ExecFlag other than 1 runs nothing.
        vism.SetExecFlag(0);
    }
    ASSERT_TRUE(server.WaitFrames(4));
    const QByteArrayList frames = server.Frames();
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(frames.value(0), QByteArray("\0\0\0\x20"
                                          "C\0\0\0\x09installer\0\0\0\x06secret\0\0\0\x04%SYS",
                                          36));
    EXPECT_EQ(frames.value(1), QByteArray("\0\0\0\x1d"
                                          "X\0\0\0\x04%SYS\0\0\0\x08$ZNSPACE\0\0\0\0\0\0\0\0",
                                          33));
    const QByteArray p2 = ToCp866(QStringLiteral("Привет")) + "\r\n q";
    EXPECT_EQ(frames.value(2), L(quint32(36 + p2.size())) + "X" + L(4) + "VELM" + L(13) + "s text(P1)=P2"
                                   + L(2) + "12" + L(quint32(p2.size())) + p2);
    // The quit message when the layer goes away.
    EXPECT_EQ(frames.value(3), QByteArray("\0\0\0\x01Q", 5));
    EXPECT_EQ(frames.size(), 4);
}

TEST_F(VisMClientTest, ServerErrorsAndRefusals)
{
    int refusals = 1;
    FakeVisMServer server([&](char type, const QList<QByteArray> &fields) -> TAction {
        if (type == 'C') {
            if (refusals-- > 0)
                return {R("1", ToWin1251(QStringLiteral("Неверный пароль")), ""), false, false};
            return {R("0", "", ""), false, false};
        }
        if (fields.value(1) == "$$bad")
            return {R("1", "<UNDEFINED>bad+1^X", "ignored"), false, false};
        if (fields.value(1) == "$$quiet")
            return {R("1", "", ""), false, false};
        return {R("0", "", "ok"), false, false};
    });
    TVisMClient vism;
    vism.SetMServer(server.Server());
    vism.SetNameSpace("USER");
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 1);
    EXPECT_EQ(FromWin1251(vism.ErrorName()), QStringLiteral("Неверный пароль"));

    // A refused connect may be tried again by the next run.
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 0);
    EXPECT_EQ(vism.Value(), "ok");

    // An M error: Error 1, the error name, the old value kept; the session goes on.
    vism.Execute("$$bad");
    EXPECT_EQ(vism.Error(), 1);
    EXPECT_EQ(vism.ErrorName(), "<UNDEFINED>bad+1^X");
    EXPECT_EQ(vism.Value(), "ok");
    vism.Execute("$$quiet");
    EXPECT_EQ(vism.Error(), 1);
    EXPECT_FALSE(vism.ErrorName().isEmpty());
    vism.Execute("$x");
    EXPECT_EQ(vism.Error(), 0);
    EXPECT_TRUE(vism.ErrorName().isEmpty());
    EXPECT_EQ(server.Connections(), 2);

    // Text longer than an M string is refused before it is sent; the connection stays.
    vism.SetP2(QByteArray(VisMWire::MaxField + 1, 'x'));
    vism.Execute("s x=P2");
    EXPECT_EQ(vism.Error(), 1);
    vism.SetP2("short");
    vism.Execute("$y");
    EXPECT_EQ(vism.Error(), 0);
    EXPECT_EQ(server.Connections(), 2);
}

TEST_F(VisMClientTest, AccountFromTheOperatorWhenTheEnvironmentHasNone)
{
    qunsetenv("VELMSETUP_PASSWORD");
    int refusals = 1;
    FakeVisMServer server([&](char type, const QList<QByteArray> &fields) -> TAction {
        if (type == 'C')
            return {R(refusals-- > 0 ? "1" : "0", "wrong password", ""), false, false};
        return Friendly(type, fields);
    });
    TVisMClient vism;
    vism.SetMServer(server.Server());
    vism.SetNameSpace("USER");
    // Cancelled: nothing is sent, the run fails with a clear text.
    Operator.ExpectAccount(std::nullopt);
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 1);
    EXPECT_EQ(FromWin1251(vism.ErrorName()), QStringLiteral("Подключение к серверу отменено"));
    EXPECT_TRUE(Operator.Events.contains(QStringLiteral("account: Вход на сервер Cache [installer]")));

    // Refused, then asked again with another password.
    Operator.ExpectAccount(TUi::Account{QStringLiteral("installer"), QStringLiteral("typo")});
    Operator.ExpectAccount(TUi::Account{QStringLiteral("installer"), QStringLiteral("right")});
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 1);
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 0);
    // Once in, the account is not asked again for runs of this connection.
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 0);
    ASSERT_TRUE(server.WaitFrames(4));
    const QByteArrayList frames = server.Frames();
    EXPECT_TRUE(frames[0].endsWith("typo" + L(4) + "USER"));
    EXPECT_TRUE(frames[1].endsWith("right" + L(4) + "USER"));
}

TEST_F(VisMClientTest, ALostConnectionIsNotMadeAgainBehindTheCallersBack)
{
    int runs = 0;
    FakeVisMServer server([&](char type, const QList<QByteArray> &fields) -> TAction {
        if (type == 'X' && ++runs == 2)
            return {QByteArray(), true, true}; // the server process dies in the middle of a run
        return Friendly(type, fields);
    });
    TVisMClient vism;
    vism.SetMServer(server.Server());
    vism.SetNameSpace("USER");
    vism.Execute("s text(1)=\"a\"");
    ASSERT_EQ(vism.Error(), 0);
    vism.Execute("ZS A");
    EXPECT_EQ(vism.Error(), 1);
    EXPECT_TRUE(FromWin1251(vism.ErrorName()).startsWith(QStringLiteral("Соединение с сервером потеряно")))
        << vism.ErrorName().constData();
    // The locals of that process are gone: later runs fail instead of working on a new one.
    vism.Execute("k text");
    EXPECT_EQ(vism.Error(), 1);
    EXPECT_EQ(server.Connections(), 1);
    // Setting MServer connects again.
    vism.SetMServer(server.Server());
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 0);
    EXPECT_EQ(server.Connections(), 2);
}

TEST_F(VisMClientTest, MalformedRepliesEndTheConnectionWithAClearError)
{
    const QList<QByteArray> bad{
        QByteArray("\0\0\0\x01S", 5),   // another type
        L(9) + "R" + L(1) + "0" + L(0), // two fields
        R("2", "", ""),                 // an error that is neither 0 nor 1
        L(0),                           // an empty body
        L(0x7fffffff) + "R",            // a length no reply has
        L(20) + "R" + L(100) + "0",     // a field longer than its body
        R("0", "", "").left(8),         // cut short, then closed
    };
    for (const QByteArray &reply : bad) {
        SCOPED_TRACE(reply.toHex().constData());
        FakeVisMServer server([&](char type, const QList<QByteArray> &fields) -> TAction {
            if (type == 'C')
                return Friendly(type, fields);
            return {reply, true, false};
        });
        TVisMClient vism;
        vism.ReplyTimeoutMs = 2000;
        vism.SetMServer(server.Server());
        vism.SetNameSpace("USER");
        vism.Execute("$ZNSPACE");
        EXPECT_EQ(vism.Error(), 1);
        EXPECT_TRUE(
            FromWin1251(vism.ErrorName()).startsWith(QStringLiteral("Соединение с сервером потеряно")))
            << vism.ErrorName().constData();
    }
}

TEST_F(VisMClientTest, NoServerBadAddressAndSilence)
{
    TVisMClient vism;
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 1); // no MServer at all

    vism.SetMServer("garbage");
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 1);
    EXPECT_TRUE(FromWin1251(vism.ErrorName()).contains(QStringLiteral("garbage")));
    vism.SetMServer(TVisM::ServerString("127.0.0.1", "99999"));
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 1);

    // Nobody listens on the port.
    int port = 0;
    {
        FakeVisMServer gone(Friendly);
        port = gone.Port;
    }
    vism.SetMServer(TVisM::ServerString("127.0.0.1", QByteArray::number(port)));
    vism.Execute("$ZNSPACE");
    EXPECT_EQ(vism.Error(), 1);
    EXPECT_TRUE(
        FromWin1251(vism.ErrorName()).startsWith(QStringLiteral("Нет соединения с сервером 127.0.0.1[")))
        << vism.ErrorName().constData();

    // A server that never answers, with a reply time-out set.
    FakeVisMServer silent([](char type, const QList<QByteArray> &fields) -> TAction {
        if (type == 'C')
            return Friendly(type, fields);
        return {QByteArray(), false, true};
    });
    vism.ReplyTimeoutMs = 200;
    vism.SetMServer(silent.Server());
    vism.Execute("h 100");
    EXPECT_EQ(vism.Error(), 1);
    EXPECT_TRUE(FromWin1251(vism.ErrorName()).contains(QStringLiteral("не ответил")))
        << vism.ErrorName().constData();

    QByteArray ip;
    QByteArray port2;
    EXPECT_TRUE(TVisM::ServerAddress("CN_IPTCP:10.0.0.5[1972]:10.0.0.6[1973]", ip, port2));
    EXPECT_EQ(ip, "10.0.0.5");
    EXPECT_EQ(port2, "1972");
    EXPECT_FALSE(TVisM::ServerAddress("CN_IPTCP:10.0.0.5", ip, port2));
}
