// The document run ("Запись") over a money-out file of 100,000 new records against `velmd demo`,
// every similar document answered "Создать новый" beforehand as velmbank-import --similar create
// does: documents per second, the time per document at 1,000 and at 100,000, peak memory. Beside
// it, in the same run: the $$RecYB calls of as many other new records alone through TXAPI, half
// before the run and half after it, so that they meet the database at the sizes the run meets;
// the gateway's CPU time per document beside theirs; and the run against its bare calls as the
// median of five alternated rounds of 20,000 new documents, which the target is held to.
//   bench_run [RECORDS]

#include "BenchSupport.h"
#include "Routines.h"
#include "VelmdProcess.h"
#include "codepage.h"
#include "data.h"
#include "taskdata.h"
#include "taskrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double TargetRunOverBare = 0.95;
constexpr double TargetRatio = 1.5; // per document at the big file over the small one
constexpr double TargetRssMb = 300;
constexpr int SmallFile = 1000;
constexpr int RoundFile = 20000; // the run against its bare calls, alternated (at most)
constexpr int Rounds = 5;

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

// The file imported and run. Elapsed ns of the run, -1 on failure; the run's CPU time in cpu.
qint64 ImportAndRun(TdmTask &engine, const QString &path, int expected, TCpuTime *cpu = nullptr)
{
    if (!Import(engine, path, expected))
        return -1;
    TTaskRun run(&engine);
    run.Similar = TSimilarPolicy::Create;
    const TCpuTime before = CpuTime();
    QElapsedTimer t;
    t.start();
    run.actRunExecute();
    const qint64 ns = t.nsecsElapsed();
    if (cpu)
        *cpu = CpuTime() - before;
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
    QByteArray client;
    if (!LocateDemoMoneyOutSetting(dm, client))
        return 1;

    const qint64 smallNs = ImportAndRun(engine, small, SmallFile);
    if (smallNs < 0)
        return 1;
    const QByteArray surname = ToWin1251(QStringLiteral("Иванова"));
    TCpuTime bareCpu;
    const auto bare = [&](const QString &path, int n) -> qint64 {
        const QList<QByteArray> rows = Rows(engine, path, n);
        if (rows.size() != n)
            return -1;
        const TCpuTime cpu = CpuTime();
        QElapsedTimer t;
        t.start();
        for (const QByteArray &row : rows)
            if (!link.XApiLink->Call({Routines::RecYB, row, surname}).isEmpty())
                return -1;
        const qint64 ns = t.nsecsElapsed();
        const TCpuTime used = CpuTime() - cpu;
        bareCpu = bareCpu + used;
        return ns;
    };
    const qint64 bareBefore = bare(before, half);
    TCpuTime runCpu;
    const qint64 bigNs = ImportAndRun(engine, big, count, &runCpu);
    const qint64 bareAfter = bare(after, count - half);
    if (bareBefore < 0 || bigNs < 0 || bareAfter < 0)
        return 1;
    const TCpuTime halvesCpu = bareCpu;
    // The machine's speed drifts over seconds: each round's run is also held against bare calls
    // made next to it, and the median of the rounds is taken. Every file is new records.
    const int roundFile = std::min(count, RoundFile);
    std::vector<double> roundRatios;
    for (int round = 0; round < Rounds; ++round) {
        const QString runFile = server.DataDir() + QStringLiteral("/bench_round_run.dbf");
        const QString bareFile = server.DataDir() + QStringLiteral("/bench_round_bare.dbf");
        if (!MakeClientBankFile(runFile, roundFile, 4000 + 2 * round)
            || !MakeClientBankFile(bareFile, roundFile, 4001 + 2 * round))
            return 1;
        // Which goes first alternates, as the database grows under both.
        const bool bareFirst = round % 2 == 0;
        const qint64 b0 = bareFirst ? bare(bareFile, roundFile) : 0;
        const qint64 r = ImportAndRun(engine, runFile, roundFile);
        const qint64 b = bareFirst ? b0 : bare(bareFile, roundFile);
        if (b < 0 || r < 0)
            return 1;
        roundRatios.push_back(double(b) / double(r));
    }
    const double roundsRunOverBare = Median(roundRatios);
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
    const auto us = [count](double seconds) { return seconds / count * 1e6; };
    std::printf(
        "  gateway's CPU time:      %9.1f us per document: %.1f us in the program, %.1f us in the kernel\n",
        us(runCpu.Total()), us(runCpu.User), us(runCpu.System));
    std::printf(
        "  the bare calls':         %9.1f us per call:     %.1f us in the program, %.1f us in the kernel\n",
        us(halvesCpu.Total()), us(halvesCpu.User), us(halvesCpu.System));
    std::printf("  peak RSS:                %9.1f MB\n", rss);
    std::printf(
        "  reference, the $$RecYB calls of as many other new records alone through TXAPI (half before, "
        "half after): %9.0f calls/s\n",
        bareRate);
    std::printf(
        "  run / bare calls: %.2f; in %d rounds of %d documents (bare calls and run, each first in turn):",
        runOverBare, Rounds, roundFile);
    for (const double r : roundRatios)
        std::printf(" %.2f", r);
    std::printf("; median %.2f\n", roundsRunOverBare);
    const bool met = roundsRunOverBare >= TargetRunOverBare && ratio <= TargetRatio && rss < TargetRssMb;
    std::printf(
        "targets: run at least %.2f x the bare calls (the rounds' median), ratio at most %.1f, RSS under "
        "%.0f MB: %s\n",
        TargetRunOverBare, TargetRatio, TargetRssMb, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
