#pragma once
// The DBF layer's operations on the settings store: a setting's fields taken from a file or
// checked against it, and the settings table positioned on a setting by its Id or its name.

#include "memtable.h"

#include <QByteArray>
#include <QString>

class TDbfTable;
class TdmSet;

// Opens the file and adds one tbSet row per field, in file order, before the current row; the
// file is closed afterwards. A file that cannot be opened adds nothing (it was reported) and
// gives false. An error while the rows are added reaches the caller with the rows posted so far
// kept.
bool LoadDbfStructure(TdmSet &set, const QString &path);

// Every tbSet row's field must be in the open table with the same type number and length. An
// empty tbSet gives false without a report; a mismatch makes the report "Operation aborted".
bool CheckDbfStructure(TdmSet &set, const TDbfTable &table);

// Moves table to the first row whose value in column equals key: text columns compared with
// the letters a to z folded to upper case, integer columns as decimal digits. Not found: false,
// and the table back on the row it stood on.
bool LocateRecord(TMemTable &table, const QString &column, const QByteArray &key);

// Refills tbSet with the fields of the setting with that Id (of the current task's client-bank),
// whatever name it shares with others. An unknown Id: the report "Operation aborted" and tbSet
// unchanged. A failed load is reported too. tbSets stays on its row. True when the fields were
// loaded.
bool LoadSettingFieldsOf(TdmSet &set, qint64 setId);
