// The gateway's server routines against `velmd demo`: the demo's lists and tables byte for byte,
// refusals, rights of the three demo users, the work session and the exclusive lock across
// connections (also after a connection died without a word).
#include "demoserver.h"

#include "Connect.h"
#include "Routines.h"
#include "ScriptedUi.h"
#include "data.h"

#include <gtest/gtest.h>

#include <csignal>

using demo::CallText;
using demo::List;
using demo::Record;
using demo::W;

namespace {

class DemoRoutines : public demo::DemoSuite
{
protected:
    ScriptedUi ui;
};

// The twelve characteristics of the demo, in their order: caption and code.
const char *const kCharacteristics[12][2] = {
    {"Номер", "NUMDOC"},
    {"Дата", "DATADOC"},
    {"Сумма", "SUMMA"},
    {"Плательщик", "PLAT"},
    {"ИНН_плательщика", "PLATINN"},
    {"Счет_плательщика", "PLATSCH"},
    {"БИК_банка_плательщика", "PLATBIK"},
    {"Получатель", "POL"},
    {"ИНН_получателя", "POLINN"},
    {"Счет_получателя", "POLSCH"},
    {"БИК_банка_получателя", "POLBIK"},
    {"Назначение_платежа", "NAZN"},
};

// The fields of the sample files, in file order, with their characteristic's position above.
struct SampleField
{
    const char *Name, *Type, *Length, *Precision, *TypeId;
};
const SampleField kSampleFields[12] = {
    {"NUMDOC", "STRING", "6", "0", "1"},   {"DATEDOC", "DATE", "8", "0", "9"},
    {"SUMMA", "FLOAT", "15", "2", "6"},    {"PLATNAME", "STRING", "100", "0", "1"},
    {"PLATINN", "STRING", "12", "0", "1"}, {"PLATACC", "STRING", "20", "0", "1"},
    {"PLATBIC", "STRING", "9", "0", "1"},  {"POLNAME", "STRING", "100", "0", "1"},
    {"POLINN", "STRING", "12", "0", "1"},  {"POLACC", "STRING", "20", "0", "1"},
    {"POLBIC", "STRING", "9", "0", "1"},   {"NAZN", "STRING", "160", "0", "1"},
};

QByteArray Ob(int type) { return type == 1 ? "PP" : "PV"; }

QByteArray Entry(int type, int n)
{
    return W(kCharacteristics[n][0]) + '[' + Ob(type) + ' ' + kCharacteristics[n][1] + ']';
}

QByteArray ExpectedMlist(int type)
{
    QList<QByteArray> items;
    for (int n = 0; n < 12; ++n)
        items.append(Entry(type, n));
    return List(items);
}

QByteArray ExpectedSetRecs(int type)
{
    QList<QByteArray> records;
    for (int n = 0; n < 12; ++n) {
        const SampleField &f = kSampleFields[n];
        records.append(Record({QByteArray::number(n + 1), f.Name, f.Type, f.Length, f.Precision,
                               Entry(type, n), Ob(type), kCharacteristics[n][1], "", f.TypeId}));
    }
    return List(records);
}

QByteArray ExpectedAutoSet(int type)
{
    // Records by chr(2), fields by chr(1): the reverse pairing.
    QByteArray out;
    for (int n = 0; n < 12; ++n) {
        const SampleField &f = kSampleFields[n];
        out += QByteArray(f.Name) + '\x01' + f.Type + '\x01' + f.Length + '\x01' + f.Precision + '\x01'
               + Entry(type, n) + '\x02';
    }
    return out;
}

QByteArray ExpectedGetFields()
{
    return List({Record({"DATADOC", W("Дата"), ""}), Record({"SUMMA", W("Сумма"), "2"}),
                 Record({"PLAT", W("Плательщик"), ""}), Record({"POL", W("Получатель"), ""}),
                 Record({"NUMDOC", W("Номер док."), ""}), Record({"PLATINN", W("ИНН плательщика"), ""}),
                 Record({"PLATSCH", W("Счет плательщика"), ""}),
                 Record({"PLATBIK", W("БИК плательщика"), ""}), Record({"POLINN", W("ИНН получателя"), ""}),
                 Record({"POLSCH", W("Счет получателя"), ""}), Record({"POLBIK", W("БИК получателя"), ""}),
                 Record({"NAZN", W("Назначение платежа"), ""})});
}

TEST_F(DemoRoutines, ListsAndTablesAreTheDemosInTheirExactBytes)
{
    auto x = Demo->LinkAs(1);
    ASSERT_TRUE(x);
    const QByteArray clb = demo::DemoClient();
    const QByteArray out = demo::OutSetName(), in = demo::InSetName();
    const QByteArray menuOut = clb + '\x04' + '1' + '\x04' + out;
    const QByteArray menuIn = clb + '\x04' + '2' + '\x04' + in;
    const QByteArray findEx = "NUMDOC,DATADOC,SUMMA";
    const QByteArray dir = Demo->DataDir().toUtf8();

    EXPECT_EQ(CallText(*x, {Routines::Clist}), List({demo::Demo1CClient(), clb}));
    // The settings editor, money out and money in, first and in this order.
    EXPECT_EQ(CallText(*x, {Routines::Tlist}),
              List({Record({"0", W("Редактор настроек"), clb, "1", out, "", menuOut + '\x03' + menuIn}),
                    Record({"1", W("Деньги: Расход"), clb, "1", out, findEx, menuOut}),
                    Record({"2", W("Деньги: Приход"), clb, "2", in, findEx, menuIn})}));
    EXPECT_EQ(CallText(*x, {Routines::Slist, clb}),
              List({Record({"1", out, clb, "1", dir, "clbout.dbf", "DOS", "INN,KEY", findEx}),
                    Record({"2", in, clb, "2", dir, "clbin.dbf", "DOS", "INN,KEY", findEx})}));
    for (int type : {1, 2}) {
        SCOPED_TRACE(type);
        const QByteArray t = QByteArray::number(type);
        EXPECT_EQ(CallText(*x, {Routines::Mlist, t}), ExpectedMlist(type));
        EXPECT_EQ(CallText(*x, {Routines::LoadSetRecs, clb, t}), ExpectedSetRecs(type));
        EXPECT_EQ(CallText(*x, {Routines::AutoSet, t}), ExpectedAutoSet(type));
        // The fifth column is the document number, which the protocol lines show.
        EXPECT_EQ(CallText(*x, {Routines::GetFields, t}), ExpectedGetFields());
    }

    // What is not there lists nothing, and the client-bank is found by its exact name only.
    EXPECT_EQ(CallText(*x, {Routines::Slist, W("Нет такого")}), "");
    EXPECT_EQ(CallText(*x, {Routines::Slist, W("клиент-банк демо")}), "");
    EXPECT_EQ(CallText(*x, {Routines::LoadSetRecs, clb, "3"}), "");
    EXPECT_EQ(CallText(*x, {Routines::LoadSetRecs, clb, "x"}), "");
    for (const QByteArray &t : {QByteArray("0"), QByteArray("3"), QByteArray("")}) {
        SCOPED_TRACE(t.toStdString());
        EXPECT_EQ(CallText(*x, {Routines::Mlist, t}), "");
        EXPECT_EQ(CallText(*x, {Routines::AutoSet, t}), "");
        EXPECT_EQ(CallText(*x, {Routines::GetFields, t}), "");
    }
    x->Close();
}

TEST_F(DemoRoutines, RefusalsAreTextsForTheOperatorAndChangeNothing)
{
    auto x = Demo->Link();
    ASSERT_TRUE(x);
    TLink lent;
    lent.XApiLink = x.get();
    const QByteArray bad = W("Неверный номер пользователя или пароль");

    // The same answer for a wrong password, a wrong personal password and an unknown user.
    EXPECT_EQ(CallText(*x, {Routines::Login, "1", "velm2", "lich1"}), bad);
    EXPECT_EQ(CallText(*x, {Routines::Login, "1", "velm1", "lich2"}), bad);
    EXPECT_EQ(CallText(*x, {Routines::Login, "1", "VELM1", "lich1"}), bad);
    EXPECT_EQ(CallText(*x, {Routines::Login, "7", "velm7", "lich7"}), bad);
    EXPECT_EQ(CallText(*x, {Routines::Login, "", "", ""}), bad);
    EXPECT_EQ(CallText(*x, {Routines::Login, "01", "velm1", "lich1"}), bad);
    // The gateway's login shows the refusal as it came and stays unregistered.
    EXPECT_FALSE(lent.Login("2", "velm2", "wrong"));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Неверный номер пользователя или пароль")});
    ui.Clear();
    ASSERT_EQ(demo::LoginAs(*x, 1), "");

    // A client-bank name that exists in another letter case is refused, with its message.
    const QByteArray clist = CallText(*x, {Routines::Clist});
    for (const char *name : {"клиент-банк демо", "КЛИЕНТ-БАНК ДЕМО", "кЛИЕНТ-бАНК дЕМО"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CallText(*x, {Routines::AddCLB, W(name)}), W("Клиент-банк с таким именем уже существует."));
    }
    EXPECT_EQ(CallText(*x, {Routines::AddCLB, demo::DemoClient()}),
              W("Клиент-банк с таким именем уже существует."));
    EXPECT_EQ(CallText(*x, {Routines::AddCLB, "   "}), W("Имя клиент-банка должно быть определено"));
    EXPECT_EQ(CallText(*x, {Routines::AddCLB, QByteArray("A\x01"
                                                         "B")}),
              W("Имя клиент-банка содержит недопустимые символы"));
    EXPECT_EQ(CallText(*x, {Routines::AddCLB, QByteArray(41, 'A')}),
              W("Имя клиент-банка не должно быть длиннее 40 символов"));
    EXPECT_EQ(CallText(*x, {Routines::Clist}), clist);

    // A client-bank that still has settings is not deleted.
    const QByteArray slist = CallText(*x, {Routines::Slist, demo::DemoClient()});
    EXPECT_EQ(CallText(*x, {Routines::DelCLB, demo::DemoClient()}),
              W("Клиент-банк Клиент-Банк Демо нельзя удалить: у него есть настройки"));
    EXPECT_EQ(CallText(*x, {Routines::DelCLB, W("Нет такого")}), W("Клиент-банк Нет такого не найден"));
    EXPECT_EQ(CallText(*x, {Routines::Clist}), clist);
    EXPECT_EQ(CallText(*x, {Routines::Slist, demo::DemoClient()}), slist);
    // A routine whose reply the gateway ignores raises an error for what it cannot do.
    EXPECT_EQ(CallText(*x, {Routines::DelSet, W("Нет такого"), "1"}),
              "<failed> <ECODETRAP>err+1^ZZ001 UVELM-NOCLB");
    EXPECT_EQ(CallText(*x, {Routines::DelSet, demo::DemoClient(), "x"}),
              "<failed> <ECODETRAP>err+1^ZZ001 UVELM-BADSET");
    EXPECT_EQ(CallText(*x, {Routines::Slist, demo::DemoClient()}), slist);

    // Through the settings store: the refusal is the message, and no task lets go of the bank.
    {
        TdmSet dm;
        dm.Link.XApiLink = x.get();
        ASSERT_TRUE(dm.LoadTasks());
        QByteArray message;
        EXPECT_FALSE(dm.AddClientBank(W("клиент-банк демо"), message));
        EXPECT_EQ(message, W("Клиент-банк с таким именем уже существует."));
        EXPECT_FALSE(dm.DeleteClientBank(demo::DemoClient(), message));
        EXPECT_EQ(message, W("Клиент-банк Клиент-Банк Демо нельзя удалить: у него есть настройки"));
        ASSERT_EQ(dm.tbTasks->RecordCount(), 3);
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(dm.tbTasks->StringAt(row, TdmSet::tkClient), demo::DemoClient()) << row;
    }
    EXPECT_EQ(CallText(*x, {Routines::Tlist}).count(demo::DemoClient()), 3 + 4);
    EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(QLatin1Char('\n')).toStdString();
    x->Close();
}

TEST_F(DemoRoutines, RightsPerDemoUser)
{
    struct Rights
    {
        const char *User, *Settings, *MoneyOut, *MoneyIn;
    };
    // 1 may do everything, 2 may not edit settings, 3 may not run money in. Each learns its own
    // rights only.
    const bool expected[3][3] = {{true, true, true}, {false, true, true}, {true, true, false}};
    for (const Rights &r :
         {Rights{"1", "1", "11", "11"}, Rights{"2", "0", "11", "11"}, Rights{"3", "1", "11", "00"}}) {
        SCOPED_TRACE(r.User);
        auto x = Demo->LinkAs(QByteArray(r.User).toInt());
        ASSERT_TRUE(x);
        EXPECT_EQ(CallText(*x, {Routines::RightEditSettings, r.User, "NL", "2"}), r.Settings);
        EXPECT_EQ(CallText(*x, {Routines::RightRunTask, r.User, "YB"}), r.MoneyOut);
        EXPECT_EQ(CallText(*x, {Routines::RightRunTask, r.User, "YA"}), r.MoneyIn);
        for (const char *other : {"1", "2", "3", "4", "01", ""})
            if (QByteArray(other) != r.User)
                EXPECT_EQ(CallText(*x, {Routines::RightRunTask, other, "YB"}),
                          "<failed> <ECODETRAP>own+1^%caA03 UVELM-NOTYOURS")
                    << other;
        // What the task manager makes of them.
        const int user = QByteArray(r.User).toInt();
        TdmSet dm;
        dm.Link.XApiLink = x.get();
        for (int kind = 0; kind <= 2; ++kind)
            EXPECT_EQ(dm.HasRight(kind, user), expected[user - 1][kind]) << user << " " << kind;
        EXPECT_FALSE(dm.HasRight(3, user));
        if (user == 2) {
            // A lower level asked for is granted to the user who may not edit settings.
            EXPECT_EQ(CallText(*x, {Routines::RightEditSettings, "2", "NL", "1"}), "1");
            EXPECT_EQ(CallText(*x, {Routines::RightEditSettings, "2", "NL", "3"}), "0");
            EXPECT_EQ(CallText(*x, {Routines::RightRunTask, "2", "ZZ"}), "00");
        }
        x->Close();
    }
    EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(QLatin1Char('\n')).toStdString();
}

TEST_F(DemoRoutines, ASecondSessionOfAUserIsRefusedWhileTheFirstConnectionLives)
{
    auto a = Demo->Link();
    auto b = Demo->Link();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(demo::LoginAs(*a, 1), "");
    EXPECT_EQ(demo::LoginAs(*b, 1), "1");
    // The same connection may register again, another user is no concern of user 1's session.
    EXPECT_EQ(demo::LoginAs(*a, 1), "");
    EXPECT_EQ(demo::LoginAs(*b, 2), "");
    // The gateway's login says so in its own words.
    TLink lent;
    lent.XApiLink = b.get();
    EXPECT_FALSE(lent.Login("1", "velm1", "lich1"));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Такой сеанс работы уже есть")});
    ui.Clear();

    // Closed properly: the session goes with the connection's process.
    a->Close();
    EXPECT_TRUE(demo::Eventually([&] { return demo::LoginAs(*b, 1).isEmpty(); }));
    EXPECT_TRUE(lent.Login("1", "velm1", "lich1"));
    // Logged out: free at once, and user 2's session went when b took user 1.
    lent.Logout();
    auto c = Demo->Link();
    ASSERT_TRUE(c);
    EXPECT_EQ(demo::LoginAs(*c, 1), "");
    EXPECT_EQ(demo::LoginAs(*b, 2), "");

    // A gateway that died without a word loses its session all the same.
    EXPECT_EQ(demo::LoginAs(*b, 1), "1");
    c.reset();
    EXPECT_TRUE(demo::Eventually([&] { return demo::LoginAs(*b, 1).isEmpty(); }));
    // And so does one whose session process on the server was killed.
    int pid = 0;
    auto d = Demo->Link(pid);
    ASSERT_TRUE(d && pid > 0);
    EXPECT_EQ(demo::LoginAs(*d, 3), "");
    EXPECT_EQ(demo::LoginAs(*b, 3), "1");
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    EXPECT_TRUE(demo::Eventually([&] { return demo::LoginAs(*b, 3).isEmpty(); }));
    EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(QLatin1Char('\n')).toStdString();
    b->Close();
}

TEST_F(DemoRoutines, TheExclusiveLockAdmitsOneGatewayUntilItLetsGoOrGoes)
{
    auto a = Demo->LinkAs(1);
    auto b = Demo->LinkAs(2);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(CallText(*a, {Routines::LockTO}), "1");
    EXPECT_EQ(CallText(*a, {Routines::LockTO}), "1"); // held already
    EXPECT_EQ(CallText(*b, {Routines::LockTO}), "0");
    EXPECT_EQ(CallText(*b, {Routines::UnLockTO}), ""); // not b's to release
    EXPECT_EQ(CallText(*b, {Routines::LockTO}), "0");
    EXPECT_EQ(CallText(*a, {Routines::UnLockTO}), "");
    EXPECT_EQ(CallText(*b, {Routines::LockTO}), "1");
    EXPECT_EQ(CallText(*a, {Routines::LockTO}), "0");

    // b dies holding it (its socket closes without the close byte or an UnLockTO).
    b.reset();
    EXPECT_TRUE(demo::Eventually([&] { return CallText(*a, {Routines::LockTO}) == "1"; }));
    auto c = Demo->LinkAs(3);
    ASSERT_TRUE(c);
    EXPECT_EQ(CallText(*c, {Routines::LockTO}), "0");
    // a ends its link without releasing: the lock goes with it.
    a->Close();
    EXPECT_TRUE(demo::Eventually([&] { return CallText(*c, {Routines::LockTO}) == "1"; }));
    // The holder's session process is killed on the server: the lock goes with it too.
    int pid = 0;
    auto d = Demo->Link(pid);
    ASSERT_TRUE(d && pid > 0);
    EXPECT_EQ(demo::LoginAs(*d, 2), "");
    EXPECT_EQ(CallText(*c, {Routines::UnLockTO}), "");
    EXPECT_EQ(CallText(*d, {Routines::LockTO}), "1");
    EXPECT_EQ(CallText(*c, {Routines::LockTO}), "0");
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    EXPECT_TRUE(demo::Eventually([&] { return CallText(*c, {Routines::LockTO}) == "1"; }));
    EXPECT_EQ(CallText(*c, {Routines::UnLockTO}), "");
    c->Close();
}

} // namespace
