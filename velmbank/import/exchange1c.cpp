#include "exchange1c.h"

#include "codepage.h"

#include <QDate>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

constexpr char Marker[] = "1CClientBankExchange";
constexpr char Bom[] = "\xEF\xBB\xBF";
constexpr int FieldCount = int(std::size(Exchange1CFields));

constexpr int FieldOf(std::string_view key)
{
    for (int i = 0; i < FieldCount; ++i)
        if (key == Exchange1CFields[i].Key)
            return i;
    return -1;
}

constexpr int NumberField = FieldOf("Номер");
// The payer's and the payee's accounts: the own one, or the one of indirect settlements.
constexpr std::array<int, 2> PayerFields = {FieldOf("ПлательщикСчет"), FieldOf("ПлательщикРасчСчет")};
constexpr std::array<int, 2> PayeeFields = {FieldOf("ПолучательСчет"), FieldOf("ПолучательРасчСчет")};
static_assert(NumberField > 0 && PayerFields[0] > 0 && PayerFields[1] > 0 && PayeeFields[0] > 0
              && PayeeFields[1] > 0);

QByteArray Encode(const char *utf8, bool dos)
{
    const QString text = QString::fromUtf8(utf8);
    return dos ? ToCp866(text) : ToWin1251(text);
}

// The format's own words in one code page.
struct TWords
{
    explicit TWords(bool dos)
        : SectionDocument(Encode(Exchange1CFields[0].Key, dos)), EndDocument(Encode("КонецДокумента", dos)),
          SectionAccount(Encode("СекцияРасчСчет", dos)), EndAccount(Encode("КонецРасчСчет", dos)),
          EndFile(Encode("КонецФайла", dos)), Encoding(Encode("Кодировка", dos)),
          Account(Encode("РасчСчет", dos))
    {
        for (int i = 1; i < FieldCount; ++i)
            Fields.insert(Encode(Exchange1CFields[i].Key, dos), i);
    }
    QByteArray SectionDocument, EndDocument, SectionAccount, EndAccount, EndFile, Encoding, Account;
    QHash<QByteArray, int> Fields; // document key -> field
};

