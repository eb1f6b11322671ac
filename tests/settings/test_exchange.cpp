// The settings store against the scripted XAPI peer: the exact elements of every call, the
// tables and lists after each reply, the progress window, and what each failure leaves.
#include "data.h"

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

QByteArray W(const QString &s) { return ToWin1251(s); }
using Elements = QList<QByteArray>;

// Fields joined with sep, as records travel.
QByteArray Rec(const QList<QByteArray> &fields, char sep = '\x02') { return fields.join(sep); }
QByteArray Table(const QList<QByteArray> &records) { return records.join('\x01'); }

const QString Title = QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\"");

class Exchange : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ui.SetTitle(Title);
        dm.Link.ProfileFileName = dir.filePath(QStringLiteral("velmbank.ini"));
        QFile f(dm.Link.ProfileFileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[XAPI]\nServerType=MSM\nVersion=1\nUserName=gw\nPassWord=pw\nNameSpace=VELM\n"
                "Server=127.0.0.1\nPort="
                + QByteArray::number(peer.Port()) + "\n");
        f.close();
        ASSERT_TRUE(dm.Link.OpenConnection());
        dm.FillTypeNames();
    }

    // Every call the peer received so far, as element lists.
    QList<Elements> Calls() const { return peer.Calls(); }
    // Progress steps and messages only, in order.
    QStringList Shown() const { return ui.Events; }

    void AddTask(qint64 id, const QByteArray &client, qint64 set, const QByteArray &sname,
                 const QByteArray &menus = B("m1\x04"
                                             "a\x03m2\x04"
                                             "b"))
    {
        dm.tbTasks->Append();
        dm.tbTasks->SetAsInteger(TdmSet::tkId, id);
        dm.tbTasks->SetAsString(TdmSet::tkName, "task" + QByteArray::number(id));
        dm.tbTasks->SetAsString(TdmSet::tkClient, client);
        dm.tbTasks->SetAsInteger(TdmSet::tkSet, set);
        dm.tbTasks->SetAsString(TdmSet::tkSName, sname);
        dm.tbTasks->SetAsString(TdmSet::tkDefFindEx, "PL");
        dm.tbTasks->SetAsString(TdmSet::tkMenus, menus);
        dm.tbTasks->Post();
    }
    void AddSetting(qint64 id, const QByteArray &name)
    {
        dm.tbSets->Append();
        dm.tbSets->SetAsInteger(TdmSet::stId, id);
        dm.tbSets->SetAsString(TdmSet::stName, name);
        dm.tbSets->SetAsInteger(TdmSet::stType, 1);
        dm.tbSets->Post();
    }
    QByteArray TaskRecord(int row) const
    {
        QList<QByteArray> fields;
        for (int f = 0; f < TdmSet::tkCount; ++f)
            fields << dm.tbTasks->StringAt(row, f);
        return Rec(fields);
    }
    QList<QByteArray> Column(TMemTable *t, int field) const
    {
        QList<QByteArray> out;
        for (int r = 0; r < t->RecordCount(); ++r)
            out << t->StringAt(r, field);
        return out;
    }
    static QString Progress(const QString &caption, int max)
    {
        return ScriptedUi::ProgressStartText(caption, max);
    }
    static QString At(int pos, int max) { return ScriptedUi::ProgressText(pos, max); }
    static QString Error(const QString &text) { return QStringLiteral("error: ") + text; }

    QTemporaryDir dir;
    ScriptedUi ui;
    XapiPeer peer;
    TdmSet dm;
};

const QByteArray ServerError = B("\x1b\x1b<UNDEFINED>Slist+2^ZZ001a\0");
const QString ServerErrorText = QStringLiteral("<UNDEFINED>Slist+2^ZZ001a");
const QString ErrorCaption = QStringLiteral("error caption: ") + Title;
const QString LoadingSets = QStringLiteral("Загрузка списка настроек");
const QString LoadingFields = QStringLiteral("Загрузка полей настройки");
const QString AutoCaption = QStringLiteral("Автоматическое создание записей");
const QString SavingCaption = QStringLiteral("Сохранение настройки");

// A front-end of the session that logs in and records what the session asks of it.
struct ScriptedFrontEnd : TSessionFrontEnd
{
    explicit ScriptedFrontEnd(TdmSet &dm) : Dm(dm) {}
    bool Login() override
    {
        Told << "login";
        return Dm.Link.Login("1", "velm1", "lich1");
    }
    void EndingEarly() override { Told << "ends early"; }
    void WorkTotals(const QByteArray &reply) override { Told << "totals " + reply; }
    void SaveProtocol(const TLink &link) override { Told << "protocol " + link.Protocol.value(0); }
    TdmSet &Dm;
    QList<QByteArray> Told;
};

