#pragma once
// The DBF layer: the gateway's only access to a client-bank export, a dBASE table. Files are
// opened and read through shapelib; the header is checked here first, so that a truncated or
// damaged file gives a clear error before anything is read from it, and memo texts are read
// from the .dbt file by this layer (shapelib does not read memos).
//
// A file whose first line is "1CClientBankExchange" is the 1C client-bank exchange text instead,
// whatever its name: it opens as a table of a fixed structure with one record per document
// (exchange1c.h), and everything above reads it as it reads a dBASE file.
//
// The original program reached the file through a database connection (dbDBF: database name,
// driver, "PATH=" parameter) and a table (tbDBF: database name, table name). They are kept
// with the same observable effect: the table is the file TableName in the connection's PATH
// directory, one file is open at a time, and opening a file closes whatever was open before.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <exception>
#include <memory>
#include <vector>

// A file that cannot be opened or a value that cannot be read. Message is Windows-1251 (what()
// gives it), Text the same message as Unicode.
class EDbfError : public std::exception
{
public:
    explicit EDbfError(const QString &text);
    const char *what() const noexcept override { return Message.constData(); }

    QString Text;
    QByteArray Message;
};

// Numbers of the type catalogue that dBASE fields are given.
namespace DbfType {
inline constexpr int NoType = 0;
inline constexpr int String = 1;
inline constexpr int Boolean = 5;
inline constexpr int Float = 6;
inline constexpr int Date = 9;
inline constexpr int Blob = 15;
inline constexpr int Memo = 16;
inline constexpr int DbaseOle = 20;
} // namespace DbfType

// The mapping from dBASE field types to the type catalogue, fixed for good: settings saved on
// the server carry these numbers and the structure check compares against them. Any letter not
// listed is NoType and reads as the empty text.
struct TDbfTypeMapping
{
    char Letter;
    int TypeId;
};
inline constexpr TDbfTypeMapping DbfTypeTable[] = {
    {'C', DbfType::String},   // bytes unchanged, trailing blanks dropped
    {'N', DbfType::Float},    // shortest decimal text of the stored digits
    {'F', DbfType::Float},    // as N
    {'L', DbfType::Boolean},  // "T" or "F"
    {'D', DbfType::Date},     // DD.MM.YYYY
    {'M', DbfType::Memo},     // the memo's text from the .dbt file
    {'B', DbfType::Blob},     // binary memo: not sent, reads as the empty text
    {'G', DbfType::DbaseOle}, // OLE object: not sent, reads as the empty text
};
int DbfTypeNumber(char letter);

// Longest memo text the layer reads; the server takes no longer strings.
inline constexpr qint64 MaxMemoLength = 1 << 20;

// A field definition of the open file, in file order.
struct TDbfFieldDef
{
    QByteArray Name;   // as in the file
    char Letter = 0;   // the dBASE type letter (C, D or N for an exchange text's fields)
    int TypeId = 0;    // the type catalogue number (DbfTypeTable)
    int Size = 0;      // the width in the file, for every type
    int Decimals = 0;  // as stored in the file
    int Precision = 0; // floating fields: Decimals capped to 0..15; others 0
    int Offset = 0;    // of the value in the record, after the deletion flag (dBASE only)
    bool Floating() const { return TypeId == DbfType::Float; }
};

class TDbfRecords;
class TDbfTable;
class TExchangeStatement;

// dbDBF: the connection. Its settings only say where tables are found: the "PATH=" line of
// Params is the directory (the current one when absent), and the driver must be "STANDARD".
class TDbfDatabase
{
public:
    QString DatabaseName;
    QString DriverName;
    QStringList Params;

    bool Connected() const { return FConnected; }
    void Close(); // closes the tables opened through it
    QString Directory() const;

private:
    friend class TDbfTable;
    bool FConnected = false;
    std::vector<TDbfTable *> FTables;
};

// tbDBF: the open file with a cursor over its records. Deleted records are skipped: they are
// neither counted nor visited.
class TDbfTable
{
public:
    explicit TDbfTable(TDbfDatabase &database);
    ~TDbfTable();
    TDbfTable(const TDbfTable &) = delete;
    TDbfTable &operator=(const TDbfTable &) = delete;

    QString DatabaseName;
    QString TableName; // the file name with its extension

    // Opens TableName in the database's directory on the first record; throws EDbfError.
    void Open();
    // Opens bytes already in memory (the engine probe, the fuzz targets); dbt may be empty.
    void OpenBytes(const QString &name, const QByteArray &dbf, const QByteArray &dbt);
    void Close();
    bool Active() const { return FFile != nullptr; }
    QString FilePath() const;

    // Field definitions; empty while the table is closed.
    const std::vector<TDbfFieldDef> &FieldDefs() const;
    int FieldCount() const { return int(FieldDefs().size()); }
    // Lookup by name with letters a to z compared without case: the index, or -1.
    int FindField(const QByteArray &name) const;
    // The same, throwing EDbfError when the file has no such field.
    int FieldByName(const QByteArray &name) const;

    // Navigation as the original data sets: First and Last set Bof and Eof; Next at the last
    // record sets Eof, Prior at the first sets Bof, and the cursor stays. Each move reads the
    // record (throws EDbfError when it cannot be read).
    void First();
    void Last();
    void Next();
    void Prior();
    bool Bof() const { return FBof; }
    bool Eof() const { return FEof; }
    int RecordCount() const; // records that are not deleted
    int RecNo() const;       // 1-based among them, 0 on an empty or closed table

    // The current record's value of a field as text (see DbfTypeTable); numbers carry
    // decimalSeparator (an empty one counts as "."). Throws EDbfError for a value that is not
    // of its type. The bytes 0x01, 0x02 and 0x1B (the record's and the wire's separators)
    // become blanks in character and memo values; a zero byte ends a character value.
    QByteArray FieldText(int field, const QByteArray &decimalSeparator) const;
    // The current record as the server receives it: every field's text in file order joined by
    // chr(2); in floating fields the decimal separator becomes ".".
    QByteArray RecordText(const QByteArray &decimalSeparator) const;
    void AppendFieldText(int field, const QByteArray &decimalSeparator, QByteArray &out) const;

    // An open exchange text's accounts, left-out documents and directions (exchange1c.h);
    // nullptr for a dBASE file or a closed table.
    const TExchangeStatement *Statement() const;

private:
    void SetCurrent(int index);
    const TDbfRecords &File() const;

    TDbfDatabase &FDatabase;
    std::unique_ptr<TDbfRecords> FFile;
    int FCurrent = 0; // index among the live records
    bool FBof = true;
    bool FEof = true;
};

// True when the DBF layer works: a small table built in memory is opened and read back through
// shapelib. Never throws.
bool EngineInstalled();
