#include "exchange1c.h"

#include "codepage.h"

#include <QDate>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr char Marker[] = "1CClientBankExchange";
constexpr int FieldCount = int(std::size(Exchange1CFields));

enum class TCodePage { Windows, Dos };

QByteArray Encode(const char *utf8, TCodePage cp)
{
    const QString text = QString::fromUtf8(utf8);
    return cp == TCodePage::Windows ? ToWin1251(text) : ToCp866(text);
}

// The format's own words in one code page.
struct TWords
{
    explicit TWords(TCodePage cp)
        : SectionDocument(Encode(Exchange1CFields[0].Key, cp)),
          EndDocument(Encode("КонецДокумента", cp)),
          SectionAccount(Encode("СекцияРасчСчет", cp)),
          EndAccount(Encode("КонецРасчСчет", cp)),
          EndFile(Encode("КонецФайла", cp)),
          Encoding(Encode("Кодировка", cp))
    {
        for (int i = 1; i < FieldCount; ++i)
            Fields.insert(Encode(Exchange1CFields[i].Key, cp), i);
    }
    QByteArray SectionDocument, EndDocument, SectionAccount, EndAccount, EndFile, Encoding;
    QHash<QByteArray, int> Fields; // document key -> field
};

const TWords &Words(TCodePage cp)
{
    static const TWords windows(TCodePage::Windows);
    static const TWords dos(TCodePage::Dos);
    return cp == TCodePage::Windows ? windows : dos;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

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
    TSpan Text;     // blanks at both ends dropped
    TSpan Key;      // blanks at both ends dropped; absent without "="
    TSpan Value;    // everything after the first "="
    bool Blank() const { return Text.Size() == 0; }
};

// The lines of the text, LF or CR LF each.
class TLineReader
{
public:
    TLineReader(const QByteArray &bytes, qsizetype at, int number) : FBytes(bytes), FAt(at), FNumber(number) {}
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
            line.Value = {at + 1, end};
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
        if (d[i] < '0' || d[i] > '9')
            return false;
    auto number = [d](int from, int count) {
        int v = 0;
        for (int i = from; i < from + count; ++i)
            v = v * 10 + (d[i] - '0');
        return v;
    };
    return QDate(number(6, 4), number(3, 2), number(0, 2)).isValid();
}

