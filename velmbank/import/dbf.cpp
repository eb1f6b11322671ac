#include "dbf.h"

#include "codepage.h"
#include "dbfrecords.h"
#include "exchange1c.h"
#include "funcs.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <shapefil.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

EDbfError::EDbfError(const QString &text) : Text(text), Message(ToWin1251(text)) {}

int DbfTypeNumber(char letter)
{
    for (const TDbfTypeMapping &m : DbfTypeTable)
        if (m.Letter == letter)
            return m.TypeId;
    return DbfType::NoType;
}

// ---- byte sources: what shapelib's file hooks and the memo reader read from ----

namespace {

class TByteSource
{
public:
    virtual ~TByteSource() = default;
    qint64 Size() const { return FSize; }
    // Exactly count bytes at pos, or false when they are not all there.
    virtual bool ReadAt(qint64 pos, char *to, qint64 count) = 0;

    qint64 Pos = 0; // the file position that shapelib's seek and read work with

protected:
    qint64 FSize = 0;
};

class TMemorySource final : public TByteSource
{
public:
    explicit TMemorySource(QByteArray bytes) : FBytes(std::move(bytes)) { FSize = FBytes.size(); }
    bool ReadAt(qint64 pos, char *to, qint64 count) override
    {
        if (pos < 0 || count < 0 || pos > FSize || count > FSize - pos)
            return false;
        std::memcpy(to, FBytes.constData() + pos, size_t(count));
        return true;
    }

private:
    QByteArray FBytes;
};

// A file read through a window, so that records read one by one, forwards or backwards (the
// import walks a file from its end), cost a system call per window and not per record.
class TFileSource final : public TByteSource
{
public:
    static constexpr qint64 Window = qint64(256) * 1024;

    TFileSource(int fd, qint64 size) : FFd(fd) { FSize = size; }
    ~TFileSource() override { ::close(FFd); }
    TFileSource(const TFileSource &) = delete;
    TFileSource &operator=(const TFileSource &) = delete;

    bool ReadAt(qint64 pos, char *to, qint64 count) override
    {
        if (pos < 0 || count < 0 || pos > FSize || count > FSize - pos)
            return false;
        if (count == 0)
            return true; // before the first window there is no buffer to copy from
        if (count > Window)
            return ReadRaw(pos, to, count);
        if (pos < FStart || pos + count > FStart + FLength) {
            // Moving backwards, keep the window ending at the request; forwards, starting at it.
            const qint64 start = pos < FStart ? std::max<qint64>(0, pos + count - Window) : pos;
            const qint64 length = std::min(Window, FSize - start);
            FBuffer.resize(size_t(Window));
            FLength = 0;
            if (!ReadRaw(start, FBuffer.data(), length))
                return false;
            FStart = start;
            FLength = length;
        }
        std::memcpy(to, FBuffer.data() + (pos - FStart), size_t(count));
        return true;
    }

private:
    bool ReadRaw(qint64 pos, char *to, qint64 count) const
    {
        while (count > 0) {
            const ssize_t got = ::pread(FFd, to, size_t(count), off_t(pos));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            to += got;
            pos += got;
            count -= got;
        }
        return true;
    }

    int FFd;
    std::vector<char> FBuffer;
    qint64 FStart = 0;
    qint64 FLength = 0;
};

QString FileErrorText(const QString &path, int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return QStringLiteral("Файл %1 не найден").arg(path);
    case EACCES:
    case EPERM: return QStringLiteral("Нет доступа к файлу %1").arg(path);
    default:
        return QStringLiteral("Не удалось открыть файл %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(error)));
    }
}

// Opens a regular file for reading; nullptr with errno set when there is none at path.
std::unique_ptr<TFileSource> OpenFileSource(const QString &path, bool mustExist)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (!mustExist && (errno == ENOENT || errno == ENOTDIR))
            return nullptr;
        throw EDbfError(FileErrorText(path, errno));
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw EDbfError(FileErrorText(path, error));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EDbfError(QStringLiteral("%1 не является файлом").arg(path));
    }
    return std::make_unique<TFileSource>(fd, qint64(st.st_size));
}

// ---- shapelib's file hooks over a byte source ----

// DBFOpenLL derives the names it opens from the one it is given (it puts ".dbf" in place of
// any extension and also looks for a ".cpg" file); the hooks hand out the source prepared
// for this open to the first request and nothing else, so exactly the chosen file is read.
thread_local TByteSource *tlPending = nullptr;
thread_local QByteArray tlLastError;

TByteSource *SourceOf(SAFile file) { return static_cast<TByteSource *>(static_cast<void *>(file)); }

