#pragma once
// velmbank-import's work: the gateway's start-up, task start, import, run and shutdown in the
// gateway's own order, on the core as it is, with every question answered by TBatchUi.

#include "batchoptions.h"
#include "batchui.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class TdmSet;
class TdmTask;

// Exit codes.
enum TBatchExit {
    BatchDone = 0,    // every included record created, closed or skipped by the policy
    BatchRefused = 1, // records refused (diagnosis or server) or left unprocessed
    BatchFailed = 2,  // options, credentials, link, login, setting, file
    BatchLocked = 3,  // the exclusive lock is held by another user
};

// A record of the file as the import's protocol lines tell it.
struct TImportedRecord
{
    int Number = 0;       // 1-based place in the file (records not deleted; an exchange text's documents)
    QByteArray Document;  // piece 9 of the server's reply: the document number (Windows-1251)
    QByteArray Diagnosis; // empty: the record is a row of the intermediate table
};

// The diagnosis lines "N: <tab><tab>DOC<tab>DIAGNOSIS" among protocol lines, in their order.
QList<TImportedRecord> ImportedRecords(const QList<QByteArray> &protocolLines);

class TBatchImport
{
public:
    using Writer = std::function<void(const QByteArray &utf8)>;

    TBatchImport(TBatchOptions options, TCredentials credentials, TBatchUi &ui);

    // Where the record lines and the summary go (stdout when empty).
    Writer Out;

    // The whole work; the exit code. The protocol file is written on every path.
    int Run();

private:
    int Connected(); // after the lock: the lists, the task, the files
    int ImportFile(const QString &path, TdmSet &dm, TdmTask &engine);
    int Finish(int code);
    void Print(const QByteArray &utf8Line);
    void SetTaskRow(TdmSet &dm, const QByteArray &client, const QByteArray &set, const QByteArray &setName);

    TBatchOptions FOptions;
    TCredentials FCredentials;
    TBatchUi &FUi;

    // The task row as it was loaded, put back before each run so that the run's SaveTask leaves
    // the operator's task as it was; and the task's client-bank and setting for this work.
    QByteArray FRowClient, FRowSet, FRowSetName;
    QByteArray FClient, FSetName;
    qint64 FSetId = 0;
    QString FTaskName;

    struct TTally
    {
        int Created = 0, Closed = 0, Skipped = 0, Refused = 0, Unprocessed = 0;
    };
    TTally FTotal;
};