// The task menus of a window, as the store tells them.
struct ShownMenus : TTaskMenus
{
    void SettingRenamed(const QByteArray &client, qint64 setId, const QByteArray &name) override
    {
        Told << "renamed " + client + ' ' + QByteArray::number(setId) + ' ' + name;
    }
    void SettingDeleted(const QByteArray &client, qint64 setId) override
    {
        Told << "deleted " + client + ' ' + QByteArray::number(setId);
    }
    QList<QByteArray> Told;
};

} // namespace

TEST_F(Exchange, RightsAskTheRoutineOfTheirKind)
{
    peer.QueueCall(QByteArray("1"));
    EXPECT_TRUE(dm.HasRight(0, 17));
    peer.QueueCall(QByteArray("11"));
    EXPECT_FALSE(dm.HasRight(0, 17)) << "settings editing needs exactly 1";
    peer.QueueCall(QByteArray("10"));
    EXPECT_TRUE(dm.HasRight(1, 17));
    peer.QueueCall(QByteArray("11"));
    EXPECT_TRUE(dm.HasRight(2, 17));
    peer.QueueCall(QByteArray("1"));
    EXPECT_FALSE(dm.HasRight(2, 17));
    EXPECT_FALSE(dm.HasRight(3, 17));
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::RightEditSettings, "17", "NL", "2"},
                                        {Routines::RightEditSettings, "17", "NL", "2"},
                                        {Routines::RightRunTask, "17", "YB"},
                                        {Routines::RightRunTask, "17", "YA"},
                                        {Routines::RightRunTask, "17", "YA"}}))
        << "an unknown kind asks nothing";

    dm.Link.KeepProtocol = true;
    peer.QueueCall(ServerError);
    EXPECT_FALSE(dm.HasRight(1, 17));
    EXPECT_EQ(Shown(), (QStringList{ErrorCaption, Error(ServerErrorText)}));
    EXPECT_EQ(dm.Link.Protocol, QList<QByteArray>{ServerErrorText.toLatin1()});
}

TEST_F(Exchange, ListsEndAtTheirFirstEmptyItem)
{
    dm.ClientBanks = {"old"};
    peer.QueueCall(B("A\x01\x01"
                     "B"));
    EXPECT_TRUE(dm.LoadClientBanks());
    EXPECT_EQ(dm.ClientBanks, (QList<QByteArray>{"old", "A"})) << "appended, up to the empty item";
    peer.QueueCall(QByteArray());
    EXPECT_TRUE(dm.LoadClientBanks());
    EXPECT_EQ(dm.ClientBanks.size(), 2);

    dm.Characteristics = {"stale"};
    peer.QueueCall(W(QStringLiteral("ПП[PL SUMMA] Сумма\x01ПП[PL NOMER] Номер\x01")));
    EXPECT_TRUE(dm.LoadCharacteristics(2));
    EXPECT_EQ(dm.Characteristics, (QList<QByteArray>{W(QStringLiteral("ПП[PL SUMMA] Сумма")),
                                                     W(QStringLiteral("ПП[PL NOMER] Номер"))}));
    peer.QueueCall(ServerError);
    EXPECT_FALSE(dm.LoadCharacteristics(1));
    EXPECT_TRUE(dm.Characteristics.isEmpty());
    EXPECT_EQ(Calls(),
              (QList<Elements>{
                  {Routines::Clist}, {Routines::Clist}, {Routines::Mlist, "2"}, {Routines::Mlist, "1"}}));
    EXPECT_EQ(Shown(), (QStringList{ErrorCaption, Error(ServerErrorText)}));
    EXPECT_TRUE(ui.Events.filter(QStringLiteral("progress")).isEmpty());
}

TEST_F(Exchange, TasksAreReadWithTheirMenusAndKeptUpToAFailure)
{
    const QByteArray menus = B("\xc8\xec\xef\xee\xf0\xf2\x04"
                               "1\x03\xc6\xf3\xf0\xed\xe0\xeb\x04"
                               "2");
    peer.QueueCall(
        Table({Rec({"0", W(QStringLiteral("Редактор настроек")), "", "", "", "", ""}),
               Rec({"1", W(QStringLiteral("Деньги: Расход")), "Bank", "3", "S3", "PL NOMER", menus}),
               Rec({"2", W(QStringLiteral("Деньги: Приход")), "Bank"})})
        + '\x01');
    ASSERT_TRUE(dm.LoadTasks());
    ASSERT_EQ(dm.tbTasks->RecordCount(), 3);
    EXPECT_EQ(Column(dm.tbTasks, TdmSet::tkId), (QList<QByteArray>{"0", "1", "2"}));
    EXPECT_EQ(dm.tbTasks->StringAt(1, TdmSet::tkMenus), menus);
    EXPECT_EQ(dm.tbTasks->IntegerAt(1, TdmSet::tkSet), 3);
    EXPECT_TRUE(dm.tbTasks->IsNullAt(0, TdmSet::tkSet)) << "an empty piece leaves the integer empty";
    EXPECT_TRUE(dm.tbTasks->IsNullAt(2, TdmSet::tkMenus));

    // A piece that is no integer fails the load; the rows before it stay, the broken one not.
    peer.QueueCall(Table({Rec({"0", "a"}), Rec({"1", "b"}), Rec({"2", "c", "Bank", "x3"}), Rec({"3", "d"})}));
    EXPECT_FALSE(dm.LoadTasks());
    EXPECT_EQ(Column(dm.tbTasks, TdmSet::tkName), (QList<QByteArray>{"a", "b"}));
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("'x3' is not a valid integer value for field 'Set'")});
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::Tlist}, {Routines::Tlist}}));
}

