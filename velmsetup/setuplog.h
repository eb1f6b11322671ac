#pragma once
// The installation log: lines in the display code page (Windows-1251), kept in memory from
// start-up and written once, with CR LF line ends, when the program ends.

#include <QByteArray>
#include <QList>
#include <QString>

class TSetupLog
{
public:
    void Add(const QByteArray &line) { Lines.append(line); }
    void Add(const QString &line); // converted to Windows-1251
    // Appends to the last line (a new line when the log is empty): a message's duration.
    void AppendToLast(const QByteArray &text);
    QByteArray Last() const { return Lines.isEmpty() ? QByteArray() : Lines.constLast(); }
    // Replaces the file; false when it cannot be written.
    bool SaveToFile(const QString &path) const;

    QList<QByteArray> Lines;
};
