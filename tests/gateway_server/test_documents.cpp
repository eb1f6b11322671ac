// The import's server half against `velmd demo`: PDVelm on the records of the demo's sample files
// (good, malformed, similar to the demo's unclosed orders), then documents created and closed with
// $$RecYB and $$RecYA, and what GLinTO says about the work afterwards.
#include "demoserver.h"

#include "Connect.h"
#include "Routines.h"
#include "ScriptedUi.h"
#include "codepage.h"
#include "data.h"
#include "dbfops.h"

#include <gtest/gtest.h>

using demo::CallText;
using demo::Record;
using demo::W;

namespace {

class DemoDocuments : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Demo = new demo::Server;
        ASSERT_TRUE(Demo->Start()) << Demo->Error.toStdString();
        Out = demo::DbfRecords(Demo->DataDir() + QStringLiteral("/clbout.dbf"));
        In = demo::DbfRecords(Demo->DataDir() + QStringLiteral("/clbin.dbf"));
    }
    static void TearDownTestSuite()
    {
        delete Demo;
        Demo = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(Demo && Demo->Process() && Demo->Process()->Running()) << "no demo server";
        ASSERT_EQ(Out.size(), 200);
        ASSERT_EQ(In.size(), 100);
    }

    static QByteArray PDVelm(TXAPI &x, const QByteArray &set, const QByteArray &record)
    {
        return CallText(x, {Routines::PDVelm, demo::DemoClient(), set, record});
    }

    static demo::Server *Demo;
    static QList<QByteArray> Out, In;
    ScriptedUi ui;
};

demo::Server *DemoDocuments::Demo = nullptr;
QList<QByteArray> DemoDocuments::Out, DemoDocuments::In;

// The records that the document test makes documents of (0-based): the others stay new.
constexpr int kMadeOut = 197, kMadeOut2 = 198, kMadeIn = 98, kRefusedIn = 99;

// The pieces of a PDVelm reply: Ok, Exist, Open, Include, twelve columns, Transact.
constexpr int kPieces = 17;

QList<QByteArray> Pieces(const QByteArray &reply) { return reply.split('\x02'); }

// The row the run sends for a record: the task's columns of the reply (TaskRowText).
QByteArray RowText(const QByteArray &reply) { return Pieces(reply).mid(4, 12).join('\x02'); }

// A record with field i (0-based, file order) replaced.
QByteArray With(const QByteArray &record, int field, const QByteArray &value)
{
    QList<QByteArray> f = record.split('\x02');
    f[field] = value;
    return f.join('\x02');
}

// Field i of a record with its last digit changed: a check digit that no longer fits.
QByteArray Mistyped(const QByteArray &record, int field)
{
    QByteArray v = record.split('\x02').value(field);
    if (!v.isEmpty())
        v.back() = char('0' + (v.back() - '0' + 1) % 10);
    return v;
}

// The columns the server should render for a sample record: file field i goes to the
// characteristic at position i, the columns come in GetFields order, texts from CP866.
QList<QByteArray> ExpectedColumns(const QByteArray &record)
{
    const QList<QByteArray> f = record.split('\x02');
    const auto text = [](const QByteArray &cp866) { return ToWin1251(FromCp866(cp866)); };
    return {f[1],
            QByteArray::number(f[2].toDouble(), 'f', 2),
            text(f[3]),
            text(f[7]),
            QByteArray::number(f[0].toLongLong()),
            f[4],
            f[5],
            f[6],
            f[8],
            f[9],
            f[10],
            text(f[11])};
}

