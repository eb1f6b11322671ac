// The DBF layer as the import reads client-bank files: structure, text forms, the walk over the
// records, the connection settings of an open, the structure check, and damaged files.
#include "Connect.h"
#include "ScriptedUi.h"
#include "clbgen.h"
#include "codepage.h"
#include "dbfops.h"
#include "dbfwriter.h"
#include "funcs.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sstream>

template <size_t N>
static QByteArray B(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

namespace {

class Dbf : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    // The file opened as the engine opens its own, with the link's report.
    bool OpenDbfFile(const QString &path) { return ::OpenDbfFile(link, file, path); }
    QByteArray DbfRecordText() const { return ::DbfRecordText(link, tbDBF); }
    bool CheckDbfFields(const QList<TDbfSettingField> &fields)
    {
        return ::CheckDbfFields(link, tbDBF, fields);
    }
    QString Path(const char *name) const { return dir.filePath(QString::fromUtf8(name)); }

    // Every record's text, walked as the import walks: from the last record back to the first.
    QList<QByteArray> WalkBackwards()
    {
        QList<QByteArray> texts;
        for (tbDBF.Last(); !tbDBF.Bof(); tbDBF.Prior())
            texts.prepend(DbfRecordText());
        return texts;
    }
    QString OpenError(const QString &path)
    {
        ui.Clear();
        EXPECT_FALSE(OpenDbfFile(path));
        EXPECT_FALSE(tbDBF.Active());
        const QStringList m = ui.Messages();
        return m.isEmpty() ? QString() : m.last();
    }

    QTemporaryDir dir;
    ScriptedUi ui;
    TLink link;
    TDbfFile file;
    TDbfDatabase &dbDBF = file.dbDBF;
    TDbfTable &tbDBF = file.tbDBF;
    QByteArray &LocaleDecimalSeparator = link.LocaleDecimalSeparator;
    bool &ShowErrors = link.ShowErrors;
    bool &KeepProtocol = link.KeepProtocol;
    QList<QByteArray> &Protocol = link.Protocol;
};

const QList<TestField> AllTypes = {{"NAME", 'C', 20},     {"ACC", 'N', 20}, {"SUMMA", 'N', 15, 2},
                                   {"RATE", 'F', 19, 18}, {"PAID", 'L', 1}, {"DATEDOC", 'D', 8},
                                   {"NOTE", 'M', 10},     {"STAMP", 'T', 8}};

} // namespace

TEST_F(Dbf, StructureFollowsTheTypeTable)
{
    ASSERT_TRUE(WriteDbf(Path("t.dbf"), AllTypes, {}));
    QList<QByteArray> blocks;
    ASSERT_TRUE(WriteFile(Path("t.dbt"), Dbt3({}, blocks)));
    ASSERT_TRUE(OpenDbfFile(Path("t.dbf"))) << ui.Messages().join(QLatin1Char('\n')).toStdString();

    struct Want
    {
        const char *name;
        int type, size, precision;
        bool floating;
    };
    const Want want[] = {{"NAME", 1, 20, 0, false},  {"ACC", 6, 20, 0, true},  {"SUMMA", 6, 15, 2, true},
                         {"RATE", 6, 19, 15, true},  {"PAID", 5, 1, 0, false}, {"DATEDOC", 9, 8, 0, false},
                         {"NOTE", 16, 10, 0, false}, {"STAMP", 0, 8, 0, false}};
    ASSERT_EQ(tbDBF.FieldCount(), 8);
    for (int i = 0; i < 8; ++i) {
        const TDbfFieldDef &d = tbDBF.FieldDefs()[size_t(i)];
        EXPECT_EQ(d.Name, want[i].name);
        EXPECT_EQ(d.TypeId, want[i].type) << want[i].name;
        EXPECT_EQ(d.Size, want[i].size) << want[i].name;
        EXPECT_EQ(d.Precision, want[i].precision) << want[i].name;
        EXPECT_EQ(d.Floating(), want[i].floating) << want[i].name;
    }
    EXPECT_EQ(tbDBF.FindField("datedoc"), 5);
    EXPECT_EQ(tbDBF.FindField("DATE"), -1);
    try {
        tbDBF.FieldByName("SUM");
        ADD_FAILURE() << "a missing field was found";
    } catch (const EDbfError &e) {
        EXPECT_TRUE(e.Text.startsWith(QStringLiteral("Поле SUM не найдено в файле ")))
            << e.Text.toStdString();
    }
    EXPECT_TRUE(EngineInstalled());
}

