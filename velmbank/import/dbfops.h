#pragma once
// The DBF layer's operations as the import engine and the windows use them: the program-wide
// file, opened with the standard error report, and the structure check with its progress
// window. The file layer below (dbf.h) knows nothing of the link, the protocol or the Ui.

#include "dbf.h"

// The program-wide connection and table (they belong to the settings store's data module).
extern TDbfDatabase dbDBF;
extern TDbfTable tbDBF;

// Opens the file at path as tbDBF (closing what was open); on failure the standard error
// report with the layer's text, and false.
bool OpenDbfFile(const QString &path);

// The current record of tbDBF as the server receives it, with the locale decimal separator
// (TDbfTable::RecordText). Throws EDbfError for a value that cannot be read.
QByteArray DbfRecordText();

// A field of a setting as the structure check compares it.
struct TDbfSettingField
{
    QByteArray Name;
    qint64 TypeId = 0;
    qint64 Length = 0;
};

// The structure check on the given setting fields against the open tbDBF: every field must be
// in the file (name without case of a to z) with the same type number and size. Shows the
// progress window; a failure makes the standard error report "Operation aborted". No fields:
// false without a report.
bool CheckDbfFields(const QList<TDbfSettingField> &fields);