TEST_F(DemoDocuments, PDVelmConvertsAndDiagnosesRecordsAndFindsTheDemosUnclosedOrders)
{
    auto x = Demo->LinkAs(1);
    ASSERT_TRUE(x);

    // The bank's record of the demo order 101: similar to document 1 and not yet closed, so not
    // proposed for inclusion; its values converted from CP866, the sum with two decimals.
    EXPECT_EQ(
        PDVelm(*x, "1", Out[0]),
        Record({"", "1", "1", "0", "04.03.2024", "15000.00", W("ООО \"Ромашка\""), W("ООО \"Вектор\""), "101",
                "7701234560", "40702810338000012345", "044525999", "5003123458", "40702810100000000777",
                "044525888", W("Оплата по счету № 17 от 01.03.2024, в т.ч. НДС 20% 2500.00"), ""}));
    const QList<QByteArray> second = Pieces(PDVelm(*x, "1", Out[1]));
    ASSERT_EQ(second.size(), kPieces);
    EXPECT_EQ(second.mid(0, 4), (QList<QByteArray>{"", "2", "2", "0"}));
    EXPECT_EQ(second[5], "2350.50");

    // Every other record of both files is good, its values as the file has them, and new:
    // included (but those the other test may have made documents of already).
    for (int i = 0; i < Out.size() + In.size(); ++i) {
        const bool out = i < Out.size();
        const int n = out ? i : i - int(Out.size());
        const QByteArray &record = out ? Out[n] : In[n];
        const QList<QByteArray> p = Pieces(PDVelm(*x, out ? "1" : "2", record));
        SCOPED_TRACE((out ? "out " : "in ") + std::to_string(n + 1));
        ASSERT_EQ(p.size(), kPieces) << p.join('|').toStdString();
        EXPECT_EQ(p[0], "") << FromWin1251(p[0]).toStdString();
        EXPECT_EQ(p.mid(4, 12), ExpectedColumns(record));
        EXPECT_EQ(p[16], "");
        const bool used = out ? n < 3 || n == kMadeOut || n == kMadeOut2 : n == kMadeIn;
        if (!used)
            EXPECT_EQ(p.mid(1, 3), (QList<QByteArray>{"", "", "1"}));
    }

    // Malformed records: the first fault in the order of the characteristics is the diagnosis,
    // and such a record is never proposed.
    const QByteArray good = Out[3];
    struct Bad
    {
        int Field;
        QByteArray Value;
        const char *Diagnosis;
    };
    for (const Bad &b :
         {Bad{0, "", "Не указан номер документа"}, Bad{0, "12A", "Неверный номер документа"},
          Bad{0, "0", "Неверный номер документа"}, Bad{1, "", "Не указана дата документа"},
          Bad{1, "31.02.2024", "Неверная дата документа"}, Bad{1, "2024-13-01", "Неверная дата документа"},
          Bad{2, "", "Не указана сумма"}, Bad{2, "12,3,4", "Неверная сумма"}, Bad{2, "-5", "Неверная сумма"},
          Bad{2, "0", "Неверная сумма"}, Bad{4, Mistyped(good, 4), "Неверный ИНН плательщика"},
          Bad{8, "12345", "Неверный ИНН получателя"}, Bad{5, Mistyped(good, 5), "Неверный счет плательщика"},
          Bad{9, Mistyped(good, 9), "Неверный счет получателя"}}) {
        SCOPED_TRACE(b.Diagnosis);
        const QList<QByteArray> p = Pieces(PDVelm(*x, "1", With(good, b.Field, b.Value)));
        ASSERT_GE(p.size(), 4);
        EXPECT_EQ(FromWin1251(p[0]).toStdString(), b.Diagnosis);
        EXPECT_EQ(p.mid(1, 3), (QList<QByteArray>{"", "", "0"}));
    }
    EXPECT_EQ(Pieces(PDVelm(*x, "1", With(With(good, 1, "x"), 2, "y")))[0], W("Неверная дата документа"));
    EXPECT_EQ(Pieces(PDVelm(*x, "1", good.left(good.indexOf('\x02'))))[0], W("Не указана дата документа"));
    // Other date forms are read and rendered the one way.
    for (const QByteArray &date : {QByteArray("20240316"), QByteArray("2024-03-16"), QByteArray("16/03/24")})
        EXPECT_EQ(Pieces(PDVelm(*x, "1", With(good, 1, date)))[4], "16.03.2024") << date.toStdString();

    // No such setting, client-bank or Id.
    for (const auto &[clb, set] :
         {std::pair{demo::DemoClient(), QByteArray("9")}, std::pair{demo::DemoClient(), QByteArray("1.0")},
          std::pair{W("Нет такого"), QByteArray("1")}}) {
        const QList<QByteArray> p = Pieces(CallText(*x, {Routines::PDVelm, clb, set, good}));
        EXPECT_EQ(p.value(0), W("Настройка не найдена"));
        EXPECT_EQ(p.value(3), "0");
    }

    // Text from the file is data: M code in it is carried, never run.
    const QByteArray code = "$$DelCLB^ZZ001a(\"x\") @x x \"k ^VELMC\"";
    const QList<QByteArray> p = Pieces(PDVelm(*x, "1", With(good, 11, code)));
    ASSERT_EQ(p.size(), kPieces);
    EXPECT_EQ(p[15], code);
    EXPECT_EQ(CallText(*x, {Routines::Clist}), demo::List({demo::Demo1CClient(), demo::DemoClient()}));
    x->Close();
}