// Rubles, then a point and one or two digits of kopecks when there are any.
bool IsSum(const char *s, qsizetype size)
{
    qsizetype i = 0;
    while (i < size && s[i] >= '0' && s[i] <= '9')
        ++i;
    if (i == 0)
        return false;
    if (i == size)
        return true;
    if (s[i] != '.')
        return false;
    const qsizetype kopecks = size - i - 1;
    if (kopecks < 1 || kopecks > 2)
        return false;
    for (++i; i < size; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

class TExchange1CFile final : public TDbfRecords
{
public:
    TExchange1CFile(QString path, QByteArray bytes);

    const QString &Path() const override { return FPath; }
    const std::vector<TDbfFieldDef> &Defs() const override { return FDefs; }
    int LiveCount() const override { return int(FDocs.size()); }
    void Read(int live) override;
    bool HasRecord() const override { return FCurrent >= 0; }
    void AppendValue(int field, const QByteArray &separator, QByteArray &out) const override;

private:
    struct TDoc
    {
        qsizetype At; // the section's first line
        int Number;   // its line number
    };

    void Load();
    TCodePage FindCodePage() const;
    void SkipAccountSection(TLineReader &lines, const TLine &first) const;
    // Reads the rest of the document section that begins with first into values; the reader
    // then stands after its КонецДокумента.
    void ReadDocument(TLineReader &lines, const TLine &first, std::vector<TSpan> &values) const;
    void CheckValue(int field, const TLine &line) const;

    [[noreturn]] void Bad(int line, const QString &why) const;
    QString Shown(TSpan s) const;
    QByteArray Bytes(TSpan s) const { return QByteArray::fromRawData(FBytes.constData() + s.Begin, s.Size()); }
    bool Is(TSpan s, const QByteArray &word) const { return Bytes(s) == word; }

    QString FPath;
    QByteArray FBytes;
    TCodePage FCodePage = TCodePage::Windows;
    std::vector<TDbfFieldDef> FDefs;
    std::vector<TDoc> FDocs;
    std::vector<TSpan> FValues;
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
    const QByteArray bytes = Bytes(s).left(60);
    return FCodePage == TCodePage::Windows ? FromWin1251(bytes) : FromCp866(bytes);
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
    FCodePage = FindCodePage();
    const TWords &w = Words(FCodePage);

    TLineReader lines(FBytes, 0, 0);
    TLine line;
    lines.Next(line); // the marker
    std::vector<TSpan> values;
    int end = 0; // the line of КонецФайла
    for (qsizetype at = lines.Position(); lines.Next(line); at = lines.Position()) {
        if (line.Blank())
            continue;
        if (end)
            Bad(line.Number, QStringLiteral("после строки КонецФайла (строка %1) есть ещё текст").arg(end));
        if (Is(line.Text, w.EndFile)) {
            end = line.Number;
        } else if (Is(line.Text, w.SectionAccount)) {
            SkipAccountSection(lines, line);
        } else if (!line.Key.Absent() && Is(line.Key, w.SectionDocument)) {
            FDocs.push_back({at, line.Number});
            ReadDocument(lines, line, values);
        } else if (Is(line.Text, w.EndDocument) || Is(line.Text, w.EndAccount)) {
            Bad(line.Number, QStringLiteral("%1 без начала секции").arg(Shown(line.Text)));
        } else if (line.Key.Absent() || line.Key.Size() == 0) {
            Bad(line.Number, QStringLiteral("«%1» не является строкой Ключ=Значение").arg(Shown(line.Text)));
        }
        // Any other Key=Value line belongs to the header: only Кодировка is used.
    }
    if (!end)
        Bad(lines.Number(), QStringLiteral("файл кончается без строки КонецФайла"));
}

TCodePage TExchange1CFile::FindCodePage() const
{
    // Кодировка says how the keys are written, so it is looked for in both code pages, among the
    // header's lines: those before the first section.
    const TWords &win = Words(TCodePage::Windows);
    const TWords &dos = Words(TCodePage::Dos);
    TLineReader lines(FBytes, 0, 0);
    TLine line;
    lines.Next(line);
    int last = 1;
    while (lines.Next(line)) {
        last = line.Number;
        if (Is(line.Text, win.SectionAccount) || Is(line.Text, dos.SectionAccount) ||
            Is(line.Text, win.EndFile) || Is(line.Text, dos.EndFile) ||
            (!line.Key.Absent() && (Is(line.Key, win.SectionDocument) || Is(line.Key, dos.SectionDocument))))
            break;
        if (line.Key.Absent() || !(Is(line.Key, win.Encoding) || Is(line.Key, dos.Encoding)))
            continue;
        const QByteArray value = Bytes(Trim(FBytes, line.Value));
        if (value.compare("Windows", Qt::CaseInsensitive) == 0)
            return TCodePage::Windows;
        if (value.compare("DOS", Qt::CaseInsensitive) == 0)
            return TCodePage::Dos;
        Bad(line.Number, QStringLiteral("неизвестная кодировка «%1», ожидается Windows или DOS")
                             .arg(FromWin1251(value.left(60))));
    }
    Bad(last, QStringLiteral("в заголовке файла нет ключа Кодировка"));
}

void TExchange1CFile::SkipAccountSection(TLineReader &lines, const TLine &first) const
{
    // Its keys (balances and turnovers) are not records: only its bounds are checked.
    const TWords &w = Words(FCodePage);
    TLine line;
    bool more = false;
    while ((more = lines.Next(line))) {
        if (line.Blank())
            continue;
        if (Is(line.Text, w.EndAccount))
            return;
        if (Is(line.Text, w.EndFile) || Is(line.Text, w.SectionAccount) || Is(line.Text, w.EndDocument) ||
            (!line.Key.Absent() && Is(line.Key, w.SectionDocument)))
            break;
        if (line.Key.Absent() || line.Key.Size() == 0)
            Bad(line.Number, QStringLiteral("«%1» не является строкой Ключ=Значение").arg(Shown(line.Text)));
    }
    Bad(first.Number, QStringLiteral("секция СекцияРасчСчет не закончена строкой КонецРасчСчет (%1)")
                          .arg(more ? QStringLiteral("строка %1 её не заканчивает").arg(line.Number)
                                    : QStringLiteral("конец файла")));
}

void TExchange1CFile::ReadDocument(TLineReader &lines, const TLine &first, std::vector<TSpan> &values) const
{
    const TWords &w = Words(FCodePage);
    values.assign(size_t(FieldCount), TSpan());
    std::vector<int> where(size_t(FieldCount), 0); // the line of each key read
    values[0] = first.Value;
    CheckValue(0, first);
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
            Bad(line.Number, QStringLiteral("«%1» не является строкой Ключ=Значение").arg(Shown(line.Text)));
        }
        if (Is(line.Key, w.SectionDocument))
            break;
        const int field = w.Fields.value(Bytes(line.Key), -1);
        if (field < 0)
            Bad(line.Number, QStringLiteral("неизвестный ключ документа «%1»").arg(Shown(line.Key)));
        if (where[size_t(field)])
            Bad(line.Number, QStringLiteral("ключ %1 уже есть в этом документе (строка %2)")
                                 .arg(QString::fromUtf8(Exchange1CFields[field].Key))
                                 .arg(where[size_t(field)]));
        CheckValue(field, line);
        values[size_t(field)] = line.Value;
        where[size_t(field)] = line.Number;
    }
    Bad(first.Number, QStringLiteral("секция документа не закончена строкой КонецДокумента (%1)")
                          .arg(more ? QStringLiteral("строка %1 её не заканчивает").arg(line.Number)
                                    : QStringLiteral("конец файла")));
}

