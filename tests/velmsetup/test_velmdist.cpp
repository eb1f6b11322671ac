// velmdist writes what the installer's reader reads back, and refuses what it could not.

#include "codepage.h"
#include "distrib.h"
#include "distwriter.h"
#include "setuplog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray Cp(const char16_t *text) { return ToCp866(QString::fromUtf16(text)); }
QByteArray W(const char16_t *text) { return ToWin1251(QString::fromUtf16(text)); }

TDistContent Sample(int key, bool withCheck)
{
    TDistContent c;
    c.Product = Cp(u"Шлюз ВЕЛЬМ-Банк");
    c.Version = "2.8";
    c.BuildDate = "09.12.2024";
    c.Key = key;
    c.SourcePass = Cp(u"Секрет");
    if (withCheck) {
        c.CheckLabel = "chk^ZZCHK";
        c.CheckPrograms = {{"ZZCHK", {"ZZCHK ;check", "chk() q \"\""}}, {"%ZZC2", {"%ZZC2 ;", " q"}}};
    }
    c.PostActions = {{Cp(u"Перенос настроек"), "post1^ZZ001"}, {"Second", "post2^ZZ001(1)"}};
    // Every byte the format can carry under this key, in one line.
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        if (b != 10 && b != 13 && b != key)
            all.append(char(b));
    c.Programs = {{"ZZ001", {"ZZ001 ;; cp866", " w \"" + Cp(u"Привет") + "\"", all}},
                  {"ZZ001a", {"ZZ001a"}},
                  {"%cplogG", {"%cplogG ;", QByteArray(12000, 'x'), " q"}}};
    return c;
}

QString WriteFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("velminstal.dat"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    return path;
}

// Reads a distribution the way the check and program stages do.
void ExpectReadsBack(const QString &path, const TDistContent &c)
{
    TSetupLog log;
    TDistrib d(path);
    ASSERT_TRUE(d.ReadHeader(log));
    EXPECT_EQ(d.Key, c.Key);
    EXPECT_EQ(d.ProductName, ServerToDisplay(c.Product));
    EXPECT_EQ(d.Version, c.Version);
    EXPECT_EQ(d.BuildDate, c.BuildDate);
    EXPECT_EQ(d.SourcePass, ServerToDisplay(c.SourcePass));
    EXPECT_EQ(log.Lines.value(0), W(u"Продукт: ") + ServerToDisplay(c.Product));

    d.Open();
    d.CheckLabel = d.Descramble(d.ReadField(d.SepCR));
    EXPECT_EQ(d.CheckLabel, c.CheckLabel);
    d.ReadRecord();
    ASSERT_TRUE(d.ParsePostActions());
    ASSERT_EQ(d.PostLabels.size(), c.PostActions.size());
    for (qsizetype i = 0; i < c.PostActions.size(); ++i) {
        EXPECT_EQ(d.PostLabels[i], c.PostActions[i].Label);
        EXPECT_EQ(d.PostDescs[i], ServerToDisplay(c.PostActions[i].Description));
    }
    d.ReadRecord();
    EXPECT_EQ(d.CountRecords(), c.CheckPrograms.size());
    for (const TDistRoutine &r : c.CheckPrograms) {
        const QList<QByteArray> lines = d.SplitRoutine();
        EXPECT_EQ(lines.value(0), r.Name);
        EXPECT_EQ(lines.mid(1), r.Lines);
        d.ReadRecord();
    }
    EXPECT_TRUE(d.Record.isEmpty());
    if (c.CheckLabel.isEmpty())
        d.ReadRecord(); // the spare record
    d.Close();

    d.Open();
    d.ReadRecord();
    EXPECT_EQ(d.CountRecords(), c.Programs.size());
    for (const TDistRoutine &r : c.Programs) {
        const QList<QByteArray> lines = d.SplitRoutine();
        EXPECT_EQ(lines.value(0), r.Name);
        EXPECT_EQ(lines.mid(1), r.Lines) << r.Name.constData();
        d.ReadRecord();
    }
    EXPECT_TRUE(d.Record.isEmpty());
    d.Close();
}

void WriteText(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void ExpectRefused(const TDistContent &c, const char *word)
{
    try {
        WriteDistribution(c);
        ADD_FAILURE() << "written, expected a refusal about " << word;
    } catch (const EDistBuild &e) {
        EXPECT_TRUE(e.Message.contains(QString::fromUtf8(word))) << e.what();
    }
}

} // namespace

