#pragma once
// The connection profile, the link globals, opening and closing the program's link, the
// standard error report, and the login session calls.

#include "UXAPI.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// A Windows profile (ini) file read by the rules of the platform's profile functions:
// section and key names without regard to case, the first occurrence wins, values trimmed
// and at most 2047 bytes, integers with the "0x" hexadecimal form.
class TProfileFile
{
public:
    static constexpr int MaxValue = 2047;

    explicit TProfileFile(const QString &path); // a missing file reads as empty
    static TProfileFile FromBytes(const QByteArray &content);

    bool Exists() const { return FExists; }
    QByteArray ReadString(const QByteArray &section, const QByteArray &key,
                          const QByteArray &def = {}) const;
    qint32 ReadInteger(const QByteArray &section, const QByteArray &key, qint32 def) const;

private:
    TProfileFile() = default;
    void Parse(const QByteArray &content);

    bool FExists = false;
    QHash<QByteArray, QHash<QByteArray, QByteArray>> FSections; // lower-case names
};

// Integer conversion of a profile value: decimal with an optional sign, or "0x" hexadecimal;
// nullopt when the text is none of these.
std::optional<qint32> ProfileInteger(const QByteArray &text);

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

// The password prompt after a wrong-password refusal; the one byte 0x01 when cancelled.
inline const QByteArray XApiPasswordCancelled(1, '\x01');
QByteArray AskXApiPassword();

bool OpenConnection();
void CloseConnection();

// Login session: true only for an empty reply. Failures are always shown, never kept.
bool Login(const QByteArray &userNumber, const QByteArray &password,
           const QByteArray &personalPassword);
void Logout();
