#pragma once
// A velmd of its own for a test: a temporary data directory made with `velmd init` (or
// `velmd demo`), and `velmd serve` on free ports. Plain: one test account for both protocols.
// Demo: the demo's own accounts, velmbank for XAPI and velmsetup for VisM. Also small blocking
// clients of both protocols that speak the bytes directly, for the cases a product client cannot
// make.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class VelmdProcess
{
public:
    enum class Kind { Plain, Demo };
    explicit VelmdProcess(Kind kind = Kind::Plain);
    ~VelmdProcess();

    static QString Exe();

    // Makes the data directory and starts serving; false with the reason in Error.
    bool Start();
    // SIGTERM and wait; the exit code of `velmd serve` (-1 when it had to be killed).
    int Stop();
    bool Running() const;

    // Runs `velmd ARGS...` with the data directory as the first argument after the command.
    int Run(const QString &command, const QStringList &args, const QByteArray &input = {},
            QByteArray *output = nullptr);
    // Loads routine sources into a namespace; the first line's code page rule applies.
    bool Load(const QString &ns, const QStringList &files);
    // Writes a routine source (UTF-8) into the data directory and loads it.
    bool LoadText(const QString &ns, const QString &routine, const QByteArray &utf8);
    // Sets a key of velmd.conf (sessions that start later read it); an empty value removes it.
    bool SetConfig(const QByteArray &key, const QByteArray &value);
    // Lets XAPI calls in namespace ns reach these routines (every label of them).
    bool OfferXapi(const QString &ns, const QStringList &routines);
    // Offers the gateway's entry points in namespace ns, as `velmd demo` does in VELM.
    bool OfferGateway(const QString &ns);

    // A profile for TXAPI / xapicall.
    QString WriteProfile(const QString &ns, const QByteArray &serverType = "CACHE", int timeOut = 60,
                         const QByteArray &user = {}, const QByteArray &password = {}) const;

    // What velmd wrote on stderr so far (one line per session start and end).
    QString Log();
    // Waits until the log holds count lines that contain text.
    bool WaitForLog(const QString &text, int count, int msecs = 10000);

    QString DataDir() const { return FDir.path(); }
    int XapiPort = 0;
    int VismPort = 0;
    // The account of XAPI (WriteProfile) and the one of VisM.
    QByteArray User = "tester";
    QByteArray Password = "secret";
    QByteArray VismUser = "tester";
    QByteArray VismPassword = "secret";
    QString Error;

private:
    Kind FKind;
    QTemporaryDir FDir;
    std::unique_ptr<QProcess> FServe;
    QString FLog;
};

// XAPI over a plain blocking socket: the handshake and calls as raw bytes.
class RawXapi
{
public:
    ~RawXapi();
    // The handshake; true when a session port came back and the session is connected.
    bool Open(int port, const QByteArray &user, const QByteArray &password, const QByteArray &ns,
              const QByteArray &serverType = "CACHE", int timeOut = 60);
    // The handshake reply bytes of the last Open.
    QByteArray HandshakeReply;
    // One call: the reply text; Failed when an error reply came; Lost when the connection went.
    struct Reply
    {
        bool Failed = false;
        bool Lost = false;
        QByteArray Text;
    };
    Reply Call(const QList<QByteArray> &elements);
    Reply KeepAlive();
    bool SendRaw(const QByteArray &bytes);
    // True when the server has closed the session within msecs.
    bool WaitClosed(int msecs);
    void Close();

    QByteArray ServerType = "CACHE";
    int Fd = -1;
    // The loopback address the client connects from (127.0.0.1 unless set), and how long Open
    // waits for the handshake's reply.
    const char *Source = nullptr;
    int HandshakeMsecs = 30000;

private:
    Reply ReadReply();
};

// A connection to the loopback port, from the source address given (another 127.x address
// stands for another client machine).
int ConnectLoopback(int port, const char *source = nullptr);
// Sends all of bytes; reads everything until the peer closes or msecs pass.
QByteArray ExchangeRaw(int port, const QByteArray &bytes, int msecs);

// The VisM protocol over a plain blocking socket.
class VismClient
{
public:
    ~VismClient();
    bool Connect(int port);
    struct Reply
    {
        bool Lost = false;
        bool Failed = false;
        QByteArray ErrorName, Value;
    };
    Reply Login(const QByteArray &user, const QByteArray &password, const QByteArray &ns);
    Reply Run(const QByteArray &ns, const QByteArray &code, const QByteArray &p1 = {},
              const QByteArray &p2 = {});
    void Quit();
    bool SendRaw(const QByteArray &bytes);
    bool WaitClosed(int msecs);

    static QByteArray Message(char type, const QList<QByteArray> &fields);
    int Fd = -1;

private:
    Reply Exchange(const QByteArray &message);
};