TEST(Velmdist, RoundTripsThroughTheReaderForEveryKindOfKey)
{
    QTemporaryDir dir;
    for (int key : {0, 1, 12, 14, 200, 254}) {
        for (bool withCheck : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "key " << key << (withCheck ? " with" : " without") << " check label");
            const TDistContent c = Sample(key, withCheck);
            const QByteArray bytes = WriteDistribution(c);
            EXPECT_FALSE(bytes.mid(2).contains('\0'));
            EXPECT_EQ(static_cast<unsigned char>(bytes[1]), key);
            ExpectReadsBack(WriteFile(dir, bytes), c);
        }
    }
    // Key 0 leaves the body plain.
    EXPECT_TRUE(WriteDistribution(Sample(0, true)).contains("chk^ZZCHK\r"));
}

TEST(Velmdist, RefusesWhatTheReaderCouldNotRead)
{
    for (int key : {10, 13, 35, 64}) {
        TDistContent c = Sample(key, true);
        c.Programs.clear();
        ExpectRefused(c, "key may not be");
    }
    TDistContent c = Sample(200, true);
    c.Programs[1].Lines.append(W(u"ИМЯ")); // И is 200 in Windows-1251
    ExpectRefused(c, "equal to the key 200");

    // A routine name holding the key's byte ('a' is 97).
    c = Sample(97, true);
    ExpectRefused(c, "the name of routine ZZ001a: byte 6 is 0x61, equal to the key 97");

    c = Sample(5, true);
    c.SourcePass = "a\rb";
    ExpectRefused(c, "separator CR");
    c = Sample(5, true);
    c.Programs[0].Lines.append(" w 1\n w 2");
    ExpectRefused(c, "routine ZZ001, line 4: contains the separator LF");
    c = Sample(5, true);
    c.PostActions[0].Description = "50@";
    ExpectRefused(c, "separator '@'");
    c = Sample(5, true);
    c.PostActions[1].Label = "a#b";
    ExpectRefused(c, "separator '#'");
    c = Sample(5, true);
    c.Programs[0].Lines.append(QByteArray(1, '\0'));
    ExpectRefused(c, "is 0");
    c = Sample(5, true);
    c.CheckPrograms.clear();
    ExpectRefused(c, "needs at least one check program");
    c = Sample(5, false);
    c.CheckPrograms = Sample(5, true).CheckPrograms;
    ExpectRefused(c, "without a check label");
    c = Sample(5, true);
    c.Programs[2].Name = "9bad";
    ExpectRefused(c, "not a valid M routine name");
    c = Sample(5, true);
    c.Programs[2].Lines = {QByteArray(DistribRecordMax, 'x')};
    ExpectRefused(c, "a record holds at most 153599");
    c = Sample(5, true);
    c.SourcePass.clear();
    ExpectRefused(c, "source password is empty");
    c = Sample(5, true);
    c.Version = "2.8\r";
    ExpectRefused(c, "the version contains a CR");

    // A routine of exactly the record limit is still written and read back.
    c = Sample(5, false);
    c.Programs = {{"BIG", {QByteArray(DistribRecordMax - 5, 'x')}}};
    QTemporaryDir dir;
    ExpectReadsBack(WriteFile(dir, WriteDistribution(c)), c);
}

TEST(Velmdist, RoutineSourcesFollowTheirCodePageMarker)
{
    QTemporaryDir dir;
    const QString p866 = dir.filePath(QStringLiteral("_cplogG.m"));
    WriteText(p866, QStringLiteral("cplogG ;; cp866\r\n w \"Привет Ёё\"\r\n").toUtf8());
    const TDistRoutine r866 = LoadRoutineSource(p866);
    EXPECT_EQ(r866.Name, "%cplogG");
    EXPECT_EQ(r866.Lines, (QList<QByteArray>{"cplogG ;; cp866", " w \"" + Cp(u"Привет Ёё") + "\""}));

    const QString p1251 = dir.filePath(QStringLiteral("ZZ001.m"));
    WriteText(p1251, QStringLiteral("ZZ001 ; gateway ;; cp1251  \n w \"Шлюз\"").toUtf8());
    EXPECT_EQ(LoadRoutineSource(p1251).Lines.value(1), " w \"" + W(u"Шлюз") + "\"");

    const QString plain = dir.filePath(QStringLiteral("ZZ002.m"));
    WriteText(plain, QStringLiteral("ZZ002 ;\n w \"Шлюз\"\n").toUtf8());
    EXPECT_THROW(
        {
            try {
                LoadRoutineSource(plain);
            } catch (const EDistBuild &e) {
                EXPECT_TRUE(e.Message.contains(QStringLiteral("line 2"))) << e.what();
                throw;
            }
        },
        EDistBuild);
    WriteText(plain, QByteArray("ZZ002 ;; cp866\n w \"\xff\xfe\"\n"));
    EXPECT_THROW(LoadRoutineSource(plain), EDistBuild); // not UTF-8
    WriteText(plain, QStringLiteral("ZZ002 ;; cp866\n w \"日本\"\n").toUtf8());
    EXPECT_THROW(LoadRoutineSource(plain), EDistBuild); // beyond CP866

    EXPECT_THROW(RoutineNameFromFile(QStringLiteral("my-routine.m")), EDistBuild);
    EXPECT_THROW(RoutineNameFromFile(QStringLiteral("9lives.m")), EDistBuild);
    // The installer's table cannot show Ё: refused in display texts.
    EXPECT_THROW(ServerDisplayText(QStringLiteral("Ёлка"), QStringLiteral("product")), EDistBuild);
}

