#pragma once
// The XAPI client: one TCP session to the M server carrying strictly synchronous calls.
// Requests are built and replies read by XapiWire; TXAPI only moves their bytes.

#include "XapiWire.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QTimer;

// The password prompt after a wrong-password refusal; the one byte 0x01 when cancelled.
inline const QByteArray XApiPasswordCancelled(1, '\x01');
QByteArray AskXApiPassword();

class TXAPI
{
public:
    TXAPI();  // Create: TimeOut 60, Lock, KeepAliveTimer stopped; no socket
    ~TXAPI(); // Destroy: frees the timer; an open session is ended with Close first

    TXAPI(const TXAPI &) = delete;
    TXAPI &operator=(const TXAPI &) = delete;

    bool LoadProfile(const QString &path); // Profile.cpp
    bool Open();
    QByteArray Call(const QList<QByteArray> &elements);
    // A call in two halves, so that the caller works while the server does: StartCall sends the
    // request, FinishCall reads its reply. One call is out at most; a Call or a keep-alive made
    // meanwhile first takes the out call's reply (or failure) and keeps it for FinishCall.
    void StartCall(const QList<QByteArray> &elements);
    QByteArray FinishCall();
    bool CallOut() const { return FCallOut; }
    void Close();

    // The timer's handler; public so that the owner of the message loop may drive it.
    void KeepAlive();
    int KeepAliveInterval() const;

    QByteArray Server;
    std::array<std::uint8_t, 4> Address{};
    qint32 Port = 0;
    qint32 BufferLen = 4096;
    QByteArray PassWord;
    QByteArray UserName;
    QByteArray NameSpace;
    QByteArray Version;
    QByteArray ServerType;
    std::recursive_mutex Lock;
    qint32 TimeOut = 60;
    int Socket = -1;
    std::vector<char> Buffer;
    std::unique_ptr<QTimer> KeepAliveTimer;
    // Asked for a new password after a wrong-password refusal (XApiPasswordCancelled: give up).
    std::function<QByteArray()> AskPassword = AskXApiPassword;
    // Asked while a reply is awaited; true ends the wait: the
    // session is dropped, as its reply could no longer be told from the next one's, and the call
    // fails. Unset, the wait is the socket's own.
    std::function<bool()> Interrupted;

private:
    void Connect();
    void Disconnect();
    void SendAll(const QByteArray &bytes);
    void SendRequest(const QList<QByteArray> &elements); // a call's request, on an open session
    void SendMasked(const QByteArray &text, char mask);
    void WaitReadable();
    qsizetype ReadChunk(char *buffer, qsizetype size);
    qsizetype ReadHandshakeReply(char *buffer, qsizetype size, QByteArray &text);
    QByteArray ReadReply();
    void SettleOutCall();

    bool FCallOut = false;
    bool FSettled = false; // the out call's reply or failure is already taken
    QByteArray FOutReply;
    std::exception_ptr FOutFailure;
};
