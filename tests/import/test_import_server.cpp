// The import engine and the document run against `velmd demo`, as the gateway works: logged in,
// the task and setting lists from the server, the demo's sample files imported and run. The
// three unclosed orders of the money-out file are closed, the other records become documents,
// and a second import of the same file finds every one of them.
#include "demoengine.h"

#include "Connect.h"
#include "Routines.h"
#include "ScriptedUi.h"
#include "VelmdProcess.h"
#include "clbgen.h"
#include "codepage.h"
#include "data.h"
#include "dbfops.h"
#include "dbfsettings.h"
#include "rejectedfile.h"
#include "taskdata.h"
#include "taskrun.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray W(const char *utf8) { return ToWin1251(QString::fromUtf8(utf8)); }

class ImportServer : public DemoEngineTest
{
protected:
    // Task start as the task manager makes it: the task row, its client-bank's settings, the
    // task's setting, the table built and the file imported.
    bool StartTask(const TBookmark &task, const QString &file)
    {
        dm.tbTasks->GotoBookmark(task);
        const QByteArray client = dm.tbTasks->AsString(TdmSet::tkClient);
        EXPECT_EQ(client, W("Клиент-Банк Демо"));
        if (!dm.LoadSettings(client))
            return false;
        const QByteArray set = dm.tbTasks->AsString(TdmSet::tkSet);
        EXPECT_TRUE(LocateRecord(*dm.tbSets, QStringLiteral("Id"), set));
        engine.BuildTaskTable(int(dm.tbTasks->AsInteger(TdmSet::tkId)));
        Protocol.clear();
        const bool ok = engine.ImportDbfFile(Server->DataDir() + u'/' + file, set.toLongLong());
        if (ok)
            engine.SnapshotTaskTable();
        return ok;
    }
    QList<QByteArray> Column(int field) const
    {
        QList<QByteArray> out;
        for (int r = 0; r < engine.tbTask->RecordCount(); ++r)
            out << engine.tbTask->StringAt(r, field);
        return out;
    }
    void IncludeAll()
    {
        TMemTable *t = engine.tbTask;
        for (t->First(); !t->Eof(); t->Next()) {
            t->Edit();
            t->SetAsBoolean(TdmTask::tfInclude, true);
            t->Post();
        }
    }
};

// The money-out test comes first: the demo's orders are closed only once.
TEST_F(ImportServer, MoneyOutFileClosesTheDemoOrdersAndCreatesTheRest)
{
    ASSERT_TRUE(StartTask(dm.TaskRowMoneyOut, QStringLiteral("clbout.dbf")))
        << ui.Messages().join(u'\n').toStdString();
    EXPECT_EQ(ui.Messages(), QStringList());
    TMemTable *t = engine.tbTask;
    ASSERT_EQ(t->RecordCount(), 200) << "every record of the sample file is acceptable";
    EXPECT_EQ(engine.TaskColumnCount(), 12);
    EXPECT_EQ(t->FieldDef(8).Name, QStringLiteral("NUMDOC"));

    // The demo orders first: similar, unclosed, not included; the rest new and included.
    const QList<QByteArray> exist = Column(TdmTask::tfExist);
    const QList<QByteArray> open = Column(TdmTask::tfOpen);
    const QList<QByteArray> include = Column(TdmTask::tfInclude);
    for (int r = 0; r < 3; ++r) {
        EXPECT_FALSE(open[r].isEmpty()) << r;
        EXPECT_EQ(exist[r], open[r]) << r;
        EXPECT_EQ(include[r], "False") << r;
    }
    for (int r = 3; r < 200; ++r) {
        EXPECT_EQ(exist[r], "") << r;
        EXPECT_EQ(include[r], "True") << r;
    }
    EXPECT_EQ(Column(8).mid(0, 3), (QList<QByteArray>{"101", "102", "103"}));

    // The protocol: the headings, then one line per record in file order.
    ASSERT_EQ(Protocol.size(), 202);
    EXPECT_EQ(Protocol[2], "1: \t\t101\t");
    EXPECT_EQ(Protocol[201], "200: \t\t" + t->StringAt(199, 8) + '\t');

    // The operator includes everything and closes each unclosed order from the box.
    IncludeAll();
    TTaskRun run(&engine);
    ui.Clear();
    ui.ExpectName(QStringLiteral("Иванова"));
    for (int i = 0; i < 3; ++i)
        ui.ExpectChoice(1);
    run.actRunExecute();
    EXPECT_EQ(ui.Messages(), QStringList());
    const QList<QByteArray> results = Column(engine.TransactField());
    EXPECT_EQ(results.mid(0, 3), (QList<QByteArray>{"2", "2", "2"}));
    for (int r = 3; r < 200; ++r)
        ASSERT_EQ(results[r], "1") << "row " << r + 1 << ": " << FromWin1251(results[r]).toStdString();
    EXPECT_EQ(engine.tbTask2->StringAt(0, engine.TransactField()), "")
        << "the hint's copy keeps the import's values";

    QByteArray work;
    dm.CallGLinTO(work);
    EXPECT_EQ(FromWin1251(work),
              QStringLiteral("За время работы создано документов: 197, закрыто документов: 3"));

    // The same file again: every record now has its document, the orders closed.
    ASSERT_TRUE(StartTask(dm.TaskRowMoneyOut, QStringLiteral("clbout.dbf")));
    ASSERT_EQ(t->RecordCount(), 200);
    for (int r = 0; r < 200; ++r) {
        ASSERT_FALSE(t->StringAt(r, TdmTask::tfExist).isEmpty()) << r;
        ASSERT_TRUE(t->StringAt(r, TdmTask::tfOpen).isEmpty()) << r;
        ASSERT_EQ(t->StringAt(r, TdmTask::tfInclude), "False") << r;
    }

    // Closing an order that is closed already is refused, and the refusal is the row's result.
    t->First();
    t->Edit();
    t->SetAsString(TdmTask::tfOpen, exist[0]);
    t->SetAsBoolean(TdmTask::tfInclude, true);
    t->Post();
    TTaskRun again(&engine);
    again.CloseDoc = true;
    ui.Clear();
    ui.ExpectName(QStringLiteral("Иванова"));
    again.actRunExecute();
    EXPECT_EQ(FromWin1251(t->StringAt(0, engine.TransactField())),
              QStringLiteral("Документ %1 уже закрыт").arg(QString::fromLatin1(exist[0])));
    EXPECT_EQ(Column(engine.TransactField()).mid(1), QList<QByteArray>(199));
}

