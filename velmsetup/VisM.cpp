#include "VisM.h"

#include "Ui.h"
#include "codepage.h"
#include "funcs.h"

#include <QString>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// ---- the members ----------------------------------------------------------------------------

void TVisM::MemberSet(TVisMMember, const QByteArray &) {}
void TVisM::ServerChanged() {}

void TVisM::SetMServer(const QByteArray &server)
{
    MemberSet(TVisMMember::MServer, server);
    FMServer = server;
    ServerChanged();
}

void TVisM::SetNameSpace(const QByteArray &ns)
{
    MemberSet(TVisMMember::NameSpace, ns);
    FNameSpace = ns;
}

void TVisM::SetCode(const QByteArray &code)
{
    MemberSet(TVisMMember::Code, code);
    FCode = code;
}

void TVisM::SetExecFlag(std::int16_t flag)
{
    MemberSet(TVisMMember::ExecFlag, QByteArray::number(flag));
    FExecFlag = flag;
    if (flag == 1)
        RunCode(FCode, true);
}

void TVisM::SetP1(const QByteArray &v)
{
    MemberSet(TVisMMember::P1, v);
    FP1 = v;
}

void TVisM::SetP2(const QByteArray &v)
{
    MemberSet(TVisMMember::P2, v);
    FP2 = v;
}

void TVisM::SetValue(const QByteArray &v)
{
    MemberSet(TVisMMember::Value, v);
    FValue = v;
}

void TVisM::SetError(int error)
{
    MemberSet(TVisMMember::Error, QByteArray::number(error));
    FError = error;
}

void TVisM::SetErrorName(const QByteArray &name)
{
    MemberSet(TVisMMember::ErrorName, name);
    FErrorName = name;
}

void TVisM::Execute(const QByteArray &code) { RunCode(code, false); }

void TVisM::RunCode(const QByteArray &code, bool byExecFlag)
{
    const TVisMReply r = Run(code, byExecFlag);
    FError = r.Error;
    FErrorName = r.ErrorName;
    // Only an expression has a value; a failed one leaves the old value, as a command does.
    if (r.Error == 0 && code.startsWith('$'))
        FValue = r.Value;
}

QByteArray TVisM::ServerString(const QByteArray &ip, const QByteArray &port)
{
    const QByteArray one = ip + '[' + port + ']';
    return "CN_IPTCP:" + one + ':' + one;
}

bool TVisM::ServerAddress(const QByteArray &server, QByteArray &ip, QByteArray &port)
{
    const QByteArray piece = Piece(server, ':', 2);
    const qsizetype open = piece.indexOf('[');
    const qsizetype close = piece.indexOf(']', open + 1);
    if (open <= 0 || close < 0)
        return false;
    ip = piece.left(open);
    port = piece.mid(open + 1, close - open - 1);
    return !port.isEmpty();
}

// ---- the wire -------------------------------------------------------------------------------

namespace VisMWire {

QByteArray Encode(char type, const QList<QByteArray> &fields)
{
    std::vector<std::string_view> views;
    views.reserve(size_t(fields.size()));
    for (const QByteArray &f : fields)
        views.emplace_back(f.constData(), size_t(f.size()));
    const std::string out = vism::Encode(type, views);
    return QByteArray(out.data(), qsizetype(out.size()));
}

bool Decode(const QByteArray &body, char &type, QList<QByteArray> &fields)
{
    fields.clear();
    vism::Message m;
    if (!vism::DecodeBody(std::string_view(body.constData(), size_t(body.size())), m))
        return false;
    type = m.Type;
    for (const std::string &f : m.Fields)
        fields.append(QByteArray(f.data(), qsizetype(f.size())));
    return true;
}

} // namespace VisMWire

// ---- the client -----------------------------------------------------------------------------

