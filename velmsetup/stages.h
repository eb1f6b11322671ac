#pragma once
// The three installation stages: the check stage (check programs restored, the check label
// run), the program stage (every routine restored) and the post-action stage (the generated
// routine "velmsetup" run as a background job whose messages and questions reach the operator).
// They work through the VisM layer, report in the progress and background windows and the
// installation log, and ask through the Ui seam. Each stage returns false when it failed; the
// log says why and the caller ends the installation.

#include "setupwindows.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>

class EDistribError;
class TDistrib;
class TSetupLog;
class TVisM;

struct TSetupOptions
{
    bool RunPreActions = true; // command line "no" turns it off
    bool HardPreAction = true; // command line "q": the operator decides on a failed check
    bool LibraryDetection = true;
    int JoinLimit = 32700; // source lines are joined into one transfer up to this length
    bool KeepSources = false;
    bool RestorePrograms = true;
    bool RunPostActions = true;
};

// A distribution that could not be read: its text in an error box and after "Ошибка GUI
// приложения: " in the log.
void ReportDistribError(const EDistribError &e, TSetupLog &log);

inline constexpr int DefaultJoinLimit = 32700;
inline constexpr char SetupRoutineName[] = "velmsetup";
inline constexpr char WizardCaption[] = "Remart Installation Wizard";

// A valid M routine name: "%" or a letter, then letters and digits, 31 characters at most.
bool IsMRoutineName(const QByteArray &name);

// Source lines (line 1 of the record excluded) cut into transfers: a transfer takes its first
// line, then, while what it holds is shorter than limit, CR LF and the next line.
struct TTransfer
{
    int FirstLine = 0; // numbered from 1
    QByteArray Text;
};
QList<TTransfer> CutTransfers(const QList<QByteArray> &sourceLines, int limit);

// The command line that saves the routine buffer filled from text(): what follows the macro
// delete in a restore, and the whole save of the generated routine.
QByteArray SaveBufferCode(const QByteArray &routine);
// The restore line: the macro source deleted, then the buffer saved as routine.
QByteArray RestoreCode(const QByteArray &routine);

// The generated routine: line 0 is the routine name, lines 1 on are its source, in the server
// code page. descriptions are in the display code page, as the reader gives them.
QList<QByteArray> GenerateSetupRoutine(const QList<QByteArray> &labels, const QList<QByteArray> &descriptions,
                                       const QByteArray &product, const QByteArray &version,
                                       const QByteArray &routine = SetupRoutineName);

class TSetupStages
{
public:
    TSetupStages(TDistrib &distrib, TVisM &vism, TSetupLog &log, TSetupWindows &windows, TSetupClock &clock);

    bool RunCheckStage();
    bool RunProgramStage();
    bool RunPostActionStage();

    // One routine record (the reader's current record) into the namespace.
    bool RestoreRoutine();
    // Two Code runs; their errors are not examined.
    void JournalOff();
    void JournalOn();

    TSetupOptions Options;
    int Slides = 0; // slide images counted for this installation

    // Stage state.
    int Total = 0;
    int Done = 0;
    qint64 StartTicks = 0;
    int SlidesShown = 0;
    QString LastFailure; // of the check stage

private:
    // The stage's own abort, message "Operation aborted".
    struct EAbort : std::exception
    {
        const char *what() const noexcept override { return "Operation aborted"; }
    };

    bool RunCheckLabel(); // false: the operator stopped at Esc
    bool SaveSetupRoutine(const QList<QByteArray> &lines);
    void RunCodeChecked(const QByteArray &code); // Code then ExecFlag 1, then CheckRun
    void CheckRun(); // a failed run: "Ошибка! " + ErrorName shown and logged, abort
    void HandleQuestion(const QByteArray &message);
    void ShowProgressMessage(const QByteArray &message);
    bool AskStop(); // "Прервать установку?" with the wizard's caption
    bool AskWizard(const QString &question);
    void SetStageTitle(const QString &what);
    void RestoreFailed(const QByteArray &errorName);
    void Log(const QString &line);
    void LogError(const std::exception &e);
    // A stage ended by e: logged, and a distribution that cannot be read is told too; false.
    bool Failed(const std::exception &e);
    QString Product() const; // product + " " + version, for titles

    TDistrib &FDistrib;
    TVisM &FVisM;
    TSetupLog &FLog;
    TSetupWindows &FWindows;
    TSetupClock &FClock;

    // Post-action stage state.
    QDateTime FPostStart;
    QDateTime FLastMessage;
};
