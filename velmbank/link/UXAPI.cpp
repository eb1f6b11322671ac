#include "UXAPI.h"

#include "Ui.h"
#include "codepage.h"

#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

QByteArray AskXApiPassword()
{
    const std::optional<QString> typed = Ui().AskPassword(QStringLiteral("Введите пароль"));
    return typed ? ToWin1251(*typed) : XApiPasswordCancelled;
}

namespace {
const QString NoConnection = QStringLiteral("Нет связи с сервером");
}

TXAPI::TXAPI() : KeepAliveTimer(std::make_unique<QTimer>())
{
    KeepAliveTimer->setInterval(0);
    KeepAliveTimer->stop();
    QObject::connect(KeepAliveTimer.get(), &QTimer::timeout, [this] { KeepAlive(); });
}

TXAPI::~TXAPI()
{
    KeepAliveTimer.reset();
    // Not part of the protocol: only release a descriptor that was left behind.
    if (Socket >= 0)
        ::close(Socket);
}

int TXAPI::KeepAliveInterval() const { return KeepAliveTimer->isActive() ? KeepAliveTimer->interval() : 0; }

void TXAPI::Connect()
{
    Socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (Socket < 0)
        throw TVELM_Activate_Except(QStringLiteral("Can't create a TCP/IP socket"));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<quint16>(Port & 0xFFFF));
    std::memcpy(&a.sin_addr.s_addr, Address.data(), 4);
    int r;
    do
        r = ::connect(Socket, reinterpret_cast<sockaddr *>(&a), sizeof a);
    while (r != 0 && errno == EINTR);
    if (r != 0)
        throw TVELM_Activate_Except(QStringLiteral("Сan't еstablish a connection to the server"));
}

void TXAPI::Disconnect()
{
    if (Socket >= 0)
        ::close(Socket);
    Socket = -1;
}

