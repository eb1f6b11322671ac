#include "distrib.h"

#include "codepage.h"
#include "setuplog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

#include <utility>

EDistribError::EDistribError(const QString &message) : Message(ToWin1251(message)) {}

TDistrib::TDistrib(QString fileName) : FileName(std::move(fileName)) {}

TDistrib TDistrib::FromBytes(QByteArray bytes, QString fileName)
{
    TDistrib d(std::move(fileName));
    d.FBytes = std::make_shared<const QByteArray>(std::move(bytes));
    return d;
}

namespace {

class TFileSource : public TDistribSource
{
public:
    explicit TFileSource(const QString &name) : File(name) {}
    bool Open() { return File.open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    qint64 Size() const override { return File.size(); }
    qint64 ReadAt(qint64 pos, char *to, qint64 count) override
    {
        if (File.pos() != pos && !File.seek(pos))
            return -1;
        return File.read(to, count);
    }
    QString ErrorText() const override { return File.errorString(); }

private:
    QFile File;
};

class TBytesSource : public TDistribSource
{
public:
    explicit TBytesSource(std::shared_ptr<const QByteArray> bytes) : Bytes(std::move(bytes)) {}
    qint64 Size() const override { return Bytes->size(); }
    qint64 ReadAt(qint64 pos, char *to, qint64 count) override
    {
        if (pos < 0 || pos > Bytes->size())
            return -1;
        const qint64 n = std::min<qint64>(count, Bytes->size() - pos);
        std::memcpy(to, Bytes->constData() + pos, size_t(n));
        return n;
    }
    QString ErrorText() const override { return QStringLiteral("конец данных"); }

private:
    std::shared_ptr<const QByteArray> Bytes;
};

} // namespace

char TDistrib::Descramble(char stored, std::uint8_t key)
{
    // 255, not 256: this is how the format has always been scrambled.
    int v = static_cast<unsigned char>(stored) + key;
    if (v > 255)
        v -= 255;
    return static_cast<char>(v);
}

char TDistrib::Scramble(char plain, std::uint8_t key)
{
    const int c = static_cast<unsigned char>(plain);
    return static_cast<char>(c >= key ? c - key : c - key + 255);
}

QByteArray TDistrib::Descramble(const QByteArray &stored) const
{
    QByteArray plain(stored.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < stored.size(); ++i)
        plain[i] = Descramble(stored[i], Key);
    return plain;
}

std::unique_ptr<TDistribSource> TDistrib::OpenSource() const
{
    if (FBytes)
        return std::make_unique<TBytesSource>(FBytes);
    auto file = std::make_unique<TFileSource>(FileName);
    if (!file->Open())
        throw EDistribError(
            QStringLiteral("Не удается открыть файл дистрибутива %1: %2").arg(FileName, file->ErrorText()));
    return file;
}

namespace {

void AppendChecked(QByteArray &target, const QByteArray &chunk, qsizetype from, qsizetype count,
                   qsizetype limit)
{
    // The original buffer would overflow here; a record this long is refused instead.
    if (limit >= 0 && target.size() + count > limit)
        throw EDistribError(QStringLiteral("Запись дистрибутива длиннее %1 байт").arg(limit));
    target.append(chunk.constData() + from, count);
}

} // namespace

QByteArray TDistrib::ReadUpTo(TDistribSource &source, TDistribState &state, char sep, qsizetype limit)
{
    QByteArray target;
    for (;;) {
        // A chunk never holds a zero byte, so a separator of value 0 is never found.
        const qsizetype at = sep == 0 ? -1 : state.Chunk.indexOf(sep, state.Cursor);
        if (at >= 0) {
            AppendChecked(target, state.Chunk, state.Cursor, at - state.Cursor, limit);
            state.Cursor = at + 1;
            return target;
        }
        // At the end of the file the unterminated rest of the chunk is dropped and the cursor
        // stays, so every further read gives an empty result.
        if (state.FilePos >= source.Size())
            return target;
        AppendChecked(target, state.Chunk, state.Cursor, state.Chunk.size() - state.Cursor, limit);

        QByteArray chunk(DistribChunkSize, Qt::Uninitialized);
        const qint64 got = source.ReadAt(state.FilePos, chunk.data(), DistribChunkSize);
        if (got <= 0)
            throw EDistribError(
                QStringLiteral("Ошибка чтения файла дистрибутива: %1").arg(source.ErrorText()));
        state.FilePos += got;
        chunk.truncate(got);
        // Zero-terminated text: a stored zero hides the rest of its chunk.
        const qsizetype zero = chunk.indexOf('\0');
        if (zero >= 0)
            chunk.truncate(zero);
        state.Chunk = std::move(chunk);
        state.Cursor = 0;
    }
}

bool TDistrib::ReadHeader(TSetupLog &log)
{
    const QFileInfo info(FileName);
    if (!FBytes && (!info.exists() || info.isDir()))
        return false;
    try {
        const std::unique_ptr<TDistribSource> source = OpenSource();
        TDistribSource &file = *source;
        char key = 0;
        if (file.ReadAt(1, &key, 1) != 1)
            throw EDistribError(QStringLiteral("Файл дистрибутива %1 короче заголовка").arg(FileName));
        Key = static_cast<std::uint8_t>(key);

        // The header fields follow the key, in the plain code and ended by a plain CR.
        TDistribState state;
        state.FilePos = 2;
        ProductName = ServerToDisplay(ReadUpTo(file, state, 13, -1));
        log.Add(ToWin1251(QStringLiteral("Продукт: ")) + ProductName);
        Version = ReadUpTo(file, state, 13, -1);
        log.Add(ToWin1251(QStringLiteral("Версия: ")) + Version);
        BuildDate = ReadUpTo(file, state, 13, -1);
        log.Add(ToWin1251(QStringLiteral("Дата сборки: ")) + BuildDate);
        log.Add(QByteArray());
        if (ProductName.isEmpty() || Version.isEmpty() || BuildDate.isEmpty())
            return false;

        // With these keys one separator would be stored as 0 and never found: the body would
        // read as nothing at all and an installation of nothing would report success.
        if (Key == 10 || Key == 13 || Key == 35 || Key == 64)
            throw EDistribError(QStringLiteral("Недопустимый ключ дистрибутива: %1").arg(Key));
        SepCR = Scramble(13, Key);
        SepLF = Scramble(10, Key);
        SepAt = Scramble(64, Key);
        SepNum = Scramble(35, Key);

        SourcePass = ServerToDisplay(Descramble(ReadUpTo(file, state, SepCR, -1)));
        if (SourcePass.isEmpty())
            return false;
        State = std::move(state);
        Record.clear();
        return true;
    } catch (const EDistribError &e) {
        log.Add(ToWin1251(QStringLiteral("Ошибка GUI приложения: ")) + e.Message);
    } catch (const std::exception &e) {
        log.Add(ToWin1251(QStringLiteral("Ошибка GUI приложения: ")) + QByteArray(e.what()));
    }
    return false;
}

void TDistrib::Open()
{
    Source.reset();
    Source = OpenSource();
}

void TDistrib::Close()
{
    // State.FilePos already is the position after the last chunk read.
    Source.reset();
}

QByteArray TDistrib::ReadField(char sep)
{
    if (!Source)
        Open();
    return ReadUpTo(*Source, State, sep, -1);
}

const QByteArray &TDistrib::ReadRecord()
{
    if (!Source)
        Open();
    Record.clear(); // an exception leaves no half record behind
    Record = ReadUpTo(*Source, State, SepCR, DistribRecordMax);
    return Record;
}

bool TDistrib::ParsePostActions()
{
    PostLabels.clear();
    PostDescs.clear();
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = Record.indexOf(SepAt, from);
        if (at < 0)
            return true; // bytes after the last at sign are ignored
        const QByteArray item = Record.mid(from, at - from);
        const qsizetype num = item.indexOf(SepNum);
        if (num < 0)
            return false;
        PostDescs.append(ServerToDisplay(Descramble(item.left(num))));
        PostLabels.append(Descramble(item.mid(num + 1)));
        from = at + 1;
    }
}

