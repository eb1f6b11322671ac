// TXAPI against the scripted peer on loopback: what goes on the wire and how replies are read.
#include "Connect.h"
#include "ScriptedUi.h"
#include "UXAPI.h"
#include "XapiPeer.h"
#include "codepage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

template <size_t N>
static QByteArray B(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

namespace {

void Configure(TXAPI &x, quint16 port, const char *serverType = "CACHE")
{
    x.ServerType = serverType;
    x.Version = "1";
    x.UserName = "gw";
    x.PassWord = "secret";
    x.NameSpace = "VELM";
    x.Server = "127.0.0.1";
    x.Address = {127, 0, 0, 1};
    x.Port = port;
    x.BufferLen = 4096;
    x.TimeOut = 60;
}

void RunEventLoop(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A loopback port that nobody listens on.
quint16 DeadPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

} // namespace

TEST(XapiLink, OpenSendsTheHandshakeAndConnectsTheSession)
{
    ScriptedUi ui;
    XapiPeer peer;
    TXAPI x;
    Configure(x, peer.Port());
    EXPECT_EQ(x.KeepAliveInterval(), 0); // nothing runs before Open
    ASSERT_TRUE(x.Open());
    EXPECT_EQ(peer.Handshakes(), QList<QByteArray>{B("1\0CACHE\0"
                                                     "1\0gw\0secret\0VELM\0"
                                                     "4096\0"
                                                     "60")});
    EXPECT_EQ(x.Port, peer.SessionPort());
    EXPECT_EQ(x.KeepAliveInterval(), 20000);

    peer.QueueCall(QByteArray("pong"));
    EXPECT_EQ(x.Call({"$$ping^ZZ", "1"}), "pong");
    EXPECT_EQ(peer.Requests().value(0), B("\x02"
                                          "0\x02$$ping^ZZ\x1b"
                                          "1\x1b\0"));

    x.Close();
    ASSERT_TRUE(peer.WaitForRequests(2, 2000));
    EXPECT_EQ(peer.Requests().value(1), "\x03"); // exactly one close byte
    EXPECT_EQ(x.KeepAliveInterval(), 0);
    EXPECT_TRUE(ui.Events.isEmpty());
}

TEST(XapiLink, WrongPasswordPromptsAndRetriesOnANewConnection)
{
    ScriptedUi ui;
    XapiPeer peer;
    peer.QueueHandshake(B("\0\x01wrong"));
    peer.QueueHandshake(B("\0\x01wrong again"));
    ui.ExpectPassword(QStringLiteral("пароль"));
    ui.ExpectPassword(QString()); // an empty password is a valid retry
    TXAPI x;
    Configure(x, peer.Port(), "MSM");
    ASSERT_TRUE(x.Open());
    const QList<QByteArray> h = peer.Handshakes();
    ASSERT_EQ(h.size(), 3);
    EXPECT_EQ(h[0].split('\0').value(4), "secret");
    EXPECT_EQ(h[1].split('\0').value(4), ToWin1251(QStringLiteral("пароль")));
    EXPECT_EQ(h[2].split('\0').value(4), "");
    EXPECT_EQ(x.PassWord, "");
    EXPECT_EQ(ui.Events, (QStringList{QStringLiteral("message: Неверный пароль!!!"),
                                      QStringLiteral("password: Введите пароль"),
                                      QStringLiteral("message: Неверный пароль!!!"),
                                      QStringLiteral("password: Введите пароль")}));
    EXPECT_EQ(x.KeepAliveInterval(), 20000);
    x.Close();
}

TEST(XapiLink, CancelledPasswordPromptGivesFalseAndNoSession)
{
    ScriptedUi ui;
    XapiPeer peer;
    peer.QueueHandshake(B("\0\x01wrong"));
    ui.ExpectPassword(std::nullopt);
    TXAPI x;
    Configure(x, peer.Port());
    EXPECT_FALSE(x.Open());
    EXPECT_EQ(x.KeepAliveInterval(), 0);
    EXPECT_EQ(x.Socket, -1);
    EXPECT_EQ(peer.Handshakes().size(), 1);
    EXPECT_EQ(peer.SessionsAccepted(), 0);
}

TEST(XapiLink, OtherRefusalsAndBadRepliesRaise)
{
    ScriptedUi ui;
    XapiPeer peer;
    peer.QueueHandshake(B("\0\x02Unknown namespace\0"));
    peer.QueueHandshake("abc\n");
    peer.QueueHandshakeHangUp();
    TXAPI x;
    Configure(x, peer.Port());
    try {
        x.Open();
        FAIL() << "a refusal must raise";
    } catch (const TVELM_Activate_Except &e) {
        EXPECT_EQ(e.Message, "Unknown namespace");
        EXPECT_EQ(e.ErrorCode, 0);
    }
    EXPECT_EQ(x.Socket, -1);
    try {
        x.Open();
        FAIL() << "a port that is not a number must raise";
    } catch (const EConvertError &e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    // A server that closes the handshake connection without a word gives an empty port text.
    EXPECT_THROW(x.Open(), EConvertError);
    EXPECT_EQ(x.Socket, -1);
    EXPECT_TRUE(ui.Events.isEmpty());

    TXAPI dead;
    Configure(dead, DeadPort());
    try {
        dead.Open();
        FAIL() << "a refused connection must raise";
    } catch (const TVELM_Activate_Except &e) {
        EXPECT_EQ(FromWin1251(e.Message), QStringLiteral("Сan't еstablish a connection to the server"));
        EXPECT_EQ(e.Message.at(0), '\xd1');     // Cyrillic capital Es
        EXPECT_EQ(e.Message.mid(6, 1), "\xe5"); // Cyrillic small Ie
    }
}

TEST(XapiLink, RepliesAreAssembledFromEveryRead)
{
    ScriptedUi ui;
    XapiPeer peer;
    TXAPI x;
    Configure(x, peer.Port(), "MSM");
    x.BufferLen = 100;
    ASSERT_TRUE(x.Open());

    // Split over reads with pauses; the ESC in a later read ends it and the rest is dropped.
    peer.QueueCall({{"first ", 0},
                    {"second ", 60},
                    {"third\x1b"
                     "dropped",
                     60}});
    EXPECT_EQ(x.Call({"a^b"}), "first second third");
    // A 0x00 cuts only its own read.
    peer.QueueCall({{B("ab\0cd"), 0}, {"ef\x1b", 60}});
    EXPECT_EQ(x.Call({"a^b"}), "abef");
    // A reply longer than the buffer takes several reads.
    const QByteArray longText(1000, 'z');
    peer.QueueCall(longText);
    EXPECT_EQ(x.Call({"a^b"}), longText);
    // A lone ESC is an empty reply.
    peer.QueueCall(QByteArray());
    EXPECT_EQ(x.Call({"a^b"}), "");
    // ESC ESC in a later read is an error with the server's text.
    peer.QueueCall({{"partial", 0}, {B("\x1b\x1b<UNDEFINED>x+3^ZZ\0"), 60}});
    try {
        x.Call({"a^b"});
        FAIL() << "an error reply must raise";
    } catch (const TVELM_Activate_Except &e) {
        EXPECT_EQ(e.Message, "<UNDEFINED>x+3^ZZ");
        EXPECT_EQ(e.ErrorCode, 0);
    }
    // The session goes on after an error reply.
    peer.QueueCall(QByteArray("ok"));
    EXPECT_EQ(x.Call({"a^b"}), "ok");
    EXPECT_EQ(peer.Requests().value(0), B("\x02"
                                          "0\x01"
                                          "a^b\x1b")); // MSM: no 0x00 at the end
    x.Close();
}

TEST(XapiLink, ACallOutKeepsItsReplyOrFailureWhenAnotherCallOrAKeepAliveComesFirst)
{
    ScriptedUi ui;
    XapiPeer peer;
    TXAPI x;
    Configure(x, peer.Port());
    ASSERT_TRUE(x.Open());
    peer.QueueCall(QByteArray("first"));
    peer.QueueCall(QByteArray("second"));
    x.StartCall({"a^b", "1"});
    EXPECT_TRUE(x.CallOut());
    EXPECT_THROW(x.StartCall({"a^b", "2"}), std::logic_error) << "two calls out would mix their replies";
    EXPECT_EQ(x.Call({"c^d"}), "second");
    EXPECT_EQ(x.FinishCall(), "first");
    EXPECT_FALSE(x.CallOut());
    EXPECT_THROW(x.FinishCall(), std::logic_error);

    peer.QueueCall(QByteArray("third"));
    x.StartCall({"a^b", "3"});
    x.KeepAlive();
    EXPECT_EQ(x.FinishCall(), "third");

    // The out call's error reply is its own: the call between gets its reply, FinishCall the error.
    peer.QueueCall(B("\x1b\x1b<UNDEFINED>x+3^ZZ\0"));
    peer.QueueCall(QByteArray("fourth"));
    x.StartCall({"a^b", "4"});
    EXPECT_EQ(x.Call({"c^d"}), "fourth");
    try {
        x.FinishCall();
        FAIL() << "the out call's error must come out of FinishCall";
    } catch (const TVELM_Activate_Except &e) {
        EXPECT_EQ(e.Message, "<UNDEFINED>x+3^ZZ");
    }
    peer.QueueCall(QByteArray("fifth"));
    EXPECT_EQ(x.Call({"a^b"}), "fifth");
    ASSERT_TRUE(peer.WaitForRequests(7, 1000));
    EXPECT_EQ(peer.Requests().value(0), B("\x02"
                                          "0\x02"
                                          "a^b\x1b"
                                          "1\x1b\0"));
    EXPECT_TRUE(ui.Events.isEmpty());
    x.Close();
}

TEST(XapiLink, PeerClosingMidReplyIsNoConnection)
{
    ScriptedUi ui;
    XapiPeer peer;
    TXAPI x;
    Configure(x, peer.Port());
    ASSERT_TRUE(x.Open());
    peer.QueueCallThenHangUp("half a rep");
    try {
        x.Call({"a^b"});
        FAIL() << "a lost connection must raise";
    } catch (const TVELM_Activate_Except &e) {
        EXPECT_EQ(FromWin1251(e.Message), QStringLiteral("Нет связи с сервером"));
    }
    // Later calls fail the same way rather than crash or hang.
    EXPECT_THROW(x.Call({"a^b"}), TVELM_Activate_Except);
    // A keep-alive on the dead link stops itself and says why.
    x.KeepAlive();
    EXPECT_EQ(x.KeepAliveInterval(), 0);
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Нет связи с сервером")});
    x.Close(); // closing a dead link is quiet
}

TEST(XapiLink, KeepAliveRunsEveryThirdOfTheTimeOut)
{
    ScriptedUi ui;
    for (const char *type : {"CACHE", "MSM"}) {
        XapiPeer peer;
        TXAPI x;
        Configure(x, peer.Port(), type);
        x.TimeOut = 1;
        ASSERT_TRUE(x.Open());
        EXPECT_EQ(x.KeepAliveInterval(), 333);
        RunEventLoop(450);
        ASSERT_TRUE(peer.WaitForRequests(1, 1000));
        EXPECT_EQ(peer.Requests().value(0), QByteArray(type) == "CACHE" ? B("\x04\x00") : B("\x01\x04"));
        // A call after a keep-alive gets its own reply, not the keep-alive's.
        peer.QueueCall(QByteArray("mine"));
        EXPECT_EQ(x.Call({"a^b"}), "mine");
        x.Close();
    }
    EXPECT_TRUE(ui.Events.isEmpty());
}

TEST(XapiLink, KeepAliveReplyMayBeSplit)
{
    ScriptedUi ui;
    XapiPeer peer;
    peer.QueueKeepAlive({{"x", 0}, {"y\x1b", 50}});
    TXAPI x;
    Configure(x, peer.Port());
    ASSERT_TRUE(x.Open());
    x.KeepAlive();
    peer.QueueCall(QByteArray("after"));
    EXPECT_EQ(x.Call({"a^b"}), "after");
    EXPECT_EQ(x.KeepAliveInterval(), 20000);
    x.Close();
}
