// Restore of a distribution of ROUTINES routines of 50 lines into velmd through the check and
// program stages, beside the same number of trivial VisM runs on the same connection, measured
// in the same run.
//   bench_restore [ROUTINES]

#include "BenchSupport.h"
#include "VelmdProcess.h"
#include "VisM.h"
#include "distrib.h"
#include "distwriter.h"
#include "setuplog.h"
#include "stages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QuietUi ui; // the account comes from the environment; the stages ask nothing on success
    SetUi(&ui);
    const int routines = argc > 1 ? std::atoi(argv[1]) : 1000;

    VelmdProcess server;
    if (!server.Start()) {
        std::fprintf(stderr, "velmd: %s\n", server.Error.toUtf8().constData());
        return 1;
    }
    qputenv("VELMSETUP_USER", server.User);
    qputenv("VELMSETUP_PASSWORD", server.Password);

    TDistContent c;
    c.Product = "Bench";
    c.Version = "1.0";
    c.BuildDate = "09.12.2024";
    c.Key = 77;
    c.SourcePass = "pw";
    qsizetype sourceBytes = 0;
    for (int i = 1; i <= routines; ++i) {
        TDistRoutine r{"ZZB" + QByteArray::number(i), {}};
        r.Lines << r.Name + " ;benchmark routine";
        for (int line = 2; line < 50; ++line)
            r.Lines << " s x(" + QByteArray::number(line) + ")=\"line " + QByteArray::number(line) + "\"";
        r.Lines << "f() q " + QByteArray::number(i);
        for (const QByteArray &l : r.Lines)
            sourceBytes += l.size() + 2;
        c.Programs << r;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("velminstal.dat"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(WriteDistribution(c)) < 0)
        return 1;
    f.close();

    TSetupLog log;
    TDistrib distrib(path);
    if (!distrib.ReadHeader(log))
        return 1;
    TVisMClient vism;
    vism.SetMServer(TVisM::ServerString("127.0.0.1", QByteArray::number(server.VismPort)));
    vism.SetNameSpace("USER");
    vism.Execute("$ZNSPACE");
    if (vism.Error()) {
        std::fprintf(stderr, "connect: %s\n", vism.ErrorName().constData());
        return 1;
    }
    TSetupWindows windows;
    TSetupClock clock;
    TSetupStages stages(distrib, vism, log, windows, clock);

    QElapsedTimer t;
    t.start();
    stages.JournalOff();
    const bool ok = stages.RunCheckStage() && stages.RunProgramStage();
    stages.JournalOn();
    const double restoreSeconds = double(t.nsecsElapsed()) / 1e9;
    vism.SetValue(QByteArray());
    vism.Execute("$$f^ZZB" + QByteArray::number(routines));
    if (!ok || vism.Value() != QByteArray::number(routines)) {
        for (const QByteArray &l : log.Lines)
            std::fprintf(stderr, "%s\n", l.constData());
        return 1;
    }

    // Each routine of this size takes five runs: locals, one transfer, the save, two clean-ups.
    const int runs = routines * 5;
    t.restart();
    for (int i = 0; i < runs; ++i) {
        vism.Execute("s x=1");
        if (vism.Error())
            return 1;
    }
    const double runSeconds = double(t.nsecsElapsed()) / 1e9;

    std::printf("restore: %d routines of 50 lines (%lld bytes of source)\n", routines,
                static_cast<long long>(sourceBytes));
    std::printf("  check and program stage into velmd: %8.2f s (target under 10 s), %.0f routines/s\n",
                restoreSeconds, routines / restoreSeconds);
    std::printf("  %d trivial VisM runs, same connection: %8.2f s\n", runs, runSeconds);
    std::printf("  restore / bare runs: %.1f\n", restoreSeconds / runSeconds);
    return 0;
}
