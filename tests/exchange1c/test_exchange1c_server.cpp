// The 1C exchange texts against `velmd demo`, imported through the demo's «Банк 1С Демо»
// settings: a text the test writes in each code page reaches the server as the same documents
// as the demo's dBASE sample of the same seed, row for row of the intermediate table.
#include "demoengine.h"

#include "Connect.h"
#include "ScriptedUi.h"
#include "VelmdProcess.h"
#include "clbgen.h"
#include "codepage.h"
#include "data.h"
#include "dbfops.h"
#include "dbfsettings.h"
#include "taskdata.h"

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

};

TEST_F(Exchange1CServer, TextInEachCodePageGivesTheDocumentsOfTheDbfSampleOfItsSeed)
{
    // The demo's seeds: money out (Windows-1251) and money in (CP866).
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
    in.format = clb::Format::Exchange1CDos;
    const QString outText = dir.filePath(QStringLiteral("выписка.txt"));
    const QString inText = dir.filePath(QStringLiteral("IN.TXT"));
    std::string error;
    ASSERT_TRUE(clb::writeFile(outText.toStdString(), out, error)) << error;
    ASSERT_TRUE(clb::writeFile(inText.toStdString(), in, error)) << error;

    const QByteArray dbfBank = W("Клиент-Банк Демо"), textBank = W("Банк 1С Демо");
    const QList<QByteArray> dbfOut =
        Import(dm.TaskRowMoneyOut, dbfBank, W("Расход (демо)"), Server->DataDir() + QStringLiteral("/clbout.dbf"));
    ASSERT_EQ(dbfOut.size(), 200);
    EXPECT_EQ(Import(dm.TaskRowMoneyOut, textBank, W("Расход 1С (демо)"), outText), dbfOut);
    EXPECT_EQ(engine.tbTask->StringAt(0, 8), "101") << "the demo's orders come first";
    EXPECT_FALSE(engine.tbTask->StringAt(0, TdmTask::tfOpen).isEmpty());

    const QList<QByteArray> dbfIn =
        Import(dm.TaskRowMoneyIn, dbfBank, W("Приход (демо)"), Server->DataDir() + QStringLiteral("/clbin.dbf"));
    ASSERT_EQ(dbfIn.size(), 100);
    EXPECT_EQ(Import(dm.TaskRowMoneyIn, textBank, W("Приход 1С (демо)"), inText), dbfIn);
    EXPECT_EQ(ui.Messages(), QStringList());
}

} // namespace
