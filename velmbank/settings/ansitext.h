#pragma once
// Letter case of Windows-1251 bytes, the way the original string lists compared their items:
// Cyrillic letters fold as well as Latin ones, every other byte stays as it is.

#include <QByteArray>
#include <QList>

QByteArray AnsiUpperCase(const QByteArray &text);
bool AnsiSameText(const QByteArray &a, const QByteArray &b);
// Position of the first item equal to text without regard to case; -1 when there is none.
qsizetype AnsiIndexOfText(const QList<QByteArray> &list, const QByteArray &text);
