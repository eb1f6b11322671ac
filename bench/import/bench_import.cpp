// A client-bank file of 100,000 records (made with clbgen) imported through ImportDbfFile
// against `velmd demo`, as a task start makes it: records per second, peak memory, the time per
// record at 1,000 and at 100,000 records, the gateway's CPU time per record in the program and
// in the kernel. The import against its own PDVelm calls made bare is also the median of
// alternated rounds of 20,000 records. Beside it, measured in the same run: the DBF layer alone reading the
// same file in MB/s, the bare PDVelm calls through TXAPI, a trivial M call through velmd (what a call costs
// before any work) and a loopback TCP ping-pong of the calls' sizes (what any sequential client can do).
//   bench_import [RECORDS]

#include "BenchSupport.h"
#include "Connect.h"
#include "Routines.h"
#include "VelmdProcess.h"
#include "XapiWire.h"
#include "clbgen.h"
#include "codepage.h"
#include "data.h"
#include "dbfops.h"
#include "taskdata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double TargetRate = 10000; // records/s
constexpr double TargetRssMb = 300;
constexpr double TargetRatio = 1.5; // per-record time at 100,000 over that at 1,000
constexpr double TargetReadMBps = 50;
constexpr double TargetBareOverTrivial = 0.6; // the server's work per record against a bare call
constexpr double TargetImportOverBare = 0.95; // the gateway's share of the import
constexpr double TargetClientUs = 15;         // the gateway's own CPU per record
constexpr int SmallFile = 1000;
constexpr int RoundFile = 20000; // the import against its bare calls, alternated (at most)
constexpr int Rounds = 5;

double Seconds(qint64 ns) { return double(ns) / 1e9; }

// One task start's import: the table built, the file imported. Elapsed ns, -1 on failure; the
// CPU time the import itself took in cpu.
qint64 Import(TdmTask &engine, const QString &path, int expected, TCpuTime *cpu = nullptr)
{
    engine.BuildTaskTable(1);
    engine.Set.Link.Protocol.clear();
    const TCpuTime before = CpuTime();
    QElapsedTimer t;
    t.start();
    const bool ok = engine.ImportDbfFile(path, 1);
    const qint64 ns = t.nsecsElapsed();
    if (cpu)
        *cpu = CpuTime() - before;
    if (!ok || engine.tbTask->RecordCount() != expected) {
        std::fprintf(stderr, "bench_import: the import of %s gave %d rows of %d\n",
                     QFile::encodeName(path).constData(), engine.tbTask->RecordCount(), expected);
        return -1;
    }
    return ns;
}

// The DBF layer alone, walked as the import walks it.
qint64 ReadLayer(TLink &link, const QString &path, qint64 &records)
{
    QElapsedTimer t;
    t.start();
    TDbfFile file;
    TDbfTable &tbDBF = file.tbDBF;
    if (!OpenDbfFile(link, file, path))
        return -1;
    records = 0;
    for (tbDBF.Last(); !tbDBF.Bof(); tbDBF.Prior()) {
        if (DbfRecordText(link, tbDBF).isEmpty())
            return -1;
        ++records;
    }
    tbDBF.Close();
    return t.nsecsElapsed();
}

// The same PDVelm calls with nothing around them: the server's and the link's share, for the
// records from..from+count-1 in the import's order (last to first). Elapsed ns and the CPU time
// they cost this process; the sizes of the last request and reply.
struct TBareCalls
{
    qint64 Ns = -1;
    TCpuTime Cpu;
    qsizetype RequestSize = 0, ReplySize = 0;
};

TBareCalls BareCalls(TLink &link, const QString &path, int from, int count, const QByteArray &client)
{
    TBareCalls result;
    TDbfFile file;
    TDbfTable &tbDBF = file.tbDBF;
    if (!OpenDbfFile(link, file, path))
        return result;
    QList<QByteArray> texts;
    int n = 0;
    for (tbDBF.Last(); !tbDBF.Bof() && n < from + count; tbDBF.Prior(), ++n)
        if (n >= from)
            texts.append(DbfRecordText(link, tbDBF));
    tbDBF.Close();
    const TCpuTime before = CpuTime();
    QElapsedTimer t;
    t.start();
    QByteArray reply;
    for (const QByteArray &text : texts) {
        reply = link.XApiLink->Call({Routines::PDVelm, client, "1", text});
        if (reply.isEmpty())
            return result;
    }
    result.Ns = t.nsecsElapsed();
    result.Cpu = CpuTime() - before;
    result.RequestSize =
        XapiWire::CallRequest(link.XApiLink->ServerType, {Routines::PDVelm, client, "1", texts.last()})
            .size();
    result.ReplySize = reply.size() + 1;
    return result;
}