TEST_F(Dbf, ValuesReadInTheirTextForms)
{
    const QByteArray firm = ToCp866(QStringLiteral(" ООО \"Ромашка\""));
    const QByteArray note = ToCp866(QStringLiteral("Оплата по счёту № 17\r\nвторая строка"));
    const QByteArray longNote(1500, 'x'); // spans three blocks
    QList<QByteArray> blocks;
    ASSERT_TRUE(WriteFile(Path("v.dbt"), Dbt3({note, longNote}, blocks)));
    ASSERT_TRUE(WriteDbf(Path("v.dbf"), AllTypes,
                         {{{firm + "  ", "12345678901234567890", "0001234.50", "-0.500", "T", "20240304",
                            blocks[0], "\x01\x02\x03\x04"}},
                          {{"", "", "-0.00", ".25", "n", "", "", ""}},
                          {{"x", "00000000000000000042", "12.", "  +7.0", "?", "00000000", "0", ""}},
                          {{"y", "-1", "100", "0", "y", "20240229", blocks[1], ""}}}));
    ASSERT_TRUE(OpenDbfFile(Path("v.dbf")));
    const QList<QByteArray> texts = WalkBackwards();
    ASSERT_EQ(texts.size(), 4);
    auto join = [](const QList<QByteArray> &v) { return v.join('\x02'); };
    // Leading blanks and the file's own bytes stay; the 20-digit number arrives exactly.
    EXPECT_EQ(texts[0], join({firm, "12345678901234567890", "1234.5", "-0.5", "T", "04.03.2024", note, ""}));
    EXPECT_EQ(texts[1], join({"", "", "0", "0.25", "F", "", "", ""}));
    EXPECT_EQ(texts[2], join({"x", "42", "12", "7", "", "", "", ""}));
    EXPECT_EQ(texts[3], join({"y", "-1", "100", "0", "T", "29.02.2024", longNote, ""}));

    // The layer's own value carries the locale separator, which the record text maps onto ".".
    tbDBF.First();
    EXPECT_EQ(tbDBF.FieldText(2, ","), "1234,5");
    EXPECT_EQ(tbDBF.FieldText(2, ""), "1234.5");
    LocaleDecimalSeparator = ",";
    EXPECT_EQ(Piece(DbfRecordText(), '\x02', 3), "1234.5");
    LocaleDecimalSeparator = "\xa0,"; // further characters of the separator are dropped
    EXPECT_EQ(tbDBF.FieldText(3, LocaleDecimalSeparator), "-0\xa0,5");
    EXPECT_EQ(Piece(DbfRecordText(), '\x02', 4), "-0.5");
}

TEST_F(Dbf, RecordTextJoinsTheFieldsAndKeepsTheirCount)
{
    // A value carrying the record's or the wire's separators must not shift the fields after
    // it; a zero byte ends a character value as the original driver read it.
    // A wide field's padding may hold separators too: they go with the blanks.
    const QByteArray wide = "p\x1B" + QByteArray(19, ' ') + "q" + QByteArray(9, ' ') + "\x02 \x01";
    ASSERT_TRUE(WriteDbf(Path("s.dbf"), {{"A", 'C', 8}, {"B", 'C', 8}, {"C", 'C', 8}, {"D", 'C', 40}},
                         {{{"A", "B", "C", QByteArray(17, ' ') + "D"}},
                          {{B("x\x02y\x1Bz\x01"), B("ab\0cd"), B(" \x01"), wide}}}));
    ASSERT_TRUE(OpenDbfFile(Path("s.dbf")));
    const QList<QByteArray> texts = WalkBackwards();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], B("A\x02"
                          "B\x02"
                          "C\x02")
                            + QByteArray(17, ' ') + "D");
    EXPECT_EQ(texts[1], B("x y z\x02"
                          "ab\x02\x02"
                          "p ")
                            + QByteArray(19, ' ') + "q");
}