void TXAPI::SendAll(const QByteArray &bytes)
{
    // send may take less than the whole message; the rest goes in further calls. A peer that is
    // gone must not kill the program with SIGPIPE.
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::send(Socket, p, size_t(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw TVELM_Activate_Except(NoConnection);
        p += n;
        left -= n;
    }
}

void TXAPI::SendRequest(const QList<QByteArray> &elements)
{
    if (Socket < 0 || Buffer.empty())
        throw TVELM_Activate_Except(NoConnection);
    SendAll(XapiWire::CallRequest(ServerType, elements));
}

void TXAPI::SendMasked(const QByteArray &text, char mask) { SendAll(XapiWire::Masked(text, mask)); }

void TXAPI::WaitReadable()
{
    if (!Interrupted)
        return;
    // A quarter of a second at a time: a silent server must not keep an interruption waiting.
    for (;;) {
        if (Interrupted()) {
            Disconnect();
            throw TVELM_Activate_Except(QStringLiteral("Ожидание ответа сервера прервано"));
        }
        pollfd p{Socket, POLLIN, 0};
        const int r = ::poll(&p, 1, 250);
        if (r > 0 || (r < 0 && errno != EINTR))
            return; // the bytes, the end or the failure: recv tells which
    }
}

qsizetype TXAPI::ReadChunk(char *buffer, qsizetype size)
{
    buffer[0] = 0x00;
    WaitReadable();
    ssize_t n;
    do
        n = ::recv(Socket, buffer, size_t(size), 0);
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        throw TVELM_Activate_Except(NoConnection);
    return n;
}

qsizetype TXAPI::ReadHandshakeReply(char *buffer, qsizetype size, QByteArray &text)
{
    text.clear();
    WaitReadable();
    ssize_t n;
    do
        n = ::recv(Socket, buffer, size_t(size), 0);
    while (n < 0 && errno == EINTR);
    if (n <= 0) {
        buffer[0] = 0x00;
        return n;
    }
    const XapiWire::HandshakeReply r = XapiWire::ScanHandshakeReply(buffer, n);
    if (!r.Accepted)
        throw TVELM_Activate_Except(r.Text, r.ErrorCode);
    buffer[n - 1] = 0x00;
    text = r.Text;
    return n - 1;
}

bool TXAPI::Open()
{
    bool result = true;
    for (;;) {
        QByteArray portText;
        try {
            Buffer.assign(size_t(BufferLen), 0);
            Connect();
            SendMasked(XapiWire::HandshakeText(ServerType, Version, UserName, PassWord, NameSpace, BufferLen,
                                               TimeOut),
                       0x01);
            ReadHandshakeReply(Buffer.data(), BufferLen, portText);
            Disconnect();
        } catch (const TVELM_Activate_Except &e) {
            Buffer.clear();
            Buffer.shrink_to_fit();
            if (e.ErrorCode == 1) {
                Ui().ShowMessage(QStringLiteral("Неверный пароль!!!"));
                const QByteArray typed = AskPassword ? AskPassword() : XApiPasswordCancelled;
                Disconnect();
                if (typed == XApiPasswordCancelled) {
                    result = false;
                    return result;
                }
                PassWord = typed;
                continue;
            }
            Disconnect();
            throw;
        }
        Port = StrToInt(portText); // a reply that is not a number passes out as it is
        try {
            Connect();
        } catch (const TVELM_Activate_Except &) {
            Buffer.clear();
            Disconnect();
            throw;
        }
        break;
    }
    KeepAliveTimer->start(TimeOut * 1000 / 3);
    return result;
}

QByteArray TXAPI::ReadReply()
{
    XapiWire::TReplyReader reader;
    for (;;) {
        const qsizetype n = ReadChunk(Buffer.data(), BufferLen);
        if (reader.Feed(Buffer.data(), n))
            return reader.Take();
    }
}

QByteArray TXAPI::Call(const QList<QByteArray> &elements)
{
    std::lock_guard guard(Lock);
    SettleOutCall();
    SendRequest(elements);
    return ReadReply();
}

void TXAPI::StartCall(const QList<QByteArray> &elements)
{
    std::lock_guard guard(Lock);
    // A second request would leave the first one's reply to be read as its own.
    if (FCallOut)
        throw std::logic_error("TXAPI::StartCall: a call is already out");
    SendRequest(elements);
    FCallOut = true;
    FSettled = false;
}

QByteArray TXAPI::FinishCall()
{
    std::lock_guard guard(Lock);
    if (!FCallOut)
        throw std::logic_error("TXAPI::FinishCall: no call is out");
    SettleOutCall();
    FCallOut = false;
    if (FOutFailure)
        std::rethrow_exception(std::exchange(FOutFailure, nullptr));
    return std::exchange(FOutReply, QByteArray());
}

void TXAPI::SettleOutCall()
{
    if (!FCallOut || FSettled)
        return;
    FSettled = true;
    try {
        FOutReply = ReadReply();
    } catch (...) {
        FOutFailure = std::current_exception();
    }
}

void TXAPI::KeepAlive()
{
    std::lock_guard guard(Lock);
    try {
        SettleOutCall();
        if (Socket < 0 || Buffer.empty())
            throw TVELM_Activate_Except(NoConnection);
        SendAll(XapiWire::KeepAliveRequest(ServerType));
        ReadReply();
    } catch (const std::exception &e) {
        KeepAliveTimer->stop();
        Ui().ShowMessage(FromWin1251(QByteArray(e.what())));
    }
}

void TXAPI::Close()
{
    std::lock_guard guard(Lock);
    if (Socket >= 0) {
        const char closeByte = XapiWire::CloseByte;
        // Shutdown must not fail: a peer that has already gone simply misses the byte.
        (void)::send(Socket, &closeByte, 1, MSG_NOSIGNAL);
    }
    Disconnect();
    Buffer.clear();
    Buffer.shrink_to_fit();
    KeepAliveTimer->stop();
    FCallOut = false;
    FOutReply.clear();
    FOutFailure = nullptr;
}
