// velmbank's start-up and shutdown against `velmd demo`, as an operator starts it in the
// folder the demo made: the login dialog is typed into, the messages go to the scripted seam.
#include "AppSetup.h"
#include "Connect.h"
#include "GuiDriver.h"
#include "RegForm.h"
#include "Routines.h"
#include "ScriptedUi.h"
#include "about.h"
#include "codepage.h"
#include "data.h"
#include "demoserver.h"
#include "progress.h"
#include "startup.h"
#include "taskdata.h"
#include "taskunit.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace velmbank;

namespace {

// Answers the next login dialog as a demo user does (user 0: Esc).
void AnswerLogin(int user)
{
    WhenModal([user](QWidget *w) {
        auto *reg = qobject_cast<TRegistration *>(w);
        ASSERT_TRUE(reg) << "the login dialog did not come";
        if (user == 0) {
            QTest::keyClick(reg->Idf, Qt::Key_Escape);
            return;
        }
        const QString n = QString::number(user);
        QTest::keyClicks(reg->Idf, n);
        QTest::keyClicks(reg->Password, QStringLiteral("velm") + n);
        QTest::keyClicks(reg->PrivPass, QStringLiteral("lich") + n);
        ClickButton(reg, QStringLiteral("OK"));
    });
}

// The value of an M expression in the namespace VELM of the demo, read by GT.M itself: what
// the server keeps, whatever its routines offer over XAPI.
QByteArray MValue(const QString &dataDir, const QString &expression)
{
    QString dist = qEnvironmentVariable("gtm_dist");
    if (dist.isEmpty()) {
        const QDir base(QStringLiteral("/usr/lib/x86_64-linux-gnu/fis-gtm"));
        dist = base.filePath(base.entryList({QStringLiteral("V*")}, QDir::Dirs).value(0));
    }
    QProcess m;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("gtm_dist"), dist);
    env.insert(QStringLiteral("gtmgbldir"), dataDir + QStringLiteral("/ns/VELM/g.gld"));
    m.setProcessEnvironment(env);
    m.start(dist + QStringLiteral("/mumps"), {QStringLiteral("-direct")});
    m.write(QStringLiteral("w \"=[\",%1,\"]\",!\nh\n").arg(expression).toUtf8());
    m.closeWriteChannel();
    m.waitForFinished(20000);
    const QByteArray out = m.readAllStandardOutput();
    const qsizetype from = out.indexOf("=[");
    const qsizetype to = out.indexOf("]\n", from);
    return from < 0 || to < 0 ? QByteArray("<no answer: ") + out + '>' : out.mid(from + 2, to - from - 2);
}

class StartUp : public demo::DemoSuite
{
protected:
    void SetUp() override
    {
        DemoSuite::SetUp();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(Demo->DataDir()));
    }
    void TearDown() override { QDir::setCurrent(previous); }
    QString ProfileName() const { return QFileInfo(Demo->Profile).fileName(); }

    QTemporaryDir settingsDir;
    QString previous;
    ScriptedUi ui;
};

QStringList Entries(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        if (qobject_cast<TTaskMenuItem *>(a))
            out << a->text();
    return out;
}

} // namespace