TEST_F(Dbf, DeletedRecordsAreSkippedInEveryDirection)
{
    QList<TestRecord> records;
    for (int i = 1; i <= 6; ++i)
        records << TestRecord{{QByteArray::number(i)}, i % 2 == 1 || i == 6};
    ASSERT_TRUE(WriteDbf(Path("d.dbf"), {{"N", 'C', 2}}, records));
    ASSERT_TRUE(OpenDbfFile(Path("d.dbf")));
    EXPECT_EQ(tbDBF.RecordCount(), 2);
    // Open stands on the first record.
    EXPECT_TRUE(tbDBF.Bof());
    EXPECT_FALSE(tbDBF.Eof());
    EXPECT_EQ(DbfRecordText(), "2");
    tbDBF.Next();
    EXPECT_EQ(DbfRecordText(), "4");
    EXPECT_EQ(tbDBF.RecNo(), 2);
    EXPECT_FALSE(tbDBF.Bof());
    tbDBF.Next(); // past the last: the cursor stays
    EXPECT_TRUE(tbDBF.Eof());
    EXPECT_EQ(DbfRecordText(), "4");
    tbDBF.Prior();
    EXPECT_FALSE(tbDBF.Eof());
    EXPECT_EQ(DbfRecordText(), "2");
    tbDBF.Prior();
    EXPECT_TRUE(tbDBF.Bof());
    EXPECT_EQ(tbDBF.RecNo(), 1);
    EXPECT_EQ(WalkBackwards(), (QList<QByteArray>{"2", "4"}));

    // A file whose records are all deleted reads as an empty one.
    for (TestRecord &r : records)
        r.Deleted = true;
    ASSERT_TRUE(WriteDbf(Path("d.dbf"), {{"N", 'C', 2}}, records));
    ASSERT_TRUE(OpenDbfFile(Path("d.dbf")));
    EXPECT_EQ(tbDBF.RecordCount(), 0);
    EXPECT_TRUE(WalkBackwards().isEmpty());
}

TEST_F(Dbf, FilesWithoutRecordsOrFields)
{
    ASSERT_TRUE(WriteDbf(Path("e.dbf"), {{"NUMDOC", 'C', 6}, {"SUMMA", 'N', 15, 2}}, {}));
    ASSERT_TRUE(OpenDbfFile(Path("e.dbf")));
    EXPECT_EQ(tbDBF.FieldCount(), 2);
    EXPECT_EQ(tbDBF.RecordCount(), 0);
    EXPECT_EQ(tbDBF.RecNo(), 0);
    tbDBF.Last();
    EXPECT_TRUE(tbDBF.Bof());
    EXPECT_TRUE(tbDBF.Eof());
    EXPECT_TRUE(WalkBackwards().isEmpty());
    EXPECT_THROW(DbfRecordText(), EDbfError);

    // A table without fields: one record of nothing but its deletion flag.
    QByteArray bare(32, '\0');
    bare[0] = 0x03;
    bare[4] = 1;  // one record
    bare[8] = 33; // the header and its end mark
    bare[10] = 1; // the deletion flag
    ASSERT_TRUE(WriteFile(Path("bare.dbf"), bare + "\x0D \x1A"));
    ASSERT_TRUE(OpenDbfFile(Path("bare.dbf"))) << ui.Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(tbDBF.FieldCount(), 0);
    EXPECT_EQ(WalkBackwards(), QList<QByteArray>{""});
}