TEST_F(Exchange, SettingsListWithProgressAndTheRememberedPosition)
{
    AddTask(1, "Bank", 2, "S2");
    const QByteArray full = Rec({"1", "One", "Bank", "1", "/data", "in.dbf", "F", "V", "PL NOMER"});
    const QByteArray seven = Rec({"2", "Two", "Bank", "2", "/data", "out.dbf", "F"});
    const QByteArray third = Rec({"4", "Four", "Bank", "1"});
    peer.QueueCall(Table({full, seven, third}) + '\x01');
    ASSERT_TRUE(dm.LoadSettings("Bank"));
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::Slist, "Bank"}}));
    EXPECT_EQ(Shown(), (QStringList{Progress(LoadingSets, 1), Progress(LoadingSets, 3), At(1, 3), At(2, 3),
                                    At(3, 3), At(4, 3), QStringLiteral("progress finish")}));
    EXPECT_EQ(Column(dm.tbSets, TdmSet::stName), (QList<QByteArray>{"One", "Two", "Four"}));
    EXPECT_EQ(dm.tbSets->StringAt(0, TdmSet::stFindEx), "PL NOMER");
    EXPECT_TRUE(dm.tbSets->IsNullAt(1, TdmSet::stVFunc)) << "a record of 7 fields";
    EXPECT_TRUE(dm.tbSets->IsNullAt(1, TdmSet::stFindEx));
    EXPECT_EQ(dm.tbSets->IntegerAt(1, TdmSet::stType), 2);

    // On the third row, a new list of two: the cursor stays on the last appended row.
    dm.tbSets->SetRecNo(3);
    peer.QueueCall(Table({full, seven}));
    ASSERT_TRUE(dm.LoadSettings("Bank"));
    EXPECT_EQ(dm.tbSets->RecNo(), 2);
    // On the first row, a new list of three: back to the first.
    dm.tbSets->SetRecNo(1);
    peer.QueueCall(Table({full, seven, third}));
    ASSERT_TRUE(dm.LoadSettings("Other"));
    EXPECT_EQ(dm.tbSets->RecNo(), 1);
    EXPECT_EQ(Calls().back(), (Elements{Routines::Slist, "Other"}));

    // A failure drops the remembered position and finishes the progress window.
    ui.Clear();
    peer.QueueCall(Table({full, seven, Rec({"x", "Bad"})}));
    EXPECT_FALSE(dm.LoadSettings("Bank"));
    EXPECT_EQ(dm.tbSets->RecordCount(), 2);
    EXPECT_EQ(dm.tbSets->RecNo(), 2);
    EXPECT_EQ(Shown(),
              (QStringList{Progress(LoadingSets, 1), Progress(LoadingSets, 2), At(1, 2), At(2, 2), At(3, 2),
                           QStringLiteral("progress finish"), ErrorCaption,
                           Error(QStringLiteral("'x' is not a valid integer value for field 'Id'"))}));

    // A failing call leaves the list empty: it was emptied before the call.
    ui.Clear();
    peer.QueueCall(ServerError);
    EXPECT_FALSE(dm.LoadSettings("Bank"));
    EXPECT_TRUE(dm.tbSets->IsEmpty());
    EXPECT_EQ(Shown(), (QStringList{Progress(LoadingSets, 1), QStringLiteral("progress finish"), ErrorCaption,
                                    Error(ServerErrorText)}));
}

