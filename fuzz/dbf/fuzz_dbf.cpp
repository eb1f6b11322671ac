// Arbitrary bytes as a client-bank file and its memo file, read the way the import reads them:
// every value of every record, forwards and backwards. Besides raw files, inputs may patch a
// valid table of every field type, so that a short run reaches the value readers too.

#include "dbf.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

struct TField
{
    const char *Name;
    char Type;
    int Width, Decimals;
};

QByteArray Table(const QList<TField> &fields, const QList<QByteArray> &records)
{
    int length = 1;
    for (const TField &f : fields)
        length += f.Width;
    const int header = 32 + 32 * int(fields.size()) + 1;
    QByteArray d(32, '\0');
    d[0] = char(0x83);
    d[4] = char(records.size());
    d[8] = char(header & 0xFF);
    d[9] = char(header >> 8);
    d[10] = char(length & 0xFF);
    d[11] = char(length >> 8);
    d[29] = 0x26;
    for (const TField &f : fields) {
        QByteArray desc(32, '\0');
        desc.replace(0, int(qstrlen(f.Name)), f.Name);
        desc[11] = f.Type;
        desc[16] = char(f.Width);
        desc[17] = char(f.Decimals);
        d += desc;
    }
    d += '\x0D';
    for (const QByteArray &r : records)
        d += r.leftJustified(length, ' ', true);
    return d + '\x1A';
}

const QByteArray &TemplateDbf()
{
    static const QByteArray t = Table({{"NUMDOC", 'C', 6, 0},
                                       {"SUMMA", 'N', 20, 2},
                                       {"RATE", 'F', 8, 3},
                                       {"PAID", 'L', 1, 0},
                                       {"DATEDOC", 'D', 8, 0},
                                       {"NOTE", 'M', 10, 0},
                                       {"PIC", 'B', 10, 0},
                                       {"X", 'I', 4, 0}},
                                      {QByteArray(" 101   ") + "            15000.00" + "   0.125" + "T"
                                           + "20240304" + "         1" + "          " + "abcd",
                                       QByteArray("*102   ") + "                -1.5" + "        " + "f"
                                           + "        " + "         2" + "          " + "    ",
                                       QByteArray(" \xE0\xAE\x02   ") + "12345678901234567890" + "   .5   "
                                           + "?" + "00000000" + "          " + "         3" + "    "});
    return t;
}

const QByteArray &TemplateDbt()
{
    static const QByteArray t = [] {
        QByteArray m(512, '\0');
        m[0] = 4;
        m[16] = 0x03;
        QByteArray one = QByteArray("first memo\r\nline two") + "\x1A\x1A";
        m += one.leftJustified(512, '\0');
        QByteArray two = QByteArray("\xFF\xFF\x08\x00\x0E\x00\x00\x00"
                                    "second",
                                    14);
        m += two.leftJustified(512, '\0');
        m += QByteArray("third") + "\x1A\x1A";
        return m;
    }();
    return t;
}

void Read(const QByteArray &dbf, const QByteArray &dbt)
{
    TDbfDatabase db;
    db.DatabaseName = QStringLiteral("fuzz");
    db.DriverName = QStringLiteral("STANDARD");
    TDbfTable table(db);
    table.DatabaseName = db.DatabaseName;
    try {
        table.OpenBytes(QStringLiteral("fuzz.dbf"), dbf, dbt);
    } catch (const EDbfError &) {
        return;
    }
    for (const TDbfFieldDef &def : table.FieldDefs())
        table.FindField(def.Name);
    auto values = [&table](const QByteArray &separator) {
        for (int f = 0; f < table.FieldCount(); ++f) {
            try {
                table.FieldText(f, separator);
            } catch (const EDbfError &) {}
        }
    };
    try {
        for (table.First(); !table.Eof(); table.Next())
            values(".");
        for (table.Last(); !table.Bof(); table.Prior())
            values(",");
    } catch (const EDbfError &) {}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray in(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0: // a table alone
        Read(in, {});
        break;
    case 1: { // a table and its memo file, the memo's length first
        if (in.size() < 2)
            return 0;
        const qsizetype memo =
            std::min<qsizetype>(qsizetype(quint8(in[0])) | qsizetype(quint8(in[1])) << 8, in.size() - 2);
        Read(in.mid(2 + memo), in.mid(2, memo));
        break;
    }
    default: { // the valid table and memo with bytes patched, then possibly cut short
        QByteArray joint = TemplateDbf() + TemplateDbt();
        qsizetype i = 0;
        for (; i + 3 <= in.size(); i += 3) {
            const qsizetype at =
                (qsizetype(quint8(in[i])) | qsizetype(quint8(in[i + 1])) << 8) % joint.size();
            joint[at] = in[i + 2];
        }
        qsizetype dbfSize = TemplateDbf().size();
        QByteArray dbt = joint.mid(dbfSize);
        if (i < in.size())
            dbfSize -= quint8(in[i]) % dbfSize;
        Read(joint.left(dbfSize), dbt);
        break;
    }
    }
    return 0;
}