SAFile HookOpen(const char *, const char *)
{
    TByteSource *s = tlPending;
    tlPending = nullptr;
    return static_cast<SAFile>(static_cast<void *>(s));
}

SAOffset HookRead(void *to, SAOffset size, SAOffset count, SAFile file)
{
    TByteSource *s = SourceOf(file);
    if (size == 0 || count == 0 || s->Pos < 0 || s->Pos >= s->Size())
        return 0;
    const SAOffset available = SAOffset(s->Size() - s->Pos);
    const SAOffset items = std::min(count, available / size);
    const SAOffset bytes = items * size; // at most what is left of the source
    if (items == 0 || !s->ReadAt(s->Pos, static_cast<char *>(to), qint64(bytes)))
        return 0;
    s->Pos += qint64(bytes);
    return items;
}

SAOffset HookWrite(void *, SAOffset, SAOffset, SAFile) { return 0; }

SAOffset HookSeek(SAFile file, SAOffset offset, int whence)
{
    TByteSource *s = SourceOf(file);
    const qint64 base = whence == SEEK_CUR ? s->Pos : whence == SEEK_END ? s->Size() : 0;
    s->Pos = base + qint64(offset);
    return 0;
}

SAOffset HookTell(SAFile file) { return SAOffset(SourceOf(file)->Pos); }
int HookFlush(SAFile) { return 0; }
int HookClose(SAFile) { return 0; } // the source belongs to TDbfFile
int HookRemove(const char *) { return -1; }
void HookError(const char *message) { tlLastError = QByteArray(message).trimmed(); }

const SAHooks &Hooks()
{
    static const SAHooks hooks = [] {
        SAHooks h;
        SASetupDefaultHooks(&h);
        h.FOpen = HookOpen;
        h.FRead = HookRead;
        h.FWrite = HookWrite;
        h.FSeek = HookSeek;
        h.FTell = HookTell;
        h.FFlush = HookFlush;
        h.FClose = HookClose;
        h.Remove = HookRemove;
        h.Error = HookError;
        return h;
    }();
    return hooks;
}

quint32 Le16(const unsigned char *p) { return quint32(p[0]) | quint32(p[1]) << 8; }
quint32 Le32(const unsigned char *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\0'; }
char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// The first byte of a dBASE file: the dBASE, FoxBase, FoxPro and Visual FoxPro versions.
bool KnownVersion(unsigned char v)
{
    static const unsigned char known[] = {0x02, 0x03, 0x04, 0x05, 0x30, 0x31, 0x32, 0x43,
                                          0x63, 0x83, 0x8B, 0x8E, 0xCB, 0xF5, 0xFB};
    return std::find(std::begin(known), std::end(known), v) != std::end(known);
}

// ---- the open file ----

// Inside this file only: dbfops.h has a TDbfFile of its own, and two classes of one name with
// inline members are one class to the linker.
class TDbfFile final : public TDbfRecords
{
public:
    static std::unique_ptr<TDbfFile> Open(const QString &path, std::unique_ptr<TByteSource> source);
    static std::unique_ptr<TDbfFile> FromBytes(const QString &name, const QByteArray &dbf,
                                               const QByteArray &dbt);
    ~TDbfFile() override
    {
        if (FHandle)
            DBFClose(FHandle);
    }
    TDbfFile(const TDbfFile &) = delete;
    TDbfFile &operator=(const TDbfFile &) = delete;

    const QString &Path() const override { return FPath; }
    const std::vector<TDbfFieldDef> &Defs() const override { return FDefs; }
    int LiveCount() const override { return int(FLive.size()); }
    void Read(int live) override;
    bool HasRecord() const override { return FTuple != nullptr; }
    void AppendValue(int field, const QByteArray &separator, QByteArray &out) const override;

private:
    explicit TDbfFile(QString path) : FPath(std::move(path)) {}
    void Load(); // checks the header, opens through shapelib, finds the live records
    // The steps of Load, in order.
    QByteArray CheckHeader(qint64 &records);                       // the field descriptors
    bool ReadFieldDefs(const QByteArray &descriptors, int fields); // true: a memo field
    void OpenThroughShapelib(qint64 records, int fields);
    void OpenMemoFile();
    void FindLiveRecords(qint64 records);
    [[noreturn]] void Damaged(const QString &why) const;
    [[noreturn]] void BadValue(const TDbfFieldDef &def, const char *raw, const QString &what) const;
    [[noreturn]] void BadMemo(const TDbfFieldDef &def, const QString &why) const;
    void AppendMemo(const TDbfFieldDef &def, const char *raw, QByteArray &out) const;
    QString Shown(const char *raw, int size) const;
    QString NotDbase() const;

    QString FPath;
    QString FMemoPath;
    std::unique_ptr<TByteSource> FDbf;
    std::unique_ptr<TByteSource> FMemo;
    DBFHandle FHandle = nullptr;
    std::vector<TDbfFieldDef> FDefs;
    std::vector<int> FLive; // physical numbers (0-based) of the records not deleted
    int FRecordLength = 0;
    unsigned char FVersion = 0;
    bool FOem = true; // the file's texts are in CP866 (for messages only)
    bool FInMemory = false;
    const char *FTuple = nullptr; // shapelib's copy of the current record
    int FPhysical = -1;
    qint64 FBlockSize = 512;
};

} // namespace