TEST_F(Exchange, SettingFieldsLoadOrGiveTheirFailureToTheCaller)
{
    AddTask(0, W(QStringLiteral("Сбербанк")), 4, "S4");
    const QByteArray f1 = Rec(
        {"1", "NDOC", "STRING", "10", "0", W(QStringLiteral("ПП[PL NOMER] Номер")), "PL", "NOMER", "", "1"});
    const QByteArray f2 = Rec({"2", "SUMMA", "FLOAT", "15", "2", "", "", "", "fmt^X", "6"});
    dm.SetModified = true;
    QByteArray error = "stale";
    peer.QueueCall(Table({f1, f2}) + '\x01');
    ASSERT_TRUE(dm.LoadSetFields("4", error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(dm.SetModified) << "fields just loaded are not modified, though every row was posted";
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::LoadSetRecs, W(QStringLiteral("Сбербанк")), "4"}}));
    EXPECT_EQ(Shown(), (QStringList{Progress(LoadingFields, 1), Progress(LoadingFields, 2), At(1, 2),
                                    At(2, 2), At(3, 2), QStringLiteral("progress finish")}));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfName), (QList<QByteArray>{"NDOC", "SUMMA"}));
    EXPECT_EQ(dm.tbSet->IntegerAt(1, TdmSet::sfPrecision), 2);
    EXPECT_EQ(dm.tbSet->StringAt(1, TdmSet::sfFunc), "fmt^X");
    EXPECT_EQ(dm.tbSet->IntegerAt(0, TdmSet::sfTypeId), 1);

    // No message of its own: the failure's text comes back; tbSet was emptied first.
    ui.Clear();
    peer.QueueCall(ServerError);
    EXPECT_FALSE(dm.LoadSetFields("4", error));
    EXPECT_EQ(error, ServerErrorText.toLatin1());
    EXPECT_TRUE(dm.tbSet->IsEmpty());
    EXPECT_EQ(Shown(), (QStringList{Progress(LoadingFields, 1), QStringLiteral("progress finish")}));

    // A length outside its range fails the load after the rows before it; the flag is not
    // cleared.
    dm.SetModified = false;
    peer.QueueCall(Table({f1, Rec({"2", "BIG", "STRING", "300"}), f2}));
    EXPECT_FALSE(dm.LoadSetFields("4", error));
    EXPECT_EQ(FromWin1251(error), QStringLiteral("300 is not a valid value for field 'Length'. "
                                                 "The allowed range is 0 to 256"));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfName), QList<QByteArray>{"NDOC"});
    EXPECT_TRUE(dm.SetModified);

    // A server error without a text is still a failure for the caller.
    peer.QueueCall(B("\x1b\x1b\0"));
    EXPECT_FALSE(dm.LoadSetFields("4", error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(Exchange, AutomaticFieldsEndInReverseOrder)
{
    // Records by chr(2), fields by chr(1).
    const QByteArray reply =
        Rec({Rec({"X", "STRING", "10", "0", "MX"}, '\x01'), Rec({"Y", "FLOAT", "15", "2"}, '\x01'),
             Rec({"Z", "DATE", "8", "0", "MZ"}, '\x01')})
        + '\x02';
    peer.QueueCall(reply);
    dm.SetModified = false;
    ASSERT_TRUE(dm.AutoCreateFields(1));
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::AutoSet, "1"}}));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfName), (QList<QByteArray>{"Z", "Y", "X"}));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfMAPX), (QList<QByteArray>{"MZ", "", "MX"}));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfLength), (QList<QByteArray>{"8", "15", "10"}));
    for (int field : {TdmSet::sfId, TdmSet::sfOb, TdmSet::sfIh, TdmSet::sfFunc, TdmSet::sfTypeId})
        EXPECT_TRUE(dm.tbSet->IsNullAt(0, field)) << "field " << field;
    EXPECT_TRUE(dm.SetModified);
    EXPECT_EQ(Shown(), (QStringList{Progress(AutoCaption, 1), Progress(AutoCaption, 3), At(1, 3), At(2, 3),
                                    At(3, 3), At(4, 3), QStringLiteral("progress finish")}));

    // A precision that is no integer: reported, the rows inserted before it stay.
    ui.Clear();
    dm.tbSet->EmptyTable();
    peer.QueueCall(Rec({Rec({"A", "STRING", "1", "0"}, '\x01'), Rec({"B", "STRING", "1", "0"}, '\x01'),
                        Rec({"C", "STRING", "1", "two"}, '\x01')}));
    EXPECT_FALSE(dm.AutoCreateFields(2));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfName), (QList<QByteArray>{"B", "A"}));
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("'two' is not a valid integer value for field 'Precision'")});
    EXPECT_EQ(ui.Events.filter(QStringLiteral("progress finish")).size(), 1);
}