namespace {

QByteArray W(const QString &text) { return ToWin1251(text); }

QByteArray SystemError(int err) { return W(QString::fromLocal8Bit(std::strerror(err))); }

TVisMReply Failure(const QString &text) { return TVisMReply{1, W(text), {}}; }

// A poll time-out: -1 waits for ever.
int PollTimeout(int limitMs) { return limitMs > 0 ? limitMs : -1; }

// One address tried: a connected socket, or -1 with why. The connect does not block, so that
// an unreachable address gives up in time.
int ConnectTcp(const addrinfo *a, int timeoutMs, QByteArray &why)
{
    const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (s < 0) {
        why = SystemError(errno);
        return -1;
    }
    const int flags = ::fcntl(s, F_GETFL);
    ::fcntl(s, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(s, a->ai_addr, a->ai_addrlen);
    if (rc < 0 && errno == EINPROGRESS) {
        pollfd p{s, POLLOUT, 0};
        int ready;
        do
            ready = ::poll(&p, 1, PollTimeout(timeoutMs));
        while (ready < 0 && errno == EINTR);
        int err = ETIMEDOUT;
        socklen_t len = sizeof err;
        if (ready > 0)
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
        rc = err == 0 ? 0 : -1;
        errno = err;
    }
    if (rc < 0) {
        why = SystemError(errno);
        ::close(s);
        return -1;
    }
    ::fcntl(s, F_SETFL, flags);
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return s;
}

// The numeric address and port of the socket's peer.
bool PeerOf(int fd, QByteArray &host, QByteArray &serv)
{
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    char h[NI_MAXHOST];
    char p[NI_MAXSERV];
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) != 0
        || ::getnameinfo(reinterpret_cast<sockaddr *>(&peer), len, h, sizeof h, p, sizeof p,
                         NI_NUMERICHOST | NI_NUMERICSERV)
               != 0)
        return false;
    host = QByteArray(h);
    serv = QByteArray(p);
    return true;
}

} // namespace

TVisMClient::TVisMClient() : AccountCaption(W(QStringLiteral("Вход на сервер Cache"))) {}

TVisMClient::~TVisMClient() { Disconnect(); }

void TVisMClient::CloseSocket()
{
    if (FSocket >= 0) {
        ::close(FSocket);
        FSocket = -1;
    }
}

void TVisMClient::Disconnect()
{
    if (FSocket >= 0) {
        QByteArray why;
        SendAll(VisMWire::Encode('Q', {}), why); // best effort: the server ends the session either way
        CloseSocket();
    }
    FLost = false;
}

void TVisMClient::ServerChanged()
{
    Disconnect();
    FPromptedUser.clear();
    FPromptedPassword.clear();
}

bool TVisMClient::SendAll(const QByteArray &bytes, QByteArray &why)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(FSocket, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            why = SystemError(errno);
            return false;
        }
        sent += n;
    }
    return true;
}

bool TVisMClient::ReceiveAll(char *to, qsizetype count, QByteArray &why)
{
    qsizetype got = 0;
    while (got < count) {
        pollfd p{FSocket, POLLIN, 0};
        const int ready = ::poll(&p, 1, PollTimeout(ReplyTimeoutMs));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            why = W(QStringLiteral("сервер не ответил за %1 мс").arg(ReplyTimeoutMs));
            return false;
        }
        const ssize_t n = ::recv(FSocket, to + got, size_t(count - got), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            why = W(QStringLiteral("сервер закрыл соединение"));
            return false;
        }
        if (n < 0) {
            why = SystemError(errno);
            return false;
        }
        got += n;
    }
    return true;
}

bool TVisMClient::Exchange(const QByteArray &message, TVisMReply &reply)
{
    auto lose = [&](const QByteArray &why) {
        CloseSocket();
        FLost = true;
        FLostWhy = why;
        reply = TVisMReply{1, W(QStringLiteral("Соединение с сервером потеряно: ")) + why, {}};
        return false;
    };
    QByteArray why;
    if (!SendAll(message, why))
        return lose(why);
    char head[4];
    if (!ReceiveAll(head, 4, why))
        return lose(why);
    const quint32 length = VisMWire::GetLength(head);
    if (length == 0 || length > VisMWire::MaxBody)
        return lose(W(QStringLiteral("неверная длина ответа (%1 байт)").arg(length)));
    QByteArray body(qsizetype(length), Qt::Uninitialized);
    if (!ReceiveAll(body.data(), body.size(), why))
        return lose(why);
    char type = 0;
    QList<QByteArray> fields;
    if (!VisMWire::Decode(body, type, fields) || type != 'R' || fields.size() != 3
        || (fields[0] != "0" && fields[0] != "1"))
        return lose(W(QStringLiteral("неверный ответ сервера")));
    reply = TVisMReply{fields[0] == "1" ? 1 : 0, fields[1], fields[2]};
    // A refusal must say something: an empty error name would read as no error at all.
    if (reply.Error && reply.ErrorName.isEmpty())
        reply.ErrorName = W(QStringLiteral("Ошибка сервера без описания"));
    return true;
}

