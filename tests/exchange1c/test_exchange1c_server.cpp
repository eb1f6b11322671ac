// The 1C exchange texts against `velmd demo`, imported through the demo's «Банк 1С Демо»
// settings: a text the test writes reaches the server as the same documents as the demo's
// dBASE sample of the same seed, row for row of the intermediate table; the demo's statement
// gives each task its own half, once.
#include "demoengine.h"

#include "Connect.h"
#include "ScriptedUi.h"
#include "VelmdProcess.h"
#include "clbgen.h"
#include "codepage.h"
#include "data.h"
#include "dbfops.h"
#include "dbfsettings.h"
#include "statement.h"
#include "taskdata.h"
#include "taskrun.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray W(const char *utf8) { return ToWin1251(QString::fromUtf8(utf8)); }

class Exchange1CServer : public DemoEngineTest
{
protected:
    // The task started with that client-bank and setting on the file, as the task manager
    // starts it; every row of the intermediate table, its columns joined by chr(2).
    QList<QByteArray> Import(const TBookmark &task, const QByteArray &client, const QByteArray &setting,
                             const QString &path)
    {
        dm.tbTasks->GotoBookmark(task);
        dm.tbTasks->Edit();
        dm.tbTasks->SetAsString(TdmSet::tkClient, client);
        dm.tbTasks->Post();
        EXPECT_TRUE(dm.LoadSettings(client));
        EXPECT_TRUE(LocateRecord(*dm.tbSets, QStringLiteral("Name"), setting));
        engine.BuildTaskTable(int(dm.tbTasks->AsInteger(TdmSet::tkId)));
        EXPECT_TRUE(engine.ImportDbfFile(path, dm.tbSets->AsInteger(TdmSet::stId)))
            << ui.Messages().join(u'\n').toStdString();
        QList<QByteArray> rows;
        TMemTable *t = engine.tbTask;
        for (int r = 0; r < t->RecordCount(); ++r) {
            QByteArrayList row;
            for (int f = 0; f < t->FieldCount(); ++f)
                row << t->StringAt(r, f);
            rows << row.join('\x02');
        }
        return rows;
    }
    // The document numbers of the intermediate table (the fifth of the demo's columns).
    QList<QByteArray> Numbers() const
    {
        QList<QByteArray> out;
        for (int r = 0; r < engine.tbTask->RecordCount(); ++r)
            out << engine.tbTask->StringAt(r, 8);
        return out;
    }
    // Each row's Include and, after the run, its result.
    QList<QByteArray> Run()
    {
        TTaskRun run(&engine);
        ui.ExpectName(QStringLiteral("Иванова"));
        run.actRunExecute();
        QList<QByteArray> out;
        for (int r = 0; r < engine.tbTask->RecordCount(); ++r)
            out << engine.tbTask->StringAt(r, TdmTask::tfInclude) + ' '
                       + engine.tbTask->StringAt(r, engine.TransactField());
        return out;
    }
};

TEST_F(Exchange1CServer, TextGivesTheDocumentsOfTheDbfSampleOfItsSeed)
{
    // The demo's seeds: money out (Windows-1251) and money in (UTF-8, read as Windows-1251).
    QTemporaryDir dir;
    clb::Options out;
    out.count = 200;
    out.seed = 1;
    out.demo = true;
    out.format = clb::Format::Exchange1CWindows;
    clb::Options in;
    in.moneyIn = true;
    in.count = 100;
    in.seed = 2;
    in.format = clb::Format::Exchange1CUtf8;
    const QString outText = dir.filePath(QStringLiteral("выписка.txt"));
    const QString inText = dir.filePath(QStringLiteral("IN.TXT"));
    std::string error;
    ASSERT_TRUE(clb::writeFile(outText.toStdString(), out, error)) << error;
    ASSERT_TRUE(clb::writeFile(inText.toStdString(), in, error)) << error;

    const QByteArray dbfBank = W("Клиент-Банк Демо"), textBank = W("Банк 1С Демо");
    const QList<QByteArray> dbfOut = Import(dm.TaskRowMoneyOut, dbfBank, W("Расход (демо)"),
                                            Server->DataDir() + QStringLiteral("/clbout.dbf"));
    ASSERT_EQ(dbfOut.size(), 200);
    EXPECT_EQ(Import(dm.TaskRowMoneyOut, textBank, W("Расход 1С (демо)"), outText), dbfOut);
    EXPECT_EQ(engine.tbTask->StringAt(0, 8), "101") << "the demo's orders come first";
    EXPECT_FALSE(engine.tbTask->StringAt(0, TdmTask::tfOpen).isEmpty());

    const QList<QByteArray> dbfIn = Import(dm.TaskRowMoneyIn, dbfBank, W("Приход (демо)"),
                                           Server->DataDir() + QStringLiteral("/clbin.dbf"));
    ASSERT_EQ(dbfIn.size(), 100);
    EXPECT_EQ(Import(dm.TaskRowMoneyIn, textBank, W("Приход 1С (демо)"), inText), dbfIn);
    EXPECT_EQ(ui.Messages(), QStringList());
}