TEST_F(Exchange, SavingSendsTheParametersAndThenEveryRow)
{
    AddTask(0, "Bank", 3, "S3");
    dm.tbSets->Append();
    for (int f = 0; f < TdmSet::stCount; ++f)
        dm.tbSets->SetAsString(f, f == TdmSet::stId || f == TdmSet::stType ? QByteArray("1")
                                                                           : "p" + QByteArray::number(f));
    dm.tbSets->Post();
    const auto addField = [this](const QByteArray &name, const QByteArray &mapx) {
        dm.tbSet->Append();
        dm.tbSet->SetAsString(TdmSet::sfName, name);
        dm.tbSet->SetAsString(TdmSet::sfType, "STRING");
        dm.tbSet->SetAsString(TdmSet::sfLength, "10");
        dm.tbSet->SetAsString(TdmSet::sfMAPX, mapx);
        dm.tbSet->Post();
        dm.PrepareSetField();
    };
    addField("NDOC", "PP[PL NOMER] N");
    addField("SUMMA", "");

    const QByteArray setPar = Rec({"p1", "1", "p4", "p5", "p6", "p7", "p8"});
    ASSERT_TRUE(dm.SaveSetting());
    EXPECT_FALSE(dm.SetModified);
    EXPECT_EQ(Calls(), (QList<Elements>{
                           {Routines::SaveSetPar, "Bank", "3", setPar},
                           {Routines::SaveSetRec, "Bank", "3",
                            Rec({"1", "NDOC", "STRING", "10", "", "PP[PL NOMER] N", "PL", "NOMER", "", "1"})},
                           {Routines::SaveSetRec, "Bank", "3",
                            Rec({"2", "SUMMA", "STRING", "10", "", "", "", "", "", "1"})}}));
    EXPECT_EQ(Shown(), (QStringList{Progress(SavingCaption, 1), Progress(SavingCaption, 2), At(1, 2),
                                    At(2, 2), QStringLiteral("progress finish")}));

    // The second row fails on the server: reported, the first is there, the flag stays.
    ui.Clear();
    dm.SetModified = true;
    peer.QueueCall(QByteArray());
    peer.QueueCall(QByteArray());
    peer.QueueCall(B("\x1b\x1b<MAXSTRING>SaveSetRec+4^ZZ001a\0"));
    EXPECT_FALSE(dm.SaveSetting());
    EXPECT_TRUE(dm.SetModified);
    EXPECT_EQ(Calls().size(), 6);
    EXPECT_EQ(Shown(), (QStringList{Progress(SavingCaption, 1), Progress(SavingCaption, 2), At(1, 2),
                                    QStringLiteral("progress finish"), ErrorCaption,
                                    Error(QStringLiteral("<MAXSTRING>SaveSetRec+4^ZZ001a"))}));

    // A value holding a record separator would shift the fields on the server: nothing goes.
    ui.Clear();
    dm.tbSet->Last();
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfFunc, B("a\x02"
                                            "b"));
    dm.tbSet->Post();
    EXPECT_FALSE(dm.SaveSetting());
    EXPECT_EQ(Calls().size(), 6);
    EXPECT_TRUE(dm.SetModified);
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("Значение поля 'Func' содержит служебный символ с кодом 2 и не "
                                         "может быть передано на сервер")});

    // Without field rows only the parameters go.
    dm.tbSet->EmptyTable();
    ASSERT_TRUE(dm.SaveSetting());
    EXPECT_EQ(Calls().size(), 7);
    EXPECT_EQ(Calls().back().value(0), Routines::SaveSetPar);
}

TEST_F(Exchange, DeletingASettingTouchesTasksAndMenusOnlyOnceTheServerDeletedIt)
{
    // Task 0 opened setting 2 of Bank; task 1 uses it too and lists it under an older name; task
    // 2 lists another bank's setting 2, which stays.
    AddTask(0, "Bank", 2, "S2", MenuEntry("Bank", 2, "S2"));
    AddTask(1, "Bank", 2, "S2", MenuEntry("bank", 2, "Old name") + '\x03' + MenuEntry("Bank", 3, "S3"));
    AddTask(2, "Bank", 3, "S3", MenuEntry("Other", 2, "X"));
    for (int id = 1; id <= 3; ++id)
        AddSetting(id, "S" + QByteArray::number(id));
    dm.SetsClient = "Bank";
    dm.tbSets->SetRecNo(1); // the setting is found by its Id, not by the cursor
    dm.tbTasks->SetRecNo(1);
    dm.SetModified = true;
    dm.AddNewSettingKey(TdmSet::NewSettingKey("Bank", 2));
    ShownMenus shown;
    dm.Menus = &shown;
    const QList<QByteArray> before{TaskRecord(0), TaskRecord(1), TaskRecord(2)};

    // A failing DelSet leaves everything here as it was: the setting is still on the server.
    peer.QueueCall(ServerError);
    EXPECT_FALSE(dm.DeleteSetting());
    EXPECT_EQ(dm.tbSets->RecordCount(), 3);
    EXPECT_EQ((QList<QByteArray>{TaskRecord(0), TaskRecord(1), TaskRecord(2)}), before);
    EXPECT_TRUE(dm.SetModified);
    EXPECT_TRUE(dm.IsNewSettingKey(TdmSet::NewSettingKey("Bank", 2)));
    EXPECT_TRUE(shown.Told.isEmpty());
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::DelSet, "Bank", "2"}}));
    EXPECT_EQ(Shown(), (QStringList{ErrorCaption, Error(ServerErrorText)}));

    // Deleted there: its row, its key, its entries whatever their name, the tasks that used it.
    ui.Clear();
    peer.QueueCall(QByteArray());
    peer.QueueCall(QByteArray());
    peer.QueueCall(QByteArray());
    peer.QueueCall(W(QStringLiteral("Есть незакрытые документы"))); // GLinTO: ignored here
    ASSERT_TRUE(dm.DeleteSetting());
    EXPECT_EQ(Column(dm.tbSets, TdmSet::stId), (QList<QByteArray>{"1", "3"}));
    EXPECT_FALSE(dm.IsNewSettingKey(TdmSet::NewSettingKey("Bank", 2)));
    EXPECT_EQ(shown.Told, QList<QByteArray>{"deleted Bank 2"});
    EXPECT_EQ(dm.tbTasks->RecNo(), 1) << "back on the task row it was on";
    EXPECT_FALSE(dm.SetModified);
    EXPECT_TRUE(ui.Events.isEmpty());
    EXPECT_EQ(Calls().mid(1),
              (QList<Elements>{
                  {Routines::DelSet, "Bank", "2"},
                  {Routines::SaveTask, Rec({"0", "task0", "Bank", "", "", "PL", ""})},
                  {Routines::SaveTask, Rec({"1", "task1", "Bank", "", "", "PL", MenuEntry("Bank", 3, "S3")})},
                  {Routines::GLinTO}}));
    EXPECT_EQ(TaskRecord(2), before[2]);

    // A failing SaveTask is reported by it, and GLinTO is still called.
    const qsizetype calls = Calls().size();
    peer.QueueCall(QByteArray());
    peer.QueueCall(ServerError);
    peer.QueueCall(QByteArray());
    EXPECT_FALSE(dm.DeleteSetting());
    EXPECT_EQ(Shown(), (QStringList{ErrorCaption, Error(ServerErrorText)}));
    EXPECT_EQ(Calls().size(), calls + 3);
    EXPECT_EQ(Calls().back(), Elements{Routines::GLinTO});
    dm.Menus = nullptr;
}