std::unique_ptr<TDbfFile> TDbfFile::Open(const QString &path, std::unique_ptr<TByteSource> source)
{
    std::unique_ptr<TDbfFile> f(new TDbfFile(path));
    f->FDbf = std::move(source);
    f->Load();
    return f;
}

std::unique_ptr<TDbfFile> TDbfFile::FromBytes(const QString &name, const QByteArray &dbf,
                                              const QByteArray &dbt)
{
    std::unique_ptr<TDbfFile> f(new TDbfFile(name));
    f->FDbf = std::make_unique<TMemorySource>(dbf);
    f->FInMemory = true;
    f->FMemoPath = QFileInfo(name).completeBaseName() + QStringLiteral(".dbt");
    if (!dbt.isEmpty())
        f->FMemo = std::make_unique<TMemorySource>(dbt);
    f->Load();
    return f;
}

void TDbfFile::Damaged(const QString &why) const
{
    throw EDbfError(QStringLiteral("Файл %1 повреждён: %2").arg(FPath, why));
}

void TDbfFile::Load()
{
    qint64 records = 0;
    const QByteArray descriptors = CheckHeader(records);
    const int fields = int(descriptors.size() / 32);
    const bool memo = ReadFieldDefs(descriptors, fields);
    OpenThroughShapelib(records, fields);
    if (memo && !FMemo)
        OpenMemoFile();
    if (FMemo && (FVersion == 0x8B || FVersion == 0x8E)) {
        // dBASE IV keeps its block size in the memo header; dBASE III always uses 512.
        unsigned char memoHead[22];
        if (FMemo->ReadAt(0, reinterpret_cast<char *>(memoHead), 22) && Le16(memoHead + 20) >= 8)
            FBlockSize = Le16(memoHead + 20);
    }
    FindLiveRecords(records);
}

QString TDbfFile::NotDbase() const { return QStringLiteral("Файл %1 не является таблицей dBASE").arg(FPath); }

QByteArray TDbfFile::CheckHeader(qint64 &records)
{
    // The header is checked before shapelib sees it, so that it only ever reads a plausible
    // table and every fault has its own clear text.
    unsigned char head[32];
    if (FDbf->Size() < 33 || !FDbf->ReadAt(0, reinterpret_cast<char *>(head), 32))
        throw EDbfError(NotDbase());
    FVersion = head[0];
    if (!KnownVersion(FVersion))
        throw EDbfError(NotDbase());
    records = Le32(head + 4);
    const qint64 headerLength = Le16(head + 8);
    FRecordLength = int(Le16(head + 10));
    const unsigned char ldid = head[29];
    FOem = !(ldid == 0x57 || ldid == 0x03 || ldid == 0xC9 || ldid == 0xCA);
    if (headerLength < 33)
        throw EDbfError(NotDbase());
    if (headerLength > FDbf->Size())
        Damaged(QStringLiteral("заголовок длиннее файла"));
    if (FRecordLength < 1)
        Damaged(QStringLiteral("длина записи равна нулю"));
    if (records > 0x7FFFFFFF)
        Damaged(QStringLiteral("неверное число записей"));

    // Field descriptors of 32 bytes each, up to the 0x0D that ends them.
    QByteArray descriptors(int(headerLength - 32), Qt::Uninitialized);
    if (!FDbf->ReadAt(32, descriptors.data(), descriptors.size()))
        throw EDbfError(NotDbase());
    int fields = -1;
    for (int at = 0; at < descriptors.size(); at += 32) {
        if (descriptors[at] == '\x0D') {
            fields = at / 32;
            break;
        }
        if (at + 32 > descriptors.size())
            break;
    }
    if (fields < 0)
        Damaged(QStringLiteral("нет конца описания полей"));

    const qint64 fits = (FDbf->Size() - headerLength) / FRecordLength;
    if (fits < records)
        throw EDbfError(QStringLiteral("Файл %1 обрезан: в заголовке %2 записей, в файле только %3")
                            .arg(FPath)
                            .arg(records)
                            .arg(fits));
    descriptors.truncate(32 * qsizetype(fields));
    return descriptors;
}