TEST_F(Exchange1CServer, DemoStatementGivesEachTaskItsOwnHalfOnceAndTheFaultyDocumentIsSaid)
{
    const QByteArray bank = W("Банк 1С Демо");
    const QString demo = Server->DataDir() + QStringLiteral("/kl_to_1c.txt");
    const QString mixed = Server->DataDir() + QStringLiteral("/mixed1c.txt");
    QFile f(mixed);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)
                && f.write(DemoStatementWithAFaultyDocument(Server->DataDir())) > 0);
    f.close();

    // Money out: the debits of the demo's own file (its setting names it): the supplier, the
    // tax, the bank's fee; the credits are left aside, and the bank's own key is warned about.
    Import(dm.TaskRowMoneyOut, bank, W("Расход 1С (демо)"), demo);
    EXPECT_EQ(dm.tbSets->AsString(TdmSet::stFile), "kl_to_1c.txt");
    EXPECT_EQ(Numbers(), (QList<QByteArray>{"104", "105", "3501"}));
    EXPECT_EQ(engine.AsideCount(false), 3);
    ASSERT_EQ(ui.Messages().size(), 1);
    EXPECT_TRUE(ui.Messages()[0].contains(QStringLiteral("неизвестный ключ «СтатусЭД»")))
        << ui.Messages()[0].toStdString();
    ui.Clear();
    EXPECT_EQ(Run(), QList<QByteArray>(3, "True 1"));

    // Money in: the credits of the statement with a faulty document more, said once.
    ui.Clear();
    Import(dm.TaskRowMoneyIn, bank, W("Приход 1С (демо)"), mixed);
    EXPECT_EQ(Numbers(), (QList<QByteArray>{"387", "19", "58"}));
    EXPECT_EQ(engine.AsideCount(false), 3);
    ASSERT_EQ(engine.AsideCount(true), 1);
    EXPECT_EQ(engine.LeftAside.last().Number, QStringLiteral("106"));
    EXPECT_EQ(engine.LeftAside.last().Reason, QStringLiteral("«-500.00» в ключе Сумма: сумма меньше нуля"));
    ASSERT_EQ(ui.Messages().size(), 1);
    EXPECT_TRUE(ui.Messages()[0].contains(QStringLiteral("документ № 106")))
        << ui.Messages()[0].toStdString();
    ui.Clear();
    EXPECT_EQ(Run(), QList<QByteArray>(3, "True 1"));

    // Both again: every document is there; nothing is created twice.
    for (const auto &[task, setting] : {std::pair{dm.TaskRowMoneyOut, W("Расход 1С (демо)")},
                                        std::pair{dm.TaskRowMoneyIn, W("Приход 1С (демо)")}}) {
        ui.Clear();
        Import(task, bank, setting, mixed);
        ASSERT_EQ(engine.tbTask->RecordCount(), 3);
        ui.Clear();
        EXPECT_EQ(Run(), QList<QByteArray>(3, "False ")) << "similar documents leave every row out";
    }
    QByteArray work;
    dm.CallGLinTO(work);
    EXPECT_EQ(FromWin1251(work),
              QStringLiteral("За время работы создано документов: 6, закрыто документов: 0"));
}

} // namespace