TEST(StartUpAlone, AMissingProfileEndsTheStartNamingEveryPlaceLookedAt)
{
    ScriptedUi ui;
    QTemporaryDir dir, config, machine;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString system = SystemProfileFileName;
    SystemProfileFileName = machine.filePath(QStringLiteral("velmbank.ini"));
    const QString here = QDir::current().filePath(QStringLiteral("velmbank.ini"));
    const QString users = config.filePath(QStringLiteral("velmbank/velmbank.ini"));

    // A first parameter naming no file, then velmbank.ini here, the user's, the machine's.
    {
        TVelmBank program;
        EXPECT_EQ(program.Start({QStringLiteral("nosuch.ini"), QStringLiteral("0")}), TStartUp::EndProcess);
        EXPECT_FALSE(dmSet->Link.ShowErrors);
        EXPECT_FALSE(dmSet->Link.KeepProtocol);
    }
    EXPECT_EQ(
        ui.Messages(),
        (QStringList{QStringLiteral("Файл инициализации соединения не найден. Искали:\n")
                         + QStringList{QDir::current().filePath(QStringLiteral("nosuch.ini")), here, users,
                                       SystemProfileFileName}
                               .join(QLatin1Char('\n')),
                     QStringLiteral(
                         "Не удается создать соединение с сервером. Проверьте файл настройки соединения")}));
    EXPECT_FALSE(fmTaskMan);
    EXPECT_FALSE(QFile::exists(QStringLiteral("clproto.txt")));

    // The first place that holds a file is the profile: the machine's, the user's before it,
    // the current folder's before both.
    const auto write = [](const QString &path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("[XAPI]\n") > 0;
    };
    TLink link;
    ASSERT_TRUE(write(SystemProfileFileName));
    ParseCommandLine(link, {});
    EXPECT_EQ(link.ProfileFileName, SystemProfileFileName);
    ASSERT_TRUE(write(users));
    ParseCommandLine(link, {QStringLiteral("nosuch.ini")});
    EXPECT_EQ(link.ProfileFileName, users);
    ASSERT_TRUE(write(here));
    ParseCommandLine(link, {});
    EXPECT_EQ(link.ProfileFileName, here);

    SystemProfileFileName = system;
    if (xdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", xdg);
    QDir::setCurrent(previous);
}

TEST_F(StartUp, TheDemoUserReachesTheMainWindowAndClosingItLetsGo)
{
    QFile::remove(QStringLiteral("clproto.txt"));
    SetUpWindowedProgram(*qApp, QStringLiteral("velmbank"));
    AnswerLogin(1);
    TVelmBank program;
    ASSERT_EQ(
        program.Start({ProfileName(), QString(), QStringLiteral("1"), QStringLiteral("/no/such/folder")}),
        TStartUp::Run);
    ASSERT_TRUE(fmTaskMan);
    EXPECT_EQ(dmSet->Link.UserNumber, 1);
    EXPECT_EQ(ui.Title(), QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\""));
    EXPECT_TRUE(fmProgress && fmAbout && dmTask);
    // User 1 may do everything; the menus are the demo's.
    EXPECT_TRUE(fmTaskMan->tb0->isEnabled());
    EXPECT_TRUE(fmTaskMan->tb1->isEnabled());
    EXPECT_TRUE(fmTaskMan->tb2->isEnabled());
    EXPECT_EQ(Entries(fmTaskMan->mn0), (QStringList{QStringLiteral("Клиент-Банк Демо:Расход (демо)"),
                                                    QStringLiteral("Клиент-Банк Демо:Приход (демо)")}));
    EXPECT_EQ(Entries(fmTaskMan->mn2), QStringList{QStringLiteral("Клиент-Банк Демо:Приход (демо)")});
    EXPECT_EQ(dmSet->Link.ProtocolDir, QDir::currentPath());

    // While it works, no other gateway gets the lock.
    auto other = Demo->Link();
    ASSERT_TRUE(other);
    EXPECT_EQ(demo::LoginAs(*other, 2), "");
    EXPECT_EQ(demo::CallText(*other, {Routines::LockTO}), "0");

    bool shown = false;
    QTimer::singleShot(0, fmTaskMan, [&shown] {
        shown = fmTaskMan->isVisible();
        // A screen reader meets a window with its caption.
        QAccessibleInterface *window = QAccessible::queryAccessibleInterface(fmTaskMan);
        ASSERT_TRUE(window);
        EXPECT_EQ(window->role(), QAccessible::Window);
        EXPECT_EQ(window->text(QAccessible::Name), QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\" Диспетчер задач"));
        fmTaskMan->activateWindow();
        QTest::qWait(20);
        EXPECT_EQ(fmTaskMan->tb0->toolTip(), QStringLiteral("Клиент-Банк Демо:Расход (демо)"));
        SaveScreen(fmTaskMan, QStringLiteral("taskman"));
        fmTaskMan->mn0->popup(fmTaskMan->tb0->mapToGlobal(QPoint(0, fmTaskMan->tb0->height())));
        SaveScreen(fmTaskMan->mn0, QStringLiteral("taskman-menu"));
        fmTaskMan->mn0->hide();
        fmTaskMan->close();
    });
    EXPECT_EQ(program.Exec(), 0);
    EXPECT_TRUE(shown);
    program.Shutdown();
    EXPECT_EQ(dmSet, nullptr) << "the store goes with its link";
    // Let go by the shutdown itself: the end of the connection alone would leave the holder's
    // record behind.
    EXPECT_EQ(MValue(Demo->DataDir(), QStringLiteral("$d(^VELMLK(\"TO\"))")), "0");
    EXPECT_EQ(demo::CallText(*other, {Routines::LockTO}), "1");
    demo::CallText(*other, {Routines::UnLockTO});
    other->Close();

    QFile proto(QStringLiteral("clproto.txt"));
    ASSERT_TRUE(proto.open(QIODevice::ReadOnly));
    EXPECT_EQ(proto.readLine(), ToWin1251(TdmSet::ProtocolTitle()) + "\r\n");
    EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(QLatin1Char('\n')).toStdString();
}

TEST_F(StartUp, WhileAnotherGatewayWorksTheStartIsRefusedAndLogsOut)
{
    // Another gateway holds the lock.
    auto first = Demo->Link();
    ASSERT_TRUE(first);
    ASSERT_EQ(demo::LoginAs(*first, 1), "");
    ASSERT_EQ(demo::CallText(*first, {Routines::LockTO}), "1");

    // A cancelled login ends the start without a word.
    {
        AnswerLogin(0);
        TVelmBank program;
        EXPECT_EQ(program.Start({ProfileName()}), TStartUp::EndProcess);
        EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(dmSet->Link.XApiLink, nullptr);
    }

    AnswerLogin(2);
    TVelmBank program;
    EXPECT_EQ(program.Start({ProfileName()}), TStartUp::EndProcess);
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral(
                                 "Невозможна работа с программой сейчас из-за работы других пользователей")});
    EXPECT_FALSE(fmTaskMan);
    EXPECT_EQ(dmSet->Link.XApiLink, nullptr);
    // The logout reached the server: the work session's record is gone, which the end of the
    // connection alone would have left behind.
    EXPECT_EQ(MValue(Demo->DataDir(), QStringLiteral("$d(^VELMS(2))")), "0");
    EXPECT_EQ(MValue(Demo->DataDir(), QStringLiteral("$d(^VELMS(1))")), "1");
    demo::CallText(*first, {Routines::UnLockTO});
    first->Close();
}