bool TDbfFile::ReadFieldDefs(const QByteArray &descriptors, int fields)
{
    // The fields as the descriptors give them, checked against the record before shapelib
    // reads them.
    int offset = 1; // after the deletion flag
    bool memo = false;
    FDefs.reserve(size_t(fields));
    for (int i = 0; i < fields; ++i) {
        const char *d = descriptors.constData() + 32 * qsizetype(i);
        TDbfFieldDef def;
        def.Name = QByteArray(d, qsizetype(strnlen(d, 11))).trimmed();
        def.Letter = d[11];
        def.TypeId = DbfTypeNumber(def.Letter);
        def.Size = static_cast<unsigned char>(d[16]);
        def.Decimals = def.Letter == 'N' || def.Letter == 'F' ? static_cast<unsigned char>(d[17]) : 0;
        def.Precision = def.Floating() ? std::clamp(def.Decimals, 0, 15) : 0;
        def.Offset = offset;
        if (def.Name.isEmpty())
            Damaged(QStringLiteral("поле %1 без имени").arg(i + 1));
        const QString shown = Shown(def.Name.constData(), int(def.Name.size()));
        if (def.Size == 0)
            Damaged(QStringLiteral("поле %1 нулевой ширины").arg(shown));
        offset += def.Size;
        if (offset > FRecordLength)
            Damaged(QStringLiteral("поле %1 выходит за пределы записи").arg(shown));
        memo = memo || def.Letter == 'M';
        FDefs.push_back(def);
    }
    return memo;
}

void TDbfFile::OpenThroughShapelib(qint64 records, int fields)
{
    const QByteArray name = QFile::encodeName(FPath);
    tlLastError.clear();
    tlPending = FDbf.get();
    SAHooks hooks = Hooks();
    FHandle = DBFOpenLL(name.constData(), "rb", &hooks);
    tlPending = nullptr;
    if (!FHandle)
        throw EDbfError(NotDbase()
                        + (tlLastError.isEmpty()
                               ? QString()
                               : QStringLiteral(" (%1)").arg(QString::fromUtf8(tlLastError))));
    // shapelib must see the table the header check saw.
    bool same = DBFGetFieldCount(FHandle) >= fields && DBFGetRecordCount(FHandle) == records;
    for (int i = 0; same && i < fields; ++i) {
        char fieldName[XBASE_FLDNAME_LEN_READ + 1] = {};
        int width = 0;
        int decimals = 0;
        DBFGetFieldInfo(FHandle, i, fieldName, &width, &decimals);
        same = width == FDefs[size_t(i)].Size && DBFGetNativeFieldType(FHandle, i) == FDefs[size_t(i)].Letter;
    }
    if (!same)
        Damaged(QStringLiteral("заголовок не читается"));
}

void TDbfFile::OpenMemoFile()
{
    if (FInMemory)
        throw EDbfError(QStringLiteral("Не найден файл примечаний %1").arg(FMemoPath));
    // The memo file lies beside the table, with the table's name and the extension .dbt.
    const QFileInfo info(FPath);
    const QString base = info.dir().filePath(info.completeBaseName());
    for (const QString &ext : {QStringLiteral(".dbt"), QStringLiteral(".DBT")}) {
        if (auto source = OpenFileSource(base + ext, false)) {
            FMemo = std::move(source);
            FMemoPath = base + ext;
            return;
        }
    }
    throw EDbfError(QStringLiteral("Не найден файл примечаний %1").arg(base + QStringLiteral(".dbt")));
}

void TDbfFile::FindLiveRecords(qint64 records)
{
    FLive.reserve(size_t(records));
    for (int r = 0; r < int(records); ++r) {
        const char *tuple = DBFReadTuple(FHandle, r);
        if (!tuple)
            throw EDbfError(QStringLiteral("Не удалось прочитать запись %1 файла %2").arg(r + 1).arg(FPath));
        if (tuple[0] != '*')
            FLive.push_back(r);
    }
    FTuple = nullptr;
}

void TDbfFile::Read(int live)
{
    const int physical = FLive[size_t(live)];
    if (physical == FPhysical && FTuple)
        return;
    FTuple = nullptr;
    FPhysical = -1;
    tlLastError.clear();
    const char *tuple = DBFReadTuple(FHandle, physical);
    if (!tuple)
        throw EDbfError(
            QStringLiteral("Не удалось прочитать запись %1 файла %2").arg(physical + 1).arg(FPath));
    FTuple = tuple;
    FPhysical = physical;
}

