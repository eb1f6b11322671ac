// The 1C exchange text as the gateway reads it: the fixed structure (as dbfdump prints it and
// as the wizard takes it), the same documents as the dBASE sample of the same seed in either
// code page and line end, and every bad input refused at open with its line, nothing imported.
#include "importtest.h"

#include "Routines.h"
#include "clbgen.h"
#include "dbfsettings.h"
#include "funcs.h"

#include <QProcess>

namespace {

// The structure of every exchange text, as dbfdump prints it: name, type, size, precision.
const QByteArray Structure =
    "SEKTSIYADOKUMENT\t1\t255\t0\nNOMER\t1\t255\t0\nDATA\t9\t10\t0\n"
    "SUMMA\t6\t18\t2\nKVITANTSIYADATA\t9\t10\t0\nKVITANTSIYAVREMYA\t1\t8\t0\n"
    "KVITANTSIYASODERZHANIE\t1\t255\t0\nPLATELSHCHIKSCHET\t1\t20\t0\nDATASPISANO\t9\t10\t0\n"
    "PLATELSHCHIK\t1\t255\t0\nPLATELSHCHIKINN\t1\t12\t0\nPLATELSHCHIK1\t1\t255\t0\n"
    "PLATELSHCHIK2\t1\t255\t0\nPLATELSHCHIK3\t1\t255\t0\nPLATELSHCHIK4\t1\t255\t0\n"
    "PLATELSHCHIKRASCHSCHET\t1\t20\t0\nPLATELSHCHIKBANK1\t1\t255\t0\nPLATELSHCHIKBANK2\t1\t255\t0\n"
    "PLATELSHCHIKBIK\t1\t9\t0\nPLATELSHCHIKKORSCHET\t1\t20\t0\nPOLUCHATELSCHET\t1\t20\t0\n"
    "DATAPOSTUPILO\t9\t10\t0\nPOLUCHATEL\t1\t255\t0\nPOLUCHATELINN\t1\t12\t0\n"
    "POLUCHATEL1\t1\t255\t0\nPOLUCHATEL2\t1\t255\t0\nPOLUCHATEL3\t1\t255\t0\n"
    "POLUCHATEL4\t1\t255\t0\nPOLUCHATELRASCHSCHET\t1\t20\t0\nPOLUCHATELBANK1\t1\t255\t0\n"
    "POLUCHATELBANK2\t1\t255\t0\nPOLUCHATELBIK\t1\t9\t0\nPOLUCHATELKORSCHET\t1\t20\t0\n"
    "VIDPLATEZHA\t1\t255\t0\nVIDOPLATY\t1\t2\t0\nKOD\t1\t25\t0\n"
    "KODNAZPLATEZHA\t1\t1\t0\nSTATUSSOSTAVITELYA\t1\t2\t0\nPLATELSHCHIKKPP\t1\t9\t0\n"
    "POLUCHATELKPP\t1\t9\t0\nPOKAZATELKBK\t1\t20\t0\nOKATO\t1\t11\t0\n"
    "POKAZATELOSNOVANIYA\t1\t2\t0\nPOKAZATELPERIODA\t1\t10\t0\nPOKAZATELNOMERA\t1\t15\t0\n"
    "POKAZATELDATY\t1\t10\t0\nPOKAZATELTIPA\t1\t2\t0\nOCHEREDNOST\t1\t2\t0\n"
    "SROKAKTSEPTA\t1\t255\t0\nVIDAKKREDITIVA\t1\t255\t0\nSROKPLATEZHA\t9\t10\t0\n"
    "USLOVIEOPLATY1\t1\t255\t0\nUSLOVIEOPLATY2\t1\t255\t0\nUSLOVIEOPLATY3\t1\t255\t0\n"
    "PLATEZHPOPREDST\t1\t255\t0\nDOPOLNUSLOVIYA\t1\t255\t0\nNOMERSCHETAPOSTAVSHCHIKA\t1\t255\t0\n"
    "DATAOTSYLKIDOK\t9\t10\t0\nNAZNACHENIEPLATEZHA\t1\t255\t0\nNAZNACHENIEPLATEZHA1\t1\t255\t0\n"
    "NAZNACHENIEPLATEZHA2\t1\t255\t0\nNAZNACHENIEPLATEZHA3\t1\t255\t0\nNAZNACHENIEPLATEZHA4\t1\t255\t0\n"
    "NAZNACHENIEPLATEZHA5\t1\t255\t0\nNAZNACHENIEPLATEZHA6\t1\t255\t0\n";
// Lines in UTF-8 as a text in the code page, each ended by eol.
QByteArray Text(const QStringList &lines, bool dos = false, const char *eol = "\r\n")
{
    QByteArray out;
    for (const QString &l : lines)
        out += (dos ? ToCp866(l) : ToWin1251(l)) + eol;
    return out;
}

// A valid text around one document's lines; the header carries what the format allows there.
QStringList File(const QStringList &document, const QString &encoding = QStringLiteral("Windows"))
{
    QStringList l{QStringLiteral("1CClientBankExchange"), QStringLiteral("ВерсияФормата=1.03"),
                  QStringLiteral("Кодировка=") + encoding, QStringLiteral("Отправитель=Банк"),
                  QStringLiteral("СекцияРасчСчет"), QStringLiteral("РасчСчет=40702810338000012345"),
                  QStringLiteral("КонецРасчСчет"),
                  QStringLiteral("СекцияДокумент=Платежное поручение"), QStringLiteral("Номер=1"),
                  QStringLiteral("Сумма=10.00"), QStringLiteral("КонецДокумента")};
    return l + document + QStringList{QStringLiteral("КонецФайла")};
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
    static QList<QList<QByteArray>> Records()
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
};

TEST_F(Exchange1C, StructureIsTheFixedTableAsDbfdumpPrintsItAndTheWizardTakesIt)
{
    // Blanks around keys, a missing key, blank lines, trailing blanks and the DOS end mark.
    const QByteArray text =
        Text(File({QStringLiteral("СекцияДокумент=Платежное поручение"), QStringLiteral(" Дата = 04.03.2024 "),
                   QStringLiteral("Сумма=15000.00"), QStringLiteral(""), QStringLiteral("Номер=101  "),
                   QStringLiteral("Плательщик=ООО \"Ромашка\""), QStringLiteral("КонецДокумента")},
                  QStringLiteral("DOS")),
             true) + "\x1A";
    const QString path = Write("vypiska.txt", text);

    QProcess dump;
    dump.start(QStringLiteral(DBFDUMP_PATH), {path});
    ASSERT_TRUE(dump.waitForFinished(20000));
    EXPECT_EQ(dump.readAllStandardError(), "");
    const QByteArray tail(61, '\x02');
    const QByteArray kind = ToCp866(QStringLiteral("Платежное поручение"));
    EXPECT_EQ(dump.readAllStandardOutput(),
              Structure + "\n" + kind + "\x02" "1\x02\x02" "10" + tail + "\n" + kind +
                  "\x02" "101\x02" "04.03.2024\x02" "15000\x02\x02\x02\x02\x02\x02" +
                  ToCp866(QStringLiteral("ООО \"Ромашка\"")) + QByteArray(55, '\x02') + "\n");

    // The wizard's setting from the file: every field a row the settings accept.
    LoadDbfStructure(path);
    EXPECT_EQ(ui.Messages(), QStringList());
    ASSERT_EQ(dm.tbSet->RecordCount(), 65);
    QByteArray rows;
    for (int r = 0; r < 65; ++r)
        rows += dm.tbSet->StringAt(r, TdmSet::sfName) + '\t' + dm.tbSet->StringAt(r, TdmSet::sfTypeId) +
                '\t' + dm.tbSet->StringAt(r, TdmSet::sfLength) + '\t' +
                dm.tbSet->StringAt(r, TdmSet::sfPrecision) + '\n';
    EXPECT_EQ(rows, Structure);
    EXPECT_EQ(dm.tbSet->StringAt(3, TdmSet::sfType), "FLOAT");
    EXPECT_EQ(dm.tbSet->StringAt(2, TdmSet::sfType), "DATE");
}

TEST_F(Exchange1C, SameDocumentsAsTheDbfSampleInEitherCodePageWithCrLfOrLf)
{
    clb::Options o;
    o.count = 40;
    o.seed = 11;
    o.demo = true;
    std::string error;
    const QString dbf = Path("clb.dbf"), win = Path("win.txt"), dos = Path("dos.txt");
    ASSERT_TRUE(clb::writeFile(dbf.toStdString(), o, error)) << error;
    o.format = clb::Format::Exchange1CWindows;
    ASSERT_TRUE(clb::writeFile(win.toStdString(), o, error)) << error;
    o.format = clb::Format::Exchange1CDos;
    ASSERT_TRUE(clb::writeFile(dos.toStdString(), o, error)) << error;
    QFile f(dos);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray crlf = f.readAll();
    ASSERT_TRUE(crlf.contains("\r\n"));
    const QString lf = Write("lf.txt", QByteArray(crlf).replace("\r\n", "\n"));

    ASSERT_TRUE(OpenDbfFile(dbf));
    const QList<QList<QByteArray>> sample = Records();
    ASSERT_EQ(sample.size(), 40);
    // The sample's fields in the exchange structure: NUMDOC is Номер, DATEDOC Дата, and so on.
    const char *twins[] = {"NOMER", "DATA", "SUMMA", "PLATELSHCHIK", "PLATELSHCHIKINN",
                           "PLATELSHCHIKSCHET", "PLATELSHCHIKBIK", "POLUCHATEL", "POLUCHATELINN",
                           "POLUCHATELSCHET", "POLUCHATELBIK", "NAZNACHENIEPLATEZHA"};
    for (const QString &path : {dos, lf, win}) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_TRUE(OpenDbfFile(path)) << ui.Messages().join(u'\n').toStdString();
        const QList<QList<QByteArray>> read = Records();
        ASSERT_EQ(read.size(), sample.size());
        for (int r = 0; r < read.size(); ++r) {
            for (int i = 0; i < 12; ++i) {
                // A DOS text gives the dBASE file's own bytes; a Windows one the same text.
                QByteArray want = sample[r][i];
                if (path == win)
                    want = ToWin1251(FromCp866(want));
                ASSERT_EQ(read[r][tbDBF.FindField(twins[i])], want) << r << ' ' << twins[i];
            }
            EXPECT_EQ(read[r][tbDBF.FindField("KOD")], "");
        }
        tbDBF.Last();
        EXPECT_EQ(CountChar(DbfRecordText(), '\x02'), 64);
    }
}