TEST_F(ImportServer, MoneyInFileCreatesItsDocuments)
{
    ASSERT_TRUE(StartTask(dm.TaskRowMoneyIn, QStringLiteral("clbin.dbf")));
    TMemTable *t = engine.tbTask;
    ASSERT_EQ(t->RecordCount(), 100);
    TTaskRun run(&engine);
    ui.Clear();
    ui.ExpectName(QStringLiteral("Петров"));
    run.actRunExecute();
    EXPECT_EQ(ui.Events.value(1),
              QStringLiteral("progress start: Создание документов \"Деньги-Приход\" [100]"));
    EXPECT_EQ(Column(engine.TransactField()), QList<QByteArray>(100, "1"));
}

TEST_F(ImportServer, RecordTheServerRejectsIsLeftOutWithItsDiagnosis)
{
    // Five fresh money-out records; the second one's sum is zeroed in the file.
    const QString path = Server->DataDir() + QStringLiteral("/fresh.dbf");
    std::string error;
    ASSERT_TRUE(WriteFileWithARejectedRecord(path, 5, 77, error)) << error;
    dm.tbTasks->GotoBookmark(dm.TaskRowMoneyOut);
    ASSERT_TRUE(dm.LoadSettings(dm.tbTasks->AsString(TdmSet::tkClient)));
    ASSERT_TRUE(LocateRecord(*dm.tbSets, QStringLiteral("Id"), "1"));
    engine.BuildTaskTable(1);
    Protocol.clear();
    ASSERT_TRUE(engine.ImportDbfFile(path, 1));
    EXPECT_EQ(engine.tbTask->RecordCount(), 4);
    ASSERT_EQ(Protocol.size(), 7);
    const QList<QByteArray> line = Protocol[3].split('\t');
    ASSERT_EQ(line.size(), 4);
    EXPECT_EQ(line[0], "2: ");
    EXPECT_FALSE(line[3].isEmpty()) << "the diagnosis";
    EXPECT_TRUE(FromWin1251(line[3]).contains(QStringLiteral("сумма"))) << FromWin1251(line[3]).toStdString();
    for (int i : {2, 4, 5, 6})
        EXPECT_TRUE(Protocol[i].endsWith('\t')) << i << ": " << FromWin1251(Protocol[i]).toStdString();
}

} // namespace