QString TDbfFile::Shown(const char *raw, int size) const
{
    QByteArray bytes(raw, size);
    bytes = bytes.trimmed().left(40);
    return FOem ? FromCp866(bytes) : FromWin1251(bytes);
}

void TDbfFile::BadValue(const TDbfFieldDef &def, const char *raw, const QString &what) const
{
    throw EDbfError(QStringLiteral("Файл %1, запись %2, поле %3: «%4» не является %5")
                        .arg(FPath)
                        .arg(FPhysical + 1)
                        .arg(Shown(def.Name.constData(), int(def.Name.size())), Shown(raw, def.Size), what));
}

void TDbfFile::BadMemo(const TDbfFieldDef &def, const QString &why) const
{
    throw EDbfError(QStringLiteral("Файл примечаний %1 повреждён: запись %2, поле %3: %4")
                        .arg(FMemoPath)
                        .arg(FPhysical + 1)
                        .arg(Shown(def.Name.constData(), int(def.Name.size())), why));
}

namespace {

// The bytes that separate fields and records in the server's texts and end an element on the
// wire: a value carrying them would shift every field after it.
inline char Unreserved(char c) { return c == '\x01' || c == '\x02' || c == '\x1B' ? ' ' : c; }

} // namespace

void AppendDbfCharacters(const char *p, int size, QByteArray &out)
{
    const void *zero = std::memchr(p, 0, size_t(size));
    int end = zero ? int(static_cast<const char *>(zero) - p) : size;
    // The blanks that pad the field (and reserved bytes there, which would become blanks) are
    // most of it: they are found from its end, eight at a time, and never copied.
    constexpr std::uint64_t blanks = 0x2020202020202020ULL;
    for (std::uint64_t word; end >= 8; end -= 8) {
        std::memcpy(&word, p + end - 8, 8);
        if (word != blanks)
            break;
    }
    while (end > 0 && Unreserved(p[end - 1]) == ' ')
        --end;
    const qsizetype at = out.size();
    out.resize(at + end);
    char *q = out.data() + at;
    std::memcpy(q, p, size_t(end));
    for (const char reserved : {'\x01', '\x02', '\x1B'})
        for (char *c = q; (c = static_cast<char *>(std::memchr(c, reserved, size_t(q + end - c)))); ++c)
            *c = ' ';
}

// The shortest decimal text of the stored digits: never through a binary floating-point value,
// so that a 20-digit account number arrives exactly. False when the text is not a number.
bool AppendDbfNumber(const char *p, int size, const QByteArray &separator, QByteArray &out)
{
    int b = 0;
    int e = size;
    while (b < e && IsBlank(p[b]))
        ++b;
    while (e > b && IsBlank(p[e - 1]))
        --e;
    if (b == e)
        return true;
    bool negative = false;
    if (p[b] == '-' || p[b] == '+') {
        negative = p[b] == '-';
        ++b;
    }
    int intBegin = b;
    while (b < e && IsDigit(p[b]))
        ++b;
    const int intEnd = b;
    int fracBegin = b;
    int fracEnd = b;
    if (b < e && p[b] == '.') {
        fracBegin = ++b;
        while (b < e && IsDigit(p[b]))
            ++b;
        fracEnd = b;
    }
    if (b != e || (intBegin == intEnd && fracBegin == fracEnd))
        return false;
    while (intBegin < intEnd && p[intBegin] == '0')
        ++intBegin;
    while (fracEnd > fracBegin && p[fracEnd - 1] == '0')
        --fracEnd;
    if (intBegin == intEnd && fracBegin == fracEnd) {
        out.append('0'); // zero has no sign
        return true;
    }
    if (negative)
        out.append('-');
    if (intBegin == intEnd)
        out.append('0');
    else
        out.append(p + intBegin, intEnd - intBegin);
    if (fracEnd > fracBegin) {
        out.append(separator.isEmpty() ? QByteArray(".") : separator);
        out.append(p + fracBegin, fracEnd - fracBegin);
    }
    return true;
}