TEST_F(Exchange1C, EveryBadInputNamesItsLineAndNothingIsImported)
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
        {Text(File({doc, QStringLiteral("ПлательщикИНН=7701234560123"), end})),
         QStringLiteral("13: значение ключа ПлательщикИНН длиннее 12 символов")},
        {Text(File({doc, QStringLiteral("Дата=2024-03-04"), end})),
         QStringLiteral("13: «2024-03-04» в ключе Дата не является датой ДД.ММ.ГГГГ")},
        {Text(File({doc, QStringLiteral("Дата=30.02.2024"), end})),
         QStringLiteral("13: «30.02.2024» в ключе Дата не является датой ДД.ММ.ГГГГ")},
        {Text(File({doc, QStringLiteral("Сумма=12,50"), end})),
         QStringLiteral("13: «12,50» в ключе Сумма не является суммой: рубли, точка и копейки")},
        {Text(File({doc, QStringLiteral("Сумма=1.005"), end})),
         QStringLiteral("13: «1.005» в ключе Сумма не является суммой: рубли, точка и копейки")},
        {Text(File({doc, QStringLiteral("Номер=2"), doc, end})),
         QStringLiteral("12: секция документа не закончена строкой КонецДокумента (строка 14 её не заканчивает)")},
        {Text(lines(head + doc + QStringLiteral("\nНомер=2"))),
         QStringLiteral("3: секция документа не закончена строкой КонецДокумента (конец файла)")},
        {Text(File({doc, end}).mid(0, 13)), QStringLiteral("13: файл кончается без строки КонецФайла")},
        {Text(File({}, QStringLiteral("UTF-8"))),
         QStringLiteral("3: неизвестная кодировка «UTF-8», ожидается Windows или DOS")},
        {Text(lines(QStringLiteral("1CClientBankExchange\nВерсияФормата=1.03\n\n") + doc)),
         QStringLiteral("4: в заголовке файла нет ключа Кодировка")},
        {Text(File({doc, QStringLiteral("Комментарий=срочно"), end})),
         QStringLiteral("13: неизвестный ключ документа «Комментарий»")},
        {Text(File({doc, QStringLiteral("Номер=2"), QStringLiteral("Номер=3"), end})),
         QStringLiteral("14: ключ Номер уже есть в этом документе (строка 13)")},
        {Text(File({doc, QStringLiteral("Плательщик"), end})),
         QStringLiteral("13: «Плательщик» не является строкой Ключ=Значение")},
        {Text(File({})) + Text({doc, end}),
         QStringLiteral("13: после строки КонецФайла (строка 12) есть ещё текст")},
        {Text(File({end})), QStringLiteral("12: КонецДокумента без начала секции")},
        {Text(File({doc, QStringLiteral("Номер=2"), end})).replace("=2", QByteArray("=\0", 2)),
         QStringLiteral("13: нулевой байт: это не текстовый файл")},
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

} // namespace