TEST_F(Dbf, OpenDbfFileSettingsAndOneFileAtATime)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("b")));
    ASSERT_TRUE(WriteDbf(Path("a/first.dbf"), {{"F", 'C', 3}}, {{{"one"}}}));
    ASSERT_TRUE(WriteDbf(Path("b/second.dbf"), {{"S", 'C', 3}}, {{{"two"}}}));

    ASSERT_TRUE(OpenDbfFile(Path("a/first.dbf")));
    EXPECT_EQ(dbDBF.DatabaseName, QStringLiteral("eDBF"));
    EXPECT_EQ(dbDBF.DriverName, QStringLiteral("STANDARD"));
    EXPECT_EQ(dbDBF.Params, QStringList{QStringLiteral("PATH=") + Path("a")});
    EXPECT_TRUE(dbDBF.Connected());
    EXPECT_EQ(tbDBF.DatabaseName, QStringLiteral("eDBF"));
    EXPECT_EQ(tbDBF.TableName, QStringLiteral("first.dbf"));

    ASSERT_TRUE(OpenDbfFile(Path("b/second.dbf")));
    EXPECT_EQ(dbDBF.Params, QStringList{QStringLiteral("PATH=") + Path("b")});
    EXPECT_EQ(tbDBF.FilePath(), Path("b/second.dbf"));
    EXPECT_EQ(tbDBF.FieldDefs()[0].Name, "S");
    EXPECT_EQ(DbfRecordText(), "two");

    // A failed open leaves nothing open and makes the standard error report.
    KeepProtocol = true;
    EXPECT_EQ(OpenError(Path("a/none.dbf")), QStringLiteral("Файл %1 не найден").arg(Path("a/none.dbf")));
    EXPECT_EQ(ui.Events.first(), QStringLiteral("error caption: ") + ui.Title());
    ASSERT_EQ(Protocol.size(), 1);
    EXPECT_EQ(FromWin1251(Protocol[0]), QStringLiteral("Файл %1 не найден").arg(Path("a/none.dbf")));
    ShowErrors = false;
    ui.Clear();
    EXPECT_FALSE(OpenDbfFile(QString()));
    EXPECT_TRUE(ui.Events.isEmpty());
    EXPECT_EQ(FromWin1251(Protocol.last()), QStringLiteral("Не указан файл данных"));

    // The table is the chosen file whatever its extension (shapelib alone would read the .dbf
    // of the same name), and a table named without one is the .dbf file.
    ShowErrors = true;
    ASSERT_TRUE(WriteDbf(Path("a/export_txt.dbf"), {{"T", 'C', 3}}, {{{"txt"}}}));
    ASSERT_TRUE(QFile::rename(Path("a/export_txt.dbf"), Path("a/export.txt")));
    ASSERT_TRUE(WriteDbf(Path("a/export.dbf"), {{"T", 'C', 3}}, {{{"dbf"}}}));
    ASSERT_TRUE(OpenDbfFile(Path("a/export.txt")));
    EXPECT_EQ(DbfRecordText(), "txt");
    ASSERT_TRUE(WriteDbf(Path("a/upper.dbf"), {{"T", 'C', 3}}, {{{"up"}}}));
    ASSERT_TRUE(QFile::rename(Path("a/upper.dbf"), Path("a/UPPER.DBF")));
    ASSERT_TRUE(OpenDbfFile(Path("a/UPPER.DBF")));
    EXPECT_EQ(DbfRecordText(), "up");
    tbDBF.TableName = QStringLiteral("export");
    tbDBF.Open();
    EXPECT_EQ(DbfRecordText(), "dbf");
    tbDBF.TableName = QStringLiteral("first.dbf");
    dbDBF.DriverName = QStringLiteral("PARADOX");
    EXPECT_THROW(tbDBF.Open(), EDbfError);
}