QList<QByteArray> TDistrib::SplitRoutine() const
{
    QList<QByteArray> lines;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = Record.indexOf(SepLF, from);
        if (at < 0)
            return lines; // a last line without its LF is lost
        lines.append(Descramble(Record.mid(from, at - from)));
        from = at + 1;
    }
}

int TDistrib::CountRecords()
{
    TDistribState copy = State;
    QByteArray record = Record;
    std::unique_ptr<TDistribSource> own;
    if (!Source)
        own = OpenSource();
    TDistribSource &source = Source ? *Source : *own;
    int count = 0;
    while (!record.isEmpty()) {
        ++count;
        record = ReadUpTo(source, copy, SepCR, DistribRecordMax);
    }
    return count;
}

bool TDistrib::DetectLibrary(bool enabled)
{
    if (!enabled)
        return false;
    const std::unique_ptr<TDistribSource> source = OpenSource();
    TDistribSource &file = *source;
    TDistribState copy = State;
    const QByteArray label = ReadUpTo(file, copy, SepCR, -1);
    QByteArray record = ReadUpTo(file, copy, SepCR, DistribRecordMax); // the post-action record
    // Skip the check-program list up to its empty record. The list starts after the
    // post-action record; starting the skip at that record itself would, when it is empty,
    // examine a check program instead of a program.
    record = ReadUpTo(file, copy, SepCR, DistribRecordMax);
    if (!label.isEmpty()) {
        while (!record.isEmpty())
            record = ReadUpTo(file, copy, SepCR, DistribRecordMax);
    }
    record = ReadUpTo(file, copy, SepCR, DistribRecordMax);
    record = ReadUpTo(file, copy, SepCR, DistribRecordMax);
    const qsizetype lf = record.indexOf(SepLF);
    const QByteArray name = lf < 0 ? QByteArray() : Descramble(record.left(lf));
    return name.contains('%');
}