TEST_F(Exchange, TheEditorsSaveChecksEveryRowThenSavesAndSpreadsTheNameToTasksAndMenus)
{
    AddTask(0, "Bank", 3, "Old", MenuEntry("Bank", 3, "Old"));
    AddTask(1, "Bank", 3, "Old", MenuEntry("Bank", 3, "Old") + '\x03' + MenuEntry("Bank", 4, "Four"));
    AddTask(2, "Bank", 4, "Four", MenuEntry("Bank", 4, "Four"));
    AddSetting(3, {});
    dm.tbTasks->SetRecNo(1);
    dm.AddNewSettingKey(TdmSet::NewSettingKey("Bank", 3));
    ShownMenus shown;
    dm.Menus = &shown;
    const auto addField = [this](const QByteArray &name, const QByteArray &length) {
        dm.tbSet->Append();
        dm.tbSet->SetAsString(TdmSet::sfName, name);
        dm.tbSet->SetAsString(TdmSet::sfType, "STRING");
        dm.tbSet->SetAsString(TdmSet::sfLength, length);
        dm.tbSet->Post();
    };
    addField("ndoc", "10");
    addField("summa", {});
    int row = -1, field = -1;

    // Without a name nothing is checked or sent.
    EXPECT_EQ(dm.SaveEditedSetting(row, field), TSettingSave::NoName);
    EXPECT_TRUE(Calls().isEmpty());
    EXPECT_TRUE(ui.Events.isEmpty());

    // A row that fails its check stops the save there: its message, its row and field.
    dm.tbSets->Edit();
    dm.tbSets->SetAsString(TdmSet::stName, "New");
    dm.tbSets->Post();
    EXPECT_EQ(dm.SaveEditedSetting(row, field), TSettingSave::RowFailed);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(field, int(TdmSet::sfLength));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Укажите длину поля")});
    EXPECT_TRUE(Calls().isEmpty());
    EXPECT_TRUE(dm.IsNewSettingKey(TdmSet::NewSettingKey("Bank", 3)));

    // Saved: the rows prepared, the new name in every task and menu that names the setting,
    // each task row so changed saved, GLinTO.
    dm.tbSet->Last();
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfLength, "12");
    dm.tbSet->Post();
    ui.Clear();
    EXPECT_EQ(dm.SaveEditedSetting(row, field), TSettingSave::Saved);
    EXPECT_EQ(shown.Told, QList<QByteArray>{"renamed Bank 3 New"});
    const QList<Elements> calls = Calls();
    ASSERT_EQ(calls.size(), 6);
    EXPECT_EQ(calls[1], (Elements{Routines::SaveSetRec, "Bank", "3",
                                  Rec({"1", "NDOC", "STRING", "10", "", "", "", "", "", "1"})}));
    EXPECT_EQ(calls[3], (Elements{Routines::SaveTask, Rec({"0", "task0", "Bank", "3", "New", "PL",
                                                           MenuEntry("Bank", 3, "New")})}));
    EXPECT_EQ(calls[4], (Elements{Routines::SaveTask, Rec({"1", "task1", "Bank", "3", "New", "PL",
                                                           MenuEntry("Bank", 3, "New") + '\x03'
                                                               + MenuEntry("Bank", 4, "Four")})}));
    EXPECT_EQ(calls[5], Elements{Routines::GLinTO});
    EXPECT_FALSE(dm.IsNewSettingKey(TdmSet::NewSettingKey("Bank", 3)));
    EXPECT_EQ(dm.tbTasks->RecNo(), 1);

    // The name is checked against the client-bank's other settings of the task's type.
    AddSetting(4, "Four");
    EXPECT_TRUE(dm.SettingNameTaken("Four", 1, 3));
    EXPECT_FALSE(dm.SettingNameTaken("Four", 1, 4)) << "its own name";
    EXPECT_FALSE(dm.SettingNameTaken("Four", 2, 3)) << "another task's setting";
    EXPECT_FALSE(dm.SettingNameTaken("four", 1, 3)) << "compared exactly, as the wizard does";
    dm.Menus = nullptr;
}

