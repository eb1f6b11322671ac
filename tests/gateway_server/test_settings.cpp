// The settings store against `velmd demo`, the way the gateway works: the link opened from a
// profile, a registered user, the store's start-up loads; then settings saved, loaded back,
// saved again and deleted, client-banks added and deleted, and the demo's own settings read
// through the editor's checks.
#include "demoserver.h"

#include "Connect.h"
#include "Routines.h"
#include "ScriptedUi.h"
#include "codepage.h"
#include "data.h"

#include <gtest/gtest.h>

using demo::CallText;
using demo::W;

namespace {

class DemoSettings : public demo::DemoSuite
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Demo && Demo->Process() && Demo->Process()->Running()) << "no demo server";
        dm = std::make_unique<TdmSet>();
        dm->Link.ProfileFileName = Demo->Profile;
        ASSERT_TRUE(dm->Link.OpenConnection());
        ASSERT_TRUE(dm->Link.Login("1", "velm1", "lich1"));
        ASSERT_TRUE(dm->LoadAtStartUp());
        ASSERT_EQ(dm->tbTasks->RecordCount(), 3);
        ASSERT_TRUE(dm->LoadSettings(demo::DemoClient()));
    }
    void TearDown() override
    {
        // Logged out before the link closes, so that the next test may register at once.
        dm->Link.Logout();
        dm.reset();
        EXPECT_EQ(ui.Messages(), QStringList{});
    }

    // The settings-editor task row pointed at a setting of a client-bank.
    void PointSetupTaskAt(const QByteArray &client, int set)
    {
        dm->tbTasks->GotoBookmark(dm->TaskRowSetup);
        dm->tbTasks->Edit();
        dm->tbTasks->SetAsString(TdmSet::tkClient, client);
        dm->tbTasks->SetAsInteger(TdmSet::tkSet, set);
        dm->tbTasks->Post();
    }

    // A new tbSets row of money out, as the wizard leaves it.
    void AddSettingsRow(int id, const QByteArray &name, const QByteArray &findEx)
    {
        TMemTable *t = dm->tbSets;
        t->Append();
        t->SetAsInteger(TdmSet::stId, id);
        t->SetAsString(TdmSet::stName, name);
        t->SetAsString(TdmSet::stClient, dm->tbTasks->AsString(TdmSet::tkClient));
        t->SetAsInteger(TdmSet::stType, 1);
        t->SetAsString(TdmSet::stPath, "/data/bank");
        t->SetAsString(TdmSet::stFile, "export.dbf");
        t->SetAsString(TdmSet::stFunc, "WIN");
        t->SetAsString(TdmSet::stVFunc, "INN");
        t->SetAsString(TdmSet::stFindEx, findEx);
        t->Post();
    }

    // A tbSet row as the editor takes it, then prepared for saving.
    void AddField(const QByteArray &name, const QByteArray &type, int length, int precision,
                  const QByteArray &mapx, const QByteArray &func)
    {
        TMemTable *t = dm->tbSet;
        t->Append();
        t->SetAsString(TdmSet::sfName, name);
        t->SetAsString(TdmSet::sfType, type);
        t->SetAsInteger(TdmSet::sfLength, length);
        t->SetAsInteger(TdmSet::sfPrecision, precision);
        t->SetAsString(TdmSet::sfMAPX, mapx);
        t->SetAsString(TdmSet::sfFunc, func);
        t->Post();
        dm->PrepareSetField();
    }

    static QList<QList<QByteArray>> Rows(TMemTable *t)
    {
        QList<QList<QByteArray>> rows;
        for (int r = 0; r < t->RecordCount(); ++r) {
            QList<QByteArray> row;
            for (int f = 0; f < t->FieldCount(); ++f)
                row.append(t->StringAt(r, f));
            rows.append(row);
        }
        return rows;
    }

    static QList<qint64> Ids(TMemTable *t, int field)
    {
        QList<qint64> ids;
        for (int r = 0; r < t->RecordCount(); ++r)
            ids.append(t->IntegerAt(r, field));
        return ids;
    }

    // The task row of the server's task list.
    QList<QByteArray> ServerTask(int task) const
    {
        return CallText(*dm->Link.XApiLink, {Routines::Tlist}).split('\x01').value(task).split('\x02');
    }

    ScriptedUi ui;
    std::unique_ptr<TdmSet> dm;
};