TEST_F(Dbf, DamagedFilesGiveAClearErrorAndNoCrash)
{
    QList<TestRecord> records;
    for (int i = 0; i < 10; ++i)
        records << TestRecord{{"N" + QByteArray::number(i), QByteArray::number(i * 100) + ".25"}};
    ASSERT_TRUE(WriteDbf(Path("good.dbf"), {{"NUMDOC", 'C', 6}, {"SUMMA", 'N', 15, 2}}, records));
    const QByteArray good = ReadFile(Path("good.dbf"));
    ASSERT_EQ(good.size(), 32 + 2 * 32 + 1 + 10 * 22 + 1);
    const int header = 32 + 2 * 32 + 1;

    auto withByte = [&](int at, char value) {
        QByteArray b = good;
        b[at] = value;
        return b;
    };
    struct Case
    {
        const char *what;
        QByteArray bytes;
        QString error;
    };
    const QString bad = Path("bad.dbf");
    const QString notDbase = QStringLiteral("Файл %1 не является таблицей dBASE").arg(bad);
    const QString damaged = QStringLiteral("Файл %1 повреждён: ").arg(bad);
    const Case cases[] = {
        {"empty", QByteArray(), notDbase},
        {"text", QByteArray("NUMDOC;SUMMA\r\n101;15000.00\r\n102;2350.50\r\n"), notDbase},
        {"cut in record 7", good.left(header + 6 * 22 + 5),
         QStringLiteral("Файл %1 обрезан: в заголовке 10 записей, в файле только 6").arg(bad)},
        {"cut in the fields", good.left(60), damaged + QStringLiteral("заголовок длиннее файла")},
        {"no end of the fields", withByte(32 + 64, 'X'),
         damaged + QStringLiteral("нет конца описания полей")},
        {"record shorter than its fields", withByte(10, 21),
         damaged + QStringLiteral("поле SUMMA выходит за пределы записи")},
        {"record length 0", withByte(10, 0), damaged + QStringLiteral("длина записи равна нулю")},
        {"record count 2^32-1", withByte(7, '\xFF'), damaged + QStringLiteral("неверное число записей")},
        {"field of width 0", withByte(32 + 16, 0), damaged + QStringLiteral("поле NUMDOC нулевой ширины")},
        {"field without a name", withByte(32, 0), damaged + QStringLiteral("поле 1 без имени")},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(WriteFile(bad, c.bytes));
        EXPECT_EQ(OpenError(bad).toStdString(), c.error.toStdString()) << c.what;
    }
    EXPECT_EQ(OpenError(dir.path()), QStringLiteral("%1 не является файлом").arg(dir.path()));

    // A short record count reads only what it counts; trailing bytes are not records.
    ASSERT_TRUE(WriteFile(bad, withByte(4, 3) + QByteArray(100, 'z')));
    ASSERT_TRUE(OpenDbfFile(bad));
    EXPECT_EQ(WalkBackwards().size(), 3);

    // A value that is not of its type stops the walk with its record and field.
    QByteArray wrong = good;
    wrong.replace(header + 22 * 4 + 7, 15, "        12a4.25");
    ASSERT_TRUE(WriteFile(bad, wrong));
    ASSERT_TRUE(OpenDbfFile(bad));
    try {
        WalkBackwards();
        ADD_FAILURE() << "a damaged number was read";
    } catch (const EDbfError &e) {
        EXPECT_EQ(e.Text,
                  QStringLiteral("Файл %1, запись 5, поле SUMMA: «12a4.25» не является числом").arg(bad));
    }
}

TEST_F(Dbf, ValuesNotOfTheirType)
{
    const QList<TestField> fields = {{"SUMMA", 'N', 10, 2}, {"DATEDOC", 'D', 8}, {"PAID", 'L', 1}};
    struct Case
    {
        QList<QByteArray> values;
        int field;
        const char *raw, *kind;
    };
    const Case cases[] = {
        {{"**********", "", ""}, 1, "**********", "числом"}, // dBASE's overflow mark
        {{"1 000.00", "", ""}, 1, "1 000.00", "числом"},
        {{"1234,50", "", ""}, 1, "1234,50", "числом"},
        {{"-", "", ""}, 1, "-", "числом"},
        {{"1.5e3", "", ""}, 1, "1.5e3", "числом"},
        {{"", "20240230", ""}, 2, "20240230", "датой"},
        {{"", "2024-3-4", ""}, 2, "2024-3-4", "датой"},
        {{"", "", "X"}, 3, "X", "логическим значением"},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(WriteDbf(Path("w.dbf"), fields, {{c.values}}));
        ASSERT_TRUE(OpenDbfFile(Path("w.dbf")));
        try {
            tbDBF.FieldText(c.field - 1, ".");
            ADD_FAILURE() << c.raw << " was read";
        } catch (const EDbfError &e) {
            EXPECT_EQ(e.Text, QStringLiteral("Файл %1, запись 1, поле %2: «%3» не является %4")
                                  .arg(Path("w.dbf"), QString::fromLatin1(fields[c.field - 1].Name),
                                       QString::fromLatin1(c.raw), QString::fromUtf8(c.kind)));
        }
        // The record text fails the same way; the other fields still read.
        EXPECT_THROW(DbfRecordText(), EDbfError);
        for (int f = 0; f < 3; ++f)
            if (f != c.field - 1)
                EXPECT_NO_THROW(tbDBF.FieldText(f, "."));
    }
}

