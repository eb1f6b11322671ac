#pragma once
// The memory table: an ordered list of rows with named, typed fields and a cursor, the way the
// data modules keep their working copies (tasks, settings, setting fields, the intermediate
// table of an import).
//
// Rows live in a gap buffer: inserting or deleting where the previous insert or delete happened
// (the import walks a file from its end and inserts every row before the one it inserted just
// before) costs O(1) amortised, and every row is still read by index in O(1), which the item
// model needs. Text values are bytes (Windows-1251) and are kept whole: a field's width only
// tells widgets how much the operator may type.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <exception>
#include <optional>
#include <vector>

// A refusal or misuse of a table. Message is Windows-1251 (what() gives it), Text the same
// message as Unicode.
class EMemTableError : public std::exception
{
public:
    explicit EMemTableError(const QString &text);
    const char *what() const noexcept override { return Message.constData(); }

    QString Text;
    QByteArray Message;
};

enum class TMemFieldKind { Text, Integer, Logical };

struct TMemFieldDef
{
    QString Name;
    TMemFieldKind Kind = TMemFieldKind::Text;
    int Size = 0; // text: the most the operator may type; longer values are still kept
    std::optional<qint64> MinValue, MaxValue; // integer: allowed range, both or none
    int Slot = 0; // index into the row's texts (text fields) or numbers (the others)
};

// A remembered position: the row's 1-based ordinal, nothing more. After the table is emptied
// and refilled it names the row with the same ordinal, if there is one.
struct TBookmark
{
    int Ordinal = 0; // 0: nothing remembered
    bool IsValid() const { return Ordinal > 0; }
};

enum class TMemTableState { Inactive, Browse, Edit, Insert };

class TMemTable;

// A field resolved once (by name or index) and then read or written on the table's current row,
// like a field object of the original data sets: tb.FieldByName("Name").AsString().
class TMemField
{
public:
    TMemField() = default;
    TMemField(TMemTable *table, int index) : m_table(table), m_index(index) {}

    int Index() const { return m_index; }
    const TMemFieldDef &Def() const;

    bool IsNull() const;
    QByteArray AsString() const;
    qint64 AsInteger() const;
    bool AsBoolean() const;

    void SetAsString(const QByteArray &value) const;
    void SetAsInteger(qint64 value) const;
    void SetAsBoolean(bool value) const;
    void Clear() const;

private:
    TMemTable *m_table = nullptr;
    int m_index = -1;
};

class TMemTable : public QObject
{
    Q_OBJECT
public:
    explicit TMemTable(QObject *parent = nullptr);
    ~TMemTable() override;

    // --- structure: changed only while the table is closed -------------------------------
    int AddTextField(const QString &name, int size);
    int AddIntegerField(const QString &name);
    int AddIntegerField(const QString &name, qint64 minValue, qint64 maxValue);
    int AddLogicalField(const QString &name);
    void ClearFields();

    int FieldCount() const { return int(m_fields.size()); }
    const TMemFieldDef &FieldDef(int field) const { return m_fields[size_t(checkField(field))]; }
    int FieldIndex(const QString &name) const;  // case-insensitive; -1 when there is none
    TMemField FieldByName(const QString &name); // throws when there is none
    TMemField Fields(int field) { return TMemField(this, checkField(field)); }

    // --- life: Open starts empty on the first row, Close drops the rows --------------------
    void Open();
    void Close();
    bool Active() const { return m_state != TMemTableState::Inactive; }
    TMemTableState State() const { return m_state; }

    // Replaces structure and rows with those of source (rows are shared until written), opens
    // the table and moves to the first row.
    void CopyFrom(const TMemTable &source);

