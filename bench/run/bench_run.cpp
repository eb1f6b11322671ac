// The document run ("Запись") over a money-out file of 100,000 new records against `velmd demo`,
// every similar document answered "Создать новый" beforehand as velmbank-import --similar create
// does: documents per second, the time per document at 1,000 and at 100,000, peak memory. Beside
// it, in the same run: the $$RecYB calls of as many other new records alone through TXAPI, half
// before the run and half after it, so that they meet the database at the sizes the run meets.
//   bench_run [RECORDS]

#include "BenchSupport.h"
#include "Routines.h"
#include "VelmdProcess.h"
#include "codepage.h"
#include "data.h"
#include "dbfsettings.h"
#include "taskdata.h"
#include "taskrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double TargetRunOverBare = 0.95;
constexpr double TargetRatio = 1.5; // per document at the big file over the small one
constexpr double TargetRssMb = 300;
constexpr int SmallFile = 1000;

// The run asks for the operator's surname; nothing else is asked with this policy.
class RunUi : public QuietUi
{
public:
    std::optional<QString> AskName(const QString &, const QString &, const QString &,
                                   const NameCheck &) override
    {
        return QStringLiteral("Иванова");
    }
};

bool Import(TdmTask &engine, const QString &path, int expected)
{
    engine.BuildTaskTable(1);
    if (!engine.ImportDbfFile(path, 1) || engine.tbTask->RecordCount() != expected) {
        std::fprintf(stderr, "bench_run: the import of %s failed\n", QFile::encodeName(path).constData());
        return false;
    }
    return true;
}

// The rows of a file as the run would send them.
QList<QByteArray> Rows(TdmTask &engine, const QString &path, int expected)
{
    QList<QByteArray> rows;
    if (!Import(engine, path, expected))
        return rows;
    TTaskRun run(&engine);
    for (engine.tbTask->First(); !engine.tbTask->Eof(); engine.tbTask->Next())
        rows.append(run.TaskRowText());
    return rows;
}

// The file imported and run. Elapsed ns of the run, -1 on failure.
qint64 ImportAndRun(TdmTask &engine, const QString &path, int expected)
{
    if (!Import(engine, path, expected))
        return -1;
    TTaskRun run(&engine);
    run.Similar = TSimilarPolicy::Create;
    QElapsedTimer t;
    t.start();
    run.actRunExecute();
    const qint64 ns = t.nsecsElapsed();
    int created = 0;
    for (const TRecordResult &r : engine.Records)
        created += r.Outcome == TRecordOutcome::Created;
    if (!run.RunFailure.isEmpty() || created != expected) {
        std::fprintf(stderr, "bench_run: %d of %d documents created: %s\n", created, expected,
                     FromWin1251(run.RunFailure).toUtf8().constData());
        return -1;
    }
    return ns;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    RunUi ui;
    SetUi(&ui);
    const int count = argc > 1 ? std::max(SmallFile, std::atoi(argv[1])) : 100000;

    VelmdProcess server(VelmdProcess::Kind::Demo);
    if (!server.Start()) {
        std::fprintf(stderr, "velmd: %s\n", server.Error.toUtf8().constData());
        return 1;
    }
    const QString big = server.DataDir() + QStringLiteral("/bench_big.dbf");
    const QString small = server.DataDir() + QStringLiteral("/bench_small.dbf");
    const QString before = server.DataDir() + QStringLiteral("/bench_before.dbf");
    const QString after = server.DataDir() + QStringLiteral("/bench_after.dbf");
    const int half = count / 2;
    if (!MakeClientBankFile(big, count, 3024) || !MakeClientBankFile(small, SmallFile, 3025)
        || !MakeClientBankFile(before, half, 3026) || !MakeClientBankFile(after, count - half, 3027))
        return 1;

    TdmSet dm;
    TLink &link = dm.Link;
    link.ProfileFileName = server.WriteProfile(QStringLiteral("VELM"));
    if (!link.OpenConnection() || !link.Login("1", "velm1", "lich1") || !dm.LoadAtStartUp())
        return 1;
    TdmTask engine(dm);
    dm.tbTasks->GotoBookmark(dm.TaskRowMoneyOut);
    const QByteArray client = dm.tbTasks->AsString(TdmSet::tkClient);
    if (!dm.LoadSettings(client) || !LocateRecord(*dm.tbSets, QStringLiteral("Id"), "1"))
        return 1;

    const qint64 smallNs = ImportAndRun(engine, small, SmallFile);
    if (smallNs < 0)
        return 1;
    const QByteArray surname = ToWin1251(QStringLiteral("Иванова"));
    const auto bare = [&](const QString &path, int n) -> qint64 {
        const QList<QByteArray> rows = Rows(engine, path, n);
        if (rows.size() != n)
            return -1;
        QElapsedTimer t;
        t.start();
        for (const QByteArray &row : rows)
            if (!link.XApiLink->Call({Routines::RecYB, row, surname}).isEmpty())
                return -1;
        return t.nsecsElapsed();
    };
    const qint64 bareBefore = bare(before, half);
    const qint64 bigNs = ImportAndRun(engine, big, count);
    const qint64 bareAfter = bare(after, count - half);
    if (bareBefore < 0 || bigNs < 0 || bareAfter < 0)
        return 1;
    const qint64 bareNs = bareBefore + bareAfter;
    const double rss = PeakRssMb();
    link.Logout();
    link.CloseConnection();

    const double rate = count / (double(bigNs) / 1e9);
    const double bareRate = count / (double(bareNs) / 1e9);
    const double perSmall = double(smallNs) / SmallFile / 1e3, perBig = double(bigNs) / count / 1e3;
    const double ratio = perBig / perSmall, runOverBare = rate / bareRate;
    std::printf("run: %d money-out documents created through the document run against velmd demo (GT.M)\n",
                count);
    std::printf("  run:                     %9.0f documents/s  (%.2f s)\n", rate, double(bigNs) / 1e9);
    std::printf("  time per document:       %9.1f us at %d, %.1f us at %d: ratio %.2f\n", perSmall, SmallFile,
                perBig, count, ratio);
    std::printf("  peak RSS:                %9.1f MB\n", rss);
    std::printf(
        "  reference, the $$RecYB calls of as many other new records alone through TXAPI (half before, "
        "half after): %9.0f calls/s\n",
        bareRate);
    std::printf("  run / bare calls: %.2f\n", runOverBare);
    const bool met = runOverBare >= TargetRunOverBare && ratio <= TargetRatio && rss < TargetRssMb;
    std::printf("targets: run at least %.2f x the bare calls, ratio at most %.1f, RSS under %.0f MB: %s\n",
                TargetRunOverBare, TargetRatio, TargetRssMb, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