TEST_F(Dbf, MemoFilesAreReadWithBoundsChecks)
{
    const QList<TestField> fields = {{"NUMDOC", 'C', 4}, {"NOTE", 'M', 10}};
    QList<QByteArray> blocks;
    const QByteArray dbt = Dbt3({"first", B("sec\x02ond\0!")}, blocks);
    ASSERT_TRUE(WriteDbf(Path("m.dbf"), fields, {{{"1", blocks[0]}}, {{"2", blocks[1]}}}));

    const QString memo = Path("m.dbt");
    const QString memoError = QStringLiteral("Файл примечаний %1 повреждён: запись %2, поле NOTE: %3");
    EXPECT_EQ(OpenError(Path("m.dbf")), QStringLiteral("Не найден файл примечаний %1").arg(memo));

    ASSERT_TRUE(WriteFile(Path("m.DBT"), dbt));
    ASSERT_TRUE(OpenDbfFile(Path("m.dbf")));
    EXPECT_EQ(WalkBackwards(), (QList<QByteArray>{B("1\x02"
                                                    "first"),
                                                  B("2\x02"
                                                    "sec ond !")}));
    ASSERT_TRUE(QFile::remove(Path("m.DBT")));

    // The second memo's block is gone, then its end mark.
    ASSERT_TRUE(WriteFile(memo, dbt.left(1024)));
    ASSERT_TRUE(OpenDbfFile(Path("m.dbf")));
    tbDBF.Last();
    try {
        tbDBF.FieldText(1, ".");
        ADD_FAILURE() << "a memo beyond the file was read";
    } catch (const EDbfError &e) {
        EXPECT_EQ(e.Text, memoError.arg(memo).arg(2).arg(QStringLiteral("блок 2 за концом файла")));
    }
    ASSERT_TRUE(WriteFile(memo, dbt.left(1024 + 5)));
    ASSERT_TRUE(OpenDbfFile(Path("m.dbf")));
    tbDBF.Last();
    try {
        tbDBF.FieldText(1, ".");
        ADD_FAILURE() << "a memo without its end was read";
    } catch (const EDbfError &e) {
        EXPECT_EQ(e.Text, memoError.arg(memo).arg(2).arg(QStringLiteral("у текста в блоке 2 нет конца")));
    }

    // A memo longer than the server takes.
    QByteArray huge = dbt.left(512) + QByteArray(MaxMemoLength + 10, 'y') + "\x1A\x1A";
    ASSERT_TRUE(WriteFile(memo, huge));
    ASSERT_TRUE(OpenDbfFile(Path("m.dbf")));
    EXPECT_THROW(tbDBF.FieldText(1, "."), EDbfError);

    // A reference that is no block number.
    ASSERT_TRUE(WriteDbf(Path("m.dbf"), fields, {{{"1", "12x"}}}));
    ASSERT_TRUE(OpenDbfFile(Path("m.dbf")));
    EXPECT_THROW(tbDBF.FieldText(1, "."), EDbfError);
}