namespace {

// YYYYMMDD to DD.MM.YYYY; blanks or zeros are the empty date. False when it is no date.
bool AppendDate(const char *p, int size, QByteArray &out)
{
    int b = 0;
    int e = size;
    while (b < e && IsBlank(p[b]))
        ++b;
    while (e > b && IsBlank(p[e - 1]))
        --e;
    if (b == e)
        return true;
    if (e - b != 8)
        return false;
    const char *d = p + b;
    if (!std::all_of(d, d + 8, IsDigit))
        return false;
    if (std::all_of(d, d + 8, [](char c) { return c == '0'; }))
        return true;
    auto number = [d](int from, int count) {
        int v = 0;
        for (int i = from; i < from + count; ++i)
            v = v * 10 + (d[i] - '0');
        return v;
    };
    if (!QDate(number(0, 4), number(4, 2), number(6, 2)).isValid())
        return false;
    const char text[10] = {d[6], d[7], '.', d[4], d[5], '.', d[0], d[1], d[2], d[3]};
    out.append(text, 10);
    return true;
}

bool AppendLogical(const char *p, int size, QByteArray &out)
{
    int b = 0;
    while (b < size && IsBlank(p[b]))
        ++b;
    if (b == size)
        return true;
    for (int i = b + 1; i < size; ++i)
        if (!IsBlank(p[i]))
            return false;
    switch (p[b]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y': out.append('T'); return true;
    case 'F':
    case 'f':
    case 'N':
    case 'n': out.append('F'); return true;
    case '?': return true; // not yet set
    default: return false;
    }
}

} // namespace

void TDbfFile::AppendMemo(const TDbfFieldDef &def, const char *raw, QByteArray &out) const
{
    int b = 0;
    int e = def.Size;
    while (b < e && IsBlank(raw[b]))
        ++b;
    while (e > b && IsBlank(raw[e - 1]))
        --e;
    if (b == e)
        return;
    if (e - b > 18 || !std::all_of(raw + b, raw + e, IsDigit))
        BadValue(def, raw, QStringLiteral("номером блока примечания"));
    qint64 block = 0;
    for (int i = b; i < e; ++i)
        block = block * 10 + (raw[i] - '0');
    if (block == 0)
        return;
    if (!FMemo)
        BadMemo(def, QStringLiteral("файла примечаний нет"));
    const qint64 size = FMemo->Size();
    if (size == 0 || block > (size - 1) / FBlockSize)
        BadMemo(def, QStringLiteral("блок %1 за концом файла").arg(block));
    const qint64 start = block * FBlockSize;
    const qsizetype at = out.size();

    unsigned char head[8];
    if (size - start >= 8 && FMemo->ReadAt(start, reinterpret_cast<char *>(head), 8) && head[0] == 0xFF
        && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
        // dBASE IV: the block says how long its text is (with these 8 bytes).
        const qint64 length = Le32(head + 4);
        if (length < 8 || length - 8 > MaxMemoLength)
            BadMemo(def, QStringLiteral("неверная длина текста в блоке %1").arg(block));
        if (length > size - start)
            BadMemo(def, QStringLiteral("текст блока %1 обрезан").arg(block));
        out.resize(at + length - 8);
        if (!FMemo->ReadAt(start + 8, out.data() + at, length - 8))
            BadMemo(def, QStringLiteral("блок %1 не читается").arg(block));
    } else {
        // dBASE III: the text runs to the end mark 0x1A.
        char chunk[4096];
        qint64 pos = start;
        for (;;) {
            const qint64 count = std::min<qint64>(sizeof chunk, size - pos);
            if (count <= 0)
                BadMemo(def, QStringLiteral("у текста в блоке %1 нет конца").arg(block));
            if (!FMemo->ReadAt(pos, chunk, count))
                BadMemo(def, QStringLiteral("блок %1 не читается").arg(block));
            const void *mark = std::memchr(chunk, 0x1A, size_t(count));
            const qint64 take = mark ? static_cast<const char *>(mark) - chunk : count;
            if (pos - start + take > MaxMemoLength)
                BadMemo(def,
                        QStringLiteral("текст в блоке %1 длиннее %2 байт").arg(block).arg(MaxMemoLength));
            out.append(chunk, qsizetype(take));
            if (mark)
                break;
            pos += count;
        }
    }
    char *q = out.data() + at;
    for (qsizetype i = 0, n = out.size() - at; i < n; ++i)
        q[i] = q[i] == '\0' ? ' ' : Unreserved(q[i]);
}

void TDbfFile::AppendValue(int field, const QByteArray &separator, QByteArray &out) const
{
    const TDbfFieldDef &def = FDefs[size_t(field)];
    const char *raw = FTuple + def.Offset;
    switch (def.Letter) {
    case 'C': AppendDbfCharacters(raw, def.Size, out); break;
    case 'N':
    case 'F':
        if (!AppendDbfNumber(raw, def.Size, separator, out))
            BadValue(def, raw, QStringLiteral("числом"));
        break;
    case 'D':
        if (!AppendDate(raw, def.Size, out))
            BadValue(def, raw, QStringLiteral("датой"));
        break;
    case 'L':
        if (!AppendLogical(raw, def.Size, out))
            BadValue(def, raw, QStringLiteral("логическим значением"));
        break;
    case 'M': AppendMemo(def, raw, out); break;
    default: break; // binary and unknown types are not sent
    }
}

