// The task window over a 100,000-record client-bank file (made with clbgen) against
// `velmd demo`, offscreen:
//  - the import started through the task window's path (StartTask: the progress window shown,
//    pending input handled, Esc polled, the grid shown at the end) beside the core import of the
//    same file (BuildTaskTable and ImportDbfFile with a Ui that shows nothing), alternated, best
//    of four each;
//  - the document grid over the 100,000 rows: made and shown, and a page scrolled, beside a
//    plain QTableView with the default delegate over the same model;
//  - the widgets in the window (none per row) and the peak memory with the grid shown.
//   bench_taskform [RECORDS]

#include "BenchSupport.h"
#include "Connect.h"
#include "QtUi.h"
#include "TaskForm.h"
#include "VelmdProcess.h"
#include "clbgen.h"
#include "data.h"
#include "progress.h"
#include "startup.h"
#include "taskdata.h"
#include "taskunit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace velmbank;

namespace {

constexpr double TargetShowMs = 1000;
constexpr double TargetPageMs = 20;
constexpr double TargetRatio = 0.9;
constexpr double TargetRssMb = 300;
constexpr int Pages = 200;
constexpr int Rounds = 4;

double Ms(qint64 ns) { return double(ns) / 1e6; }

// The window path's seam: the real progress window and event handling, but no box that would
// wait for a person (a message is printed; a question takes its default).
class BenchWindowUi : public QtUi
{
public:
    void ShowMessage(const QString &t) override { std::fprintf(stderr, "%s\n", t.toUtf8().constData()); }
    void ShowError(const QString &t) override { ShowMessage(t); }
    TAnswer AskYesNo(const QString &, TAnswer d, const QString & = QString(),
                     TQuestionIcon = TQuestionIcon::Question) override
    {
        return d;
    }
    TAnswer AskYesNoCancel(const QString &, TAnswer d, const QString & = QString(),
                           TQuestionIcon = TQuestionIcon::Question) override
    {
        return d;
    }
    int ChoiceBox(const TChoiceArgs &) override { return 0; }
    std::optional<QString> ChooseFile(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
};

// The core's import as a task start makes it. Elapsed ns, -1 on failure.
qint64 CoreImport(const QString &path, int expected)
{
    dmSet->Link.Protocol.clear();
    QElapsedTimer t;
    t.start();
    dmTask->tbTask2->Close(); // as a task start lets the last start's copy go
    dmTask->BuildTaskTable(1);
    const bool ok = dmTask->ImportDbfFile(path, 1);
    const qint64 ns = t.nsecsElapsed();
    if (!ok || dmTask->tbTask->RecordCount() != expected) {
        std::fprintf(stderr, "bench_taskform: the core import gave %d rows of %d\n",
                     dmTask->tbTask->RecordCount(), expected);
        return -1;
    }
    return ns;
}

// The same file through the main window's task start, up to the grid shown. -1 on failure.
qint64 WindowImport(int expected)
{
    dmSet->Link.Protocol.clear();
    QElapsedTimer t;
    t.start();
    fmTaskMan->StartTask(1);
    QApplication::processEvents();
    const qint64 ns = t.nsecsElapsed();
    if (!fmTaskForm->isVisible() || dmTask->tbTask->RecordCount() != expected) {
        std::fprintf(stderr, "bench_taskform: the task start gave %d rows of %d\n",
                     dmTask->tbTask->RecordCount(), expected);
        return -1;
    }
    fmTaskForm->hide();
    return ns;
}

// A view made over the model and shown, painted once. Elapsed ns.
qint64 ShowView(QWidget *window)
{
    QElapsedTimer t;
    t.start();
    window->show();
    window->repaint();
    QApplication::processEvents();
    return t.nsecsElapsed();
}

// Average ms per page: Page Down in the view, each page painted before the next.
double PageScroll(QTableView *view)
{
    view->setFocus();
    view->setCurrentIndex(view->model()->index(0, 4));
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < Pages; ++i) {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(view, &down);
        view->viewport()->repaint();
        view->verticalHeader()->viewport()->repaint();
    }
    const double ms = Ms(t.nsecsElapsed()) / Pages;
    if (view->verticalScrollBar()->value() == 0)
        return -1; // nothing scrolled: a fast wrong answer is no measurement
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 100000;
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    VelmdProcess server(VelmdProcess::Kind::Demo);
    if (!server.Start()) {
        std::fprintf(stderr, "velmd: %s\n", server.Error.toUtf8().constData());
        return 1;
    }
    const QString file = QStringLiteral("bench_taskform.dbf");
    const QString path = server.DataDir() + u'/' + file;
    if (!MakeClientBankFile(path, count, 2024))
        return 1;

    QuietUi quiet;
    BenchWindowUi windowUi;
    SetUi(&windowUi);
    dmSet = new TdmSet;
    TLink &link = dmSet->Link;
    link.LocaleDecimalSeparator = ".";
    link.ProfileFileName = server.WriteProfile(QStringLiteral("VELM"));
    link.KeepProtocol = true;
    if (!link.OpenConnection() || !link.Login("1", "velm1", "lich1") || !dmSet->AcquireExclusiveLock())
        return 1;
    link.UserNumber = 1;
    if (!dmSet->LoadAtStartUp())
        return 1;
    dmTask = new TdmTask(*dmSet);
    fmTaskMan = new TfmTaskMan;
    fmProgress = new TfmProgress;
    windowUi.SetProgressView(fmProgress);
    CreateTaskWindows(fmTaskMan);

