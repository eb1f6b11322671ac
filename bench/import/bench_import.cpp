// A client-bank file of 100,000 records (made with clbgen) imported through ImportDbfFile
// against `velmd demo`, as a task start makes it: records per second, peak memory, the gateway's
// own CPU time per record, and the time per record at 1,000 and at 100,000 records. Beside it,
// measured in the same run: the DBF layer alone reading the same file in MB/s, the bare PDVelm
// calls through TXAPI, and a trivial M call through velmd (what a call costs before any work).
//   bench_import [RECORDS]

#include "BenchSupport.h"
#include "Connect.h"
#include "Routines.h"
#include "VelmdProcess.h"
#include "clbgen.h"
#include "codepage.h"
#include "data.h"
#include "dbfops.h"
#include "dbfsettings.h"
#include "taskdata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double TargetRate = 10000; // records/s
constexpr double TargetRssMb = 300;
constexpr double TargetRatio = 1.5; // per-record time at 100,000 over that at 1,000
constexpr double TargetReadMBps = 50;
constexpr double TargetBareOverTrivial = 0.6; // the server's work per record against a bare call
constexpr double TargetImportOverBare = 0.95; // the gateway's share of the import
constexpr double TargetClientUs = 15;         // the gateway's own CPU per record
constexpr int SmallFile = 1000;

double Seconds(qint64 ns) { return double(ns) / 1e9; }

// CPU time of this process (user and system), the client's share of the work; its user part.
double CpuSeconds(bool userOnly = false)
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const double user = double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) / 1e6;
    return userOnly ? user : user + double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) / 1e6;
}

// One task start's import: the table built, the file imported. Elapsed ns, -1 on failure.
qint64 Import(TdmTask &engine, const QString &path, int expected)
{
    engine.BuildTaskTable(1);
    engine.Set.Link.Protocol.clear();
    QElapsedTimer t;
    t.start();
    const bool ok = engine.ImportDbfFile(path, 1);
    const qint64 ns = t.nsecsElapsed();
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

// The same PDVelm calls with nothing around them: the server's and the link's share.
qint64 BareCalls(TLink &link, const QString &path, int count, const QByteArray &client)
{
    TDbfFile file;
    TDbfTable &tbDBF = file.tbDBF;
    if (!OpenDbfFile(link, file, path))
        return -1;
    QList<QByteArray> texts;
    int n = 0;
    for (tbDBF.Last(); !tbDBF.Bof() && n < count; tbDBF.Prior(), ++n)
        texts.append(DbfRecordText(link, tbDBF));
    tbDBF.Close();
    QElapsedTimer t;
    t.start();
    for (const QByteArray &text : texts)
        if (link.XApiLink->Call({Routines::PDVelm, client, "1", text}).isEmpty())
            return -1;
    return t.nsecsElapsed();
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
    if (!MakeClientBankFile(big, count, 2024) || !MakeClientBankFile(small, SmallFile, 2025))
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
    dm.tbTasks->GotoBookmark(dm.TaskRowMoneyOut);
    const QByteArray client = dm.tbTasks->AsString(TdmSet::tkClient);
    if (!dm.LoadSettings(client) || !LocateRecord(*dm.tbSets, QStringLiteral("Id"), "1"))
        return 1;

    // The small file twice (the first also warms the server's compiled setting), then the big one.
    qint64 smallNs = -1;
    for (int round = 0; round < 2; ++round) {
        const qint64 ns = Import(engine, small, SmallFile);
        if (ns < 0)
            return 1;
        smallNs = smallNs < 0 ? ns : std::min(smallNs, ns);
    }
    const double rssBefore = PeakRssMb();
    const double cpuBefore = CpuSeconds(), userBefore = CpuSeconds(true);
    const qint64 bigNs = Import(engine, big, count);
    const double clientCpu = CpuSeconds() - cpuBefore, clientUser = CpuSeconds(true) - userBefore;
    if (bigNs < 0)
        return 1;
    engine.SnapshotTaskTable();
    const double rss = PeakRssMb();
    const qsizetype protocolLines = link.Protocol.size();

    const qint64 callsNs = BareCalls(link, big, count, client);
    const double trivialRate =
        CallRate(*link.XApiLink, {"$$ping^ZZBENCH", "0123456789abcdef"}, QByteArray(32, 'r'), 20000, 500);
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

    const double size = double(QFileInfo(big).size()) / 1e6;
    const double rate = count / Seconds(bigNs);
    const double perSmall = Seconds(smallNs) / SmallFile * 1e6;
    const double perBig = Seconds(bigNs) / count * 1e6;
    const double ratio = perBig / perSmall;
    const double readMBps = size / Seconds(readNs);
    const double callRate = callsNs > 0 ? count / Seconds(callsNs) : 0;

    std::printf("import: %d records (%.1f MB) through ImportDbfFile against velmd demo (GT.M), "
                "protocol kept (%lld lines)\n",
                count, size, static_cast<long long>(protocolLines));
    std::printf("  import:                  %9.0f records/s  (%.2f s)\n", rate, Seconds(bigNs));
    std::printf("  time per record:         %9.1f us at %d, %.1f us at %d: ratio %.2f\n", perSmall, SmallFile,
                perBig, count, ratio);
    const double clientUs = clientCpu / count * 1e6;
    std::printf(
        "  gateway's own CPU time:  %9.1f us per record (%.1f us of it in the program, the rest in the "
        "kernel's sockets)\n",
        clientUs, clientUser / count * 1e6);
    std::printf("  peak RSS:                %9.1f MB  (%.1f MB before the big import)\n", rss, rssBefore);
    std::printf("  reference, the same PDVelm calls alone through TXAPI: %9.0f calls/s\n", callRate);
    std::printf("  reference, a trivial M call through velmd:            %9.0f calls/s\n", trivialRate);
    const double bareOverTrivial = callRate / trivialRate, importOverBare = rate / callRate;
    std::printf(
        "  bare PDVelm / trivial call: %.2f (at least %.2f);  import / bare PDVelm: %.2f (at least %.2f)\n",
        bareOverTrivial, TargetBareOverTrivial, importOverBare, TargetImportOverBare);
    std::printf("  reference, the DBF layer alone, last to first:        %9.1f MB/s  %.0f records/s\n",
                readMBps, count / Seconds(readNs));
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("  machine load average:    %s\n", load.readAll().trimmed().constData());
    const struct
    {
        const char *What;
        bool Met;
    } targets[] = {{"at least 10000 records/s", rate >= TargetRate},
                   {"RSS under 300 MB", rss < TargetRssMb},
                   {"per record flat (ratio at most 1.5)", ratio <= TargetRatio},
                   {"reading at least 50 MB/s", readMBps >= TargetReadMBps},
                   {"bare PDVelm at least 0.6 x a trivial call", bareOverTrivial >= TargetBareOverTrivial},
                   {"import at least 0.95 x bare PDVelm", importOverBare >= TargetImportOverBare},
                   {"gateway's CPU at most 15 us per record", clientUs <= TargetClientUs}};
    bool met = true;
    for (const auto &t : targets) {
        std::printf("target %-45s %s\n", t.What, t.Met ? "met" : "MISSED");
        met = met && t.Met;
    }
    std::printf("targets: %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
