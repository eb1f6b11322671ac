#pragma once
// TdmTask, the import engine: the intermediate table of one task start, built from the server's
// column list and filled from a client-bank file one server call per record, and the data
// source the document grid shows it through, with the grid's column list.

#include "dbfops.h"
#include "memtable.h"
#include "memtablemodel.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// A column of the document grid, in the grid's order.
struct TGridColumn
{
    int Id = 0;     // identity, kept while the column exists
    int Field = -1; // the tbTask column shown; -1 until the columns are bound
    QString Caption;
    bool Visible = true;
    int Width = 64;
    Qt::Alignment Alignment; // empty: the grid's default
};

// dsTask: the item model over tbTask (one model column per table column) carrying the grid's
// column list. Captions and alignment come from the grid column bound to a table column; the
// order, widths and visibility are for the view to apply.
class TTaskDataSource : public TMemTableModel
{
    Q_OBJECT
public:
    explicit TTaskDataSource(TMemTable *table, QObject *parent = nullptr);

    const QList<TGridColumn> &Columns() const { return FColumns; }
    void ClearColumns();
    int AddColumn(const QString &caption); // at the end; its Id
    void BindColumns(int width);           // grid column j shows table column j, each this wide
    int PositionOf(int id) const;          // -1 when there is none
    TGridColumn *ColumnById(int id);
    void MoveColumn(int from, int to);

    // The grid's current column, by identity (0: none).
    int SelectedColumnId() const { return FSelected; }
    void SetSelectedColumnId(int id);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void ColumnsChanged();
    void SelectedColumnChanged(int id);

private:
    const TGridColumn *BoundTo(int field) const;

    QList<TGridColumn> FColumns;
    int FNextId = 1;
    int FSelected = 0;
};

// A document of the file that an import left aside before the intermediate table: refused for
// a fault of its own, or of the other task's direction (an exchange text's statement).
struct TAsideDocument
{
    int Record = 0; // its place among the file's documents, as the protocol numbers records
    int Line = 0;   // of the file: its fault's, or its first
    QString Number; // the document's number as the file gives it
    QString Reason;
    bool Fault = false; // refused; otherwise of the other direction
};

// What became of a document of the file: told by the import (refused by the diagnosis, left
// aside), then by the run (created, closed, skipped, refused by the server, stopped).
enum class TRecordOutcome { NotProcessed, Created, Closed, Skipped, Refused, Stopped };

struct TRecordResult
{
    int Record = 0;      // its place among the file's documents, as the protocol numbers it
    QByteArray Document; // its number: the server's, or the exchange text's (Windows-1251)
    TRecordOutcome Outcome = TRecordOutcome::NotProcessed;
    QByteArray Text;   // the server's diagnosis or refusal, or why it was left aside (Windows-1251)
    bool Sent = false; // the server diagnosed it
    int Row = -1;      // its row of tbTask; -1 for none
};

class TdmSet;

class TdmTask : public QObject
{
    Q_OBJECT
public:
    // The fixed columns before the task's own; Transact comes after them.
    enum TaskField { tfOk, tfExist, tfOpen, tfInclude, tfFirstTaskColumn };

    // The engine works for its store: the task and setting rows, the link, the protocol.
    explicit TdmTask(TdmSet &set, QObject *parent = nullptr);
    ~TdmTask() override;

    TdmSet &Set;
    // The client-bank file of the last import, open until the next one.
    TDbfFile File;

    TMemTable *tbTask;
    TTaskDataSource *dsTask;
    TMemTable *tbTask2; // the rows as the import left them, for the grid's hover hint

    // The identity of the Transact grid column.
    int TransactColumnId = 0;

    // Columns of tbTask that are the task's own (between Include and Transact).
    int TaskColumnCount() const;
    // Transact's index in tbTask; -1 while the table has none.
    int TransactField() const;

    // task: 1 money out, 2 money in.
    void BuildTaskTable(int task);
    // True when the whole file was read; the file stays open. Pending input is handled between
    // records; Esc asks "Прервать задачу?" once, and Yes ends the import with false, the rows
    // taken so far kept.
    bool ImportDbfFile(const QString &path, qint64 setId);
    void SnapshotTaskTable();

    // The documents the last import left aside, in file order.
    QList<TAsideDocument> LeftAside;
    int AsideCount(bool fault) const;

    // Every document of the last import's file, in file order, with what became of it.
    QList<TRecordResult> Records;
    // The record a row of tbTask holds; null for none.
    TRecordResult *RecordOfRow(int row);
    int OutcomeCount(TRecordOutcome outcome) const;

private:
    // For an exchange text: the faulty documents and those of the other direction go to
    // LeftAside, said once (a message, the protocol). The direction the task takes, 0 for all.
    unsigned SetAside(const QString &path);
    // One accepted record as a row of tbTask, before the current row.
    void InsertTaskRow(const QList<QByteArray> &pieces);
    // Records from the file and the documents left aside; rows bound once the import is over.
    void StartRecords(int documents);
    void BindRows();
    // The diagnosis lines of the records sent, in record order.
    void WriteDiagnosisLines();

    QList<int> FRowRecords;      // per tbTask row, its index in Records
    qsizetype FDiagnosisAt = -1; // where the diagnosis lines go into the protocol
};

// The program-wide instance, created at start-up, for the windows.
extern TdmTask *dmTask;