void TExchange1CFile::CheckValue(int field, const TLine &line) const
{
    const TExchange1CField &f = Exchange1CFields[field];
    const QString key = QString::fromUtf8(f.Key);
    if (f.TypeId == DbfType::String) {
        // As it will be sent: what the size limits is the text the server receives.
        QByteArray text;
        AppendDbfCharacters(FBytes.constData() + line.Value.Begin, int(line.Value.Size()), text);
        if (text.size() > f.Size)
            Bad(line.Number, QStringLiteral("значение ключа %1 длиннее %2 символов").arg(key).arg(f.Size));
        return;
    }
    const TSpan v = Trim(FBytes, line.Value);
    if (v.Size() == 0)
        return;
    const char *p = FBytes.constData() + v.Begin;
    if (v.Size() > f.Size)
        Bad(line.Number, QStringLiteral("значение ключа %1 длиннее %2 символов").arg(key).arg(f.Size));
    if (f.TypeId == DbfType::Date && !IsDate(p, v.Size()))
        Bad(line.Number, QStringLiteral("«%1» в ключе %2 не является датой ДД.ММ.ГГГГ").arg(Shown(v), key));
    if (f.TypeId == DbfType::Float && !IsSum(p, v.Size()))
        Bad(line.Number, QStringLiteral("«%1» в ключе %2 не является суммой: рубли, точка и копейки")
                             .arg(Shown(v), key));
}

void TExchange1CFile::Read(int live)
{
    if (live == FCurrent)
        return;
    FCurrent = -1;
    const TDoc &doc = FDocs[size_t(live)];
    TLineReader lines(FBytes, doc.At, doc.Number - 1);
    TLine first;
    lines.Next(first);
    ReadDocument(lines, first, FValues);
    FCurrent = live;
}

void TExchange1CFile::AppendValue(int field, const QByteArray &separator, QByteArray &out) const
{
    const TSpan s = FValues[size_t(field)];
    if (s.Absent())
        return;
    const char *p = FBytes.constData() + s.Begin;
    const int size = int(s.Size());
    switch (FDefs[size_t(field)].TypeId) {
    case DbfType::Float:
        AppendDbfNumber(p, size, separator, out); // checked when the file was opened
        break;
    case DbfType::Date: {
        int b = 0;
        int e = size;
        while (b < e && IsBlank(p[b]))
            ++b;
        while (e > b && IsBlank(p[e - 1]))
            --e;
        out.append(p + b, e - b);
        break;
    }
    default:
        AppendDbfCharacters(p, size, out);
        break;
    }
}

} // namespace

bool IsExchange1C(const QByteArray &head)
{
    constexpr qsizetype n = sizeof Marker - 1;
    if (!head.startsWith(QByteArray::fromRawData(Marker, n)))
        return false;
    for (qsizetype i = n; i < head.size(); ++i) {
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