// ---- connection and table ----

QString TDbfDatabase::Directory() const
{
    for (const QString &line : Params)
        if (line.startsWith(QStringLiteral("PATH="), Qt::CaseInsensitive))
            return line.mid(5).trimmed();
    return QDir::currentPath();
}

void TDbfDatabase::Close()
{
    for (TDbfTable *t : FTables)
        t->Close();
    FConnected = false;
}

TDbfTable::TDbfTable(TDbfDatabase &database) : FDatabase(database) { FDatabase.FTables.push_back(this); }

TDbfTable::~TDbfTable()
{
    Close();
    auto &tables = FDatabase.FTables;
    tables.erase(std::remove(tables.begin(), tables.end(), this), tables.end());
}

void TDbfTable::Open()
{
    Close();
    if (DatabaseName.compare(FDatabase.DatabaseName, Qt::CaseInsensitive) != 0)
        throw EDbfError(QStringLiteral("База данных %1 не найдена").arg(DatabaseName));
    if (FDatabase.DriverName.compare(QStringLiteral("STANDARD"), Qt::CaseInsensitive) != 0)
        throw EDbfError(QStringLiteral("Драйвер %1 не поддерживается").arg(FDatabase.DriverName));
    if (TableName.isEmpty())
        throw EDbfError(QStringLiteral("Не указан файл данных"));
    QString path = QDir(FDatabase.Directory()).filePath(TableName);
    if (QFileInfo(TableName).suffix().isEmpty() && !QFileInfo::exists(path)) {
        // As the dBASE driver did, a table named without an extension is a .dbf file.
        for (const QString &ext : {QStringLiteral(".dbf"), QStringLiteral(".DBF")})
            if (QFileInfo::exists(path + ext)) {
                path += ext;
                break;
            }
    }
    std::unique_ptr<TFileSource> source = OpenFileSource(path, true);
    char head[Exchange1CHeadSize];
    const qint64 got = std::min<qint64>(source->Size(), qint64(sizeof head));
    if (source->ReadAt(0, head, got) && IsExchange1C(QByteArray::fromRawData(head, qsizetype(got)))) {
        if (source->Size() > MaxExchange1CSize)
            throw EDbfError(QStringLiteral("Файл %1 больше %2 МиБ: это не файл обмена")
                                .arg(path, QString::number(MaxExchange1CSize >> 20)));
        QByteArray bytes(qsizetype(source->Size()), Qt::Uninitialized);
        if (!source->ReadAt(0, bytes.data(), bytes.size()))
            throw EDbfError(QStringLiteral("Не удалось прочитать файл %1").arg(path));
        FFile = OpenExchange1C(path, bytes);
    } else {
        FFile = TDbfFile::Open(path, std::move(source));
    }
    FDatabase.FConnected = true;
    First();
}

void TDbfTable::OpenBytes(const QString &name, const QByteArray &dbf, const QByteArray &dbt)
{
    Close();
    if (IsExchange1C(dbf))
        FFile = OpenExchange1C(name, dbf);
    else
        FFile = TDbfFile::FromBytes(name, dbf, dbt);
    FDatabase.FConnected = true;
    First();
}

void TDbfTable::Close()
{
    FFile.reset();
    FCurrent = 0;
    FBof = true;
    FEof = true;
}

QString TDbfTable::FilePath() const { return FFile ? FFile->Path() : QString(); }

const TExchangeStatement *TDbfTable::Statement() const { return FFile ? FFile->Statement() : nullptr; }

const TDbfRecords &TDbfTable::File() const
{
    if (!FFile)
        throw EDbfError(QStringLiteral("Файл данных не открыт"));
    return *FFile;
}

const std::vector<TDbfFieldDef> &TDbfTable::FieldDefs() const
{
    static const std::vector<TDbfFieldDef> none;
    return FFile ? FFile->Defs() : none;
}

int TDbfTable::FindField(const QByteArray &name) const
{
    const std::vector<TDbfFieldDef> &defs = FieldDefs();
    for (size_t i = 0; i < defs.size(); ++i) {
        const QByteArray &n = defs[i].Name;
        if (n.size() != name.size())
            continue;
        bool same = true;
        for (qsizetype k = 0; k < n.size() && same; ++k)
            same = FoldAscii(n[k]) == FoldAscii(name[k]);
        if (same)
            return int(i);
    }
    return -1;
}