TEST_F(DemoSettings, ASettingOfThreeFieldsIsSavedLoadedBackEqualAndDeletedAgain)
{
    const QByteArray clb = demo::DemoClient();
    ASSERT_EQ(Ids(dm->tbSets, TdmSet::stId), (QList<qint64>{1, 2}));
    ASSERT_TRUE(dm->LoadCharacteristics(1));
    ASSERT_EQ(dm->Characteristics.size(), 12);

    const int id = dm->NextSettingId();
    EXPECT_EQ(id, 3);
    PointSetupTaskAt(clb, id);
    AddSettingsRow(id, W("Три поля"), "NUMDOC;DATADOC,SUMMA");
    AddField("numdoc", "string", 6, 0, dm->Characteristics[0], "ltrim0");
    AddField("DateDoc", "DATE", 8, 0, dm->Characteristics[1], "");
    AddField("SUMMA", "Float", 15, 2, dm->Characteristics[2], "");
    const QList<QList<QByteArray>> saved = Rows(dm->tbSet);
    // What the preparation made of them, to be sure the comparison below compares something.
    EXPECT_EQ(saved[0], (QList<QByteArray>{"1", "NUMDOC", "string", "6", "0", W("Номер[PP NUMDOC]"), "PP",
                                           "NUMDOC", "ltrim0", "1"}));
    EXPECT_EQ(saved[2], (QList<QByteArray>{"3", "SUMMA", "Float", "15", "2", W("Сумма[PP SUMMA]"), "PP",
                                           "SUMMA", "", "6"}));
    ASSERT_TRUE(dm->SaveSetting());
    EXPECT_FALSE(dm->SetModified);
    ASSERT_TRUE(dm->SaveTask());

    dm->tbSet->EmptyTable();
    QByteArray err = "not cleared";
    ASSERT_TRUE(dm->LoadSetFields(QByteArray::number(id), err));
    EXPECT_EQ(err, "");
    EXPECT_FALSE(dm->SetModified);
    EXPECT_EQ(Rows(dm->tbSet), saved);

    // The server lists it among the others, in Id order, with every field as sent.
    ASSERT_TRUE(dm->LoadSettings(clb));
    ASSERT_EQ(Ids(dm->tbSets, TdmSet::stId), (QList<qint64>{1, 2, 3}));
    EXPECT_EQ(Rows(dm->tbSets)[2], (QList<QByteArray>{"3", W("Три поля"), clb, "1", "/data/bank",
                                                      "export.dbf", "WIN", "INN", "NUMDOC;DATADOC,SUMMA"}));
    EXPECT_EQ(dm->NextSettingId(), 4);
    const QList<QByteArray> task = ServerTask(0);
    EXPECT_EQ(task.mid(2, 2), (QList<QByteArray>{clb, "3"}));

    // The import reads a record by this setting: piece i to field i, by the codes that the
    // preparation took out of the characteristics, and finds the demo order 101.
    const QList<QByteArray> p = CallText(*dm->Link.XApiLink, {Routines::PDVelm, clb, "3",
                                                              "000101\x02"
                                                              "20240304\x02"
                                                              "15000"})
                                    .split('\x02');
    ASSERT_EQ(p.size(), 17) << p.join('|').toStdString();
    EXPECT_EQ(p.mid(0, 6), (QList<QByteArray>{"", "1", "1", "0", "04.03.2024", "15000.00"}));
    EXPECT_EQ(p[8], "101");

    // Saved again with a row fewer: exactly the rows sent are left.
    dm->tbSet->First();
    dm->tbSet->Next();
    dm->tbSet->Delete();
    for (dm->tbSet->First(); !dm->tbSet->Eof(); dm->tbSet->Next())
        dm->PrepareSetField();
    // The settings row is the last one of the reloaded list, the one just saved.
    dm->tbSets->Last();
    dm->tbSets->Edit();
    const QByteArray longFindEx = QByteArray("SUMMA,").repeated(1365).left(8190);
    dm->tbSets->SetAsString(TdmSet::stFindEx, longFindEx);
    dm->tbSets->Post();
    const QList<QList<QByteArray>> resaved = Rows(dm->tbSet);
    ASSERT_EQ(resaved.size(), 2);
    EXPECT_EQ(resaved[1].mid(0, 2), (QList<QByteArray>{"2", "SUMMA"}));
    ASSERT_TRUE(dm->SaveSetting());
    ASSERT_TRUE(dm->LoadSetFields("3", err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(Rows(dm->tbSet), resaved);
    ASSERT_TRUE(dm->LoadSettings(clb));
    EXPECT_EQ(dm->tbSets->StringAt(2, TdmSet::stFindEx), longFindEx);

    // Deleted: gone from the list, its fields gone, the task points at nothing.
    dm->tbSets->Last();
    ASSERT_EQ(dm->tbSets->AsInteger(TdmSet::stId), 3);
    ASSERT_TRUE(dm->DeleteSetting());
    ASSERT_TRUE(dm->LoadSettings(clb));
    EXPECT_EQ(Ids(dm->tbSets, TdmSet::stId), (QList<qint64>{1, 2}));
    EXPECT_EQ(CallText(*dm->Link.XApiLink, {Routines::LoadSetRecs, clb, "3"}), "");
    EXPECT_EQ(ServerTask(0).mid(2, 3), (QList<QByteArray>{clb, "", ""}));
    EXPECT_EQ(dm->NextSettingId(), 3);
    // The demo settings are as they were.
    ASSERT_TRUE(dm->LoadSetFields("1", err));
    EXPECT_EQ(dm->tbSet->RecordCount(), 12);
}

TEST_F(DemoSettings, SettingsComeInIdOrderWhateverTheOrderTheyWereSavedIn)
{
    const QByteArray clb = demo::DemoClient();
    for (int id : {7, 4}) {
        PointSetupTaskAt(clb, id);
        dm->tbSet->EmptyTable();
        AddSettingsRow(id, W("Настройка ") + QByteArray::number(id), "");
        AddField("N", "STRING", 6, 0, "", "");
        ASSERT_TRUE(dm->SaveSetting()) << id;
    }
    ASSERT_TRUE(dm->LoadSettings(clb));
    EXPECT_EQ(Ids(dm->tbSets, TdmSet::stId), (QList<qint64>{1, 2, 4, 7}));
    EXPECT_EQ(dm->NextSettingId(), 3);

    // Function names of a setting are looked up by name; whatever else they say is never run.
    PointSetupTaskAt(clb, 4);
    dm->tbSets->First();
    dm->tbSets->Next();
    dm->tbSets->Next();
    ASSERT_EQ(dm->tbSets->AsInteger(TdmSet::stId), 4);
    dm->tbSet->EmptyTable();
    AddField("N", "STRING", 6, 0, W("Номер[PP NUMDOC]"), "$$DelCLB^ZZ001a(\"x\")");
    ASSERT_TRUE(dm->SaveSetting());
    const QByteArray record = "101\x02"
                              "04.03.2024\x02"
                              "15000";
    EXPECT_EQ(CallText(*dm->Link.XApiLink, {Routines::PDVelm, clb, "4", record}).split('\x02').value(0),
              W("Неизвестная функция преобразования $$DELCLB^ZZ001A(\"X\")"));
    dm->tbSets->Edit();
    dm->tbSets->SetAsString(TdmSet::stFunc, "d ^%ZVELMD");
    dm->tbSets->Post();
    ASSERT_TRUE(dm->SaveSetting());
    EXPECT_EQ(CallText(*dm->Link.XApiLink, {Routines::PDVelm, clb, "4", record}).split('\x02').value(0),
              W("Неизвестная функция трансформации D ^%ZVELMD"));
    EXPECT_EQ(CallText(*dm->Link.XApiLink, {Routines::Clist}), demo::List({demo::Demo1CClient(), clb}));

    // A save the server refuses is reported as a failure, and keeps the store's change flag.
    PointSetupTaskAt(W("Нет такого"), 4);
    dm->SetModified = true;
    EXPECT_FALSE(dm->SaveSetting());
    EXPECT_TRUE(dm->SetModified);
    EXPECT_EQ(ui.Messages().size(), 1);
    ui.Clear();
    EXPECT_EQ(CallText(*dm->Link.XApiLink, {Routines::Clist}), demo::List({demo::Demo1CClient(), clb}));

    for (int id : {4, 7}) {
        PointSetupTaskAt(clb, id);
        dm->tbSets->First();
        while (dm->tbSets->AsInteger(TdmSet::stId) != id)
            dm->tbSets->Next();
        ASSERT_TRUE(dm->DeleteSetting()) << id;
    }
    ASSERT_TRUE(dm->LoadSettings(clb));
    EXPECT_EQ(Ids(dm->tbSets, TdmSet::stId), (QList<qint64>{1, 2}));
    // Back to the demo's own pointer, as the other tests expect it.
    PointSetupTaskAt(clb, 1);
    dm->tbTasks->Edit();
    dm->tbTasks->SetAsString(TdmSet::tkSName, demo::OutSetName());
    dm->tbTasks->Post();
    ASSERT_TRUE(dm->SaveTask());
}

// Closing the editor with "save" stores the rows as they are, unprepared: a row added in the
// editor has no Id yet. The server must keep it and every row after it, in the order sent (SaveSetPar
// has emptied the setting before them).
TEST_F(DemoSettings, RowsSavedUnpreparedAreStoredAsTheyAre)
{
    const QByteArray clb = demo::DemoClient();
    PointSetupTaskAt(clb, 9);
    AddSettingsRow(9, W("Без нумерации"), "");
    dm->tbSet->EmptyTable();
    AddField("NUMDOC", "STRING", 6, 0, W("Номер[PP NUMDOC]"), "");
    AddField("DATEDOC", "DATE", 8, 0, W("Дата[PP DATADOC]"), "");
    AddField("SUMMA", "FLOAT", 15, 2, W("Сумма[PP SUMMA]"), "");
    ASSERT_TRUE(dm->SaveSetting());

    // "Добавить" before the second row, filled in, and saved without the preparation.
    dm->tbSet->First();
    dm->tbSet->Next();
    dm->tbSet->Insert();
    dm->tbSet->SetAsString(TdmSet::sfName, "EXTRA");
    dm->tbSet->SetAsString(TdmSet::sfType, "STRING");
    dm->tbSet->SetAsInteger(TdmSet::sfLength, 10);
    dm->tbSet->Post();
    const QList<QList<QByteArray>> sent = Rows(dm->tbSet);
    ASSERT_EQ(sent.size(), 4);
    ASSERT_EQ(sent[1][TdmSet::sfId], "");
    const bool saved = dm->SaveSetting();
    const QStringList shown = ui.Messages();
    ui.Clear();
    EXPECT_TRUE(saved);
    EXPECT_EQ(shown, QStringList{});

    QByteArray err;
    ASSERT_TRUE(dm->LoadSetFields("9", err));
    EXPECT_EQ(Rows(dm->tbSet), sent);

    dm->tbSets->Last();
    ASSERT_EQ(dm->tbSets->AsInteger(TdmSet::stId), 9);
    ASSERT_TRUE(dm->DeleteSetting());
    PointSetupTaskAt(clb, 1);
    dm->tbTasks->Edit();
    dm->tbTasks->SetAsString(TdmSet::tkSName, demo::OutSetName());
    dm->tbTasks->Post();
    ASSERT_TRUE(dm->SaveTask());
}

TEST_F(DemoSettings, TheDemoSettingsPassTheEditorsChecksAndItsPreparationLeavesThemAsTheyAre)
{
    for (int type : {1, 2}) {
        SCOPED_TRACE(type);
        ASSERT_TRUE(dm->LoadCharacteristics(type));
        QByteArray err;
        ASSERT_TRUE(dm->LoadSetFields(QByteArray::number(type), err)) << err.toStdString();
        const QList<QList<QByteArray>> stored = Rows(dm->tbSet);
        ASSERT_EQ(stored.size(), 12);
        dm->CheckedMapx.clear();
        for (dm->tbSet->First(); !dm->tbSet->Eof(); dm->tbSet->Next()) {
            int field = -1;
            EXPECT_TRUE(dm->ValidateSetField(field)) << dm->tbSet->RecNo() << " field " << field;
            dm->PrepareSetField();
        }
        EXPECT_EQ(Rows(dm->tbSet), stored);

        // The automatic fields of the task type are the demo setting's fields, in reverse.
        dm->tbSet->EmptyTable();
        ASSERT_TRUE(dm->AutoCreateFields(type));
        ASSERT_EQ(dm->tbSet->RecordCount(), 12);
        QList<QList<QByteArray>> reversed;
        for (int r = 11; r >= 0; --r)
            reversed.append(Rows(dm->tbSet)[r]);
        for (int r = 0; r < 12; ++r) {
            EXPECT_EQ(reversed[r].mid(TdmSet::sfName, 4), stored[r].mid(TdmSet::sfName, 4)) << r;
            EXPECT_EQ(reversed[r][TdmSet::sfMAPX], stored[r][TdmSet::sfMAPX]) << r;
        }
    }
}

TEST_F(DemoSettings, AClientBankIsDeletedOnlyWithoutSettingsAndTheTasksLetGoOfIt)
{
    const QByteArray name = W("Тестовый банк");
    QByteArray message = "not cleared";
    ASSERT_TRUE(dm->AddClientBank(name, message));
    EXPECT_EQ(message, "");
    EXPECT_FALSE(dm->AddClientBank(W("ТЕСТОВЫЙ БАНК"), message));
    EXPECT_EQ(message, W("Клиент-банк с таким именем уже существует."));
    dm->ClientBanks.clear();
    ASSERT_TRUE(dm->LoadClientBanks());
    EXPECT_TRUE(dm->ClientBanks.contains(name));

    // Money in works with a setting of the new client-bank.
    dm->tbTasks->GotoBookmark(dm->TaskRowMoneyIn);
    dm->tbTasks->Edit();
    dm->tbTasks->SetAsString(TdmSet::tkClient, name);
    dm->tbTasks->SetAsInteger(TdmSet::tkSet, 1);
    dm->tbTasks->SetAsString(TdmSet::tkSName, W("Единственная"));
    dm->tbTasks->Post();
    ASSERT_TRUE(dm->LoadSettings(name));
    ASSERT_TRUE(dm->tbSets->IsEmpty());
    AddSettingsRow(1, W("Единственная"), "SUMMA");
    dm->tbSets->Edit();
    dm->tbSets->SetAsInteger(TdmSet::stType, 2);
    dm->tbSets->Post();
    dm->tbSet->EmptyTable();
    AddField("S", "FLOAT", 15, 2, W("Сумма[PV SUMMA]"), "");
    ASSERT_TRUE(dm->SaveSetting());
    ASSERT_TRUE(dm->SaveTask());
    EXPECT_EQ(ServerTask(2).mid(2, 3), (QList<QByteArray>{name, "1", W("Единственная")}));

    // Not while it has a setting: nothing changes, locally or on the server.
    EXPECT_FALSE(dm->DeleteClientBank(name, message));
    EXPECT_EQ(message, W("Клиент-банк Тестовый банк нельзя удалить: у него есть настройки"));
    EXPECT_EQ(dm->tbTasks->AsString(TdmSet::tkClient), name);
    EXPECT_EQ(ServerTask(2)[2], name);

    ASSERT_TRUE(dm->LoadSettings(name));
    ASSERT_TRUE(dm->DeleteSetting());
    ASSERT_TRUE(dm->DeleteClientBank(name, message));
    EXPECT_EQ(message, "");
    // Every task that used it lets go of it, on the server too; the others keep theirs.
    EXPECT_EQ(ServerTask(2).mid(2, 3), (QList<QByteArray>{"", "", ""}));
    EXPECT_EQ(ServerTask(1).mid(2, 2), (QList<QByteArray>{demo::DemoClient(), "1"}));
    EXPECT_EQ(CallText(*dm->Link.XApiLink, {Routines::Clist}),
              demo::List({demo::Demo1CClient(), demo::DemoClient()}));
    EXPECT_EQ(CallText(*dm->Link.XApiLink, {Routines::DelCLB, name}),
              W("Клиент-банк Тестовый банк не найден"));
    // The name is free again.
    ASSERT_TRUE(dm->AddClientBank(name, message));
    EXPECT_EQ(CallText(*dm->Link.XApiLink, {Routines::DelCLB, name}), "");
}

} // namespace
