// The VisM front-end with the exact texts the installer sends, and the emulation of the original
// platform's forms behind them.
#include "VelmdProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

namespace {

constexpr char kRestoreMiddle[] = "\") ZR  X \"s i=\"\"\"\",q=$C(13,10) f  s i=$o(text(i)) Q:i=\"\"\"\"  s "
                                  "s=\"\"\"\" f k=1:1:$l(text(i),q) "
                                  "s s=$p(text(i),q,k) ZI s\" ZS ";

// The restore line of the installer, for routine name.
QByteArray RestoreLine(const QByteArray &name) { return "k ^rMAC(\"" + name + kRestoreMiddle + name; }

class VismServer : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Server = new VelmdProcess();
        ASSERT_TRUE(Server->Start()) << Server->Error.toStdString();
        ASSERT_EQ(Server->Run(QStringLiteral("namespace"), {QStringLiteral("SECOND")}), 0);
        for (const char *ns : {"USER", "SECOND"})
            ASSERT_TRUE(Server->Load(QString::fromLatin1(ns), {QStringLiteral(TVD_SOURCE)}))
                << Server->Error.toStdString();
        // Namespaces added while serving are seen by sessions that start later.
    }
    static void TearDownTestSuite()
    {
        delete Server;
        Server = nullptr;
    }

    // A connected client in namespace ns.
    std::unique_ptr<VismClient> Client(const QByteArray &ns = "USER")
    {
        auto c = std::make_unique<VismClient>();
        EXPECT_TRUE(c->Connect(Server->VismPort));
        const auto r = c->Login(Server->User, Server->Password, ns);
        EXPECT_FALSE(r.Failed) << r.ErrorName.toStdString();
        return c;
    }

    // Restores a routine the way the installer does: transfers of joined lines, then the
    // restore line, then "k text".
    static void Restore(VismClient &c, const QByteArray &ns, const QByteArray &name,
                        const QList<QByteArray> &transfers, bool keepSource)
    {
        EXPECT_FALSE(c.Run(ns, "n text,i,k,q").Failed);
        int line = 1;
        for (const QByteArray &t : transfers) {
            const auto r = c.Run(ns, "s text(P1)=P2", QByteArray::number(line), t);
            EXPECT_FALSE(r.Failed) << r.ErrorName.toStdString();
            line += int(t.count("\r\n")) + 1;
        }
        const auto r = c.Run(ns, RestoreLine(name));
        EXPECT_FALSE(r.Failed) << r.ErrorName.toStdString();
        EXPECT_FALSE(c.Run(ns, "k text").Failed);
        if (!keepSource)
            EXPECT_FALSE(c.Run(ns, "k ^ROUTINE(P1)", name).Failed);
    }

    static VelmdProcess *Server;
};

VelmdProcess *VismServer::Server = nullptr;

TEST_F(VismServer, ConnectChecksTheAccountAndMayBeSentAgain)
{
    VismClient c;
    ASSERT_TRUE(c.Connect(Server->VismPort));
    auto r = c.Run("USER", "$ZNSPACE");
    EXPECT_TRUE(r.Failed); // not connected yet
    EXPECT_FALSE(r.ErrorName.isEmpty());
    r = c.Login(Server->User, "wrong", "USER");
    EXPECT_TRUE(r.Failed);
    EXPECT_FALSE(r.ErrorName.isEmpty());
    r = c.Login("nobody", Server->Password, "USER");
    EXPECT_TRUE(r.Failed);
    r = c.Login(Server->User, Server->Password, "NOSUCH");
    EXPECT_TRUE(r.Failed);
    EXPECT_TRUE(r.ErrorName.startsWith("<NAMESPACE>"));
    r = c.Login(Server->User, Server->Password, "USER");
    EXPECT_FALSE(r.Failed) << r.ErrorName.toStdString();
    r = c.Run("USER", "$ZNSPACE");
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.Value, "USER");
    c.Quit();
    EXPECT_TRUE(c.WaitClosed(5000));
}