    // --- rows and cursor ---------------------------------------------------------------------
    int RecordCount() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    int RecNo() const { return m_count ? m_cur + 1 : 0; }   // 1-based, 0 on an empty table
    void SetRecNo(int recNo);                               // outside 1..RecordCount the cursor stays
    int CurrentRow() const { return m_count ? m_cur : -1; } // 0-based
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }

    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance); // the distance actually moved

    TBookmark GetBookmark() const { return TBookmark{RecNo()}; }
    bool BookmarkValid(TBookmark b) const { return b.Ordinal >= 1 && b.Ordinal <= m_count; }
    void GotoBookmark(TBookmark b); // an ordinal the table does not have leaves the cursor

    // A new empty row at the end, or before the current row (on an empty table: the first
    // row); it becomes current and the table is in Insert state until Post or Cancel.
    void Append();
    void Insert();
    // Edit the current row (on an empty table: Append, as the original data sets do).
    void Edit();
    void Post();   // keeps the row, notifies AfterPost
    void Cancel(); // drops a new row, or gives an edited row its former values
    void Delete(); // the next row becomes current, or the new last one
    void EmptyTable();

    // --- values of the current row (state Edit or Insert to write) -------------------------
    bool IsNull(int field) const;
    QByteArray AsString(int field) const; // integer as decimal, logical as True/False
    qint64 AsInteger(int field) const;    // absent gives 0
    bool AsBoolean(int field) const;      // absent gives false

    // Text field: stored whole, an empty value is absent. Integer field: converted, empty makes
    // it absent, anything but an integer is refused. Logical: True/False/1/0 or empty.
    void SetAsString(int field, const QByteArray &value);
    void SetAsInteger(int field, qint64 value); // refused outside the field's range
    void SetAsBoolean(int field, bool value);
    void Clear(int field);

    // --- values of any row, 0-based, read in place -------------------------------------------
    bool IsNullAt(int row, int field) const;
    const QByteArray &TextAt(int row, int field) const; // text fields only
    qint64 IntegerAt(int row, int field) const;         // integer and logical fields
    QByteArray StringAt(int row, int field) const;

    // While controls are disabled views get no row signals; enabling them again resets views
    // that missed a change. Calls nest.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disabled > 0; }

Q_SIGNALS:
    void AfterPost();
    // For views, in Qt's begin/end pairs (0-based rows).
    void RowsAboutToBeInserted(int first, int last);
    void RowsInserted();
    void RowsAboutToBeRemoved(int first, int last);
    void RowsRemoved();
    void RowChanged(int row);
    void AboutToReset(); // rows or structure are replaced as a whole
    void ResetDone();
    void CurrentChanged(int row);

private:
    struct Number
    {
        qint64 Value = 0;
        bool Null = true;
    };
    struct Row
    {
        QList<QByteArray> Texts;
        QList<Number> Numbers;
    };

    int addField(const QString &name, TMemFieldKind kind, int size, std::optional<qint64> minValue,
                 std::optional<qint64> maxValue);
    int checkField(int field) const;
    void checkActive() const;
    void checkBrowseMode(); // posts a pending edit, as navigation does
    void checkWritable() const;
    const Row &rowAt(int row) const;
    Row &currentRow();
    Row newRow() const;
    qint64 parseInteger(const TMemFieldDef &def, const QByteArray &value) const;
    void checkRange(const TMemFieldDef &def, qint64 value) const;
    void setCurrent(int row);

    // gap buffer
    size_t physical(int row) const
    {
        return size_t(row) < m_gapStart ? size_t(row) : size_t(row) + (m_gapEnd - m_gapStart);
    }
    void moveGap(size_t to);
    void insertRow(int row, Row &&value);
    void startInsertAt(int at); // Append and Insert: a new row at that place, in Insert state
    void removeRow(int row);
    void clearRows();

    // notifications for views, held back while controls are disabled
    bool viewsListening();

    std::vector<TMemFieldDef> m_fields;
    QHash<QString, int> m_byName; // upper-case name -> field
    int m_textSlots = 0;
    int m_numberSlots = 0;

    std::vector<Row> m_buf;
    size_t m_gapStart = 0;
    size_t m_gapEnd = 0;
    int m_count = 0;

    int m_cur = 0;
    bool m_bof = true;
    bool m_eof = true;
    TMemTableState m_state = TMemTableState::Inactive;
    std::optional<Row> m_backup; // the row's values before Edit
    int m_cursorBeforeInsert = 0;

    int m_disabled = 0;
    bool m_missed = false;
};

// Views learn of a fill once, at its end, instead of row by row: controls are off for the
// guard's life, on every path out.
class TControlsOff
{
public:
    explicit TControlsOff(TMemTable *table) : FTable(table) { FTable->DisableControls(); }
    ~TControlsOff() { FTable->EnableControls(); }
    TControlsOff(const TControlsOff &) = delete;
    TControlsOff &operator=(const TControlsOff &) = delete;

private:
    TMemTable *FTable;
};
