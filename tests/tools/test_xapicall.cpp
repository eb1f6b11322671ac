// xapicall as an administrator uses it: one call, the reply's bytes, failures and exit codes.
#include "XapiPeer.h"
#include "codepage.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

template <size_t N>
static QByteArray B(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

namespace {

struct Outcome
{
    int Exit = -1;
    QByteArray Out, Err;
};

class XapiCall : public ::testing::Test
{
protected:
    void SetUp() override
    {
        profile = dir.filePath(QStringLiteral("velmbank.ini"));
        QFile f(profile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[XAPI]\nServerType=CACHE\nVersion=1\nUserName=gw\nPassWord=pw\nNameSpace=VELM\n"
                "Server=127.0.0.1\nPort="
                + QByteArray::number(peer.Port()) + "\n");
    }
    Outcome Call(const QStringList &args, const QByteArray &input = {})
    {
        QProcess p;
        p.start(QStringLiteral(XAPICALL_PATH), QStringList{profile} + args);
        EXPECT_TRUE(p.waitForStarted());
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(10000));
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }

    QTemporaryDir dir;
    QString profile;
    XapiPeer peer;
};

} // namespace

TEST_F(XapiCall, PrintsTheReplyBytesUnchanged)
{
    const QByteArray reply = B("\xc4\xe5\xed\xfc\xe3\xe8: \xd0\xe0\xf1\xf5\xee\xe4\x01\x02"
                               "2\x01");
    peer.QueueCall(reply);
    const Outcome r = Call({QStringLiteral("Tlist^ZZ001a")});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, reply);
    EXPECT_EQ(r.Err, "");
    // Arguments typed in the terminal reach the server in Windows-1251.
    peer.QueueCall(QByteArray());
    EXPECT_EQ(Call({QStringLiteral("$$login^%cplogG"), QStringLiteral("7"), QStringLiteral("пароль")}).Exit,
              0);
    const QList<QByteArray> req = peer.Requests();
    EXPECT_TRUE(req.contains(B("\x02"
                               "0\x03$$login^%cplogG\x1b"
                               "7\x1b")
                             + ToWin1251(QStringLiteral("пароль")) + B("\x1b\0")));
}

TEST_F(XapiCall, FailuresGoToStderrWithExitOne)
{
    peer.QueueCall(B("\x1b\x1b<UNDEFINED>Tlist+2^ZZ001a\0"));
    Outcome r = Call({QStringLiteral("Tlist^ZZ001a")});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, "<UNDEFINED>Tlist+2^ZZ001a\n");

    peer.QueueHandshake(QByteArray("\0\x02", 2) + ToWin1251(QStringLiteral("Нет такой области")));
    r = Call({QStringLiteral("x^y")});
    EXPECT_EQ(r.Exit, 1);

    QFile::remove(profile);
    r = Call({QStringLiteral("x^y")});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(QString::fromUtf8(r.Err).startsWith(QStringLiteral("Файл инициализации соединения")));
}

TEST_F(XapiCall, WrongPasswordReadsANewOneFromStdin)
{
    peer.QueueHandshake(B("\0\x01no"));
    peer.QueueCall(QByteArray("ok"));
    Outcome r = Call({QStringLiteral("a^b")}, "новый\n");
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(r.Out, "ok");
    EXPECT_TRUE(QString::fromUtf8(r.Err).startsWith(QStringLiteral("Неверный пароль!!!\n")));
    ASSERT_EQ(peer.Handshakes().size(), 2);
    EXPECT_EQ(peer.Handshakes()[1].split('\0').value(4), ToWin1251(QStringLiteral("новый")));

    // End of input cancels: exit 2 and nothing more is sent.
    peer.QueueHandshake(B("\0\x01no"));
    r = Call({QStringLiteral("a^b")});
    EXPECT_EQ(r.Exit, 2);
    EXPECT_EQ(peer.Handshakes().size(), 3);
    EXPECT_EQ(peer.SessionsAccepted(), 1);
}

TEST_F(XapiCall, AnArgumentThatWouldReachTheServerChangedIsRefusedAndNothingIsSent)
{
    // A character Windows-1251 lacks would travel as "?".
    Outcome r = Call({QStringLiteral("Tlist^ZZ001a"), QStringLiteral("ok"), QStringLiteral("漢字")});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(QString::fromUtf8(r.Err),
              QStringLiteral("xapicall: argument 2 \"漢字\" holds a character that Windows-1251 cannot hold: "
                             "nothing was sent\n"));
    // Bytes that are no text in the terminal's encoding (UTF-8).
    QProcess p;
    p.start(QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$1\" \"$(printf 'a\\377')\""),
             QStringLiteral(XAPICALL_PATH), profile});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().startsWith("xapicall: REF \"a"));
    EXPECT_TRUE(peer.Handshakes().isEmpty());
}