TEST_F(VismServer, ExpressionsGiveValuesCommandsRunAndErrorsLeaveTheSessionGoing)
{
    auto c = Client();
    auto r = c->Run("USER", "$$add^TVD(P1,P2)", "40", "2");
    EXPECT_EQ(r.Value, "42");
    // P2 carries any bytes, 0x00 and high bytes included.
    r = c->Run("USER", "$l(P2)_\",\"_$a(P2,2)_\",\"_$a(P2,3)", "", QByteArray("a\0\xF0", 3));
    EXPECT_EQ(r.Value, "3,0,240");
    r = c->Run("USER", "s tvdX=P1*2", "21");
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.Value, "");                            // a command line has no value
    EXPECT_EQ(c->Run("USER", "$g(tvdX)").Value, "42"); // locals stay from run to run

    r = c->Run("USER", "s x=");
    EXPECT_TRUE(r.Failed);
    EXPECT_TRUE(r.ErrorName.startsWith("<SYNTAX>")) << r.ErrorName.toStdString();
    r = c->Run("USER", "$$undef^TVD()");
    EXPECT_TRUE(r.Failed);
    EXPECT_EQ(r.ErrorName, "<UNDEFINED>undef^TVD");
    r = c->Run("USER", "s y=1/0");
    EXPECT_TRUE(r.ErrorName.startsWith("<DIVIDE>"));
    EXPECT_EQ(c->Run("USER", "$g(tvdX)").Value, "42");

    // A second connection has locals of its own.
    auto other = Client();
    EXPECT_EQ(other->Run("USER", "$g(tvdX)").Value, "");
}

TEST_F(VismServer, NamespaceSwitchAndEnumeration)
{
    auto c = Client();
    EXPECT_EQ(c->Run("USER", "$ZNSPACE").Value, "USER");
    EXPECT_EQ(c->Run("USER", "s ^TVD(\"where\")=$ZNSPACE").Failed, false);
    EXPECT_EQ(c->Run("SECOND", "$ZNSPACE").Value, "SECOND");
    EXPECT_EQ(c->Run("SECOND", "$g(^TVD(\"where\"))").Value, ""); // other globals
    EXPECT_EQ(c->Run("USER", "$g(^TVD(\"where\"))").Value, "USER");
    auto r = c->Run("NOSUCH", "$ZNSPACE");
    EXPECT_TRUE(r.Failed);
    EXPECT_EQ(r.ErrorName, "<NAMESPACE>NOSUCH");
    EXPECT_EQ(c->Run("USER", "$ZNSPACE").Value, "USER");

    // The installer counts the namespaces and reads their names one by one.
    const int count = c->Run("USER", "$zu(90,0)").Value.toInt();
    QList<QByteArray> names;
    for (int i = 1; i <= count; ++i)
        names << c->Run("USER", "$zu(90,2,0,P1)", QByteArray::number(i)).Value;
    EXPECT_EQ(names, (QList<QByteArray>{"%SYS", "USER", "SECOND"}));
    EXPECT_TRUE(c->Run("USER", "$zu(1,2)").Failed); // not emulated: an error, not a guess

    EXPECT_FALSE(c->Run("USER", "d DISABLE^%NOJRN").Failed);
    EXPECT_FALSE(c->Run("USER", "d ENABLE^%NOJRN").Failed);
}

