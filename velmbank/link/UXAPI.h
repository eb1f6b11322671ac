#pragma once
// The XAPI client: one TCP session to the M server carrying strictly synchronous calls.
// Requests are built and replies scanned by the pure functions of XapiWire, so that every wire
// case can be tested without a socket; TXAPI only moves their bytes.

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

class QTimer;

// A link failure, a server error reply or a refused handshake. Message is Windows-1251.
class TVELM_Activate_Except : public std::exception
{
public:
    explicit TVELM_Activate_Except(QByteArray message, int errorCode = 0)
        : Message(std::move(message)), ErrorCode(errorCode) {}
    explicit TVELM_Activate_Except(const QString &message, int errorCode = 0);
    const char *what() const noexcept override { return Message.constData(); }

    QByteArray Message;
    int ErrorCode = 0; // 1: the handshake was refused for a wrong password
};

// A text that should have been an integer (the handshake reply's port).
class EConvertError : public std::exception
{
public:
    explicit EConvertError(const QByteArray &text);
    const char *what() const noexcept override { return Message.constData(); }
    QByteArray Message;
};

// Strict 32-bit decimal integer with an optional sign; throws EConvertError otherwise.
qint32 StrToInt(const QByteArray &text);

namespace XapiWire {

inline constexpr char Esc = 0x1B;
inline constexpr char CloseByte = 0x03;
inline constexpr char CallByte = 0x02;
inline constexpr int MaxElements = 255;

// The handshake as assembled, with 0x01 between the fields (see Masked).
QByteArray HandshakeText(const QByteArray &serverType, const QByteArray &version,
                         const QByteArray &userName, const QByteArray &passWord,
                         const QByteArray &nameSpace, int bufferLen, int timeOut);
// Every byte equal to mask becomes 0x00.
QByteArray Masked(const QByteArray &text, char mask);

bool IsCache(const QByteArray &serverType);
bool IsKnownServerType(const QByteArray &serverType);

// 0x02 "0" N, each element followed by ESC, and 0x00 for "CACHE".
QByteArray CallRequest(const QByteArray &serverType, const QList<QByteArray> &elements);
QByteArray KeepAliveRequest(const QByteArray &serverType);

struct HandshakeReply
{
    bool Accepted = false;
    QByteArray Text;   // the port digits, or the refusal text
    int ErrorCode = 0; // 1: wrong password
};
// One read of the handshake reply (count > 0).
HandshakeReply ScanHandshakeReply(const char *data, qsizetype count);

struct ReplyChunk
{
    bool Error = false;    // the read began with ESC ESC; Text is the server's error text
    bool Complete = false; // the read held the ESC that ends the reply
    QByteArray Text;       // this read's contribution to the reply
};
// One read of a call or keep-alive reply (count > 0).
ReplyChunk ScanReplyChunk(const char *data, qsizetype count);

} // namespace XapiWire

class TXAPI
{
public:
    TXAPI();  // Create: TimeOut 60, Lock, KeepAliveTimer stopped; no socket
    ~TXAPI(); // Destroy: frees the timer; an open session is ended with Close first

    TXAPI(const TXAPI &) = delete;
    TXAPI &operator=(const TXAPI &) = delete;

    bool LoadProfile(const QString &path);
    bool Open();
    QByteArray Call(const QList<QByteArray> &elements);
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

private:
    void Connect();
    void Disconnect();
    void SendAll(const QByteArray &bytes);
    void SendMasked(const QByteArray &text, char mask);
    qsizetype ReadChunk(char *buffer, qsizetype size);
    qsizetype ReadHandshakeReply(char *buffer, qsizetype size, QByteArray &text);
    QByteArray ReadReply();
};
