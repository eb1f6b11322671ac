#pragma once
// The start of an import task, for the task manager and velmbank-import alike: the task row's
// client-bank and setting checked, the setting found by its Id among the client-bank's settings
// of the task's type, the intermediate table built, then the file checked and imported. What a
// front-end does between the steps (the grid's options, the file dialog, the grid) is its own.

#include <QByteArray>
#include <QString>

class TdmTask;

enum class TImportEnd {
    Missing,  // no such file (said)
    Failed,   // nothing was taken (told why)
    Partial,  // ended in its middle (told why, or the operator stopped it): the rows taken so far
    Complete, // every record was sent
};

class TTaskStart
{
public:
    TTaskStart(TdmTask &engine, int task);

    // The task's row current and its setting located, the intermediate table built; false when
    // told why.
    bool Prepare();
    // The protocol's start line, the import and the snapshot of its rows.
    TImportEnd Import(const QString &path);

    qint64 SetId() const { return FSetId; }

private:
    TdmTask &FEngine;
    int FTask;
    qint64 FSetId = 0;
    QString FTaskName;
};