TEST_F(VismServer, RestoredRoutinesRunAndLoseTheirSourceWhenItIsKilled)
{
    auto c = Client();
    // Two transfers, the second starting at source line 3; a quote and a CR LF in the text.
    Restore(*c, "USER", "TVR1",
            {"TVR1 ;restored by the installer\r\nf() q 42", "g() q \"a\"\"b\"\r\nh(x) q x*2"}, false);
    EXPECT_EQ(c->Run("USER", "$$f^TVR1()").Value, "42");
    EXPECT_EQ(c->Run("USER", "$$g^TVR1()").Value, "a\"b");
    EXPECT_EQ(c->Run("USER", "$$h^TVR1(21)").Value, "42");
    EXPECT_EQ(c->Run("USER", "$d(^ROUTINE(\"TVR1\"))").Value, "0");
    EXPECT_EQ(c->Run("USER", "$d(^rMAC(\"TVR1\"))").Value, "0");

    // Kept source: ^ROUTINE holds the lines.
    Restore(*c, "USER", "TVR2", {"TVR2 ;kept\r\nf() q 7"}, true);
    EXPECT_EQ(c->Run("USER", "$g(^ROUTINE(\"TVR2\",0,0))").Value, "2");
    EXPECT_EQ(c->Run("USER", "$g(^ROUTINE(\"TVR2\",0,2))").Value, "f() q 7");

    // Restoring again replaces the routine, also in this process.
    Restore(*c, "USER", "TVR1", {"TVR1 ;second version\r\nf() q 43"}, false);
    EXPECT_EQ(c->Run("USER", "$$f^TVR1()").Value, "43");

    // Another connection finds the saved object.
    auto other = Client();
    EXPECT_EQ(other->Run("USER", "$$f^TVR1()").Value, "43");
    auto second = Client("SECOND");
    EXPECT_TRUE(second->Run("SECOND", "$$f^TVR1()").Failed); // saved in USER only
    // A routine whose lines are kept reads them with $TEXT, in any connection; one whose lines
    // were killed keeps its object only.
    EXPECT_EQ(c->Run("USER", "$t(f^TVR2)").Value, "f() q 7");
    EXPECT_EQ(other->Run("USER", "$t(+1^TVR2)").Value, "TVR2 ;kept");
    EXPECT_EQ(other->Run("USER", "$t(+2^TVR1)").Value, "");

    // A routine that does not compile is an error of the restore line, and nothing is saved.
    EXPECT_FALSE(c->Run("USER", "n text,i,k,q").Failed);
    EXPECT_FALSE(c->Run("USER", "s text(P1)=P2", "1", "TVR3 ;\r\nf() q 1+").Failed);
    const auto r = c->Run("USER", RestoreLine("TVR3"));
    EXPECT_TRUE(r.Failed);
    EXPECT_TRUE(c->Run("USER", "$$f^TVR3()").Failed);
    // ... and one that had compiled stays as it was.
    EXPECT_FALSE(c->Run("USER", "s text(1)=P2", "", "TVR1 ;\r\nf() q 1+").Failed);
    EXPECT_TRUE(c->Run("USER", RestoreLine("TVR1")).Failed);
    EXPECT_EQ(Client()->Run("USER", "$$f^TVR1()").Value, "43");
}

TEST_F(VismServer, APercentRoutineRestoredInAnyNamespaceLivesInSysForAll)
{
    auto user = Client("USER"); // a session from before the restore
    auto second = Client("SECOND");
    Restore(*second, "SECOND", "%TVDP", {"%TVDP ;a percent routine\r\nf() q \"v1\""}, true);
    EXPECT_EQ(user->Run("USER", "$$f^%TVDP()").Value, "v1");
    EXPECT_EQ(user->Run("USER", "$g(^ROUTINE(\"%TVDP\",0,2))").Value, "f() q \"v1\"");
    EXPECT_EQ(user->Run("%SYS", "$g(^ROUTINE(\"%TVDP\",0,0))").Value, "2");
    const QString ns = Server->DataDir() + QStringLiteral("/ns/");
    EXPECT_TRUE(QFileInfo::exists(ns + QStringLiteral("%SYS/o/_TVDP.o")));
    EXPECT_FALSE(QFileInfo::exists(ns + QStringLiteral("SECOND/o/_TVDP.o")));

    // Restored again from USER, its source dropped as the installer drops it: the new one in
    // every namespace, and no ^ROUTINE left in %SYS either.
    Restore(*user, "USER", "%TVDP", {"%TVDP ;second version\r\nf() q \"v2\""}, false);
    EXPECT_EQ(Client("SECOND")->Run("SECOND", "$$f^%TVDP()").Value, "v2");
    EXPECT_EQ(user->Run("%SYS", "$d(^ROUTINE(\"%TVDP\"))").Value, "0");
    EXPECT_EQ(second->Run("SECOND", "$d(^ROUTINE(\"%TVDP\"))").Value, "0");
}

