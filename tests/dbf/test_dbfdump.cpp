// dbfdump as whoever sets up a client-bank uses it: the structure, then the records as sent.
#include "codepage.h"
#include "dbfwriter.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome
{
    int Exit = -1;
    QByteArray Out, Err;
};

Outcome Dump(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral(DBFDUMP_PATH), {file});
    EXPECT_TRUE(p.waitForFinished(20000));
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

} // namespace

TEST(DbfDump, PrintsTheStructureThenEveryRecordAsSent)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("export.dbf"));
    QList<QByteArray> blocks;
    ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("export.dbt")),
                          Dbt3({ToCp866(QStringLiteral("за март"))}, blocks)));
    const QByteArray name = ToCp866(QStringLiteral("ООО \"Вектор\""));
    ASSERT_TRUE(WriteDbf(path,
                         {{"NUMDOC", 'C', 6},
                          {"DATEDOC", 'D', 8},
                          {"SUMMA", 'N', 15, 2},
                          {"POLNAME", 'C', 100},
                          {"NOTE", 'M', 10},
                          {"PAID", 'L', 1}},
                         {{{"101", "20240304", "15000.00", name, blocks[0], "T"}},
                          {{"999", "20240305", "1.00", "gone", "", "F"}, true},
                          {{"102", "", "2350.50", "", "", ""}}}));
    const Outcome r = Dump(path);
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out, "NUMDOC\t1\t6\t0\nDATEDOC\t9\t8\t0\nSUMMA\t6\t15\t2\nPOLNAME\t1\t100\t0\n"
                     "NOTE\t16\t10\t0\nPAID\t5\t1\t0\n\n"
                     "101\x02"
                     "04.03.2024\x02"
                     "15000\x02"
                         + name + "\x02" + ToCp866(QStringLiteral("за март"))
                         + "\x02T\n"
                           "102\x02\x02"
                           "2350.5\x02\x02\x02\n");
}

TEST(DbfDump, FailuresGoToStandardErrorWithExitCodeOne)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("none.dbf"));
    Outcome r = Dump(missing);
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(QString::fromLocal8Bit(r.Err), QStringLiteral("dbfdump: Файл %1 не найден\n").arg(missing));

    // A damaged value: the records before it are printed, then the error.
    const QString path = dir.filePath(QStringLiteral("bad.dbf"));
    ASSERT_TRUE(WriteDbf(path, {{"SUMMA", 'N', 10, 2}}, {{{"1.50"}}, {{"1,50"}}}));
    r = Dump(path);
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Out, "SUMMA\t6\t10\t2\n\n1.5\n");
    EXPECT_TRUE(QString::fromLocal8Bit(r.Err).contains(QStringLiteral("«1,50» не является числом")))
        << r.Err.toStdString();
}