int TDbfTable::FieldByName(const QByteArray &name) const
{
    const int i = FindField(name);
    if (i < 0)
        throw EDbfError(QStringLiteral("Поле %1 не найдено в файле %2").arg(FromWin1251(name), FilePath()));
    return i;
}

int TDbfTable::RecordCount() const { return FFile ? FFile->LiveCount() : 0; }

int TDbfTable::RecNo() const { return RecordCount() ? FCurrent + 1 : 0; }

void TDbfTable::SetCurrent(int index)
{
    FFile->Read(index);
    FCurrent = index;
}

void TDbfTable::First()
{
    File();
    if (RecordCount() == 0) {
        FBof = FEof = true;
        return;
    }
    SetCurrent(0);
    FBof = true;
    FEof = false;
}

void TDbfTable::Last()
{
    File();
    if (RecordCount() == 0) {
        FBof = FEof = true;
        return;
    }
    SetCurrent(RecordCount() - 1);
    FBof = false;
    FEof = true;
}

void TDbfTable::Next()
{
    File();
    if (FEof)
        return;
    if (FCurrent + 1 >= RecordCount()) {
        FEof = true;
        return;
    }
    SetCurrent(FCurrent + 1);
    FBof = false;
}

void TDbfTable::Prior()
{
    File();
    if (FBof)
        return;
    if (FCurrent <= 0) {
        FBof = true;
        return;
    }
    SetCurrent(FCurrent - 1);
    FEof = false;
}

void TDbfTable::AppendFieldText(int field, const QByteArray &decimalSeparator, QByteArray &out) const
{
    const TDbfRecords &f = File();
    if (field < 0 || field >= int(f.Defs().size()))
        throw EDbfError(QStringLiteral("Нет поля номер %1 в файле %2").arg(field + 1).arg(f.Path()));
    if (!f.HasRecord())
        throw EDbfError(QStringLiteral("В файле %1 нет текущей записи").arg(f.Path()));
    f.AppendValue(field, decimalSeparator, out);
}

QByteArray TDbfTable::RecordText(const QByteArray &decimalSeparator) const
{
    if (!Active())
        throw EDbfError(QStringLiteral("Файл данных не открыт"));
    const std::vector<TDbfFieldDef> &defs = FieldDefs();
    const bool translate = decimalSeparator != ".";
    // Sized once for the whole record: the import makes one text per record.
    qsizetype width = qsizetype(defs.size());
    for (const TDbfFieldDef &d : defs)
        width += d.Size;
    QByteArray text;
    text.reserve(std::min<qsizetype>(width, 4096));
    for (size_t i = 0; i < defs.size(); ++i) {
        if (i)
            text.append('\x02');
        const qsizetype at = text.size();
        AppendFieldText(int(i), decimalSeparator, text);
        if (translate && defs[i].Floating()) {
            const QByteArray value = TranslateChars(text.mid(at), decimalSeparator, QByteArray("."));
            text.truncate(at);
            text.append(value);
        }
    }
    return text;
}

QByteArray TDbfTable::FieldText(int field, const QByteArray &decimalSeparator) const
{
    QByteArray out;
    AppendFieldText(field, decimalSeparator, out);
    return out;
}

// ---- the engine probe ----

namespace {

// The smallest table: one character field A of width 3 holding "OK".
QByteArray ProbeImage()
{
    QByteArray d(32, '\0');
    d[0] = 0x03;
    d[1] = 124;
    d[2] = 1;
    d[3] = 1;
    d[4] = 1;  // one record
    d[8] = 65; // header: 32 + one descriptor + the end mark
    d[10] = 4; // record: deletion flag + 3
    QByteArray field(32, '\0');
    field[0] = 'A';
    field[11] = 'C';
    field[16] = 3;
    d += field;
    d += '\x0D';
    d += QByteArray(" OK ");
    d += '\x1A';
    return d;
}

} // namespace

bool EngineInstalled()
{
    try {
        TDbfDatabase db;
        db.DatabaseName = QStringLiteral("probe");
        db.DriverName = QStringLiteral("STANDARD");
        TDbfTable table(db);
        table.DatabaseName = db.DatabaseName;
        table.OpenBytes(QStringLiteral("probe.dbf"), ProbeImage(), {});
        return table.FieldCount() == 1 && table.RecordCount() == 1
               && table.FieldDefs()[0].TypeId == DbfType::String
               && table.FieldText(0, QByteArray(".")) == "OK";
    } catch (...) {
        return false;
    }
}