bool TVisMClient::TakeAccount(QByteArray &user, QByteArray &password, TVisMReply &failure)
{
    const QByteArray envUser = qgetenv("VELMSETUP_USER");
    if (qEnvironmentVariableIsSet("VELMSETUP_USER") && qEnvironmentVariableIsSet("VELMSETUP_PASSWORD")) {
        user = envUser;
        password = qgetenv("VELMSETUP_PASSWORD");
        return true;
    }
    if (!FPromptedUser.isEmpty()) {
        user = FPromptedUser;
        password = FPromptedPassword;
        return true;
    }
    const std::optional<TUi::Account> typed =
        Ui().AskAccount(FromWin1251(AccountCaption), QString::fromLocal8Bit(envUser));
    if (!typed) {
        failure = Failure(QStringLiteral("Подключение к серверу отменено"));
        return false;
    }
    user = typed->User.toLocal8Bit();
    password = typed->Password.toLocal8Bit();
    FPromptedUser = user;
    FPromptedPassword = password;
    return true;
}

TVisMReply TVisMClient::Connect()
{
    QByteArray ip;
    QByteArray port;
    if (!ServerAddress(MServer(), ip, port))
        return Failure(QStringLiteral("Неверная строка подключения: ") + FromWin1251(MServer()));
    bool ok = false;
    const int portNumber = port.toInt(&ok);
    if (!ok || portNumber < 1 || portNumber > 65535)
        return Failure(QStringLiteral("Неверный порт сервера: ") + FromWin1251(port));

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const QByteArray service = QByteArray::number(portNumber);
    if (const int rc = ::getaddrinfo(ip.constData(), service.constData(), &hints, &found); rc != 0)
        return Failure(QStringLiteral("Не найден адрес сервера %1: %2")
                           .arg(FromWin1251(ip), QString::fromLocal8Bit(gai_strerror(rc))));

    QByteArray why;
    for (addrinfo *a = found; a && FSocket < 0; a = a->ai_next)
        FSocket = ConnectTcp(a, ConnectTimeoutMs, why);
    ::freeaddrinfo(found);
    if (FSocket < 0)
        return Failure(QStringLiteral("Нет соединения с сервером %1[%2]: %3")
                           .arg(FromWin1251(ip), FromWin1251(port), FromWin1251(why)));

    QByteArray user;
    QByteArray password;
    TVisMReply reply;
    if (!TakeAccount(user, password, reply)) {
        CloseSocket();
        return reply;
    }
    if (!Exchange(VisMWire::Encode('C', {user, password, NameSpace()}), reply)) {
        FLost = false; // never connected: the next run may try again
        return reply;
    }
    if (reply.Error) {
        // Refused: the operator is asked again next time, perhaps with another password.
        CloseSocket();
        FPromptedUser.clear();
        FPromptedPassword.clear();
        return reply;
    }

    // Report the connection actually in use.
    QByteArray host;
    QByteArray serv;
    if (PeerOf(FSocket, host, serv))
        StoreMServer(ServerString(host, serv));
    return reply;
}

TVisMReply TVisMClient::Run(const QByteArray &code, bool)
{
    if (FLost)
        return TVisMReply{1,
                          W(QStringLiteral("Соединение с сервером потеряно (")) + FLostWhy
                              + W(QStringLiteral("); подключитесь заново")),
                          {}};
    if (MServer().isEmpty())
        return Failure(QStringLiteral("Не задан сервер (MServer)"));
    for (const QByteArray *f : {&code, &P1(), &P2(), &NameSpace()})
        if (quint32(f->size()) > VisMWire::MaxField)
            return Failure(QStringLiteral("Текст для сервера длиннее %1 байт").arg(VisMWire::MaxField));
    if (FSocket < 0) {
        const TVisMReply connected = Connect();
        if (FSocket < 0 || connected.Error)
            return connected;
    }
    TVisMReply reply;
    Exchange(VisMWire::Encode('X', {NameSpace(), code, P1(), P2()}), reply);
    return reply;
}
