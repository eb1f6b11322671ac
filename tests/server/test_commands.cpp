// The commands of velmd from a shell's point of view: init, namespace, passwd, load.
#include "VelmdProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(VelmdCommands, InitMakesTheDataDirectoryAndLeavesItAloneTheSecondTime)
{
    VelmdProcess v;
    ASSERT_TRUE(v.Start()) << v.Error.toStdString();
    const QString dir = v.DataDir();
    const QByteArray conf = ReadAll(dir + QStringLiteral("/velmd.conf"));
    EXPECT_TRUE(conf.contains("bind = 127.0.0.1"));
    EXPECT_TRUE(conf.contains("xapi_port = 1973"));
    EXPECT_TRUE(conf.contains("vism_port = 1972"));
    EXPECT_TRUE(conf.contains("namespaces = %SYS,USER"));
    EXPECT_TRUE(QFileInfo::exists(dir + QStringLiteral("/ns/%SYS/o/_ZVELMD.o")));

    // Data written before a second init is still there after it.
    {
        VismClient c;
        ASSERT_TRUE(c.Connect(v.VismPort));
        ASSERT_FALSE(c.Login(v.User, v.Password, "USER").Failed);
        ASSERT_FALSE(c.Run("USER", "s ^KEEP=\"kept\"").Failed);
        c.Quit();
    }
    ASSERT_EQ(v.Run(QStringLiteral("init"), {}), 0) << v.Error.toStdString();
    EXPECT_EQ(ReadAll(dir + QStringLiteral("/velmd.conf")), conf);
    VismClient c;
    ASSERT_TRUE(c.Connect(v.VismPort));
    ASSERT_FALSE(c.Login(v.User, v.Password, "USER").Failed); // the account stays too
    EXPECT_EQ(c.Run("USER", "$g(^KEEP)").Value, "kept");
}

