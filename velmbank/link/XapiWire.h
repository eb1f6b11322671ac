#pragma once
// The XAPI wire forms as pure functions: the handshake and call requests are built here and the
// server's replies scanned here, read by read, so that every wire case can be tested and fuzzed
// without a socket. TXAPI only moves their bytes.

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>

// A link failure, a server error reply or a refused handshake. Message is Windows-1251.
class TVELM_Activate_Except : public std::exception
{
public:
    explicit TVELM_Activate_Except(QByteArray message, int errorCode = 0)
        : Message(std::move(message)), ErrorCode(errorCode)
    {}
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
QByteArray HandshakeText(const QByteArray &serverType, const QByteArray &version, const QByteArray &userName,
                         const QByteArray &passWord, const QByteArray &nameSpace, int bufferLen, int timeOut);
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

// Collects one reply from the reads of the session socket. The link's rules apply per read,
// not to the reply as a whole: a read that begins with ESC ESC is the server's error text (up to
// the first 0x00 of that read), a 0x00 cuts only the read it is in, and the first ESC of a read
// ends the reply.
class TReplyReader
{
public:
    // One read as it came (count > 0). True when the reply is complete; a server error reply
    // throws TVELM_Activate_Except with its text.
    bool Feed(const char *data, qsizetype count);
    // The reply collected so far; the reader starts afresh.
    QByteArray Take();

private:
    QByteArray FReply;
};

} // namespace XapiWire
