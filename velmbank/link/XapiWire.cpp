#include "XapiWire.h"

#include "codepage.h"

#include <cstring>

TVELM_Activate_Except::TVELM_Activate_Except(const QString &message, int errorCode)
    : Message(ToWin1251(message)), ErrorCode(errorCode)
{}

EConvertError::EConvertError(const QByteArray &text) : Message('\'' + text + "' is not a valid integer value")
{}

qint32 StrToInt(const QByteArray &text)
{
    bool ok = false;
    const qint32 v = text.toInt(&ok, 10);
    // toInt accepts surrounding blanks; a port text must be digits only.
    if (!ok || text.isEmpty() || text.trimmed().size() != text.size())
        throw EConvertError(text);
    return v;
}

namespace XapiWire {

QByteArray HandshakeText(const QByteArray &serverType, const QByteArray &version, const QByteArray &userName,
                         const QByteArray &passWord, const QByteArray &nameSpace, int bufferLen, int timeOut)
{
    const char sep = 0x01;
    return QByteArray("1") + sep + serverType + sep + version + sep + userName + sep + passWord + sep
           + nameSpace + sep + QByteArray::number(bufferLen) + sep + QByteArray::number(timeOut);
}

QByteArray Masked(const QByteArray &text, char mask)
{
    QByteArray out(text);
    for (char &c : out)
        if (c == mask)
            c = 0x00;
    return out;
}

bool IsCache(const QByteArray &serverType) { return serverType == "CACHE"; }

bool IsKnownServerType(const QByteArray &serverType) { return serverType == "CACHE" || serverType == "MSM"; }

QByteArray CallRequest(const QByteArray &serverType, const QList<QByteArray> &elements)
{
    if (elements.isEmpty() || elements.size() > MaxElements)
        throw TVELM_Activate_Except(
            QStringLiteral("Недопустимое число элементов вызова: %1 (от 1 до 255)").arg(elements.size()));
    qsizetype total = 3 + elements.size() + (IsCache(serverType) ? 1 : 0);
    for (const QByteArray &e : elements)
        total += e.size();
    QByteArray request;
    request.reserve(total);
    request.append(CallByte);
    request.append('0');
    request.append(static_cast<char>(static_cast<unsigned char>(elements.size())));
    for (const QByteArray &e : elements) {
        request.append(e);
        request.append(Esc);
    }
    if (IsCache(serverType))
        request.append('\0');
    return request;
}

QByteArray KeepAliveRequest(const QByteArray &serverType)
{
    return IsCache(serverType) ? QByteArray("\x04\x00", 2) : QByteArray("\x01\x04", 2);
}

// The bytes from `from` up to the first 0x00 or the end of the read.
static QByteArray UpToZero(const char *data, qsizetype from, qsizetype count)
{
    if (from >= count)
        return {};
    const void *zero = std::memchr(data + from, 0, size_t(count - from));
    const qsizetype end = zero ? static_cast<const char *>(zero) - data : count;
    return QByteArray(data + from, end - from);
}

HandshakeReply ScanHandshakeReply(const char *data, qsizetype count)
{
    HandshakeReply r;
    if (count <= 0)
        return r;
    if (data[0] != 0x00) {
        r.Accepted = true;
        r.Text = UpToZero(data, 0, count - 1); // the last byte of the read is not part of it
        return r;
    }
    r.ErrorCode = count >= 2 && data[1] == 0x01 ? 1 : 0;
    r.Text = UpToZero(data, 2, count);
    return r;
}

ReplyChunk ScanReplyChunk(const char *data, qsizetype count)
{
    ReplyChunk r;
    if (count >= 2 && data[0] == Esc && data[1] == Esc) {
        r.Error = true;
        r.Complete = true;
        r.Text = UpToZero(data, 2, count);
        return r;
    }
    const void *esc = std::memchr(data, Esc, size_t(count));
    const qsizetype end = esc ? static_cast<const char *>(esc) - data : count;
    r.Complete = esc != nullptr;
    r.Text = UpToZero(data, 0, end);
    return r;
}

bool TReplyReader::Feed(const char *data, qsizetype count)
{
    const ReplyChunk chunk = ScanReplyChunk(data, count);
    if (chunk.Error) {
        FReply.clear();
        throw TVELM_Activate_Except(chunk.Text, 0);
    }
    FReply.append(chunk.Text);
    return chunk.Complete;
}

QByteArray TReplyReader::Take()
{
    QByteArray reply;
    reply.swap(FReply);
    return reply;
}

} // namespace XapiWire
