#pragma once
// The gateway's task windows against `velmd demo`, set up as the program sets itself up: the
// link, the demo user logged in, the exclusive lock, the lists loaded, the main window and the
// task windows made. Questions of the core are answered by a ScriptedUi; the windows' own
// dialogs are answered from the event loop.

#include "Connect.h"
#include "GuiDriver.h"
#include "ScriptedUi.h"
#include "TaskForm.h"
#include "VelmdProcess.h"
#include "clientman.h"
#include "codepage.h"
#include "data.h"
#include "newclb.h"
#include "startup.h"
#include "taskdata.h"
#include "taskpar.h"
#include "taskunit.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace velmbank;

inline QByteArray W(const QString &s) { return ToWin1251(s); }

// Repeats probe until it gives true or msecs pass; the last result.
inline bool Eventually(const std::function<bool()> &probe, int msecs = 5000)
{
    QDeadlineTimer deadline(msecs);
    while (!probe()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

class TaskE2E : public ::testing::Test
{
protected:
    // One demo server per suite: each suite starts from the demo's own data.
    static void SetUpTestSuite()
    {
        Server = new VelmdProcess(VelmdProcess::Kind::Demo);
        if (!Server->Start())
            Failure = Server->Error;
        else
            Profile = Server->WriteProfile(QStringLiteral("VELM"));
    }
    static void TearDownTestSuite()
    {
        delete Server;
        Server = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(Failure.isEmpty()) << Failure.toStdString();
        ASSERT_TRUE(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        dmSet = new TdmSet;
        TLink &link = dmSet->Link;
        link.LocaleDecimalSeparator = ".";
        link.ProfileFileName = Profile;
        ui.SetTitle(QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\""));
        const int before = int(Server->Log().count(SessionStart));
        ASSERT_TRUE(link.OpenConnection());
        ASSERT_TRUE(Server->WaitForLog(SessionStart, before + 1));
        ASSERT_TRUE(link.Login("1", "velm1", "lich1"));
        link.UserNumber = 1;
        ASSERT_TRUE(dmSet->AcquireExclusiveLock());
        ASSERT_TRUE(dmSet->LoadAtStartUp());
        dmTask = new TdmTask(*dmSet);
        fmTaskMan = new TfmTaskMan;
        CreateTaskWindows(fmTaskMan);
        ASSERT_TRUE(fmTaskForm && fmTaskPar && fmClients && fmPass);
        ui.Clear();
    }
    void TearDown() override
    {
        if (fmTaskForm)
            fmTaskForm->hide();
        if (dmSet && dmSet->Link.XApiLink)
            DataModuleDestroy();
        delete fmTaskMan; // the task windows go with it
        fmTaskMan = nullptr;
        delete dmTask;
        dmTask = nullptr;
        delete dmSet;
        dmSet = nullptr;
    }

    // The gateway's shutdown, as the program makes it when the main window closes.
    static void DataModuleDestroy() { dmSet->DataModuleDestroy(); }
    static QByteArray CallServer(const QList<QByteArray> &elements)
    {
        return dmSet->Link.CallServer(elements);
    }

    // The server's process that serves this test's link.
    int SessionPid() const
    {
        int pid = 0;
        const QRegularExpression re(QStringLiteral("session (\\d+) start \\(xapi"));
        for (auto it = re.globalMatch(Server->Log()); it.hasNext();)
            pid = it.next().captured(1).toInt();
        return pid;
    }
    QList<QByteArray> Column(int field) const
    {
        QList<QByteArray> out;
        for (int r = 0; r < dmTask->tbTask->RecordCount(); ++r)
            out << dmTask->tbTask->StringAt(r, field);
        return out;
    }
    QList<QByteArray> Results() const { return Column(dmTask->TransactField()); }
    // Clicks a cell of the grid as the operator does.
    void ClickCell(int row, int field)
    {
        const QModelIndex index = dmTask->dsTask->index(row, field);
        fmTaskForm->dbgEx->scrollTo(index);
        QTest::mouseClick(fmTaskForm->dbgEx->viewport(), Qt::LeftButton, {},
                          fmTaskForm->dbgEx->visualRect(index).center());
    }
    // The context dialog of a task's "Выбрать настройку", confirmed with what it preselects.
    static void ConfirmContext()
    {
        WhenModal([](QWidget *w) {
            ASSERT_EQ(w, fmTaskPar);
            ClickButton(w, QStringLiteral("Старт"));
        });
    }

    static inline VelmdProcess *Server = nullptr;
    static inline QString Profile;
    static inline QString Failure;
    static inline const QString SessionStart = QStringLiteral(" start (xapi");

    QTemporaryDir settingsDir;
    ScriptedUi ui;
};
