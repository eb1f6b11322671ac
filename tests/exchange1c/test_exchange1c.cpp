// The 1C exchange text as the gateway reads it: the fixed structure (as dbfdump prints it and
// as the wizard takes it), the same documents as the dBASE sample of the same seed in either
// code page and line end, a structural fault refusing the file, and the rules of a bank's
// statement: direction by its accounts, a faulty document left out alone, the leniencies, UTF-8.
#include "importtest.h"

#include "Routines.h"
#include "clbgen.h"
#include "dbfsettings.h"
#include "exchange1c.h"
#include "funcs.h"

#include <QProcess>

namespace {

const QString Ours = QStringLiteral("40702810338000012345");
const QString Second = QStringLiteral("40702810600000000002");

// Lines in UTF-8 as a text in the code page, each ended by eol.
QByteArray Text(const QStringList &lines, bool dos = false, const char *eol = "\r\n")
{
    QByteArray out;
    for (const QString &l : lines)
        out += (dos ? ToCp866(l) : ToWin1251(l)) + eol;
    return out;
}

// A valid text around one document's lines: the header, the account section, a money-out
// document (lines 8 to 12), the lines given, КонецФайла.
QStringList File(const QStringList &document, const QString &encoding = QStringLiteral("Windows"))
{
    QStringList l{QStringLiteral("1CClientBankExchange"),
                  QStringLiteral("ВерсияФормата=1.03"),
                  QStringLiteral("Кодировка=") + encoding,
                  QStringLiteral("Отправитель=Банк"),
                  QStringLiteral("СекцияРасчСчет"),
                  QStringLiteral("РасчСчет=") + Ours,
                  QStringLiteral("КонецРасчСчет"),
                  QStringLiteral("СекцияДокумент=Платежное поручение"),
                  QStringLiteral("Номер=1"),
                  QStringLiteral("Сумма=10.00"),
                  QStringLiteral("ПлательщикСчет=") + Ours,
                  QStringLiteral("КонецДокумента")};
    return l + document + QStringList{QStringLiteral("КонецФайла")};
}

// A record as dbfdump and the layer give it: the named fields' texts, the others empty.
QByteArray Row(const QList<std::pair<const char *, QByteArray>> &values)
{
    QList<QByteArray> fields;
    for (const TExchange1CField &f : Exchange1CFields) {
        QByteArray v;
        for (const auto &[name, value] : values)
            if (qstrcmp(name, f.Name) == 0)
                v = value;
        fields << v;
    }
    return fields.join('\x02');
}

// Windows-1251 bytes of KOI8-R letters: a code page the reader cannot tell.
QByteArray Koi8(const QString &text)
{
    static const QString letters =
        QStringLiteral("юабцдефгхийклмнопярстужвьызшэщчъЮАБЦДЕФГХИЙКЛМНОПЯРСТУЖВЬЫЗШЭЩЧЪ");
    QByteArray out;
    for (QChar c : text)
        out += letters.contains(c) ? char(0xC0 + letters.indexOf(c)) : c.toLatin1();
    return out;
}

class Exchange1C : public ImportTest
{
protected:
    QString Write(const char *name, const QByteArray &bytes)
    {
        const QString path = Path(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return path;
    }
    // Every record of tbDBF, each as its fields' texts.
    QList<QList<QByteArray>> Records() const
    {
        QList<QList<QByteArray>> out;
        for (tbDBF.First(); !tbDBF.Eof(); tbDBF.Next()) {
            QList<QByteArray> r;
            for (int f = 0; f < tbDBF.FieldCount(); ++f)
                r << tbDBF.FieldText(f, ".");
            out << r;
        }
        return out;
    }
    QList<QByteArray> Field(const char *name) const
    {
        QList<QByteArray> out;
        for (const QList<QByteArray> &r : Records())
            out << r.value(tbDBF.FindField(name));
        return out;
    }
    const TExchangeStatement &Statement() const
    {
        EXPECT_NE(tbDBF.Statement(), nullptr);
        return *tbDBF.Statement();
    }
    // The statement's faulty documents as "ordinal line number: reason".
    QStringList Faulty() const
    {
        QStringList out;
        for (const TExchangeDocument &d : Statement().Faulty())
            out << QStringLiteral("%1 %2 %3: %4")
                       .arg(QString::number(d.Ordinal), QString::number(d.Line), d.Number, d.Fault);
        return out;
    }
    // The task's import of the file through a setting of that type whose fields are NOMER and
    // SUMMA, every record accepted; the numbers of the records sent, in the order sent.
    QList<QByteArray> Import(const QString &path, int type, int sent)
    {
        dm.tbSets->Edit();
        dm.tbSets->SetAsInteger(TdmSet::stType, type);
        dm.tbSets->Post();
        peer.QueueCall(List({Rec({"NOMER", "N", ""})}));
        engine.BuildTaskTable(type);
        peer.QueueCall(List({Rec({"1", "NOMER", "STRING", "255", "0", "", "", "", "", "1"}),
                             Rec({"2", "SUMMA", "FLOAT", "18", "2", "", "", "", "", "6"})}));
        for (int i = 0; i < sent; ++i)
            peer.QueueCall(Rec({"", "", "", "1"}));
        const qsizetype before = Calls().size();
        ui.Clear();
        Protocol.clear();
        EXPECT_TRUE(engine.ImportDbfFile(path, 7)) << ui.Messages().join(u'\n').toStdString();
        QList<QByteArray> numbers;
        for (const Elements &call : Calls().mid(before))
            if (call.value(0) == Routines::PDVelm)
                numbers << Piece(call.value(3), '\x02', 2);
        return numbers;
    }
    static QList<QByteArray> Lines(const QStringList &lines)
    {
        QList<QByteArray> out;
        for (const QString &l : lines)
            out << W(l);
        return out;
    }
    static QStringList Aside(const TdmTask &e)
    {
        QStringList out;
        for (const TAsideDocument &d : e.LeftAside)
            out << QStringLiteral("%1 %2 %3 %4: %5")
                       .arg(QString::number(d.Record), QString::number(d.Line), d.Number,
                            d.Fault ? QStringLiteral("fault") : QStringLiteral("aside"), d.Reason);
        return out;
    }
};

TEST_F(Exchange1C, StructureIsTheFixedTableInThePublishedOrderAsDbfdumpPrintsItAndTheWizardTakesIt)
{
    // Blanks around keys and values, a missing key, blank lines and the DOS end mark.
    const QByteArray text =
        Text(
            File({QStringLiteral("СекцияДокумент=Платежное поручение"), QStringLiteral(" Дата = 04.03.2024 "),
                  QStringLiteral("Сумма=15000.00"), QStringLiteral(""), QStringLiteral("Номер=101  "),
                  QStringLiteral("ПлательщикСчет=") + Ours, QStringLiteral("Плательщик=ООО \"Ромашка\""),
                  QStringLiteral("КонецДокумента")},
                 QStringLiteral("DOS")),
            true)
        + "\x1A";
    const QString path = Write("vypiska.txt", text);

    QByteArray structure;
    for (const TExchange1CField &f : Exchange1CFields)
        structure += QByteArray(f.Name) + '\t' + QByteArray::number(f.TypeId) + '\t'
                     + QByteArray::number(f.Size) + '\t' + QByteArray::number(f.Precision) + '\n';
    QProcess dump;
    dump.start(QStringLiteral(DBFDUMP_PATH), {path});
    ASSERT_TRUE(dump.waitForFinished(20000));
    EXPECT_EQ(dump.readAllStandardError(), "");
    const QByteArray kind = ToCp866(QStringLiteral("Платежное поручение"));
    const QByteArray account = Ours.toLatin1();
    EXPECT_EQ(
        dump.readAllStandardOutput(),
        structure + "\n"
            + Row(
                {{"SEKTSIYADOKUMENT", kind}, {"NOMER", "1"}, {"SUMMA", "10"}, {"PLATELSHCHIKSCHET", account}})
            + "\n"
            + Row({{"SEKTSIYADOKUMENT", kind},
                   {"NOMER", "101"},
                   {"DATA", "04.03.2024"},
                   {"SUMMA", "15000"},
                   {"PLATELSHCHIKSCHET", account},
                   {"PLATELSHCHIK", ToCp866(QStringLiteral("ООО \"Ромашка\""))}})
            + "\n");

    // The format's published order, then the keys banks add; every key without a maximum 255.
    QStringList keys;
    for (int i = 33; i < 45; ++i)
        keys << QString::fromUtf8(Exchange1CFields[i].Key);
    EXPECT_EQ(keys.join(u' '), QStringLiteral("ВидПлатежа КодНазПлатежа ВидОплаты Код НазначениеПлатежа "
                                              "НазначениеПлатежа1 НазначениеПлатежа2 НазначениеПлатежа3 "
                                              "НазначениеПлатежа4 НазначениеПлатежа5 НазначениеПлатежа6 "
                                              "СтатусСоставителя"));
    EXPECT_EQ(
        structure.split('\n').mid(64, 4).join(' '),
        "DATAOTSYLKIDOK\t9\t10\t0 IDENTIFIKATORPLATEZHA\t1\t255\t0 KODDEBITORA\t1\t255\t0 OKTMO\t1\t11\t0");
    EXPECT_TRUE(structure.contains("\nPOKAZATELNOMERA\t1\t255\t0\n"));

    // The wizard's setting from the file: every field a row the settings accept.
    LoadDbfStructure(path);
    EXPECT_EQ(ui.Messages(), QStringList());
    ASSERT_EQ(dm.tbSet->RecordCount(), 68);
    QByteArray rows;
    for (int r = 0; r < 68; ++r)
        rows += dm.tbSet->StringAt(r, TdmSet::sfName) + '\t' + dm.tbSet->StringAt(r, TdmSet::sfTypeId) + '\t'
                + dm.tbSet->StringAt(r, TdmSet::sfLength) + '\t' + dm.tbSet->StringAt(r, TdmSet::sfPrecision)
                + '\n';
    EXPECT_EQ(rows, structure);
    EXPECT_EQ(dm.tbSet->StringAt(3, TdmSet::sfType), "FLOAT");
    EXPECT_EQ(dm.tbSet->StringAt(2, TdmSet::sfType), "DATE");
}

TEST_F(Exchange1C, SameDocumentsAsTheDbfSampleInEveryCodePageWithCrLfOrLf)
{
    clb::Options o;
    o.count = 40;
    o.seed = 11;
    o.demo = true;
    std::string error;
    const QString dbf = Path("clb.dbf"), win = Path("win.txt"), dos = Path("dos.txt"),
                  utf8 = Path("utf8.txt");
    ASSERT_TRUE(clb::writeFile(dbf.toStdString(), o, error)) << error;
    o.format = clb::Format::Exchange1CWindows;
    ASSERT_TRUE(clb::writeFile(win.toStdString(), o, error)) << error;
    o.format = clb::Format::Exchange1CDos;
    ASSERT_TRUE(clb::writeFile(dos.toStdString(), o, error)) << error;
    o.format = clb::Format::Exchange1CUtf8;
    ASSERT_TRUE(clb::writeFile(utf8.toStdString(), o, error)) << error;
    QFile f(dos);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray crlf = f.readAll();
    ASSERT_TRUE(crlf.contains("\r\n"));
    const QString lf = Write("lf.txt", QByteArray(crlf).replace("\r\n", "\n"));

    ASSERT_TRUE(OpenDbfFile(dbf));
    const QList<QList<QByteArray>> sample = Records();
    ASSERT_EQ(sample.size(), 40);
    // The sample's fields in the exchange structure: NUMDOC is Номер, DATEDOC Дата, and so on.
    const char *twins[] = {"NOMER",           "DATA",
                           "SUMMA",           "PLATELSHCHIK1",
                           "PLATELSHCHIKINN", "PLATELSHCHIKSCHET",
                           "PLATELSHCHIKBIK", "POLUCHATEL1",
                           "POLUCHATELINN",   "POLUCHATELSCHET",
                           "POLUCHATELBIK",   "NAZNACHENIEPLATEZHA"};
    for (const QString &path : {dos, lf, win, utf8}) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_TRUE(OpenDbfFile(path)) << ui.Messages().join(u'\n').toStdString();
        const QList<QList<QByteArray>> read = Records();
        ASSERT_EQ(read.size(), sample.size());
        for (int r = 0; r < read.size(); ++r) {
            for (int i = 0; i < 12; ++i) {
                // A DOS text gives the dBASE file's own bytes; the others the same text.
                QByteArray want = sample[r][i];
                if (path == win || path == utf8)
                    want = ToWin1251(FromCp866(want));
                ASSERT_EQ(read[r][tbDBF.FindField(twins[i])], want) << r << ' ' << twins[i];
            }
            EXPECT_EQ(read[r][tbDBF.FindField("KOD")], "");
        }
        EXPECT_EQ(Statement().Faulty().size(), 0u);
        EXPECT_EQ(Statement().Warnings(), QStringList());
        tbDBF.Last();
        EXPECT_EQ(CountChar(DbfRecordText(), '\x02'), 67);
    }
}

TEST_F(Exchange1C, StructuralFaultRefusesTheWholeFileNamingItsLine)
{
    const QString doc = QStringLiteral("СекцияДокумент=Платежное поручение");
    const QString end = QStringLiteral("КонецДокумента");
    struct Case
    {
        QByteArray Bytes;
        QString Message; // after "Файл PATH, строка "
    };
    const QString head = QStringLiteral("1CClientBankExchange\nКодировка=Windows\n");
    auto lines = [](const QString &s) { return s.split(u'\n'); };
    const QList<Case> cases = {
        {Text(File({doc, QStringLiteral("Номер=2"), doc, end})),
         QStringLiteral(
             "13: секция документа не закончена строкой КонецДокумента (строка 15 её не заканчивает)")},
        {Text(lines(head + doc + QStringLiteral("\nНомер=2"))),
         QStringLiteral("3: секция документа не закончена строкой КонецДокумента (конец файла)")},
        {Text(File({doc, end}).mid(0, 14)), QStringLiteral("14: файл кончается без строки КонецФайла")},
        {Text(lines(head + QStringLiteral("СекцияРасчСчет\nРасчСчет=1\nКонецФайла"))),
         QStringLiteral(
             "3: секция СекцияРасчСчет не закончена строкой КонецРасчСчет (строка 5 её не заканчивает)")},
        {Text(File({})) + Text({doc, end}),
         QStringLiteral("14: после строки КонецФайла (строка 13) есть ещё текст")},
        {Text(File({end})), QStringLiteral("13: КонецДокумента без начала секции")},
        {Text(lines(head + QStringLiteral("Выписка\nКонецФайла"))),
         QStringLiteral("3: «Выписка» не является строкой Ключ=Значение")},
        {Text(File({doc, QStringLiteral("Номер=2"), end})).replace("=2", QByteArray("=\0", 2)),
         QStringLiteral("14: нулевой байт: это не текстовый файл")},
    };
    peer.QueueCall(List({Rec({"NUMDOC", "N", ""})}));
    engine.BuildTaskTable(1);
    const QList<Elements> built = Calls();
    for (const Case &c : cases) {
        const QString path = Write("bad.txt", c.Bytes);
        ui.Clear();
        EXPECT_FALSE(engine.ImportDbfFile(path, 7));
        EXPECT_EQ(ui.Messages(), (QStringList{QStringLiteral("Файл %1, строка %2").arg(path, c.Message),
                                              QStringLiteral("Не удалось подключиться к ") + path}));
        EXPECT_EQ(engine.tbTask->RecordCount(), 0);
        EXPECT_FALSE(tbDBF.Active());
    }
    EXPECT_EQ(Calls(), built) << "no setting was loaded and no record sent";
}

TEST_F(Exchange1C, DirectionByTheStatementsAccountsEachTaskImportsItsOwnHalf)
{
    // Our accounts: the header's and the account section's. Documents 1 to 5: money out, money
    // in, a transfer between the two, money out of the second account by indirect settlement
    // (ПлательщикРасчСчет), money in to it the same way.
    const QString other = QStringLiteral("40702810100000004411");
    QStringList docs;
    auto add = [&docs](int n, const QStringList &keys) {
        docs << QStringLiteral("СекцияДокумент=Платежное поручение") << QStringLiteral("Номер=%1").arg(n)
             << keys << QStringLiteral("КонецДокумента");
    };
    const QString payer = QStringLiteral("ПлательщикСчет="), payee = QStringLiteral("ПолучательСчет=");
    const QString corr = QStringLiteral("30101810400000000225");
    add(1, {payer + Ours, payee + other});
    add(2, {payer + other, payee + Ours});
    add(3, {payer + Ours, payee + Second});
    add(4, {payer + corr, QStringLiteral("ПлательщикРасчСчет=") + Second, payee + other});
    add(5, {payer + other, payee + corr, QStringLiteral("ПолучательРасчСчет=") + Second});
    const QStringList head{QStringLiteral("1CClientBankExchange"), QStringLiteral("Кодировка=Windows"),
                           QStringLiteral("РасчСчет=") + Ours,     QStringLiteral("СекцияРасчСчет"),
                           QStringLiteral("РасчСчет=") + Second,   QStringLiteral("КонецРасчСчет")};
    const QString path =
        Write("statement.txt", Text(head + docs + QStringList{QStringLiteral("КонецФайла")}));

    ASSERT_TRUE(OpenDbfFile(path));
    EXPECT_EQ(Statement().Accounts(), (QStringList{Ours, Second}));
    QList<unsigned> directions;
    for (int live = 0; live < tbDBF.RecordCount(); ++live)
        directions << Statement().Direction(live);
    using namespace ExchangeDirection;
    EXPECT_EQ(directions, (QList<unsigned>{Out, In, Out | In, Out, In}));

    KeepProtocol = true;
    const QString accounts =
        QStringLiteral("Счета выписки: %1, %2; документов другого направления оставлено в стороне: 2")
            .arg(Ours, Second);
    const QString heading1 = QStringLiteral("Диагностика записей файла данных.");
    const QString heading2 = QStringLiteral("№ записи \t№ док.    Диагноз  ");
    const QString in = QStringLiteral("другое направление: поступление на счёт выписки");
    const QString out = QStringLiteral("другое направление: списание со счёта выписки");
    EXPECT_EQ(Import(path, 1, 3), (QList<QByteArray>{"4", "3", "1"}));
    EXPECT_EQ(engine.tbTask->RecordCount(), 3);
    EXPECT_EQ(Aside(engine),
              (QStringList{QStringLiteral("2 12 2 aside: ") + in, QStringLiteral("5 28 5 aside: ") + in}));
    EXPECT_EQ(Protocol,
              Lines({QStringLiteral("Файл обмена 1С %1, кодировка Windows-1251").arg(path), accounts,
                     QStringLiteral("Оставлен в стороне документ № 2 (строка 12): ") + in,
                     QStringLiteral("Оставлен в стороне документ № 5 (строка 28): ") + in, heading1, heading2,
                     QStringLiteral("1: \t\t\t"), QStringLiteral("3: \t\t\t"), QStringLiteral("4: \t\t\t")}));
    EXPECT_EQ(ui.Messages(), QStringList()) << "nothing to say to the operator";
    EXPECT_TRUE(ui.Events.contains(Progress(QStringLiteral("Импорт записей из файла данных"), 3)));

    EXPECT_EQ(Import(path, 2, 3), (QList<QByteArray>{"5", "3", "2"}));
    EXPECT_EQ(Aside(engine),
              (QStringList{QStringLiteral("1 7 1 aside: ") + out, QStringLiteral("4 22 4 aside: ") + out}));

    // Payment orders from accounting name no account: everything, and the protocol says so.
    const QString orders =
        Write("orders.txt", Text(head.mid(0, 2) + docs + QStringList{QStringLiteral("КонецФайла")}));
    EXPECT_EQ(Import(orders, 2, 5), (QList<QByteArray>{"5", "4", "3", "2", "1"}));
    EXPECT_TRUE(engine.LeftAside.isEmpty());
    EXPECT_EQ(Protocol.value(1), W(QStringLiteral("Счёт выписки (РасчСчет) в файле не назван: направление "
                                                  "документов не проверяется, импортируются документы обоих "
                                                  "направлений")));
}

TEST_F(Exchange1C, FaultyDocumentIsLeftOutWithItsNumberLineAndReasonAndTheOthersImport)
{
    // Five lines a document (kind, Номер, ПлательщикСчет, one more, the end) from line 4 on:
    // document k begins at line 5k - 1 and its fourth line is 5k + 2.
    const QList<QString> fourth = {
        QStringLiteral("Сумма=1.00"),
        QStringLiteral("ПлательщикИНН=7701234560123"),
        QStringLiteral("Дата=2024-03-04"),
        QStringLiteral("Дата=30.02.2024"),
        QStringLiteral("Сумма=1.005"),
        QStringLiteral("Сумма=-5.00"),
        QStringLiteral("Номер=8"),
        QStringLiteral("Плательщик"),
        QStringLiteral("НазначениеПлатежа=") + QString(256, u'я'),
        QStringLiteral("Сумма=1.00"),
        QStringLiteral("Сумма=2.00"),
    };
    QStringList lines{QStringLiteral("1CClientBankExchange"), QStringLiteral("Кодировка=Windows"),
                      QStringLiteral("РасчСчет=") + Ours};
    for (int k = 1; k <= fourth.size(); ++k)
        lines << QStringLiteral("СекцияДокумент=Платежное поручение") << QStringLiteral("Номер=%1").arg(k)
              << QStringLiteral("ПлательщикСчет=") + (k == 10 ? Second : Ours) << fourth[k - 1]
              << QStringLiteral("КонецДокумента");
    const QString path = Write("faults.txt", Text(lines + QStringList{QStringLiteral("КонецФайла")}));

    const QStringList faults{
        QStringLiteral("2 12 2: значение ключа ПлательщикИНН длиннее 12 символов"),
        QStringLiteral("3 17 3: «2024-03-04» в ключе Дата не является датой ДД.ММ.ГГГГ"),
        QStringLiteral("4 22 4: «30.02.2024» в ключе Дата не является датой ДД.ММ.ГГГГ"),
        QStringLiteral(
            "5 27 5: «1.005» в ключе Сумма не является суммой: рубли и не больше двух знаков копеек "
            "после точки или запятой"),
        QStringLiteral("6 32 6: «-5.00» в ключе Сумма: сумма меньше нуля"),
        QStringLiteral("7 37 7: ключ Номер уже есть в этом документе (строка 35) с другим значением"),
        QStringLiteral("8 42 8: «Плательщик» не является строкой Ключ=Значение"),
        QStringLiteral("9 47 9: значение ключа НазначениеПлатежа длиннее 255 символов"),
        QStringLiteral("10 49 10: ни счёт плательщика, ни счёт получателя не является счётом выписки (%1)")
            .arg(Ours),
    };
    ASSERT_TRUE(OpenDbfFile(path)) << ui.Messages().join(u'\n').toStdString();
    EXPECT_EQ(Faulty(), faults);
    EXPECT_EQ(Field("NOMER"), (QList<QByteArray>{"1", "11"}));
    EXPECT_EQ(Statement().DocumentCount(), 11);

    // Said once before the import goes on; in the protocol each of them; the others imported.
    KeepProtocol = true;
    EXPECT_EQ(Import(path, 1, 2), (QList<QByteArray>{"11", "1"}));
    QStringList message{QStringLiteral("Файл %1:").arg(path),
                        QStringLiteral("Документы с ошибками не импортируются (9):")};
    QStringList protocol{
        QStringLiteral("Файл обмена 1С %1, кодировка Windows-1251").arg(path),
        QStringLiteral("Счета выписки: %1; документов другого направления оставлено в стороне: 0").arg(Ours)};
    for (const TExchangeDocument &d : Statement().Faulty()) {
        const QString name =
            QStringLiteral("документ № %1 (строка %2): %3").arg(d.Number).arg(d.Line).arg(d.Fault);
        message << name;
        protocol << QStringLiteral("Не импортируется ") + name;
    }
    message << QStringLiteral("Остальные документы импортируются.");
    EXPECT_EQ(ui.Messages(), QStringList{message.join(u'\n')});
    EXPECT_EQ(Protocol.mid(0, 11), Lines(protocol));
    EXPECT_EQ(Protocol.mid(13), (QList<QByteArray>{"1: \t\t\t", "11: \t\t\t"}));
    EXPECT_EQ(engine.AsideCount(true), 9);
    EXPECT_EQ(engine.LeftAside.value(5).Line, 37);
    EXPECT_TRUE(engine.LeftAside.value(5).Fault);
}

TEST_F(Exchange1C, LenientWhereTheMeaningIsPlain)
{
    const QStringList lines{
        QStringLiteral("1CClientBankExchange"), // 1
        QStringLiteral("ВерсияФормата=1.03"),   // 2, no Кодировка
        QStringLiteral("РасчСчет=") + Ours,     // 3
        QStringLiteral("СекцияДокумент=Платежное поручение"),
        QStringLiteral(" Номер = 7 "), // 5
        QStringLiteral("Номер=7"),     // the same again
        QStringLiteral("Номер="),      // empty again
        QStringLiteral("Дата=0"),
        QStringLiteral("ДатаСписано=00.00.0000"),
        QStringLiteral("ДатаПоступило=10.04.2024 15:02:11"), // 10
        QStringLiteral("Сумма=13 056,00"),
        QStringLiteral("ПлательщикСчет=") + Ours,
        QStringLiteral("ПлательщикИНН=   770123456012   "),
        QStringLiteral("ПоказательНомера=") + QString(40, u'7'),
        QStringLiteral("КодДебитора=000123"), // 15
        QStringLiteral("ИдентификаторПлатежа=ABC123"),
        QStringLiteral("ОКТМО=45379000"),
        QStringLiteral("ПолучательКПП="),
        QStringLiteral("ПолучательКПП=770101001"), // empty first, then the value
        QStringLiteral("СтатусЭД=Исполнен"),       // 20
        QStringLiteral("КонецДокумента"),
        QStringLiteral("СекцияДокумент=Банковский ордер"),
        QStringLiteral("Номер=8"),
        QStringLiteral("Сумма=1 234 567.5"),
        QStringLiteral("Дата=10.04.2024 9:05"), // 25
        QStringLiteral("ПлательщикСчет=") + Ours,
        QStringLiteral("СтатусЭД=Исполнен"),
        QStringLiteral("ВидУслуги=1"),
        QStringLiteral("КонецДокумента"),
        QStringLiteral("КонецФайла"),
    };
    const QString path = Write("lenient.txt", Text(lines));
    ASSERT_TRUE(OpenDbfFile(path)) << ui.Messages().join(u'\n').toStdString();
    EXPECT_EQ(Faulty(), QStringList());
    EXPECT_EQ(Field("NOMER"), (QList<QByteArray>{"7", "8"}));
    EXPECT_EQ(Field("DATA"), (QList<QByteArray>{"", "10.04.2024"}));
    EXPECT_EQ(Field("DATASPISANO"), (QList<QByteArray>{"", ""}));
    EXPECT_EQ(Field("DATAPOSTUPILO"), (QList<QByteArray>{"10.04.2024", ""}));
    EXPECT_EQ(Field("SUMMA"), (QList<QByteArray>{"13056", "1234567.5"}));
    EXPECT_EQ(Field("PLATELSHCHIKINN"), (QList<QByteArray>{"770123456012", ""}));
    EXPECT_EQ(Field("POKAZATELNOMERA"), (QList<QByteArray>{QByteArray(40, '7'), ""}));
    EXPECT_EQ(Field("KODDEBITORA"), (QList<QByteArray>{"000123", ""}));
    EXPECT_EQ(Field("IDENTIFIKATORPLATEZHA"), (QList<QByteArray>{"ABC123", ""}));
    EXPECT_EQ(Field("OKTMO"), (QList<QByteArray>{"45379000", ""}));
    EXPECT_EQ(Field("POLUCHATELKPP"), (QList<QByteArray>{"770101001", ""}));
    const QStringList warnings{
        QStringLiteral("в заголовке нет ключа Кодировка: файл прочитан в Windows-1251"),
        QStringLiteral("неизвестный ключ «СтатусЭД» (впервые в строке 20) не читается"),
        QStringLiteral("неизвестный ключ «ВидУслуги» (впервые в строке 28) не читается")};
    EXPECT_EQ(Statement().Warnings(), warnings);

    // The warnings are said once, before the import, and each goes into the protocol.
    KeepProtocol = true;
    EXPECT_EQ(Import(path, 1, 2), (QList<QByteArray>{"8", "7"}));
    EXPECT_EQ(ui.Messages(),
              QStringList{(QStringList{QStringLiteral("Файл %1:").arg(path)} + warnings).join(u'\n')});
    EXPECT_EQ(Protocol.mid(2, 3), Lines({QStringLiteral("Предупреждение: ") + warnings[0],
                                         QStringLiteral("Предупреждение: ") + warnings[1],
                                         QStringLiteral("Предупреждение: ") + warnings[2]}));
}

TEST_F(Exchange1C, Utf8WithOrWithoutByteOrderMarkIsReadAsWindows1251AndAnUnknownCodePageIsSaid)
{
    const QStringList lines = File({QStringLiteral("СекцияДокумент=Платежное поручение"),
                                    QStringLiteral("Номер=2"), QStringLiteral("ПлательщикСчет=") + Ours,
                                    QStringLiteral("НазначениеПлатежа=Оплата по счёту № 5 «Ёлка»"),
                                    QStringLiteral("КонецДокумента")});
    const QString win = Write("win.txt", Text(lines));
    ASSERT_TRUE(OpenDbfFile(win));
    const QList<QList<QByteArray>> want = Records();
    ASSERT_EQ(want.size(), 2);
    ASSERT_EQ(want[1][tbDBF.FindField("NAZNACHENIEPLATEZHA")],
              W(QStringLiteral("Оплата по счёту № 5 «Ёлка»")));

    const QByteArray utf8 = lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
    for (const QByteArray &bytes : {QByteArray("\xEF\xBB\xBF") + utf8, utf8}) {
        ASSERT_TRUE(OpenDbfFile(Write("utf8.txt", bytes))) << ui.Messages().join(u'\n').toStdString();
        EXPECT_EQ(Records(), want);
        EXPECT_EQ(Statement().CodePage(), QStringLiteral("UTF-8"));
        EXPECT_EQ(Statement().Warnings(), QStringList()) << "Кодировка=Windows is what such files say";
    }

    // A character Windows-1251 lacks is the fault of its document only.
    QStringList smile = lines;
    smile[15] = QStringLiteral("НазначениеПлатежа=Спасибо 😀");
    ASSERT_TRUE(OpenDbfFile(Write("smile.txt", QByteArray("\xEF\xBB\xBF") + smile.join(u'\n').toUtf8())));
    EXPECT_EQ(Faulty(),
              QStringList{QStringLiteral("2 16 2: символа «😀» (U+1F600) нет в кодировке Windows-1251")});
    EXPECT_EQ(Field("NOMER"), QList<QByteArray>{"1"});

    // Кодировка says otherwise than the words of the file: they are right, and it is said.
    ASSERT_TRUE(OpenDbfFile(Write("dos.txt", Text(File({}, QStringLiteral("DOS"))))));
    EXPECT_EQ(Field("NOMER"), QList<QByteArray>{"1"});
    EXPECT_EQ(Statement().Warnings(), QStringList{QStringLiteral("строка 3: Кодировка=DOS, но слова формата "
                                                                 "записаны в Windows-1251: файл прочитан в "
                                                                 "Windows-1251")});

    // KOI8-R: nothing of the format reads in any code page the gateway knows.
    const QString koi8 = Write("koi8.txt", Koi8(File({}).join(u'\n')));
    EXPECT_FALSE(OpenDbfFile(koi8));
    EXPECT_EQ(
        ui.Messages().value(ui.Messages().size() - 1),
        QStringLiteral("Файл %1: кодировка не определяется: слова формата обмена (Кодировка, СекцияДокумент, "
                       "КонецФайла) не читаются в нём ни в Windows-1251, ни в DOS (CP866), ни в UTF-8")
            .arg(koi8));
}

} // namespace
