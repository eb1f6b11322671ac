#pragma once
// The distribution reader. "velminstal.dat" is a plain header (key, product, version, build
// date) followed by a body scrambled with the key. The body is read in 10,240-byte chunks that
// are handled as zero-terminated text, from stage to stage: each stage opens the file again and
// continues from the kept state. The reader never writes the file.
//
// Typical use by a stage:
//     d.Open();                                   // continue from d.State
//     d.CheckLabel = d.Descramble(d.ReadField(d.SepCR));
//     d.ReadRecord();                              // into d.Record
//     if (!d.ParsePostActions()) ...
//     while (!d.Record.isEmpty()) { QList<QByteArray> lines = d.SplitRoutine(); ...; d.ReadRecord(); }
//     d.Close();                                   // keeps the position for the next stage
// Every operation but ReadHeader throws EDistribError on an I/O failure or a record that is
// too long; the stages log its Message after "Ошибка GUI приложения: ".

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <exception>
#include <memory>

class TSetupLog;

// A distribution that cannot be read. Message is Windows-1251.
class EDistribError : public std::exception
{
public:
    explicit EDistribError(const QString &message);
    const char *what() const noexcept override { return Message.constData(); }
    QByteArray Message;
};

inline constexpr qsizetype DistribChunkSize = 10240;
// The record buffer holds 153,600 bytes with its terminating zero.
inline constexpr qsizetype DistribRecordMax = 153599;

// Where reading stands. Chunk holds the chunk's bytes up to its first zero byte (the rest of a
// chunk after a stored zero is never seen); an empty chunk makes the next read load one.
struct TDistribState
{
    qint64 FilePos = 0; // file position after the last chunk read
    QByteArray Chunk;
    qsizetype Cursor = 0; // into Chunk
};

// Where a distribution's bytes come from: its file, or bytes in memory (tests, fuzzing).
class TDistribSource
{
public:
    virtual ~TDistribSource() = default;
    virtual qint64 Size() const = 0;
    // Up to count bytes from pos; the count read, or -1 with ErrorText set.
    virtual qint64 ReadAt(qint64 pos, char *to, qint64 count) = 0;
    virtual QString ErrorText() const = 0;
};

class TDistrib
{
public:
    explicit TDistrib(QString fileName);
    // A distribution read from bytes instead of the file FileName.
    static TDistrib FromBytes(QByteArray bytes, QString fileName = QStringLiteral("velminstal.dat"));

    // Reads the key, the three header fields (logging them) and the source password, derives
    // the stored separators and keeps the state. False on a missing file, an empty header field
    // or an empty source password; an exception is logged and gives false.
    bool ReadHeader(TSetupLog &log);

    // A stage's bracket: Open continues at State.FilePos, Close keeps where reading stands.
    void Open();
    void Close();
    bool IsOpen() const { return Source != nullptr; }

    // The stored bytes up to the next sep (consumed, not included); no length limit.
    QByteArray ReadField(char sep);
    // The stored bytes up to the next stored CR into Record; empty at the end of the file.
    const QByteArray &ReadRecord();

    // Splits Record into PostDescs (descrambled, display code page) and PostLabels
    // (descrambled). False at the first item without a stored number sign.
    bool ParsePostActions();
    // The descrambled lines of Record, line 1 being the routine name; bytes after the last
    // stored LF are dropped.
    QList<QByteArray> SplitRoutine() const;
    // Non-empty records from the current one up to the next empty one; reading stands where
    // it stood afterwards. Needs an open file.
    int CountRecords();
    // Whether the distribution holds library routines (a "%" in the examined program name).
    // Reads on copies and leaves the state untouched; false at once when not enabled.
    bool DetectLibrary(bool enabled = true);

    QByteArray Descramble(const QByteArray &stored) const;
    static char Descramble(char stored, std::uint8_t key);
    static char Scramble(char plain, std::uint8_t key); // the stored form of a plain byte

    QString FileName;
    QByteArray ProductName; // display code page
    QByteArray Version;
    QByteArray BuildDate;
    QByteArray SourcePass; // display code page
    std::uint8_t Key = 0;
    char SepCR = 13;
    char SepLF = 10;
    char SepAt = 64;
    char SepNum = 35;

    // Filled by the check stage.
    QByteArray CheckLabel;        // descrambled, server code page
    QList<QByteArray> PostLabels; // item i belongs to PostDescs[i]
    QList<QByteArray> PostDescs;

    QByteArray Record; // the current record, stored (scrambled) bytes
    TDistribState State;

private:
    // The reading rule of fields and records, on any source and state; limit < 0: none.
    static QByteArray ReadUpTo(TDistribSource &source, TDistribState &state, char sep, qsizetype limit);
    std::unique_ptr<TDistribSource> OpenSource() const;

    std::unique_ptr<TDistribSource> Source;   // open between Open and Close
    std::shared_ptr<const QByteArray> FBytes; // set: read these instead of the file
};