TEST(Velmdist, ManifestAndFolderBuildAFileTheInstallerReads)
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    ASSERT_TRUE(QDir().mkpath(src));
    WriteText(src + QStringLiteral("/ZZCHK.m"), "ZZCHK ;\nchk() q \"\"\n");
    WriteText(src + QStringLiteral("/ZZ001.m"), QStringLiteral("ZZ001 ;; cp866\n w \"Да\"\n").toUtf8());
    WriteText(src + QStringLiteral("/ZZ001a.m"), "ZZ001a ;\n q\n");
    WriteText(src + QStringLiteral("/_caA03.m"), "%caA03 ;\n q\n");
    const QString manifest = dir.filePath(QStringLiteral("velmdist.ini"));
    const QByteArray text = QStringLiteral("# demo\n"
                                           "product = Шлюз ВЕЛЬМ-Банк\n"
                                           "version = 2.8\n"
                                           "date = 09.12.2024\n"
                                           "key = 200\n"
                                           "password = секрет\n"
                                           "check = chk^ZZCHK\n"
                                           "checkprograms = ZZCHK\n"
                                           "post = post1^ZZ001 Перенос настроек\n"
                                           "post = post2^ZZ001\n"
                                           "programs = ZZ001a %caA03\n"
                                           "programs = ZZ001\n")
                                .toUtf8();
    WriteText(manifest, text);
    const QString out = dir.filePath(QStringLiteral("velminstal.dat"));
    BuildDistributionFile(src, manifest, out);

    const TDistContent c = ReadManifest(manifest, src);
    ASSERT_EQ(c.Programs.size(), 3);
    EXPECT_EQ(c.Programs[1].Name, "%caA03");
    EXPECT_EQ(c.PostActions[1].Description, QByteArray());
    ExpectReadsBack(out, c);
    TDistrib d(out);
    TSetupLog log;
    ASSERT_TRUE(d.ReadHeader(log));
    EXPECT_EQ(d.SourcePass, W(u"секрет"));
    EXPECT_TRUE(d.DetectLibrary()); // the second program is %caA03

    // Without a programs line the rest of the folder goes in name order.
    QByteArray noOrder = text;
    noOrder.replace("programs = ZZ001a %caA03\nprograms = ZZ001\n", "");
    WriteText(manifest, noOrder);
    const TDistContent byName = ReadManifest(manifest, src);
    ASSERT_EQ(byName.Programs.size(), 3);
    EXPECT_EQ(byName.Programs[0].Name, "%caA03");
    EXPECT_EQ(byName.Programs[2].Name, "ZZ001a");

    // A routine file that no list names is an error, not a silent omission.
    QByteArray missing = text;
    missing.replace("programs = ZZ001\n", "");
    WriteText(manifest, missing);
    EXPECT_THROW(ReadManifest(manifest, src), EDistBuild);
    QByteArray unknown = text + "colour = red\n";
    WriteText(manifest, unknown);
    EXPECT_THROW(ReadManifest(manifest, src), EDistBuild);

    // The command line: usage, a refusal, success.
    QProcess p;
    p.start(QStringLiteral(VELMDIST_EXE), {});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    p.start(QStringLiteral(VELMDIST_EXE), {src, manifest, out});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("colour"));
    WriteText(manifest, text);
    QFile::remove(out);
    p.start(QStringLiteral(VELMDIST_EXE), {src, manifest, out});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    EXPECT_TRUE(QFile::exists(out));
}
