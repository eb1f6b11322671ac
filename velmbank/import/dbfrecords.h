#pragma once
// Inside the DBF layer: what a table reads its records from (a dBASE file, or an exchange text
// read as one), and the text forms both readers give their values. Callers use dbf.h.

#include "dbf.h"

class TDbfRecords
{
public:
    virtual ~TDbfRecords() = default;
    virtual const QString &Path() const = 0;
    virtual const std::vector<TDbfFieldDef> &Defs() const = 0;
    virtual int LiveCount() const = 0;
    // Makes record live (0-based among the records read) the current one; throws EDbfError.
    virtual void Read(int live) = 0;
    virtual bool HasRecord() const = 0;
    virtual void AppendValue(int field, const QByteArray &separator, QByteArray &out) const = 0;
    virtual const TExchangeStatement *Statement() const { return nullptr; }
};

// A character value: the bytes up to a zero byte, 0x01, 0x02 and 0x1B as blanks, trailing
// blanks dropped.
void AppendDbfCharacters(const char *p, int size, QByteArray &out);
// The shortest decimal text of the digits, separator before the fraction; false when it is no
// number. Blanks around it are allowed, the empty text is the empty value.
bool AppendDbfNumber(const char *p, int size, const QByteArray &separator, QByteArray &out);
