#pragma once
// Reading the server's lists and tables into memory tables, and building the record
// arguments sent back. Nothing is escaped on the wire: chr(1) and chr(2) are plain bytes.

#include "memtable.h"

#include <QByteArray>
#include <QList>

#include <initializer_list>

inline constexpr char ListSep = '\x01';  // between list items and table records
inline constexpr char FieldSep = '\x02'; // between the fields of a record

// Items up to the first empty one: a trailing separator is harmless, an empty item ends it.
QList<QByteArray> ReplyItems(const QByteArray &text, char sep);

// One record as a new row (appended, or inserted before the current row): field n takes
// piece n, an absent piece leaves the field empty. A piece the table refuses throws and
// takes the half-filled row with it.
void AddReplyRecord(TMemTable *table, const QByteArray &record, char sep, int fields, bool insert = false);

// The values of a row (-1: an empty table's absent row) joined with chr(2). A value that
// holds a byte the record or the call would be split at (0x00, chr(1), chr(2), ESC) is
// refused: the server would store shifted fields.
QByteArray RecordArgument(const TMemTable *table, int row, std::initializer_list<int> fields);
