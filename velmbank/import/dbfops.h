#pragma once
// The DBF layer's operations as the import engine and the windows use them: a file opened with
// the standard error report, its record as the server takes it, and the structure check with its
// progress window. The file layer below (dbf.h) knows nothing of the link, the protocol or the Ui.

#include "dbf.h"

class TLink;

// A connection and the table opened through it: the import engine's open file, or one opened
// for a moment (a setting's fields from a file's structure).
struct TDbfFile
{
    TDbfDatabase dbDBF;
    TDbfTable tbDBF{dbDBF};
    void Close()
    {
        tbDBF.Close();
        dbDBF.Close();
    }
};

// Opens the file at path (closing what was open); on failure the standard error report with the
// layer's text, and false.
bool OpenDbfFile(TLink &link, TDbfFile &file, const QString &path);

// The current record of the table as the server receives it, with the locale decimal separator
// (TDbfTable::RecordText). Throws EDbfError for a value that cannot be read.
QByteArray DbfRecordText(const TLink &link, const TDbfTable &table);

// A field of a setting as the structure check compares it.
struct TDbfSettingField
{
    QByteArray Name;
    qint64 TypeId = 0;
    qint64 Length = 0;
};

// The structure check on the given setting fields against the open table: every field must be
// in the file (name without case of a to z) with the same type number and size. Shows the
// progress window; a failure makes the standard error report "Operation aborted". No fields:
// false without a report.
bool CheckDbfFields(TLink &link, const TDbfTable &table, const QList<TDbfSettingField> &fields);
