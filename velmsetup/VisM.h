#pragma once
// The VisM layer: the installer's only way to the server. It has the members of the VisM
// control that the installer uses (MServer, NameSpace, Code, ExecFlag, P1, P2, the result value,
// Error, ErrorName and the run method) and the behaviour the stages rely on:
// - a run is synchronous: when SetExecFlag(1) or Execute returns, Error, ErrorName and Value are
//   current;
// - code that begins with "$" is an expression and leaves its value in Value; a command line
//   leaves Value alone, so callers clear it where they test it;
// - every run goes to the same server process: locals and locks stay from one run to the next;
// - bytes pass unchanged both ways (CP866 text included).
// Nothing here throws: a failure of any kind is Error = 1 with a readable ErrorName.
//
// TVisMClient speaks velmd's VisM protocol; tests use the recording double of tests/velmsetup.

#include "VismWire.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

enum class TVisMMember { MServer, NameSpace, Code, ExecFlag, P1, P2, Value, Error, ErrorName };

// What the server answers to one run.
struct TVisMReply
{
    int Error = 0;
    QByteArray ErrorName;
    QByteArray Value;
};

class TVisM
{
public:
    virtual ~TVisM() = default;

    // "CN_IPTCP:" + ip + "[" + port + "]:" + ip + "[" + port + "]"
    const QByteArray &MServer() const { return FMServer; }
    void SetMServer(const QByteArray &server);
    const QByteArray &NameSpace() const { return FNameSpace; }
    void SetNameSpace(const QByteArray &ns);
    const QByteArray &Code() const { return FCode; }
    void SetCode(const QByteArray &code);
    std::int16_t ExecFlag() const { return FExecFlag; }
    void SetExecFlag(std::int16_t flag); // 1 runs Code at once
    const QByteArray &P1() const { return FP1; }
    void SetP1(const QByteArray &v);
    void SetP1(qint64 v) { SetP1(QByteArray::number(v)); }
    const QByteArray &P2() const { return FP2; }
    void SetP2(const QByteArray &v);
    const QByteArray &Value() const { return FValue; }
    void SetValue(const QByteArray &v);
    int Error() const { return FError; }
    void SetError(int error);
    const QByteArray &ErrorName() const { return FErrorName; }
    void SetErrorName(const QByteArray &name);

    // The run method: runs code at once (Code is left as it is).
    void Execute(const QByteArray &code);

    // The connection string for ip and port, and its piece 2 read back (false when it has none).
    static QByteArray ServerString(const QByteArray &ip, const QByteArray &port);
    static bool ServerAddress(const QByteArray &server, QByteArray &ip, QByteArray &port);

protected:
    // One run of code in NameSpace with P1 and P2; never throws.
    virtual TVisMReply Run(const QByteArray &code, bool byExecFlag) = 0;
    // Every member set, before it takes effect (the recording double logs them).
    virtual void MemberSet(TVisMMember member, const QByteArray &value);
    // MServer was set: a client drops its connection here.
    virtual void ServerChanged();
    // For a client that reports the connection actually in use; not a member set.
    void StoreMServer(const QByteArray &server) { FMServer = server; }

private:
    void RunCode(const QByteArray &code, bool byExecFlag);

    QByteArray FMServer;
    QByteArray FNameSpace;
    QByteArray FCode;
    std::int16_t FExecFlag = 0;
    QByteArray FP1;
    QByteArray FP2;
    QByteArray FValue;
    int FError = 0;
    QByteArray FErrorName;
};

// The client of velmd's VisM protocol over TCP. It connects at the first run after MServer was
// set, taking ip and port from piece 2 of MServer and the account from VELMSETUP_USER and
// VELMSETUP_PASSWORD or, when they are not set, from the operator through the Ui seam. A
// connection that is lost after it was made is not made again behind the caller's back: the
// server process with its locals and locks is gone, so every later run fails until MServer is
// set again.
class TVisMClient : public TVisM
{
public:
    TVisMClient();
    ~TVisMClient() override;
    TVisMClient(const TVisMClient &) = delete;
    TVisMClient &operator=(const TVisMClient &) = delete;

    // Sends the quit message and closes; the next run connects again.
    void Disconnect();
    bool Connected() const { return FSocket >= 0; }

    int ConnectTimeoutMs = 10000;
    // How long a run may take; 0 waits as long as the server works (post-actions can take hours).
    int ReplyTimeoutMs = 0;
    // The caption of the account prompt.
    QByteArray AccountCaption;

protected:
    TVisMReply Run(const QByteArray &code, bool byExecFlag) override;
    void ServerChanged() override;

private:
    TVisMReply Connect();
    bool TakeAccount(QByteArray &user, QByteArray &password, TVisMReply &failure);
    // One request and its 'R' reply; false (with failure filled and the socket closed) when the
    // connection failed or the reply was malformed.
    bool Exchange(const QByteArray &message, TVisMReply &reply);
    bool SendAll(const QByteArray &bytes, QByteArray &why);
    bool ReceiveAll(char *to, qsizetype count, QByteArray &why);
    void CloseSocket();

    int FSocket = -1;
    bool FLost = false;
    QByteArray FLostWhy;
    QByteArray FPromptedUser; // the operator's account, kept for this connection string only
    QByteArray FPromptedPassword;
};

// The message forms of the VisM protocol, shared with the tests.
// The shared VisM codec (VismWire.h) in the client's byte strings.
namespace VisMWire {
inline constexpr quint32 MaxField = quint32(vism::MaxField); // an M string
inline constexpr quint32 MaxBody = quint32(vism::MaxBody);
QByteArray Encode(char type, const QList<QByteArray> &fields);
inline quint32 GetLength(const char *p) { return vism::GetLength(p); } // 4 bytes, big-endian
// Splits a body into its type and fields; false when the fields do not fill it exactly.
bool Decode(const QByteArray &body, char &type, QList<QByteArray> &fields);
} // namespace VisMWire
