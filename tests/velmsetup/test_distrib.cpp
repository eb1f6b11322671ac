// The distribution reader against hand-made files: header, chunks, zero bytes, end of file,
// records, post-actions, counting and library detection.

#include "codepage.h"
#include "distrib.h"
#include "setuplog.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray W(const char16_t *text) { return ToWin1251(QString::fromUtf16(text)); }

// The body in plain bytes, scrambled with key.
QByteArray Scrambled(const QByteArray &plain, int key)
{
    QByteArray out;
    for (char c : plain) {
        const int p = static_cast<unsigned char>(c);
        out.append(static_cast<char>(p >= key ? p - key : p - key + 255));
    }
    return out;
}

QByteArray Header(int key, const QByteArray &product = "Prod", const QByteArray &version = "2.8",
                  const QByteArray &date = "01.02.2003")
{
    return QByteArray("V") + char(key) + product + '\r' + version + '\r' + date + '\r';
}

class DistribFile : public ::testing::Test
{
protected:
    QString Write(const QByteArray &bytes)
    {
        const QString path = dir.filePath(QStringLiteral("velminstal.dat"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    QTemporaryDir dir;
    TSetupLog log;
};

} // namespace

TEST_F(DistribFile, HeaderLinesAreLoggedInWindows1251AndFailuresAreClear)
{
    // CP866 "Шлюз" becomes Windows-1251 through the installer's table.
    TDistrib d(Write(Header(0, "\x98\xab\xee\xa7") + "pass\r"));
    ASSERT_TRUE(d.ReadHeader(log));
    ASSERT_EQ(log.Lines.size(), 4);
    EXPECT_EQ(log.Lines[0], QByteArray("\xcf\xf0\xee\xe4\xf3\xea\xf2: \xd8\xeb\xfe\xe7"));
    EXPECT_EQ(log.Lines[1], W(u"Версия: ") + "2.8");
    EXPECT_EQ(log.Lines[2], W(u"Дата сборки: ") + "01.02.2003");
    EXPECT_EQ(log.Lines[3], QByteArray());
    EXPECT_EQ(d.SourcePass, "pass");

    // Missing file: failure, nothing logged.
    TSetupLog none;
    EXPECT_FALSE(TDistrib(dir.filePath(QStringLiteral("absent.dat"))).ReadHeader(none));
    EXPECT_TRUE(none.Lines.isEmpty());

    // An empty version still logs all three lines and the empty one, then fails.
    TSetupLog l2;
    EXPECT_FALSE(TDistrib(Write(Header(0, "P", "") + "pass\r")).ReadHeader(l2));
    EXPECT_EQ(l2.Lines.size(), 4);

    // Empty source password.
    TSetupLog l3;
    EXPECT_FALSE(TDistrib(Write(Header(5) + Scrambled("\r", 5))).ReadHeader(l3));

    // Too short to hold a key: the exception's text is logged.
    TSetupLog l4;
    EXPECT_FALSE(TDistrib(Write("V")).ReadHeader(l4));
    ASSERT_EQ(l4.Lines.size(), 1);
    EXPECT_TRUE(l4.Lines[0].startsWith(W(u"Ошибка GUI приложения: "))) << l4.Lines[0].toStdString();
    EXPECT_GT(l4.Lines[0].size(), W(u"Ошибка GUI приложения: ").size());

    // A key that turns a separator into 0 is refused instead of reading the body as nothing.
    for (int key : {10, 13, 35, 64}) {
        TSetupLog l5;
        EXPECT_FALSE(TDistrib(Write(Header(key) + Scrambled("pass\r\r\r\r\r\r", key))).ReadHeader(l5)) << key;
        EXPECT_TRUE(l5.Lines.constLast().startsWith(W(u"Ошибка GUI приложения: "))) << key;
    }
}

TEST_F(DistribFile, CrLfHeaderPutsEachLfIntoTheNextField)
{
    const int key = 20;
    QByteArray file = QByteArray("V") + char(key) + "Prod\r\n2.8\r\n01.02.2003\r\n" + Scrambled("pw\r", key);
    TDistrib d(Write(file));
    ASSERT_TRUE(d.ReadHeader(log));
    EXPECT_EQ(d.ProductName, "Prod");
    EXPECT_EQ(d.Version, "\n2.8");
    EXPECT_EQ(d.BuildDate, "\n01.02.2003");
    // The stored LF descrambles to 10 + 20.
    EXPECT_EQ(d.SourcePass, QByteArray(1, char(30)) + "pw");
}

TEST_F(DistribFile, SeparatorsAndDescramblingFollowTheKey)
{
    // Key 0: the body is plain text and the separators are the plain bytes.
    TDistrib d0(Write(Header(0) + "pw\r"));
    ASSERT_TRUE(d0.ReadHeader(log));
    EXPECT_EQ(d0.SepCR, 13);
    EXPECT_EQ(d0.SepLF, 10);
    // Above 13 the stored CR is 13 - k + 255; below, 13 - k.
    EXPECT_EQ(static_cast<unsigned char>(TDistrib::Scramble(13, 14)), 254);
    EXPECT_EQ(static_cast<unsigned char>(TDistrib::Scramble(13, 12)), 1);
    EXPECT_EQ(TDistrib::Descramble(TDistrib::Scramble(13, 14), 14), 13);
    // 255, not 256: 255 - k comes back as 255, and 250 + 10 wraps to 5.
    for (int key : {1, 12, 14, 200, 254})
        EXPECT_EQ(static_cast<unsigned char>(TDistrib::Descramble(char(255 - key), std::uint8_t(key))), 255)
            << key;
    EXPECT_EQ(static_cast<unsigned char>(TDistrib::Descramble(char(250), 10)), 5);
}

TEST_F(DistribFile, StagesContinueFromTheKeptStateAndCountWithoutMovingIt)
{
    const int key = 77;
    // Programs big enough that records straddle several chunks.
    QByteArray plain = "pw\rchk^CHK\rDesc one#post1^P@Two#x#y@tail\r";
    plain += "CHK\n line\n\r\r"; // one check program, the list's empty record
    QList<QByteArray> names;
    for (int i = 0; i < 7; ++i) {
        const QByteArray name = "PRG" + QByteArray::number(i);
        names << name;
        plain += name + "\n" + QByteArray(4000 * (i + 1) % 15000 + 3, 'a') + "\n ; end\n\r";
    }
    plain += "\r";
    TDistrib d(Write(Header(key) + Scrambled(plain, key)));
    ASSERT_TRUE(d.ReadHeader(log));
    const TDistribState start = d.State;

    // The check stage.
    d.Open();
    d.CheckLabel = d.Descramble(d.ReadField(d.SepCR));
    EXPECT_EQ(d.CheckLabel, "chk^CHK");
    d.ReadRecord();
    ASSERT_TRUE(d.ParsePostActions());
    EXPECT_EQ(d.PostDescs, (QList<QByteArray>{"Desc one", "Two"}));
    // Two number signs: the second one belongs to the label; bytes after the last @ are ignored.
    EXPECT_EQ(d.PostLabels, (QList<QByteArray>{"post1^P", "x#y"}));
    d.ReadRecord();
    EXPECT_EQ(d.CountRecords(), 1);
    EXPECT_EQ(d.SplitRoutine(), (QList<QByteArray>{"CHK", " line"}));
    EXPECT_TRUE(d.ReadRecord().isEmpty());
    d.Close();

    // The library detection in between neither moves the reader nor touches the record.
    const TDistribState kept = d.State;
    EXPECT_FALSE(d.DetectLibrary());
    EXPECT_EQ(d.State.FilePos, kept.FilePos);
    EXPECT_EQ(d.State.Cursor, kept.Cursor);

    // The program stage, in a new opening of the file.
    d.Open();
    d.ReadRecord();
    EXPECT_EQ(d.CountRecords(), 7);
    EXPECT_EQ(d.CountRecords(), 7);
    QList<QByteArray> seen;
    while (!d.Record.isEmpty()) {
        const QList<QByteArray> lines = d.SplitRoutine();
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(lines[2], " ; end");
        seen << lines[0];
        d.ReadRecord();
    }
    EXPECT_EQ(seen, names);
    // Past the end every read is empty.
    EXPECT_TRUE(d.ReadRecord().isEmpty());
    d.Close();
    EXPECT_GT(d.State.FilePos, start.FilePos);
}

TEST_F(DistribFile, ZeroByteHidesTheRestOfItsChunk)
{
    // Key 0, so the body is plain. Chunks start right after the key byte, at offset 2.
    QByteArray file = Header(0) + "pw\r\r\r\r\r"; // password, no label, no posts, lists end, spare
    file += "A\n x\n\r";
    file += "B\n";
    const qsizetype zeroAt = file.size();
    file += '\0';
    file += QByteArray(10240 + 2 - file.size(), 'z'); // hidden, up to the end of chunk 1
    file += " y\n\rC\n z\n\r";                        // chunk 2 carries on with B's record
    TDistrib d(Write(file));
    ASSERT_LT(zeroAt, 10242);
    ASSERT_TRUE(d.ReadHeader(log));
    d.Open();
    EXPECT_TRUE(d.ReadField(d.SepCR).isEmpty());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(d.ReadRecord().isEmpty());
    d.ReadRecord();
    EXPECT_EQ(d.SplitRoutine(), (QList<QByteArray>{"A", " x"}));
    d.ReadRecord();
    EXPECT_EQ(d.SplitRoutine(), (QList<QByteArray>{"B", " y"}));
    d.ReadRecord();
    EXPECT_EQ(d.SplitRoutine(), (QList<QByteArray>{"C", " z"}));
    EXPECT_TRUE(d.ReadRecord().isEmpty());
}

TEST_F(DistribFile, EndOfFileRules)
{
    const QByteArray lists = Header(0) + "pw\r\r\r\r\r";
    {
        // The file ends right after the last program's CR: the list ends normally.
        TDistrib d(Write(lists + "A\n x\n\r"));
        ASSERT_TRUE(d.ReadHeader(log));
        for (int i = 0; i < 5; ++i)
            d.ReadRecord();
        EXPECT_EQ(d.SplitRoutine().value(0), "A");
        EXPECT_TRUE(d.ReadRecord().isEmpty());
    }
    {
        // An unterminated record in the last chunk is dropped; the last line without LF too.
        TDistrib d(Write(lists + "A\n x\n y\rB\n w\n"));
        ASSERT_TRUE(d.ReadHeader(log));
        for (int i = 0; i < 5; ++i)
            d.ReadRecord();
        EXPECT_EQ(d.SplitRoutine(), (QList<QByteArray>{"A", " x"}));
        EXPECT_TRUE(d.ReadRecord().isEmpty());
        EXPECT_TRUE(d.ReadRecord().isEmpty());
    }
    {
        // An unterminated record spanning chunks keeps what the earlier chunks gave.
        QByteArray file = lists + "A\n";
        const qsizetype fill = 10242 - file.size();
        file += QByteArray(fill, 'q') + "tail\n";
        TDistrib d(Write(file));
        ASSERT_TRUE(d.ReadHeader(log));
        for (int i = 0; i < 4; ++i)
            d.ReadRecord();
        EXPECT_EQ(d.ReadRecord(), "A\n" + QByteArray(fill, 'q'));
        EXPECT_TRUE(d.ReadRecord().isEmpty());
    }
}

TEST_F(DistribFile, RecordLimitIsAnErrorNotAnOverflow)
{
    const QByteArray lists = Header(0) + "pw\r\r\r\r\r";
    QByteArray fits = "A\n" + QByteArray(DistribRecordMax - 3, 'x') + "\n";
    ASSERT_EQ(fits.size(), DistribRecordMax);
    TDistrib d(Write(lists + fits + "\r" + fits + "y\rB\n\r"));
    ASSERT_TRUE(d.ReadHeader(log));
    for (int i = 0; i < 4; ++i)
        d.ReadRecord();
    EXPECT_EQ(d.ReadRecord().size(), DistribRecordMax);
    // Counting meets the long record as well.
    EXPECT_THROW(d.CountRecords(), EDistribError);
    try {
        d.ReadRecord();
        FAIL() << "a record of 153,600 bytes was read";
    } catch (const EDistribError &e) {
        EXPECT_TRUE(FromWin1251(e.Message).contains(QStringLiteral("153599"))) << e.what();
    }
    EXPECT_TRUE(d.Record.isEmpty());
}

TEST_F(DistribFile, PostActionParse)
{
    TDistrib d(Write(Header(3) + Scrambled("pw\r", 3)));
    ASSERT_TRUE(d.ReadHeader(log));
    auto parse = [&](const QByteArray &plain) {
        d.Record = Scrambled(plain, 3);
        return d.ParsePostActions();
    };
    // A description in CP866 comes out in the display code page; the label is left alone.
    ASSERT_TRUE(parse("\x8f\xe0\xa8#lab^R@"));
    EXPECT_EQ(d.PostDescs, QList<QByteArray>{W(u"При")});
    EXPECT_EQ(d.PostLabels, QList<QByteArray>{"lab^R"});
    ASSERT_TRUE(parse("no at sign # here"));
    EXPECT_TRUE(d.PostDescs.isEmpty());
    EXPECT_TRUE(d.PostLabels.isEmpty());
    // The item without a number sign fails the parse; the ones before it stay.
    EXPECT_FALSE(parse("a#x@bad@c#y@"));
    EXPECT_EQ(d.PostLabels, QList<QByteArray>{"x"});
    EXPECT_EQ(d.PostDescs, QList<QByteArray>{"a"});
}

TEST_F(DistribFile, LibraryDetectionExaminesOneProgramName)
{
    auto detect = [&](const QByteArray &body, bool enabled = true) {
        TDistrib d(Write(Header(9) + Scrambled("pw\r" + body, 9)));
        EXPECT_TRUE(d.ReadHeader(log));
        return d.DetectLibrary(enabled);
    };
    // With a check label the second program's name counts.
    EXPECT_TRUE(detect("c^C\rd#p@\rC\n\r\rA\n\rLIB%X\n\r\r"));
    EXPECT_FALSE(detect("c^C\rd#p@\rC\n\r\r%A\n\rB\n\r\r"));
    EXPECT_FALSE(detect("c^C\rd#p@\rC\n\r\rA\n\rLIB%X\n\r\r", false));
    // Also when there are no post-actions (the record before the check programs is empty).
    EXPECT_TRUE(detect("c^C\r\rC\n\rC2\n\r\rA\n\r%B\n\r\r"));
    // Without a check label the first program's name counts.
    EXPECT_TRUE(detect("\r\r\r\r%A\n\rB\n\r\r"));
    EXPECT_FALSE(detect("\r\r\r\rA\n\r%B\n\r\r"));
    // A name without its LF is an empty text.
    EXPECT_FALSE(detect("\r\r\r\r%A\r\r"));
}