TEST_F(Exchange, ClientBanksAreAddedAndDeletedWithTheServersAnswer)
{
    QByteArray message = "stale";
    peer.QueueCall(QByteArray());
    EXPECT_TRUE(dm.AddClientBank("New", message));
    EXPECT_TRUE(message.isEmpty());
    const QByteArray exists = W(QStringLiteral("Клиент-банк с таким именем уже существует."));
    peer.QueueCall(exists);
    EXPECT_FALSE(dm.AddClientBank("new", message));
    EXPECT_EQ(message, exists);
    peer.QueueCall(ServerError);
    EXPECT_FALSE(dm.AddClientBank("x", message));
    EXPECT_EQ(FromWin1251(message),
              QStringLiteral("Ошибка при работе с сервером. Обратитесь к разработчику"));
    EXPECT_EQ(Shown(), (QStringList{ErrorCaption, Error(ServerErrorText)}));
    EXPECT_TRUE(dm.ClientBanks.isEmpty()) << "the caller adds the name";
    EXPECT_EQ(Calls(), (QList<Elements>{
                           {Routines::AddCLB, "New"}, {Routines::AddCLB, "new"}, {Routines::AddCLB, "x"}}));

    AddTask(0, "A", 1, "s1");
    AddTask(1, "B", 2, "s2");
    AddTask(2, "A", 3, "s3");
    AddTask(3, "a", 4, "s4"); // another client-bank: names compare exactly
    const int before = int(Calls().size());

    // A refusal changes no task row.
    const QByteArray refusal = W(QStringLiteral("Клиент-банк A нельзя удалить: у него есть настройки"));
    peer.QueueCall(refusal);
    EXPECT_FALSE(dm.DeleteClientBank("A", message));
    EXPECT_EQ(message, refusal);
    EXPECT_EQ(Column(dm.tbTasks, TdmSet::tkClient), (QList<QByteArray>{"A", "B", "A", "a"}));
    EXPECT_EQ(Calls().size(), before + 1);

    // Done: every task of that client-bank is detached and saved, the others stay.
    peer.QueueCall(QByteArray());
    EXPECT_TRUE(dm.DeleteClientBank("A", message));
    EXPECT_TRUE(message.isEmpty());
    EXPECT_EQ(Column(dm.tbTasks, TdmSet::tkClient), (QList<QByteArray>{"", "B", "", "a"}));
    EXPECT_EQ(Column(dm.tbTasks, TdmSet::tkSet), (QList<QByteArray>{"", "2", "", "4"}));
    EXPECT_EQ(Column(dm.tbTasks, TdmSet::tkSName), (QList<QByteArray>{"", "s2", "", "s4"}));
    const QByteArray menus = B("m1\x04"
                               "a\x03m2\x04"
                               "b");
    EXPECT_EQ(Calls().mid(before + 1),
              (QList<Elements>{{Routines::DelCLB, "A"},
                               {Routines::SaveTask, Rec({"0", "task0", "", "", "", "PL", menus})},
                               {Routines::SaveTask, Rec({"2", "task2", "", "", "", "PL", menus})}}));

    // A failing SaveTask is reported and the walk goes on: no task keeps the deleted bank.
    ui.Clear();
    dm.tbTasks->EmptyTable();
    AddTask(0, "B", 1, "s1");
    AddTask(1, "B", 2, "s2");
    const int walked = int(Calls().size());
    peer.QueueCall(QByteArray());
    peer.QueueCall(ServerError);
    peer.QueueCall(QByteArray());
    EXPECT_TRUE(dm.DeleteClientBank("B", message));
    EXPECT_EQ(Column(dm.tbTasks, TdmSet::tkClient), (QList<QByteArray>{"", ""}));
    EXPECT_EQ(Shown(), (QStringList{ErrorCaption, Error(ServerErrorText)}));
    EXPECT_EQ(Calls().mid(walked),
              (QList<Elements>{{Routines::DelCLB, "B"},
                               {Routines::SaveTask, Rec({"0", "task0", "", "", "", "PL", menus})},
                               {Routines::SaveTask, Rec({"1", "task1", "", "", "", "PL", menus})}}));

    // The server failing on DelCLB itself.
    ui.Clear();
    dm.tbTasks->EmptyTable();
    AddTask(1, "B", 2, "s2");
    peer.QueueCall(ServerError);
    EXPECT_FALSE(dm.DeleteClientBank("B", message));
    EXPECT_EQ(FromWin1251(message),
              QStringLiteral("Ошибка при работе с сервером. Обратитесь к разработчику"));
    EXPECT_EQ(dm.tbTasks->StringAt(0, TdmSet::tkClient), "B");
}

