#pragma once
// A scripted XAPI server on loopback, serving from a thread of its own while the client blocks
// on the test's thread. It accepts handshake connections on Port(), answers each from its
// script, serves the session port, records every byte it receives, and answers calls with
// scripted bytes that it can split over several writes with pauses between them.

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class XapiPeer
{
public:
    struct Step
    {
        QByteArray Bytes;
        int PauseMs = 0; // waited before these bytes are written
    };
    using Reply = QList<Step>;

    XapiPeer();
    ~XapiPeer();
    XapiPeer(const XapiPeer &) = delete;
    XapiPeer &operator=(const XapiPeer &) = delete;

    quint16 Port() const { return FHandshakePort; }
    // Writes a velmbank.ini that points the link at this peer (CACHE framing, namespace VELM).
    bool WriteProfile(const QString &path) const;
    quint16 SessionPort() const { return FSessionPort; }

    // Answers to handshake connections, in order; with none queued the handshake is accepted
    // (the session port's digits and one 0x00).
    void QueueHandshake(const QByteArray &rawReply);
    void QueueHandshakeAccept();
    // The handshake connection is closed without a reply.
    void QueueHandshakeHangUp();

    // Answers to calls, in order; with none queued a call gets a lone ESC.
    void QueueCall(const Reply &reply);
    void QueueCall(const QByteArray &text) { QueueCall(Reply{{text + '\x1b', 0}}); }
    // Sends these bytes as the reply to the next call and then closes the session.
    void QueueCallThenHangUp(const QByteArray &partial);
    // What a call gets when nothing is queued (a lone ESC unless set).
    void SetDefaultCall(const QByteArray &text);
    // The next keep-alive is answered with this instead of ESC.
    void QueueKeepAlive(const Reply &reply);

    // What was received. Requests holds each call, keep-alive and close request of the session.
    QList<QByteArray> Handshakes() const;
    QList<QByteArray> Requests() const;
    // The call requests among them, each as its list of elements (the framing taken off).
    QList<QList<QByteArray>> Calls() const;
    int SessionsAccepted() const;
    bool SessionEnded() const;
    // Waits until at least n requests were recorded.
    bool WaitForRequests(int n, int timeoutMs) const;

private:
    struct Scripted
    {
        enum Kind { Raw, Accept, HangUp } kind = Accept;
        Reply reply;
        bool hangUpAfter = false;
    };
    void Run();
    void ServeHandshake(int fd);
    void ServeSession(int fd);
    bool SendReply(int fd, const Reply &reply);

    int FHandshakeListener = -1;
    int FSessionListener = -1;
    quint16 FHandshakePort = 0;
    quint16 FSessionPort = 0;
    QByteArray FServerType;

    mutable std::mutex FMutex;
    mutable std::condition_variable FChanged;
    std::deque<Scripted> FHandshakeScript, FCallScript, FKeepAliveScript;
    QList<QByteArray> FHandshakes, FRequests;
    int FSessions = 0;
    bool FSessionEnded = false;
    bool FAcceptSession = false;
    QByteArray FDefaultCall = QByteArray(1, '\x1b');

    std::atomic<bool> FStop{false};
    std::thread FThread;
};
