// Arbitrary bytes as a 1C exchange text, read the way the import reads it: opened, then every
// value of every record, forwards and backwards. Inputs either follow the marker line as they
// are, or patch a valid text in either code page or in UTF-8, so that a short run gets past the
// header; the statement's accounts, faulty documents and directions are read too.

#include "codepage.h"
#include "dbf.h"
#include "exchange1c.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

const QByteArray &Template(int kind)
{
    static const QByteArray windows =
        QByteArray("1CClientBankExchange\r\n"
                   "\xc2\xe5\xf0\xf1\xe8\xff\xd4\xee\xf0\xec\xe0\xf2\xe0=1.03\r\n" // ВерсияФормата
                   "\xca\xee\xe4\xe8\xf0\xee\xe2\xea\xe0=Windows\r\n"              // Кодировка
                   "\xd1\xe5\xea\xf6\xe8\xff\xd0\xe0\xf1\xf7\xd1\xf7\xe5\xf2\r\n" // СекцияРасчСчет
                   "\xca\xee\xed\xe5\xf6\xd0\xe0\xf1\xf7\xd1\xf7\xe5\xf2\r\n" // КонецРасчСчет
                   "\xd1\xe5\xea\xf6\xe8\xff\xc4\xee\xea\xf3\xec\xe5\xed\xf2=x\r\n" // СекцияДокумент
                   "\xcd\xee\xec\xe5\xf0=101\r\n"                                   // Номер
                   "\xc4\xe0\xf2\xe0=04.03.2024\r\n"                                // Дата
                   "\xd1\xf3\xec\xec\xe0=15000.00\r\n"                              // Сумма
                   "\xcf\xeb\xe0\xf2\xe5\xeb\xfc\xf9\xe8\xea\xc8\xcd\xcd=7701234560\n" // ПлательщикИНН
                   "\xca\xee\xed\xe5\xf6\xc4\xee\xea\xf3\xec\xe5\xed\xf2\xe0\r\n" // КонецДокумента
                   "\xca\xee\xed\xe5\xf6\xd4\xe0\xe9\xeb\xe0\r\n");               // КонецФайла
    static const QByteArray cp866 = ToCp866(FromWin1251(windows)).replace("=Windows", "=DOS");
    static const QByteArray utf8 = "\xEF\xBB\xBF" + FromWin1251(windows).toUtf8();
    return kind == 0 ? windows : kind == 1 ? cp866 : utf8;
}

void Read(const QByteArray &text)
{
    TDbfDatabase db;
    db.DatabaseName = QStringLiteral("fuzz");
    db.DriverName = QStringLiteral("STANDARD");
    TDbfTable table(db);
    table.DatabaseName = db.DatabaseName;
    try {
        table.OpenBytes(QStringLiteral("fuzz.txt"), text, {});
    } catch (const EDbfError &) {
        return;
    }
    // A text that opened reads completely: nothing may fail after the open.
    for (table.First(); !table.Eof(); table.Next())
        table.RecordText(",");
    for (table.Last(); !table.Bof(); table.Prior())
        table.RecordText(".");
    if (const TExchangeStatement *s = table.Statement()) {
        qsizetype seen = s->Accounts().size() + s->Warnings().size();
        for (const TExchangeDocument &d : s->Faulty())
            seen += d.Number.size() + d.Fault.size();
        for (int live = 0; live < table.RecordCount(); ++live)
            seen += s->Document(live).Number.size() + s->Direction(live) + s->Ordinal(live);
        if (seen < 0 || s->DocumentCount() < table.RecordCount())
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray in(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    if (data[0] % 4 == 0) {
        Read(QByteArray("1CClientBankExchange\n") + in);
    } else {
        // The valid text with bytes patched, then possibly cut short.
        QByteArray text = Template(data[0] % 4 - 1);
        qsizetype i = 0;
        for (; i + 3 <= in.size(); i += 3) {
            const qsizetype at = (qsizetype(quint8(in[i])) | qsizetype(quint8(in[i + 1])) << 8) % text.size();
            text[at] = in[i + 2];
        }
        if (i < in.size())
            text.chop(quint8(in[i]) % text.size());
        Read(text);
    }
    return 0;
}