TEST_F(Exchange, TheSessionStartsAndEndsInItsOrderAndARefusedLockLogsOut)
{
    ScriptedFrontEnd frontEnd(dm);
    const auto calls = [this, from = Calls().size()] {
        QList<QByteArray> out;
        for (const Elements &e : Calls().mid(from))
            out << e.value(0);
        return out;
    };
    // Another user works: the lock is refused, the login undone, the link closed.
    peer.QueueCall(QByteArray()); // login
    peer.QueueCall("0");          // LockTO
    EXPECT_EQ(dm.DataModuleCreate(frontEnd), TSessionStart::Locked);
    EXPECT_EQ(calls(), (QList<QByteArray>{Routines::Login, Routines::LockTO, Routines::Logout}));
    EXPECT_EQ(frontEnd.Told, (QList<QByteArray>{"login", "ends early"}));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral(
                                 "Невозможна работа с программой сейчас из-за работы других пользователей")});
    EXPECT_EQ(dm.Link.XApiLink, nullptr);

    // Granted: TOinGL, then the lists; at the end GLinTO's reply, the protocol, the lock given
    // back, logout, the link closed.
    const auto after = calls().size();
    frontEnd.Told.clear();
    dm.Link.KeepProtocol = true;
    peer.QueueCall(QByteArray());
    peer.QueueCall("1");
    peer.QueueCall(QByteArray());
    peer.QueueCall(Table({"A", "B"}));
    peer.QueueCall(Table({Rec({"0", "Setup"}), Rec({"1", "Out"}), Rec({"2", "In"})}));
    ASSERT_EQ(dm.DataModuleCreate(frontEnd), TSessionStart::Run);
    EXPECT_EQ(dm.ClientBanks, (QList<QByteArray>{"A", "B"}));
    EXPECT_EQ(dm.TaskRowMoneyIn.Ordinal, 3);
    EXPECT_EQ(dm.Link.Protocol.value(0), W(TdmSet::ProtocolTitle()));
    peer.QueueCall(W(QStringLiteral("Итого")));
    dm.DataModuleDestroy(&frontEnd);
    EXPECT_EQ(calls().mid(after),
              (QList<QByteArray>{Routines::Login, Routines::LockTO, Routines::TOinGL, Routines::Clist,
                                 Routines::Tlist, Routines::GLinTO, Routines::UnLockTO, Routines::Logout}));
    EXPECT_EQ(frontEnd.Told, (QList<QByteArray>{"login", "totals " + W(QStringLiteral("Итого")),
                                                "protocol " + W(TdmSet::ProtocolTitle())}));
    EXPECT_EQ(dm.Link.XApiLink, nullptr);
    EXPECT_FALSE(dm.tbTasks->Active()) << "the store is emptied";
}

TEST_F(Exchange, StartUpAndShutdownCalls)
{
    peer.QueueCall(QByteArray());                                    // TOinGL
    peer.QueueCall(ServerError);                                     // Clist fails
    peer.QueueCall(Table({Rec({"0", "Setup"}), Rec({"1", "Out"})})); // only two tasks
    dm.TypeNames.clear();
    EXPECT_FALSE(dm.LoadAtStartUp()) << "the application is to end";
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::TOinGL}, {Routines::Clist}, {Routines::Tlist}}))
        << "a failed list does not stop the others";
    EXPECT_EQ(dm.tbTasks->RecordCount(), 2);
    EXPECT_EQ(dm.TypeNames.size(), 36);
    EXPECT_EQ(dm.TaskRowMoneyIn.Ordinal, 2);

    ui.Clear();
    peer.QueueCall(W(QStringLiteral("Не все документы закрыты")));
    dm.CallGLinTOAtShutdown();
    EXPECT_EQ(Shown(), QStringList{QStringLiteral("message: Не все документы закрыты")});
    ui.Clear();
    peer.QueueCall(QByteArray());
    dm.CallGLinTOAtShutdown();
    EXPECT_TRUE(ui.Events.isEmpty());

    // Without a link every call is a reported failure, never a crash.
    dm.Link.CloseConnection();
    ui.Clear();
    QByteArray reply = "stale";
    dm.CallGLinTO(reply);
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_FALSE(dm.LoadTasks());
    EXPECT_EQ(ui.Messages(),
              (QStringList{QStringLiteral("Нет связи с сервером"), QStringLiteral("Нет связи с сервером")}));
}