TEST_F(DemoDocuments, TheDemoSettingsDescribeTheSampleFilesAsTheGatewayReadsThem)
{
    auto x = Demo->LinkAs(1);
    ASSERT_TRUE(x);
    const QList<QByteArray> settings = CallText(*x, {Routines::Slist, demo::DemoClient()}).split('\x01');
    for (int set : {1, 2}) {
        SCOPED_TRACE(set);
        const QList<QByteArray> s = settings.value(set - 1).split('\x02');
        ASSERT_EQ(s.size(), 9);
        QList<TDbfSettingField> fields;
        const QByteArray recs =
            CallText(*x, {Routines::LoadSetRecs, demo::DemoClient(), QByteArray::number(set)});
        for (const QByteArray &r : recs.split('\x01')) {
            if (r.isEmpty())
                break;
            const QList<QByteArray> f = r.split('\x02');
            fields.append(TDbfSettingField{f.value(1), f.value(9).toLongLong(), f.value(3).toLongLong()});
        }
        ASSERT_EQ(fields.size(), 12);
        // The setting's directory and file name the import opens, and the structure check passes.
        TLink link;
        TDbfFile file;
        TDbfTable &tbDBF = file.tbDBF;
        ASSERT_TRUE(OpenDbfFile(link, file, QString::fromUtf8(s[4] + '/' + s[5])));
        EXPECT_TRUE(CheckDbfFields(link, tbDBF, fields));
        // The records the tests send are the texts the gateway sends for them.
        const QList<QByteArray> &expected = set == 1 ? Out : In;
        ASSERT_EQ(tbDBF.RecordCount(), expected.size());
        int n = 0;
        for (tbDBF.First(); !tbDBF.Eof(); tbDBF.Next())
            ASSERT_EQ(DbfRecordText(link, tbDBF), expected[n++]) << n;
    }
    EXPECT_EQ(ui.Messages(), QStringList{});
    x->Close();
}

TEST_F(DemoDocuments, DocumentsAreCreatedAndClosedAndGLinTOSaysWhatTheWorkDid)
{
    auto x = Demo->Link();
    ASSERT_TRUE(x);
    const QByteArray fam = W("Иванова");
    EXPECT_EQ(CallText(*x, {Routines::RecYB, "x", fam}), W("Вход в Вельм не выполнен"));
    ASSERT_TRUE(demo::Eventually([&] { return demo::LoginAs(*x, 1) == ""; }, 5000));
    const QByteArray newOut = PDVelm(*x, "1", Out[kMadeOut]);
    const QByteArray order3 = PDVelm(*x, "1", Out[2]);
    const QByteArray newIn = PDVelm(*x, "2", In[kMadeIn]);
    ASSERT_EQ(Pieces(newOut).value(3), "1");
    ASSERT_EQ(Pieces(order3).mid(1, 3), (QList<QByteArray>{"3", "3", "0"}));
    ASSERT_EQ(Pieces(newIn).value(3), "1");

    EXPECT_EQ(CallText(*x, {Routines::GLinTO}), ""); // no work begun
    EXPECT_EQ(CallText(*x, {Routines::TOinGL}), "");
    EXPECT_EQ(CallText(*x, {Routines::GLinTO}), ""); // nothing done yet

    EXPECT_EQ(CallText(*x, {Routines::RecYB, RowText(newOut), "  "}), W("Не указана фамилия"));
    EXPECT_EQ(CallText(*x, {Routines::RecYB, With(RowText(newOut), 1, "abc"), fam}), W("Неверная сумма"));
    EXPECT_EQ(CallText(*x, {Routines::GLinTO}), "");

    // Created: it is now the similar document of its own bank record, and closed already.
    EXPECT_EQ(CallText(*x, {Routines::RecYB, RowText(newOut), fam}), "");
    EXPECT_EQ(CallText(*x, {Routines::GLinTO}),
              W("За время работы создано документов: 1, закрыто документов: 0"));
    const QList<QByteArray> again = Pieces(PDVelm(*x, "1", Out[kMadeOut]));
    ASSERT_EQ(again.size(), kPieces);
    EXPECT_EQ(again[0], "");
    const QByteArray &made = again[1];
    EXPECT_TRUE(made.toInt() > 3) << made.toStdString();
    EXPECT_EQ(again.mid(2, 2), (QList<QByteArray>{"", "0"}));

    // Created anyway a second time (the operator's "Создать новый"): both are the similar ones.
    EXPECT_EQ(CallText(*x, {Routines::RecYB, RowText(newOut), fam}), "");
    const QList<QByteArray> twice = Pieces(PDVelm(*x, "1", Out[kMadeOut]));
    ASSERT_EQ(twice.size(), kPieces);
    const QList<QByteArray> both = twice[1].split(',');
    ASSERT_EQ(both.size(), 2) << twice[1].toStdString();
    EXPECT_EQ(both[0], made);
    EXPECT_GT(both[1].toInt(), made.toInt());
    EXPECT_EQ(twice.mid(2, 2), (QList<QByteArray>{"", "0"}));
    EXPECT_EQ(CallText(*x, {Routines::GLinTO}),
              W("За время работы создано документов: 2, закрыто документов: 0"));

    // The demo order 103 closed with its bank record, once.
    EXPECT_EQ(CallText(*x, {Routines::RecYB, RowText(order3), fam, "3"}), "");
    EXPECT_EQ(CallText(*x, {Routines::GLinTO}),
              W("За время работы создано документов: 2, закрыто документов: 1"));
    EXPECT_EQ(Pieces(PDVelm(*x, "1", Out[2])).mid(1, 3), (QList<QByteArray>{"3", "", "0"}));
    EXPECT_EQ(CallText(*x, {Routines::RecYB, RowText(order3), fam, "3"}), W("Документ 3 уже закрыт"));
    EXPECT_EQ(CallText(*x, {Routines::RecYB, RowText(order3), fam, made}),
              W("Документ ") + made + W(" уже закрыт"));
    EXPECT_EQ(CallText(*x, {Routines::RecYB, RowText(order3), fam, "999"}), W("Документ 999 не найден"));
    EXPECT_EQ(CallText(*x, {Routines::RecYB, RowText(order3), fam, "03"}), W("Документ 03 не найден"));
    // A money-out order is no money-in document.
    EXPECT_EQ(CallText(*x, {Routines::RecYA, RowText(newIn), fam, "1"}), W("Документ 1 не найден"));

    // Money in, by the same user in the same work.
    EXPECT_EQ(CallText(*x, {Routines::RecYA, RowText(newIn), fam}), "");
    EXPECT_EQ(Pieces(PDVelm(*x, "2", In[kMadeIn])).value(3), "0");
    EXPECT_EQ(CallText(*x, {Routines::GLinTO}),
              W("За время работы создано документов: 3, закрыто документов: 1"));

    // Another gateway's work is its own; a user without the money-in right is refused.
    {
        auto y = Demo->Link();
        ASSERT_TRUE(y);
        ASSERT_EQ(demo::LoginAs(*y, 3), "");
        EXPECT_EQ(CallText(*y, {Routines::TOinGL}), "");
        EXPECT_EQ(PDVelm(*y, "2", In[kRefusedIn]), "<failed> <ECODETRAP>run+3^%caA03 UVELM-NORIGHT");
        EXPECT_EQ(CallText(*y, {Routines::RecYA, RowText(newIn), fam}),
                  W("Нет права на задачу \"Деньги: Приход\""));
        EXPECT_EQ(CallText(*y, {Routines::GLinTO}), "");
        EXPECT_EQ(CallText(*y, {Routines::RecYB, RowText(PDVelm(*y, "1", Out[kMadeOut2])), W("Сидоров")}),
                  "");
        EXPECT_EQ(CallText(*y, {Routines::GLinTO}),
                  W("За время работы создано документов: 1, закрыто документов: 0"));
        y->Close();
    }
    // GLinTO leaves the work going: what follows still counts in it.
    EXPECT_EQ(CallText(*x, {Routines::GLinTO}),
              W("За время работы создано документов: 3, закрыто документов: 1"));

    // The gateway shows the summary at shutdown.
    {
        TdmSet dm;
        dm.Link.XApiLink = x.get();
        dm.CallGLinTOAtShutdown();
    }
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("За время работы создано документов: 3, закрыто документов: 1")});
    x->Close();
}

