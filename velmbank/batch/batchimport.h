#pragma once
// velmbank-import's work: the gateway session, the task start, the import and the run of the
// core, with every question answered by TBatchUi, and each record's outcome written out as the
// engine reports it.

#include "batchoptions.h"
#include "batchui.h"
#include "data.h"
#include "taskdata.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>

// Exit codes.
enum TBatchExit {
    BatchDone = 0,    // every included record created, closed or skipped by the policy
    BatchRefused = 1, // records refused (diagnosis or server) or left unprocessed
    BatchFailed = 2,  // options, credentials, link, login, setting, file
    BatchLocked = 3,  // the exclusive lock is held by another user
};

class TBatchImport
{
public:
    using Writer = std::function<void(const QByteArray &utf8)>;

    TBatchImport(TBatchOptions options, TCredentials credentials, TBatchUi &ui);
    ~TBatchImport();

    // Where the record lines and the summary go (stdout when empty).
    Writer Out;

    // The whole work; the exit code. The protocol file is written on every path.
    int Run();

private:
    class TFrontEnd;
    int CheckBeforeLogin();
    int Connected(TdmSet &dm, TdmTask &engine); // after the lock: the task, its setting, the files
    int ChooseSetting(TdmSet &dm);
    int ImportFile(const QString &path, TdmSet &dm, TdmTask &engine);
    int Finish(int code);
    void Print(const QByteArray &utf8Line);
    // One record's line (or object), counted under its outcome.
    void PrintRecord(const QString &file, const TRecordResult &r, const QString &outcome,
                     const QString &text);
    // A file not imported, with why.
    void PrintFileNotProcessed(const QString &file, const QString &why);
    void SetTaskRow(TdmSet &dm, const QByteArray &client, const QByteArray &set, const QByteArray &setName);

    TBatchOptions FOptions;
    TCredentials FCredentials;
    TBatchUi &FUi;
    TdmSet FSet;     // the store with the work's link and protocol
    TdmTask FEngine; // the import engine over it

    // The task row as it was loaded, put back before each run so that the run's SaveTask leaves
    // the operator's task as it was; and the task's client-bank and setting for this work.
    QByteArray FRowClient, FRowSet, FRowSetName;
    QByteArray FClient, FSetName;
    qint64 FSetId = 0;
    QString FTaskName;
    QByteArray FWorkTotals; // GLinTO's reply

    QMap<QString, int> FCounts; // records by the outcome printed
    int FFiles = 0;
};