TEST_F(Dbf, DbaseFourMemoBlocks)
{
    // dBASE IV: the block size in the memo header, each text with its length in its block.
    ASSERT_TRUE(WriteDbf(Path("m4.dbf"), {{"NOTE", 'M', 10}}, {{{"1"}}, {{"3"}}}));
    QByteArray dbf = ReadFile(Path("m4.dbf"));
    dbf[0] = char(0x8B);
    ASSERT_TRUE(WriteFile(Path("m4.dbf"), dbf));
    QByteArray dbt(256, '\0');
    dbt[20] = 0; // block size 256
    dbt[21] = 1;
    auto block = [](const QByteArray &text, quint32 length) {
        QByteArray b = B("\xFF\xFF\x08\x00");
        for (int i = 0; i < 4; ++i)
            b += char((length >> (8 * i)) & 0xFF);
        b += text;
        return b + QByteArray((256 - b.size() % 256) % 256, '\0');
    };
    const QByteArray text(300, 't'); // two blocks
    dbt += block(text, 308) + block("second", 14);
    ASSERT_TRUE(WriteFile(Path("m4.dbt"), dbt));
    ASSERT_TRUE(OpenDbfFile(Path("m4.dbf")));
    EXPECT_EQ(WalkBackwards(), (QList<QByteArray>{text, "second"}));

    dbt.replace(256 * 3 + 4, 4, B("\x00\x10\x00\x00")); // longer than the file holds
    ASSERT_TRUE(WriteFile(Path("m4.dbt"), dbt));
    ASSERT_TRUE(OpenDbfFile(Path("m4.dbf")));
    tbDBF.Last();
    EXPECT_THROW(DbfRecordText(), EDbfError);
}

TEST_F(Dbf, CheckComparesNamesWithoutCaseTypesAndSizes)
{
    ASSERT_TRUE(
        WriteDbf(Path("c.dbf"),
                 {{"NUMDOC", 'C', 10}, {"SUMMA", 'N', 15, 2}, {"DATEDOC", 'D', 8}, {"NAZN", 'C', 160}}, {}));
    ASSERT_TRUE(OpenDbfFile(Path("c.dbf")));

    const QList<TDbfSettingField> setting = {{"summa", 6, 15}, {"numdoc", 1, 10}, {"DateDoc", 9, 8}};
    ui.Clear();
    EXPECT_TRUE(CheckDbfFields(setting));
    EXPECT_EQ(ui.Events, (QStringList{QStringLiteral("progress start: Проверка соответствия полей [3]"),
                                      QStringLiteral("progress: 1/3"), QStringLiteral("progress: 2/3"),
                                      QStringLiteral("progress: 3/3"), QStringLiteral("progress finish")}));

    const QList<TDbfSettingField> failing[] = {
        {{"numdoc", 1, 12}},                    // a character field of 12 against 10 in the file
        {{"summa", 6, 15}, {"PLATINN", 1, 12}}, // a field the file lacks
        {{"DATEDOC", 1, 8}},                    // another type
    };
    for (const auto &f : failing) {
        ui.Clear();
        EXPECT_FALSE(CheckDbfFields(f));
        EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Operation aborted")});
        EXPECT_EQ(ui.Events.last(), QStringLiteral("progress finish"));
        EXPECT_FALSE(ui.ProgressShown());
    }
    // The walk ends at the first failure.
    ui.Clear();
    EXPECT_FALSE(CheckDbfFields({{"NONE", 1, 1}, {"NUMDOC", 1, 10}}));
    EXPECT_FALSE(ui.Events.contains(QStringLiteral("progress: 1/2")));

    ui.Clear();
    EXPECT_FALSE(CheckDbfFields({}));
    EXPECT_TRUE(ui.Events.isEmpty());
}

TEST_F(Dbf, ClientBankFilesReadAsClbmakerDumpsThem)
{
    // Two independent readers of the same text forms: the sample maker's dump, which the M
    // routine tests feed to the server, and the layer.
    clb::Options options;
    options.count = 1500; // about 700 KB: the reader's window is refilled both ways
    options.seed = 11;
    options.demo = true;
    std::string error;
    const std::string path = QFile::encodeName(Path("clb.dbf")).toStdString();
    ASSERT_TRUE(clb::writeFile(path, options, error)) << error;
    std::ostringstream dump;
    ASSERT_TRUE(clb::dumpFile(path, dump, error)) << error;
    QList<QByteArray> expected = QByteArray::fromStdString(dump.str()).split('\n');
    expected.removeLast();

    ASSERT_TRUE(OpenDbfFile(Path("clb.dbf")));
    EXPECT_EQ(tbDBF.RecordCount(), 1500);
    EXPECT_EQ(WalkBackwards(), expected);
    QList<QByteArray> forwards;
    for (tbDBF.First(); !tbDBF.Eof(); tbDBF.Next())
        forwards << DbfRecordText();
    EXPECT_EQ(forwards, expected);
}