TBareCalls operator+(const TBareCalls &a, const TBareCalls &b)
{
    return {a.Ns < 0 || b.Ns < 0 ? -1 : a.Ns + b.Ns, a.Cpu + b.Cpu, b.RequestSize, b.ReplySize};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QuietUi ui;
    SetUi(&ui);
    const int count = argc > 1 ? std::max(SmallFile, std::atoi(argv[1])) : 100000;

    VelmdProcess server(VelmdProcess::Kind::Demo);
    if (!server.Start()
        || !server.LoadText(QStringLiteral("VELM"), QStringLiteral("ZZBENCH"),
                            "ZZBENCH ;benchmark\nping(x) q \"rrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrr\"\n")
        || !server.OfferXapi(QStringLiteral("VELM"), {QStringLiteral("ZZBENCH")})) {
        std::fprintf(stderr, "velmd: %s\n", server.Error.toUtf8().constData());
        return 1;
    }
    const QString big = server.DataDir() + QStringLiteral("/bench_big.dbf");
    const QString small = server.DataDir() + QStringLiteral("/bench_small.dbf");
    const int roundFile = std::min(count, RoundFile);
    const QString middle = server.DataDir() + QStringLiteral("/bench_round.dbf");
    if (!MakeClientBankFile(big, count, 2024) || !MakeClientBankFile(small, SmallFile, 2025)
        || !MakeClientBankFile(middle, roundFile, 2026))
        return 1;

    TdmSet dm;
    TLink &link = dm.Link;
    link.ProfileFileName = server.WriteProfile(QStringLiteral("VELM"));
    link.KeepProtocol = true;
    if (!link.OpenConnection() || !link.Login("1", "velm1", "lich1"))
        return 1;
    TdmTask engine(dm);
    if (!dm.LoadAtStartUp())
        return 1;
    QByteArray client;
    if (!LocateDemoMoneyOutSetting(dm, client))
        return 1;

    // The small file twice (the first also warms the server's compiled setting), then the big one.
    qint64 smallNs = -1;
    for (int round = 0; round < 2; ++round) {
        const qint64 ns = Import(engine, small, SmallFile);
        if (ns < 0)
            return 1;
        smallNs = smallNs < 0 ? ns : std::min(smallNs, ns);
    }
    // The references are measured half before and half after the big import, so that the
    // machine's changing speed falls on them and on the import alike.
    const int firstHalf = count / 2;
    const TBareCalls bareBefore = BareCalls(link, big, 0, firstHalf, client);
    const QList<QByteArray> trivialCall{"$$ping^ZZBENCH", "0123456789abcdef"};
    const QByteArray trivialReply(32, 'r');
    const double trivialBefore = CallRate(*link.XApiLink, trivialCall, trivialReply, 10000, 500);

    const double rssBefore = PeakRssMb();
    TCpuTime importCpu;
    const qint64 bigNs = Import(engine, big, count, &importCpu);
    if (bigNs < 0)
        return 1;
    engine.SnapshotTaskTable();
    const double rss = PeakRssMb();
    const qsizetype protocolLines = link.Protocol.size();

    const TBareCalls bare = bareBefore + BareCalls(link, big, firstHalf, count - firstHalf, client);
    if (bare.Ns < 0)
        return 1;
    const double trivialAfter = CallRate(*link.XApiLink, trivialCall, trivialReply, 10000, 500);
    const double trivialRate = 2 / (1 / trivialBefore + 1 / trivialAfter);

    // The gateway's share, from imports alternated with their own calls made bare: the machine's
    // speed drifts over seconds, so each import is held against the calls next to it and the
    // median of the rounds is taken.
    std::vector<double> roundRatios;
    for (int round = 0; round < Rounds; ++round) {
        const TBareCalls calls = BareCalls(link, middle, 0, roundFile, client);
        const qint64 ns = Import(engine, middle, roundFile);
        if (calls.Ns < 0 || ns < 0)
            return 1;
        roundRatios.push_back(double(calls.Ns) / double(ns));
    }
    qint64 records = 0;
    qint64 readNs = -1;
    for (int round = 0; round < 3; ++round) {
        const qint64 ns = ReadLayer(link, big, records);
        if (ns < 0 || records != count)
            return 1;
        readNs = readNs < 0 ? ns : std::min(readNs, ns);
    }
    link.Logout();
    link.CloseConnection();
    // What this machine's loopback allows a strictly sequential client at all, at these sizes,
    // and what its sockets cost such a client.
    TCpuTime pingCpu;
    const int pings = 20000;
    const double pingRate = PingPongRate(pings, size_t(bare.RequestSize), size_t(bare.ReplySize), &pingCpu);

    const double size = double(QFileInfo(big).size()) / 1e6;
    const double rate = count / Seconds(bigNs);
    const double perSmall = Seconds(smallNs) / SmallFile * 1e6;
    const double perBig = Seconds(bigNs) / count * 1e6;
    const double ratio = perBig / perSmall;
    const double readMBps = size / Seconds(readNs);
    const double callRate = count / Seconds(bare.Ns);

    std::printf("import: %d records (%.1f MB) through ImportDbfFile against velmd demo (GT.M), "
                "protocol kept (%lld lines)\n",
                count, size, static_cast<long long>(protocolLines));
    std::printf("  import:                  %9.0f records/s  (%.2f s)\n", rate, Seconds(bigNs));
    std::printf("  time per record:         %9.1f us at %d, %.1f us at %d: ratio %.2f\n", perSmall, SmallFile,
                perBig, count, ratio);
    // The gateway's own work is its time in the program (conversions, the link's framing, the
    // table, the protocol); the kernel's time is the sockets', which cost the bare calls and a
    // bare ping-pong's client as much and which no client can do without.
    const auto us = [count](double seconds) { return seconds / count * 1e6; };
    const double ownUs = us(importCpu.User);
    std::printf(
        "  gateway's CPU time:      %9.1f us per record: %.1f us in the program, %.1f us in the kernel\n",
        us(importCpu.Total()), ownUs, us(importCpu.System));
    std::printf(
        "  the same calls alone:    %9.1f us per call:   %.1f us in the program, %.1f us in the kernel\n",
        us(bare.Cpu.Total()), us(bare.Cpu.User), us(bare.Cpu.System));
    std::printf(
        "  a loopback ping-pong's client (below): %.1f us per exchange, %.1f us of it in the kernel\n",
        pingCpu.Total() / pings * 1e6, pingCpu.System / pings * 1e6);
    std::printf("  peak RSS:                %9.1f MB  (%.1f MB before the big import)\n", rss, rssBefore);
    std::printf("  reference, the same PDVelm calls alone through TXAPI: %9.0f calls/s\n", callRate);
    std::printf("  reference, a trivial M call through velmd:            %9.0f calls/s\n", trivialRate);
    std::printf(
        "  reference, a loopback TCP ping-pong of these sizes:   %9.0f exchanges/s (%lld and %lld bytes)\n",
        pingRate, static_cast<long long>(bare.RequestSize), static_cast<long long>(bare.ReplySize));
    const double bareOverTrivial = callRate / trivialRate;
    std::printf("  bare PDVelm / trivial call: %.2f (at least %.2f); the big import / its bare calls: %.2f\n",
                bareOverTrivial, TargetBareOverTrivial, rate / callRate);
    std::printf("  import / bare PDVelm in %d rounds of %d records (the bare calls, then the import):",
                Rounds, roundFile);
    for (const double r : roundRatios)
        std::printf(" %.2f", r);
    const double importOverBare = Median(roundRatios);
    std::printf("; median %.2f (at least %.2f)\n", importOverBare, TargetImportOverBare);
    std::printf("  reference, the DBF layer alone, last to first:        %9.1f MB/s  %.0f records/s\n",
                readMBps, count / Seconds(readNs));
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("  machine load average:    %s\n", load.readAll().trimmed().constData());
    // The import cannot pass its own calls made bare, which the loopback and the server's work
    // bound: where they are under the rate target in this run, the target is said to be out of
    // reach here, not failed; the gateway's share is the import-over-bare target, the server's
    // the bare-over-trivial one.
    const bool rateReachable = callRate >= TargetRate;
    const struct
    {
        const char *What;
        bool Met;
    } targets[] = {{"at least 10000 records/s", rate >= TargetRate || !rateReachable},
                   {"RSS under 300 MB", rss < TargetRssMb},
                   {"per record flat (ratio at most 1.5)", ratio <= TargetRatio},
                   {"reading at least 50 MB/s", readMBps >= TargetReadMBps},
                   {"bare PDVelm at least 0.6 x a trivial call", bareOverTrivial >= TargetBareOverTrivial},
                   {"import at least 0.95 x bare PDVelm", importOverBare >= TargetImportOverBare},
                   {"gateway's CPU in the program at most 15 us/record", ownUs <= TargetClientUs}};
    bool met = true;
    const QByteArray outOfReach =
        "out of reach here: the same calls made bare do " + QByteArray::number(qRound(callRate)) + "/s";
    for (const auto &t : targets) {
        const bool unreachable = &t == &targets[0] && !rateReachable;
        std::printf("target %-45s %s\n", t.What,
                    unreachable ? outOfReach.constData()
                    : t.Met     ? "met"
                                : "MISSED");
        met = met && t.Met;
    }
    std::printf("targets: %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
