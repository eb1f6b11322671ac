#pragma once
// Code pages. Bytes cross the wire and lie in files in their 8-bit code page; widgets show
// QString. The conversions to and from Unicode go through iconv (glibc).

#include <QByteArray>
#include <QString>

// Windows-1251, the gateway's and the installer's display code page.
QString FromWin1251(const QByteArray &bytes);
QByteArray ToWin1251(const QString &text); // characters it lacks become '?'

// CP866, the installer's server code page, for texts written in our own code (tests, tools).
QString FromCp866(const QByteArray &bytes);
QByteArray ToCp866(const QString &text);

// The installer's own table between the server code page and the display code page. It is
// deliberately not the full CP866: Ё and ё stay as they are, 0xFF and 0x03 trade places.
QByteArray ServerToDisplay(const QByteArray &bytes);
QByteArray DisplayToServer(const QByteArray &bytes);
char ServerToDisplay(char c);
char DisplayToServer(char c);