const TWords &Words(bool dos)
{
    static const TWords windows(false);
    static const TWords cp866(true);
    return dos ? cp866 : windows;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The no-break space of the code page, which banks put between digit groups too.
bool IsGroupBlank(char c, bool dos) { return c == ' ' || c == (dos ? '\xFF' : '\xA0'); }

// A part of the file's bytes.
struct TSpan
{
    qsizetype Begin = 0;
    qsizetype End = -1; // -1: absent
    bool Absent() const { return End < 0; }
    qsizetype Size() const { return End - Begin; }
};

TSpan Trim(const QByteArray &bytes, TSpan s)
{
    const char *p = bytes.constData();
    while (s.Begin < s.End && IsBlank(p[s.Begin]))
        ++s.Begin;
    while (s.End > s.Begin && IsBlank(p[s.End - 1]))
        --s.End;
    return s;
}

// One line: its text without the line break, and the parts of a "Key=Value" line.
struct TLine
{
    int Number = 0;
    TSpan Text;  // blanks at both ends dropped
    TSpan Key;   // blanks at both ends dropped; absent without "="
    TSpan Value; // blanks at both ends dropped
    bool Blank() const { return Text.Size() == 0; }
};

// The lines of the text, LF or CR LF each.
class TLineReader
{
public:
    TLineReader(const QByteArray &bytes, qsizetype at, int number) : FBytes(bytes), FAt(at), FNumber(number)
    {}
    qsizetype Position() const { return FAt; }
    int Number() const { return FNumber; }

    bool Next(TLine &line)
    {
        const qsizetype size = FBytes.size();
        if (FAt >= size)
            return false;
        const char *p = FBytes.constData();
        const void *nl = std::memchr(p + FAt, '\n', size_t(size - FAt));
        qsizetype end = nl ? static_cast<const char *>(nl) - p : size;
        const qsizetype next = nl ? end + 1 : size;
        if (end > FAt && p[end - 1] == '\r')
            --end;
        line = TLine();
        line.Number = ++FNumber;
        line.Text = Trim(FBytes, {FAt, end});
        const void *eq = std::memchr(p + FAt, '=', size_t(end - FAt));
        if (eq) {
            const qsizetype at = static_cast<const char *>(eq) - p;
            line.Key = Trim(FBytes, {FAt, at});
            line.Value = Trim(FBytes, {at + 1, end});
        }
        FAt = next;
        return true;
    }

private:
    const QByteArray &FBytes;
    qsizetype FAt;
    int FNumber;
};

// DD.MM.YYYY, a real date.
bool IsDate(const char *d, qsizetype size)
{
    if (size != 10 || d[2] != '.' || d[5] != '.')
        return false;
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
        if (!IsDigit(d[i]))
            return false;
    auto number = [d](int from, int count) {
        int v = 0;
        for (int i = from; i < from + count; ++i)
            v = v * 10 + (d[i] - '0');
        return v;
    };
    return QDate(number(6, 4), number(3, 2), number(0, 2)).isValid();
}

// H:MM, HH:MM or HH:MM:SS.
bool IsTime(const char *t, qsizetype size)
{
    const qsizetype colon = std::find(t, t + size, ':') - t;
    if (colon < 1 || colon > 2 || (size - colon != 3 && size - colon != 6))
        return false;
    for (qsizetype i = 0; i < size; ++i)
        if (!(IsDigit(t[i]) || (t[i] == ':' && (i == colon || i == colon + 3))))
            return false;
    return true;
}

// How much of a date key's value is the date: 0 for none ("", "0", "00.00.0000"), 10 for a
// date, also when a time follows it; -1 when it is no date.
int DateLength(const char *d, qsizetype size)
{
    const std::string_view v(d, size_t(size));
    if (v.empty() || v == "0" || v == "00.00.0000")
        return 0;
    if (size < 10 || !IsDate(d, 10))
        return -1;
    if (size == 10)
        return 10;
    qsizetype t = 10;
    while (t < size && IsBlank(d[t]))
        ++t;
    return t > 10 && IsTime(d + t, size - t) ? 10 : -1;
}

enum class TSum { Ok, Bad, Negative };

// A sum as the server takes it, into out: rubles, then a point and one or two digits of
// kopecks when there are any. A comma may be the decimal point, and blanks may stand between
// groups of three digits of the rubles.
TSum SumOf(const char *s, qsizetype size, bool dos, QByteArray &out)
{
    out.clear();
    if (size == 0)
        return TSum::Ok;
    if (s[0] == '-')
        return TSum::Negative;
    qsizetype i = 0;
    int group = 0;        // digits of the group in hand
    bool grouped = false; // a blank has been seen
    while (i < size && (IsDigit(s[i]) || IsGroupBlank(s[i], dos))) {
        if (IsDigit(s[i])) {
            out.append(s[i]);
            ++group;
            ++i;
            continue;
        }
        // Blanks between groups: the group before is the first one (one to three digits) or
        // one of three, and three digits follow.
        if (group == 0 || group > 3 || (grouped && group != 3))
            return TSum::Bad;
        while (i < size && IsGroupBlank(s[i], dos))
            ++i;
        grouped = true;
        group = 0;
    }
    if (out.isEmpty() || (grouped && group != 3))
        return TSum::Bad;
    if (i == size)
        return TSum::Ok;
    if (s[i] != '.' && s[i] != ',')
        return TSum::Bad;
    const qsizetype kopecks = size - i - 1;
    if (kopecks < 1 || kopecks > 2)
        return TSum::Bad;
    out.append('.');
    for (++i; i < size; ++i) {
        if (!IsDigit(s[i]))
            return TSum::Bad;
        out.append(s[i]);
    }
    return TSum::Ok;
}

// Well-formed UTF-8: no overlong forms, surrogates or code points beyond U+10FFFF.
bool IsUtf8(const char *text, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    for (qsizetype i = 0; i < size;) {
        const unsigned c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned least = 0;
        if ((c & 0xE0) == 0xC0) {
            more = 1;
            least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            least = 0x10000;
        } else {
            return false;
        }
        if (size - i <= more)
            return false;
        unsigned v = c & (0x3Fu >> more);
        for (int k = 1; k <= more; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            v = v << 6 | (p[i + k] & 0x3Fu);
        }
        if (v < least || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

bool HasHighBytes(const char *p, qsizetype size)
{
    return std::any_of(p, p + size, [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

class TExchange1CFile final : public TDbfRecords, public TExchangeStatement
{
public:
    TExchange1CFile(QString path, QByteArray bytes);

    const QString &Path() const override { return FPath; }
    const std::vector<TDbfFieldDef> &Defs() const override { return FDefs; }
    int LiveCount() const override { return int(FRecords.size()); }
    void Read(int live) override;
    bool HasRecord() const override { return FCurrent >= 0; }
    void AppendValue(int field, const QByteArray &separator, QByteArray &out) const override;
    const TExchangeStatement *Statement() const override { return this; }

    const QStringList &Accounts() const override { return FAccounts; }
    const QStringList &Warnings() const override { return FWarnings; }
    const std::vector<TExchangeDocument> &Faulty() const override { return FFaulty; }
    int DocumentCount() const override { return FDocumentCount; }
    QString CodePage() const override;
    int Ordinal(int live) const override { return FRecords[size_t(live)].Ordinal; }
    unsigned Direction(int live) const override { return FRecords[size_t(live)].Direction; }
    TExchangeDocument Document(int live) const override;

private:
    struct TRecord
    {
        qsizetype At; // the section's first line
        int Line;     // its line number
        int Ordinal;
        unsigned Direction;
        TSpan Number;
    };
    // A document section as read: each field's value and the line it came from, and for a
    // section that is no record the first fault found in it.
    struct TSection
    {
        std::vector<TSpan> Values;
        std::vector<int> Where;
        int FaultLine = 0;
        QString Fault;
    };
    using TParties = std::array<TSpan, 4>; // the payer's two accounts, the payee's two

    void Load();
    void TellCodePage();
    void FromUtf8();
    void ReadAccountSection(TLineReader &lines, const TLine &first);
    // Reads the rest of the document section that begins with first; the reader then stands
    // after its КонецДокумента. Loading, the values are checked and unknown keys noted.
    void ReadDocument(TLineReader &lines, const TLine &first, TSection &s, bool loading);
    void Take(TSection &s, int field, const TLine &line, bool loading) const;
    QString CheckValue(int field, TSpan value) const;
    void SetDirections(const std::vector<TParties> &parties);

    [[noreturn]] void Bad(int line, const QString &why) const;
    QString Shown(TSpan s) const;
    QByteArray Bytes(TSpan s) const
    {
        return QByteArray::fromRawData(FBytes.constData() + s.Begin, s.Size());
    }
    bool Is(TSpan s, const QByteArray &word) const { return !s.Absent() && Bytes(s) == word; }

    QString FPath;
    QByteArray FBytes;
    bool FDos = false;               // the words are CP866; otherwise Windows-1251
    bool FUtf8 = false;              // written in UTF-8, held converted to Windows-1251
    QHash<int, QString> FLineFaults; // lines of a UTF-8 text that have no Windows-1251 form
    std::vector<TDbfFieldDef> FDefs;
    std::vector<TRecord> FRecords;
    std::vector<TExchangeDocument> FFaulty;
    int FDocumentCount = 0;
    QStringList FAccounts;
    QSet<QByteArray> FAccountBytes;
    QStringList FWarnings;
    QSet<QByteArray> FUnknown; // unknown keys warned about
    TSection FSection;         // the current record
    int FCurrent = -1;
};

TExchange1CFile::TExchange1CFile(QString path, QByteArray bytes)
    : FPath(std::move(path)), FBytes(std::move(bytes))
{
    FDefs.reserve(size_t(FieldCount));
    for (const TExchange1CField &f : Exchange1CFields) {
        TDbfFieldDef def;
        def.Name = QByteArray(f.Name);
        def.TypeId = f.TypeId;
        def.Letter = f.TypeId == DbfType::Date ? 'D' : f.TypeId == DbfType::Float ? 'N' : 'C';
        def.Size = f.Size;
        def.Decimals = f.Precision;
        def.Precision = f.Precision;
        FDefs.push_back(def);
    }
    Load();
}

void TExchange1CFile::Bad(int line, const QString &why) const
{
    throw EDbfError(QStringLiteral("Файл %1, строка %2: %3").arg(FPath, QString::number(line), why));
}

QString TExchange1CFile::Shown(TSpan s) const
{
    if (s.Absent())
        return {};
    const QByteArray bytes = Bytes(s).left(60);
    return FDos ? FromCp866(bytes) : FromWin1251(bytes);
}

QString TExchange1CFile::CodePage() const
{
    return FUtf8  ? QStringLiteral("UTF-8")
           : FDos ? QStringLiteral("DOS (CP866)")
                  : QStringLiteral("Windows-1251");
}

TExchangeDocument TExchange1CFile::Document(int live) const
{
    const TRecord &r = FRecords[size_t(live)];
    return {r.Ordinal, r.Line, Shown(r.Number), {}, r.Direction};
}

void TExchange1CFile::Load()
{
    // The DOS end-of-file mark is no part of the text.
    while (FBytes.endsWith('\x1A'))
        FBytes.chop(1);
    if (const void *zero = std::memchr(FBytes.constData(), 0, size_t(FBytes.size()))) {
        const qsizetype at = static_cast<const char *>(zero) - FBytes.constData();
        Bad(int(std::count(FBytes.constBegin(), FBytes.constBegin() + at, '\n')) + 1,
            QStringLiteral("нулевой байт: это не текстовый файл"));
    }
    TellCodePage();
    const TWords &w = Words(FDos);

    TLineReader lines(FBytes, 0, 0);
    TLine line;
    lines.Next(line); // the marker
    TSection section;
    std::vector<TParties> parties;
    int end = 0; // the line of КонецФайла
    for (qsizetype at = lines.Position(); lines.Next(line); at = lines.Position()) {
        if (line.Blank())
            continue;
        if (end)
            Bad(line.Number, QStringLiteral("после строки КонецФайла (строка %1) есть ещё текст").arg(end));
        if (Is(line.Text, w.EndFile)) {
            end = line.Number;
        } else if (Is(line.Text, w.SectionAccount)) {
            ReadAccountSection(lines, line);
        } else if (Is(line.Key, w.SectionDocument)) {
            const int ordinal = ++FDocumentCount;
            ReadDocument(lines, line, section, true);
            const TSpan number = section.Values[size_t(NumberField)];
            if (!section.Fault.isEmpty()) {
                FFaulty.push_back({ordinal, section.FaultLine, Shown(number), section.Fault, 0});
                continue;
            }
            FRecords.push_back({at, line.Number, ordinal, 0, number});
            const auto &v = section.Values;
            parties.push_back({v[size_t(PayerFields[0])], v[size_t(PayerFields[1])],
                               v[size_t(PayeeFields[0])], v[size_t(PayeeFields[1])]});
        } else if (Is(line.Text, w.EndDocument) || Is(line.Text, w.EndAccount)) {
            Bad(line.Number, QStringLiteral("%1 без начала секции").arg(Shown(line.Text)));
        } else if (line.Key.Absent() || line.Key.Size() == 0) {
            Bad(line.Number, QStringLiteral("«%1» не является строкой Ключ=Значение").arg(Shown(line.Text)));
        } else if (Is(line.Key, w.Account) && line.Value.Size() > 0
                   && !FAccountBytes.contains(Bytes(line.Value))) {
            FAccountBytes.insert(QByteArray(Bytes(line.Value)));
            FAccounts.append(Shown(line.Value));
        }
        // Any other Key=Value line belongs to the header, which says nothing else we use.
    }
    if (!end)
        Bad(lines.Number(), QStringLiteral("файл кончается без строки КонецФайла"));
    SetDirections(parties);
}

void TExchange1CFile::TellCodePage()
{
    if (FBytes.startsWith(Bom)) {
        FBytes.remove(0, 3);
        FUtf8 = true;
    } else {
        FUtf8 = HasHighBytes(FBytes.constData(), FBytes.size()) && IsUtf8(FBytes.constData(), FBytes.size());
    }
    if (FUtf8) {
        // Whatever Кодировка says: exports of today write UTF-8 under "Windows" too.
        FromUtf8();
        return;
    }
    // The keys are in the code page their words are written in: the first line that is a word
    // of the format in Windows-1251 or in CP866 tells which.
    auto speaks = [this](const TLine &line, const TWords &w) {
        return Is(line.Text, w.EndFile) || Is(line.Text, w.SectionAccount) || Is(line.Text, w.EndDocument)
               || Is(line.Text, w.EndAccount) || Is(line.Key, w.SectionDocument) || Is(line.Key, w.Encoding)
               || Is(line.Key, w.Account) || (!line.Key.Absent() && w.Fields.contains(Bytes(line.Key)));
    };
    TLineReader lines(FBytes, 0, 0);
    TLine line;
    lines.Next(line);
    bool told = false;
    while (!told && lines.Next(line)) {
        for (const bool dos : {false, true})
            if (!told && speaks(line, Words(dos))) {
                FDos = dos;
                told = true;
            }
    }
    if (!told)
        throw EDbfError(QStringLiteral("Файл %1: кодировка не определяется: слова формата обмена (Кодировка, "
                                       "СекцияДокумент, КонецФайла) не читаются в нём ни в Windows-1251, "
                                       "ни в DOS (CP866), ни в UTF-8")
                            .arg(FPath));

    // What the header's Кодировка says, when it says something else, is worth a warning: the
    // setting's conversion may have been made for it.
    const TWords &w = Words(FDos);
    TLineReader header(FBytes, 0, 0);
    header.Next(line);
    while (header.Next(line)) {
        if (Is(line.Text, w.SectionAccount) || Is(line.Text, w.EndFile) || Is(line.Key, w.SectionDocument))
            break;
        if (!Is(line.Key, w.Encoding))
            continue;
        const QByteArray value = Bytes(line.Value);
        if (value.compare(FDos ? "DOS" : "Windows", Qt::CaseInsensitive) != 0)
            FWarnings.append(QStringLiteral("строка %1: Кодировка=%2, но слова формата записаны в %3: файл "
                                            "прочитан в %3")
                                 .arg(QString::number(line.Number), Shown(line.Value), CodePage()));
        return;
    }
    FWarnings.append(QStringLiteral("в заголовке нет ключа Кодировка: файл прочитан в %1").arg(CodePage()));
}

void TExchange1CFile::FromUtf8()
{
    // Line by line, so that a character Windows-1251 lacks is the fault of the line holding it.
    QByteArray out;
    out.reserve(FBytes.size());
    const char *p = FBytes.constData();
    const qsizetype size = FBytes.size();
    int number = 0;
    for (qsizetype at = 0; at < size;) {
        const void *nl = std::memchr(p + at, '\n', size_t(size - at));
        const qsizetype next = nl ? static_cast<const char *>(nl) - p + 1 : size;
        const char *b = p + at;
        const qsizetype n = next - at;
        ++number;
        at = next;
        if (!HasHighBytes(b, n)) {
            out.append(b, n);
        } else if (!IsUtf8(b, n)) {
            FLineFaults.insert(number, QStringLiteral("строка не в UTF-8, как остальной файл"));
            out.append(n, '?');
        } else {
            const QString text = QString::fromUtf8(b, n);
            const QByteArray bytes = ToWin1251(text); // one byte per UTF-16 unit
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (bytes[i] != '?' || text[i] == u'?')
                    continue;
                const QString c = text.mid(i, text[i].isHighSurrogate() ? 2 : 1);
                const QString code =
                    QString::number(c.toUcs4().value(0), 16).toUpper().rightJustified(4, u'0');
                FLineFaults.insert(
                    number, QStringLiteral("символа «%1» (U+%2) нет в кодировке Windows-1251").arg(c, code));
                break;
            }
            out.append(bytes);
        }
    }
    FBytes.swap(out);
}

void TExchange1CFile::ReadAccountSection(TLineReader &lines, const TLine &first)
{
    // Its balances and turnovers are not records; its account is one of the statement's.
    const TWords &w = Words(FDos);
    TLine line;
    bool more = false;
    while ((more = lines.Next(line))) {
        if (line.Blank())
            continue;
        if (Is(line.Text, w.EndAccount))
            return;
        if (Is(line.Text, w.EndFile) || Is(line.Text, w.SectionAccount) || Is(line.Text, w.EndDocument)
            || Is(line.Key, w.SectionDocument))
            break;
        if (line.Key.Absent() || line.Key.Size() == 0)
            Bad(line.Number, QStringLiteral("«%1» не является строкой Ключ=Значение").arg(Shown(line.Text)));
        if (Is(line.Key, w.Account) && line.Value.Size() > 0 && !FAccountBytes.contains(Bytes(line.Value))) {
            FAccountBytes.insert(QByteArray(Bytes(line.Value)));
            FAccounts.append(Shown(line.Value));
        }
    }
    Bad(first.Number, QStringLiteral("секция СекцияРасчСчет не закончена строкой КонецРасчСчет (%1)")
                          .arg(more ? QStringLiteral("строка %1 её не заканчивает").arg(line.Number)
                                    : QStringLiteral("конец файла")));
}

void TExchange1CFile::ReadDocument(TLineReader &lines, const TLine &first, TSection &s, bool loading)
{
    const TWords &w = Words(FDos);
    s.Values.assign(size_t(FieldCount), TSpan());
    s.Where.assign(size_t(FieldCount), 0);
    s.Fault.clear();
    s.FaultLine = 0;
    auto fault = [&s](int line, const QString &why) {
        if (s.Fault.isEmpty()) {
            s.Fault = why;
            s.FaultLine = line;
        }
    };
    auto lineFault = [&](const TLine &l) {
        if (loading && !FLineFaults.isEmpty())
            if (const auto it = FLineFaults.constFind(l.Number); it != FLineFaults.cend())
                fault(l.Number, *it);
    };
    lineFault(first);
    Take(s, 0, first, loading);
    TLine line;
    bool more = false;
    while ((more = lines.Next(line))) {
        if (line.Blank())
            continue;
        if (Is(line.Text, w.EndDocument))
            return;
        if (line.Key.Absent()) {
            if (Is(line.Text, w.EndFile) || Is(line.Text, w.SectionAccount) || Is(line.Text, w.EndAccount))
                break;
            fault(line.Number,
                  QStringLiteral("«%1» не является строкой Ключ=Значение").arg(Shown(line.Text)));
            continue;
        }
        if (Is(line.Key, w.SectionDocument))
            break;
        lineFault(line);
        if (line.Key.Size() == 0) {
            fault(line.Number,
                  QStringLiteral("«%1» не является строкой Ключ=Значение").arg(Shown(line.Text)));
            continue;
        }
        const int field = w.Fields.value(Bytes(line.Key), -1);
        if (field >= 0) {
            Take(s, field, line, loading);
        } else if (loading && !FUnknown.contains(Bytes(line.Key))) {
            FUnknown.insert(QByteArray(Bytes(line.Key)));
            FWarnings.append(QStringLiteral("неизвестный ключ «%1» (впервые в строке %2) не читается")
                                 .arg(Shown(line.Key), QString::number(line.Number)));
        }
    }
    Bad(first.Number, QStringLiteral("секция документа не закончена строкой КонецДокумента (%1)")
                          .arg(more ? QStringLiteral("строка %1 её не заканчивает").arg(line.Number)
                                    : QStringLiteral("конец файла")));
}

void TExchange1CFile::Take(TSection &s, int field, const TLine &line, bool loading) const
{
    const TSpan v = line.Value;
    if (const int before = s.Where[size_t(field)]) {
        // A key given again means nothing new when it is empty or the same.
        const TSpan old = s.Values[size_t(field)];
        if (v.Size() == 0 || Bytes(v) == Bytes(old))
            return;
        if (old.Size() != 0) {
            if (s.Fault.isEmpty()) {
                s.Fault = QStringLiteral("ключ %1 уже есть в этом документе (строка %2) с другим значением")
                              .arg(QString::fromUtf8(Exchange1CFields[field].Key))
                              .arg(before);
                s.FaultLine = line.Number;
            }
            return;
        }
    }
    s.Values[size_t(field)] = v;
    s.Where[size_t(field)] = line.Number;
    if (!loading || !s.Fault.isEmpty())
        return;
    const QString why = CheckValue(field, v);
    if (!why.isEmpty()) {
        s.Fault = why;
        s.FaultLine = line.Number;
    }
}

QString TExchange1CFile::CheckValue(int field, TSpan v) const
{
    const TExchange1CField &f = Exchange1CFields[field];
    const QString key = QString::fromUtf8(f.Key);
    const char *p = FBytes.constData() + v.Begin;
    const QString longer = QStringLiteral("значение ключа %1 длиннее %2 символов").arg(key).arg(f.Size);
    switch (f.TypeId) {
    case DbfType::Date:
        if (DateLength(p, v.Size()) < 0)
            return QStringLiteral("«%1» в ключе %2 не является датой ДД.ММ.ГГГГ").arg(Shown(v), key);
        return {};
    case DbfType::Float: {
        QByteArray sum;
        switch (SumOf(p, v.Size(), FDos, sum)) {
        case TSum::Negative: return QStringLiteral("«%1» в ключе %2: сумма меньше нуля").arg(Shown(v), key);
        case TSum::Bad:
            return QStringLiteral("«%1» в ключе %2 не является суммой: рубли и не больше двух знаков копеек "
                                  "после точки или запятой")
                .arg(Shown(v), key);
        case TSum::Ok: break;
        }
        return sum.size() > f.Size ? longer : QString();
    }
    default: {
        // As it will be sent: what the size limits is the text the server receives.
        QByteArray text;
        AppendDbfCharacters(p, int(v.Size()), text);
        return text.size() > f.Size ? longer : QString();
    }
    }
}

void TExchange1CFile::SetDirections(const std::vector<TParties> &parties)
{
    if (FAccountBytes.isEmpty())
        return; // payment orders from accounting: no direction to tell
    std::vector<TRecord> kept;
    kept.reserve(FRecords.size());
    auto ours = [this](TSpan s) { return !s.Absent() && FAccountBytes.contains(Bytes(s)); };
    for (size_t i = 0; i < FRecords.size(); ++i) {
        TRecord r = FRecords[i];
        const TParties &p = parties[i];
        r.Direction = (ours(p[0]) || ours(p[1]) ? ExchangeDirection::Out : 0u)
                      | (ours(p[2]) || ours(p[3]) ? ExchangeDirection::In : 0u);
        if (r.Direction) {
            kept.push_back(r);
            continue;
        }
        FFaulty.push_back(
            {r.Ordinal, r.Line, Shown(r.Number),
             QStringLiteral("ни счёт плательщика, ни счёт получателя не является счётом выписки (%1)")
                 .arg(FAccounts.join(QStringLiteral(", "))),
             0});
    }
    FRecords.swap(kept);
    std::stable_sort(
        FFaulty.begin(), FFaulty.end(),
        [](const TExchangeDocument &a, const TExchangeDocument &b) { return a.Ordinal < b.Ordinal; });
}

void TExchange1CFile::Read(int live)
{
    if (live == FCurrent)
        return;
    FCurrent = -1;
    const TRecord &r = FRecords[size_t(live)];
    TLineReader lines(FBytes, r.At, r.Line - 1);
    TLine first;
    lines.Next(first);
    ReadDocument(lines, first, FSection, false);
    FCurrent = live;
}

void TExchange1CFile::AppendValue(int field, const QByteArray &separator, QByteArray &out) const
{
    const TSpan s = FSection.Values[size_t(field)];
    if (s.Absent())
        return;
    const char *p = FBytes.constData() + s.Begin;
    const int size = int(s.Size());
    switch (FDefs[size_t(field)].TypeId) {
    case DbfType::Float: {
        QByteArray sum; // checked when the file was opened
        SumOf(p, size, FDos, sum);
        AppendDbfNumber(sum.constData(), int(sum.size()), separator, out);
        break;
    }
    case DbfType::Date: out.append(p, std::max(DateLength(p, size), 0)); break;
    default: AppendDbfCharacters(p, size, out); break;
    }
}

} // namespace

bool IsExchange1C(const QByteArray &head)
{
    constexpr qsizetype n = sizeof Marker - 1;
    const qsizetype from = head.startsWith(Bom) ? 3 : 0;
    if (head.mid(from, n) != QByteArray::fromRawData(Marker, n))
        return false;
    for (qsizetype i = from + n; i < head.size(); ++i) {
        if (head[i] == '\r' || head[i] == '\n')
            return true;
        if (!IsBlank(head[i]))
            return false;
    }
    return true;
}

std::unique_ptr<TDbfRecords> OpenExchange1C(const QString &path, const QByteArray &bytes)
{
    return std::make_unique<TExchange1CFile>(path, bytes);
}