    // Task 1 on the demo setting, which names the benchmark's file (in memory only).
    QByteArray client;
    if (!LocateDemoMoneyOutSetting(*dmSet, client))
        return 1;
    dmSet->tbSets->Edit();
    dmSet->tbSets->SetAsString(TdmSet::stPath, QFile::encodeName(server.DataDir()));
    dmSet->tbSets->SetAsString(TdmSet::stFile, QFile::encodeName(file));
    dmSet->tbSets->Post();

    std::printf("taskform: %d records against velmd demo (GT.M), offscreen, protocol kept\n", count);
    std::fflush(stdout);
    // Alternated, so that the server's and the machine's moods fall on both alike.
    qint64 coreNs = -1, windowNs = -1;
    double coreCpu = 0, windowCpu = 0;
    for (int round = 0; round < Rounds; ++round) {
        SetUi(&quiet);
        double cpu = CpuTime().Total();
        const qint64 c = CoreImport(path, count);
        coreCpu += CpuTime().Total() - cpu;
        SetUi(&windowUi);
        cpu = CpuTime().Total();
        const qint64 w = WindowImport(count);
        windowCpu += CpuTime().Total() - cpu;
        if (c < 0 || w < 0)
            return 1;
        std::printf("  round %d: core import %.2f s, through the window %.2f s\n", round + 1, double(c) / 1e9,
                    double(w) / 1e9);
        coreNs = coreNs < 0 ? c : std::min(coreNs, c);
        windowNs = windowNs < 0 ? w : std::min(windowNs, w);
    }

    // The grid: a window made over the 100,000 rows and shown; beside it a plain view.
    qint64 gridNs = 0;
    double gridPage = 0;
    int widgets = 0;
    {
        QElapsedTimer t;
        t.start();
        TfmTaskForm form(dmTask);
        form.SetFrameCaption(QStringLiteral("Промежуточная таблица: %1 документов").arg(count));
        gridNs = t.nsecsElapsed() + ShowView(&form);
        gridPage = PageScroll(form.dbgEx);
        widgets = int(form.findChildren<QWidget *>().size());
    }
    const double rss = PeakRssMb();
    qint64 plainNs = 0;
    double plainPage = 0;
    {
        QElapsedTimer t;
        t.start();
        QTableView plain;
        plain.setModel(dmTask->dsTask);
        plain.resize(726, 403);
        plainNs = t.nsecsElapsed() + ShowView(&plain);
        plainPage = PageScroll(&plain);
    }
    if (gridPage < 0 || plainPage < 0)
        return 1;

    dmSet->DataModuleDestroy();
    delete fmTaskMan;
    fmTaskMan = nullptr;
    windowUi.SetProgressView(nullptr);
    delete fmProgress;
    fmProgress = nullptr;
    delete dmTask;
    dmTask = nullptr;
    delete dmSet;
    dmSet = nullptr;
    SetUi(nullptr);

    const double coreRate = count / (double(coreNs) / 1e9);
    const double windowRate = count / (double(windowNs) / 1e9);
    const double ratio = windowRate / coreRate;
    std::printf("  import through the task window (StartTask, progress shown, Esc polled, grid shown): "
                "%8.0f records/s  (%.2f s)\n",
                windowRate, double(windowNs) / 1e9);
    std::printf("  reference, the core import of the same file:                                      "
                "%8.0f records/s  (%.2f s)\n",
                coreRate, double(coreNs) / 1e9);
    std::printf("  ratio window/core:   %.2f (best of %d rounds each)\n", ratio, Rounds);
    std::printf(
        "  gateway's own CPU time: %.1f us per record through the window, %.1f us in the core import\n",
        windowCpu / Rounds / count * 1e6, coreCpu / Rounds / count * 1e6);
    std::printf("  grid made and shown over %d rows: %7.1f ms   reference, a plain QTableView: %7.1f ms\n",
                count, Ms(gridNs), Ms(plainNs));
    std::printf("  a page scrolled and painted:        %7.2f ms   reference, a plain QTableView: %7.2f ms\n",
                gridPage, plainPage);
    std::printf("  widgets in the task window: %d (none per row)\n", widgets);
    std::printf("  peak RSS with the grid shown: %.1f MB\n", rss);
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("  machine load average: %s\n", load.readAll().trimmed().constData());
    const bool met = Ms(gridNs) < TargetShowMs && gridPage < TargetPageMs && ratio >= TargetRatio
                     && rss < TargetRssMb && widgets < 200;
    std::printf("targets: grid shown under %.0f ms, a page under %.0f ms, import ratio at least %.1f, "
                "RSS under %.0f MB: %s\n",
                TargetShowMs, TargetPageMs, TargetRatio, TargetRssMb, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
