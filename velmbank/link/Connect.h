#pragma once
// The link globals, opening and closing the program's link, the standard error report, and the
// login session calls.

#include "Profile.h"
#include "UXAPI.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The link globals.
extern TXAPI *XApiLink;
extern bool LinkOpened;
extern QString ProfileFileName;
extern bool ShowErrors;
extern bool KeepProtocol;
extern QList<QByteArray> Protocol; // the work protocol, Windows-1251 lines
extern QString ProtocolDir;
extern qint32 UserNumber;
extern QByteArray LocaleDecimalSeparator;

// Back to the values the program starts with (ProfileFileName in the current directory).
void ResetLinkGlobals();

// The standard error report: an error box if ShowErrors, a protocol line if KeepProtocol.
void StandardErrorReport(const QByteArray &failureText);

// One call on the program's link; without a link, the link's own lost-connection failure.
QByteArray CallServer(const QList<QByteArray> &elements);
// What a failure reports. A server error without a text must still read as a failure where
// callers take an empty text for success.
QByteArray FailureText(const std::exception &e);

// Runs an operation that calls the server or reads a data file: a failure gets the standard error
// report, and the result says whether the operation went through. Guards declared inside the
// operation (a progress window, controls off) are gone before the report is shown.
template <class Operation>
bool RunReported(Operation &&operation)
{
    try {
        operation();
        return true;
    } catch (const std::exception &e) {
        StandardErrorReport(FailureText(e));
        return false;
    }
}

bool OpenConnection();
void CloseConnection();

// Login session: true only for an empty reply. Failures are always shown, never kept.
bool Login(const QByteArray &userNumber, const QByteArray &password,
           const QByteArray &personalPassword);
void Logout();