// A creation that fails inside its transaction leaves nothing held: another gateway creates at
// once. And a long run goes to its end: the engine may restart a transaction whenever it must.
TEST_F(DemoDocuments, AFailedCreationHoldsNothingAndALongRunCreatesEveryDocument)
{
    VismClient v;
    ASSERT_TRUE(v.Connect(Demo->Process()->VismPort));
    ASSERT_FALSE(v.Login(Demo->Process()->VismUser, Demo->Process()->VismPassword, Demo->NameSpace).Failed);
    EXPECT_TRUE(v.Run(Demo->NameSpace, "s V(\"NUMDOC\")=1 s r=$$make^ZZ001c(\"\",.V,1,\"A\",1)").Failed);
    EXPECT_EQ(v.Run(Demo->NameSpace, "$TLEVEL").Value, "0");

    auto x = Demo->LinkAs(1);
    ASSERT_TRUE(x);
    EXPECT_EQ(CallText(*x, {Routines::TOinGL}), "");
    const QByteArray row = RowText(PDVelm(*x, "1", Out[10]));
    const QByteArray fam = W("Иванова");
    constexpr int kRun = 30000;
    int created = 0;
    for (int n = 1; n <= kRun; ++n) {
        const QByteArray reply =
            CallText(*x, {Routines::RecYB, With(row, 4, QByteArray::number(500000 + n)), fam});
        if (reply != "") {
            ADD_FAILURE() << "record " << n << ": " << FromWin1251(reply).toStdString();
            break;
        }
        ++created;
    }
    EXPECT_EQ(created, kRun);
    EXPECT_EQ(CallText(*x, {Routines::GLinTO}),
              W("За время работы создано документов: 30000, закрыто документов: 0"));
    x->Close();
}

} // namespace