TEST_F(VismServer, ErrorTrapsAndZeReadAsOnTheOriginalPlatform)
{
    auto c = Client();
    EXPECT_FALSE(c->Run("USER", "k ^TVD").Failed);
    // In a routine: $ZE names the place, the handler runs once.
    EXPECT_FALSE(c->Run("USER", "d zetest^TVD").Failed);
    EXPECT_EQ(c->Run("USER", "$g(^TVD(\"ze\"))").Value, "<DIVIDE>zetest+1^TVD");
    // From a deeper frame the error comes back to the frame that set the trap, once.
    c->Run("USER", "$$deep^TVD()"); // whether the run then fails is the handler's business
    EXPECT_EQ(c->Run("USER", "$g(^TVD(\"deep\"))").Value, "1");
    EXPECT_EQ(c->Run("USER", "$g(^TVD(\"deep\",1))").Value, "<DIVIDE>deep2^TVD");
    // Set by the run's own command line: it jumps to the label, once, and the run ends.
    QElapsedTimer t;
    t.start();
    const auto r = c->Run("USER", "s $zt=\"er^TVD\" s y=1/0 s ^TVD(\"after\")=1");
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_FALSE(r.Failed) << r.ErrorName.toStdString();
    EXPECT_EQ(c->Run("USER", "$g(^TVD(\"er\"))").Value, "1");
    EXPECT_TRUE(c->Run("USER", "$g(^TVD(\"er\",1))").Value.startsWith("<DIVIDE>"));
    EXPECT_EQ(c->Run("USER", "$g(^TVD(\"after\"))").Value, "");
    // The next run has the session's own trap again.
    EXPECT_TRUE(c->Run("USER", "s y=1/0").ErrorName.startsWith("<DIVIDE>"));
}

TEST_F(VismServer, JobsSetDollarTAndSeeTheNamespacesGlobals)
{
    auto c = Client("USER");
    for (const QByteArray &ns : {"SECOND", "USER"}) {
        SCOPED_TRACE(ns.toStdString());
        EXPECT_FALSE(c->Run(ns, "k ^TVD s ^TVD(\"mark\")=$ZNSPACE").Failed);
        auto r = c->Run(ns, "JOB jobrun^TVD::30 s ^TVD(\"t\")=$T");
        EXPECT_FALSE(r.Failed) << r.ErrorName.toStdString();
        EXPECT_EQ(c->Run(ns, "$g(^TVD(\"t\"))").Value, "1");
        QByteArray seen;
        QElapsedTimer t;
        t.start();
        while (seen.isEmpty() && t.elapsed() < 20000) {
            QThread::msleep(100);
            seen = c->Run(ns, "$g(^TVD(\"seen\"))").Value;
        }
        EXPECT_EQ(seen, ns);
    }
}

TEST_F(VismServer, LocksLastUntilTheirConnectionEnds)
{
    auto a = Client();
    auto b = Client();
    EXPECT_EQ(a->Run("USER", "$$lock^TVD()").Value, "1");
    EXPECT_FALSE(b->Run("USER", "L +^TVDL:0 s ^TVD(\"got\")=$T").Failed);
    EXPECT_EQ(b->Run("USER", "$g(^TVD(\"got\"))").Value, "0");
    EXPECT_EQ(a->Run("USER", "$$lock^TVD()").Value, "1"); // still a's, run after run
    a->Quit();
    ASSERT_TRUE(a->WaitClosed(5000));
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got != "1" && t.elapsed() < 10000) {
        EXPECT_FALSE(b->Run("USER", "L +^TVDL:0 s ^TVD(\"got\")=$T").Failed);
        got = b->Run("USER", "$g(^TVD(\"got\"))").Value;
        if (got != "1")
            QThread::msleep(100);
    }
    EXPECT_EQ(got, "1");
}

} // namespace
