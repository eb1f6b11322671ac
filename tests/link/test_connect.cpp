// Opening and closing the program's link, the standard error report, login and logout.
#include "Connect.h"
#include "Routines.h"
#include "ScriptedUi.h"
#include "XapiPeer.h"
#include "codepage.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

template <size_t N>
static QByteArray B(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

namespace {

class Link : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ui.SetTitle(QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\""));
        link.ProfileFileName = dir.filePath(QStringLiteral("velmbank.ini"));
    }

    void WriteProfile(quint16 port)
    {
        QFile f(link.ProfileFileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[XAPI]\nServerType=MSM\nVersion=1\nUserName=gw\nPassWord=pw\nNameSpace=VELM\n"
                "Server=127.0.0.1\nPort="
                + QByteArray::number(port) + "\n");
    }
    // The call requests the peer saw, after the handshake, as element lists.
    QList<QByteArray> ElementsOf(int request)
    {
        QByteArray r = peer.Requests().value(request);
        QList<QByteArray> e = r.mid(3).split('\x1b');
        e.removeLast();
        return e;
    }

    QTemporaryDir dir;
    ScriptedUi ui;
    XapiPeer peer;
    TLink link;
};

} // namespace

TEST_F(Link, OpenConnectionAndCloseConnection)
{
    WriteProfile(peer.Port());
    ASSERT_TRUE(link.OpenConnection());
    EXPECT_TRUE(link.LinkOpened);
    ASSERT_NE(link.XApiLink, nullptr);
    link.CloseConnection();
    EXPECT_EQ(link.XApiLink, nullptr);
    ASSERT_TRUE(peer.WaitForRequests(1, 2000));
    EXPECT_EQ(peer.Requests().back(), "\x03");
    EXPECT_TRUE(ui.Events.isEmpty());
}

TEST_F(Link, MissingProfileIsNamed)
{
    EXPECT_FALSE(link.OpenConnection());
    EXPECT_FALSE(link.LinkOpened);
    EXPECT_EQ(
        ui.Messages(),
        QStringList{QStringLiteral("Файл инициализации соединения %1 не найден").arg(link.ProfileFileName)});
    EXPECT_EQ(peer.Handshakes().size(), 0);
}

TEST_F(Link, RefusalGoesThroughTheStandardErrorReport)
{
    WriteProfile(peer.Port());
    peer.QueueHandshake(B("\0\x02\xcd\xe5\xf2 \xf2\xe0\xea\xee\xe9 \xee\xe1\xeb\xe0\xf1\xf2\xe8"));
    link.KeepProtocol = true;
    EXPECT_FALSE(link.OpenConnection());
    EXPECT_EQ(ui.Events, (QStringList{QStringLiteral("error caption: Шлюз \"ВЕЛЬМ - Банк\""),
                                      QStringLiteral("error: Нет такой области")}));
    EXPECT_EQ(link.Protocol, QList<QByteArray>{ToWin1251(QStringLiteral("Нет такой области"))});

    // With error boxes switched off only the protocol line remains.
    ui.Clear();
    link.ShowErrors = false;
    peer.QueueHandshake("oops\n");
    EXPECT_FALSE(link.OpenConnection());
    EXPECT_TRUE(ui.Events.isEmpty());
    EXPECT_EQ(link.Protocol.value(1), "'oops' is not a valid integer value");
}

TEST_F(Link, CancelledPromptEndsQuietly)
{
    WriteProfile(peer.Port());
    peer.QueueHandshake(B("\0\x01no"));
    ui.ExpectPassword(std::nullopt);
    EXPECT_FALSE(link.OpenConnection());
    EXPECT_FALSE(link.LinkOpened);
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Неверный пароль!!!")});
}

TEST_F(Link, AskXApiPasswordMarksCancelWithOneByte)
{
    ui.ExpectPassword(std::nullopt);
    ui.ExpectPassword(QString());
    EXPECT_EQ(AskXApiPassword(), QByteArray(1, '\x01'));
    EXPECT_EQ(AskXApiPassword(), QByteArray());
}

TEST_F(Link, LoginRepliesAndFailures)
{
    WriteProfile(peer.Port());
    ASSERT_TRUE(link.OpenConnection());
    peer.QueueCall(QByteArray());
    EXPECT_TRUE(link.Login("17", "", "\xcb\xe8\xf7\xed\xfb\xe9")); // empty fields go as they are
    EXPECT_EQ(ElementsOf(0), (QList<QByteArray>{Routines::Login, "17", "", "\xcb\xe8\xf7\xed\xfb\xe9"}));

    peer.QueueCall(QByteArray("1"));
    EXPECT_FALSE(link.Login("17", "a", "b"));
    peer.QueueCall(ToWin1251(QStringLiteral("Неверный пароль пользователя")));
    EXPECT_FALSE(link.Login("17", "a", "b"));
    peer.QueueCall(QByteArray(" ")); // a blank is a refusal too
    EXPECT_FALSE(link.Login("17", "a", "b"));
    EXPECT_EQ(ui.Messages(),
              (QStringList{QStringLiteral("Такой сеанс работы уже есть"),
                           QStringLiteral("Неверный пароль пользователя"), QStringLiteral(" ")}));

    // link.Logout: one element, whatever comes back is ignored.
    peer.QueueCall(QByteArray("ignored"));
    link.Logout();
    EXPECT_EQ(ElementsOf(4), QList<QByteArray>{Routines::Logout});
    EXPECT_EQ(peer.Requests().value(4), B("\x02"
                                          "0\x01logout^%cplogG\x1b"));

    // Failures are shown even with error boxes off, and never kept in the protocol.
    ui.Clear();
    link.ShowErrors = false;
    link.KeepProtocol = true;
    peer.QueueCall(B("\x1b\x1b<UNDEFINED>login+2^%cplogG\0"));
    EXPECT_FALSE(link.Login("17", "a", "b"));
    peer.QueueCallThenHangUp("");
    link.Logout();
    EXPECT_EQ(ui.Events, (QStringList{QStringLiteral("error caption: Шлюз \"ВЕЛЬМ - Банк\""),
                                      QStringLiteral("error: <UNDEFINED>login+2^%cplogG"),
                                      QStringLiteral("error caption: Шлюз \"ВЕЛЬМ - Банк\""),
                                      QStringLiteral("error: Нет связи с сервером")}));
    EXPECT_TRUE(link.Protocol.isEmpty());
}