TEST(VelmdCommands, PasswdStoresAHashAndChangesThePasswordAndTheProtocols)
{
    VelmdProcess v;
    ASSERT_TRUE(v.Start()) << v.Error.toStdString();
    const QByteArray accounts = ReadAll(v.DataDir() + QStringLiteral("/accounts"));
    EXPECT_TRUE(accounts.startsWith("tester:$6$"));
    EXPECT_FALSE(accounts.contains("secret"));
    EXPECT_EQ(QFileInfo(v.DataDir() + QStringLiteral("/accounts")).permissions()
                  & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              0);

    ASSERT_EQ(v.Run(QStringLiteral("passwd"), {QStringLiteral("tester")}, "changed\n"), 0);
    VismClient c;
    ASSERT_TRUE(c.Connect(v.VismPort));
    EXPECT_TRUE(c.Login("tester", "secret", "USER").Failed);
    EXPECT_FALSE(c.Login("tester", "changed", "USER").Failed);

    // The protocols: as given; none given keeps them; an account line from before them has both.
    const QString gw = QStringLiteral("gw");
    auto vismLogin = [&](const QByteArray &password) {
        VismClient c;
        return c.Connect(v.VismPort) && !c.Login("gw", password, "USER").Failed;
    };
    auto xapiOpen = [&](const QByteArray &password) {
        RawXapi x;
        return x.Open(v.XapiPort, "gw", password, "USER");
    };
    ASSERT_EQ(v.Run(QStringLiteral("passwd"), {gw, QStringLiteral("--xapi")}, "pw\n"), 0);
    EXPECT_TRUE(xapiOpen("pw"));
    EXPECT_FALSE(vismLogin("pw"));
    ASSERT_EQ(v.Run(QStringLiteral("passwd"), {gw}, "pw2\n"), 0);
    EXPECT_TRUE(xapiOpen("pw2"));
    EXPECT_FALSE(vismLogin("pw2"));
    ASSERT_EQ(v.Run(QStringLiteral("passwd"), {gw, QStringLiteral("--vism")}, "pw2\n"), 0);
    EXPECT_FALSE(xapiOpen("pw2"));
    EXPECT_TRUE(vismLogin("pw2"));
    EXPECT_NE(v.Run(QStringLiteral("passwd"), {gw, QStringLiteral("--all")}, "pw2\n"), 0);
    QFile file(v.DataDir() + QStringLiteral("/accounts"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray lines = file.readAll();
    file.close();
    EXPECT_TRUE(lines.contains(":vism\ntester:")) << lines.toStdString();
    lines.replace(":vism\n", "\n");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines);
    file.close();
    EXPECT_TRUE(xapiOpen("pw2"));
    EXPECT_TRUE(vismLogin("pw2"));

    QByteArray out;
    EXPECT_NE(v.Run(QStringLiteral("passwd"), {QStringLiteral("bad:name")}, "x\n", &out), 0);
    EXPECT_NE(v.Run(QStringLiteral("passwd"), {QStringLiteral("empty")}, "\n", &out), 0);
    EXPECT_TRUE(out.contains("empty password")) << out.toStdString();
}

TEST(VelmdCommands, NamespaceAddsOneThatSessionsCanEnter)
{
    VelmdProcess v;
    ASSERT_TRUE(v.Start()) << v.Error.toStdString();
    ASSERT_EQ(v.Run(QStringLiteral("namespace"), {QStringLiteral("Extra")}), 0) << v.Error.toStdString();
    EXPECT_TRUE(
        ReadAll(v.DataDir() + QStringLiteral("/velmd.conf")).contains("namespaces = %SYS,USER,EXTRA"));
    EXPECT_NE(v.Run(QStringLiteral("namespace"), {QStringLiteral("no/such")}), 0);
    VismClient c;
    ASSERT_TRUE(c.Connect(v.VismPort));
    ASSERT_FALSE(c.Login(v.User, v.Password, "extra").Failed);
    EXPECT_EQ(c.Run("EXTRA", "$ZNSPACE").Value, "EXTRA");
}

TEST(VelmdCommands, LoadConvertsToTheDeclaredCodePageAndRefusesUndeclaredText)
{
    VelmdProcess v;
    ASSERT_TRUE(v.Start()) << v.Error.toStdString();
    ASSERT_TRUE(v.LoadText(QStringLiteral("USER"), QStringLiteral("TCP1"),
                           QStringLiteral("TCP1 ;test ;; cp1251\nf() q \"Дом\"\n").toUtf8()))
        << v.Error.toStdString();
    ASSERT_TRUE(v.LoadText(QStringLiteral("USER"), QStringLiteral("TCP2"),
                           QStringLiteral("TCP2 ;test ;; cp866\nf() q \"Дом\"\n").toUtf8()))
        << v.Error.toStdString();
    ASSERT_TRUE(v.LoadText(QStringLiteral("%SYS"), QStringLiteral("%TCP3"), "%TCP3 ;plain\nf() q 3\n"))
        << v.Error.toStdString();
    EXPECT_FALSE(v.LoadText(QStringLiteral("USER"), QStringLiteral("TCP4"),
                            QStringLiteral("TCP4 ;no code page\nf() q \"Дом\"\n").toUtf8()));
    EXPECT_TRUE(v.Error.contains(QStringLiteral("line 2"))) << v.Error.toStdString();
    EXPECT_FALSE(v.LoadText(QStringLiteral("USER"), QStringLiteral("TCP5"), "TCP5 ;\nf() q 1+\n"));
    EXPECT_FALSE(v.LoadText(QStringLiteral("NOSUCH"), QStringLiteral("TCP6"), "TCP6 ;\n"));
    // A percent routine goes to %SYS whatever namespace it is loaded into.
    ASSERT_TRUE(v.LoadText(QStringLiteral("USER"), QStringLiteral("%TCP7"), "%TCP7 ;plain\nf() q 7\n"));
    EXPECT_TRUE(QFileInfo::exists(v.DataDir() + QStringLiteral("/ns/%SYS/o/_TCP7.o")));
    EXPECT_FALSE(QFileInfo::exists(v.DataDir() + QStringLiteral("/ns/USER/o/_TCP7.o")));

    VismClient c;
    ASSERT_TRUE(c.Connect(v.VismPort));
    ASSERT_FALSE(c.Login(v.User, v.Password, "USER").Failed);
    EXPECT_EQ(c.Run("USER", "$$f^TCP1()").Value, QByteArray("\xC4\xEE\xEC"));
    EXPECT_EQ(c.Run("USER", "$$f^TCP2()").Value, QByteArray("\x84\xAE\xAC"));
    EXPECT_EQ(c.Run("USER", "$$f^%TCP3()").Value, "3"); // percent routines are seen from USER
    EXPECT_TRUE(c.Run("USER", "$$f^TCP4()").Failed);
}

} // namespace
