#pragma once
// The program's link with its switches and its work protocol, as one object that whoever works
// with the server owns (the settings store): opening and closing, the standard error report,
// the login session's calls.

#include "Profile.h"
#include "UXAPI.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// What a failure reports. A server error without a text must still read as a failure where
// callers take an empty text for success.
QByteArray FailureText(const std::exception &e);

class TLink
{
public:
    TLink(); // the profile velmbank.ini in the current folder, error boxes on, no protocol
    ~TLink();
    TLink(const TLink &) = delete;
    TLink &operator=(const TLink &) = delete;

    // The link while it is open: the one OpenConnection made, or one a caller lends (tests).
    TXAPI *XApiLink = nullptr;
    bool LinkOpened = false;
    QString ProfileFileName;
    bool ShowErrors = true;
    bool KeepProtocol = false;
    QList<QByteArray> Protocol; // the work protocol, Windows-1251 lines
    QString ProtocolDir;
    qint32 UserNumber = 0;
    QByteArray LocaleDecimalSeparator = ".";
    // Given to the link when it opens: asked while a reply is awaited, true ends the wait.
    std::function<bool()> Interrupted;

    // The standard error report: an error box if ShowErrors, a protocol line if KeepProtocol.
    void StandardErrorReport(const QByteArray &failureText);
    // One call on the link; without a link, the link's own lost-connection failure.
    QByteArray CallServer(const QList<QByteArray> &elements);
    // The same call in two halves (TXAPI::StartCall, FinishCall), for work beside the server's.
    void StartServerCall(const QList<QByteArray> &elements);
    QByteArray FinishServerCall();

    // Runs an operation that calls the server or reads a data file: a failure gets the
    // standard error report, and the result says whether the operation went through. Guards
    // declared inside the operation (a progress window, controls off) are gone before the
    // report is shown.
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
    bool Login(const QByteArray &userNumber, const QByteArray &password, const QByteArray &personalPassword);
    void Logout();

private:
    TXAPI &Xapi();
    bool CallShowingFailure(const QList<QByteArray> &elements, QByteArray &reply);
    std::unique_ptr<TXAPI> FOwned;
};
