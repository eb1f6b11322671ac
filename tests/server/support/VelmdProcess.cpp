#include "VelmdProcess.h"

#include "Routines.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QThread>

#include <UXAPI.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#ifndef VELMD_EXE
#define VELMD_EXE "velmd"
#endif

namespace {

bool WaitReadable(int fd, int msecs)
{
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, msecs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

bool SendAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Reads exactly n bytes; false when the peer went or 30 s passed.
bool ReadExactly(int fd, char *buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        if (!WaitReadable(fd, 30000))
            return false;
        const ssize_t r = ::recv(fd, buf + got, n - got, 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        got += size_t(r);
    }
    return true;
}

void PutLength(QByteArray &out, quint32 n)
{
    out.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
}

quint32 GetLength(const char *p)
{
    return quint32(quint8(p[0])) << 24 | quint32(quint8(p[1])) << 16 | quint32(quint8(p[2])) << 8
           | quint32(quint8(p[3]));
}

// True when the peer closes within msecs; what it still sends is read and dropped.
bool WaitPeerClosed(int fd, int msecs)
{
    QDeadlineTimer deadline(msecs);
    char buf[4096];
    while (WaitReadable(fd, int(std::max<qint64>(0, deadline.remainingTime())))) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return true;
        if (deadline.hasExpired())
            return false;
    }
    return false;
}

} // namespace

int ConnectLoopback(int port, const char *source)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (source) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &from.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

QByteArray ExchangeRaw(int port, const QByteArray &bytes, int msecs)
{
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return {};
    SendAll(fd, bytes);
    QByteArray got;
    QDeadlineTimer deadline(msecs);
    char buf[4096];
    while (!deadline.hasExpired() && WaitReadable(fd, int(deadline.remainingTime()))) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.append(buf, n);
    }
    ::close(fd);
    return got;
}

// ---------------------------------------------------------------------------------------------

VelmdProcess::VelmdProcess(Kind kind) : FKind(kind)
{
    if (kind == Kind::Demo) {
        User = Password = "velmbank";
        VismUser = VismPassword = "velmsetup";
    }
}

VelmdProcess::~VelmdProcess() { Stop(); }

QString VelmdProcess::Exe() { return QString::fromUtf8(VELMD_EXE); }

int VelmdProcess::Run(const QString &command, const QStringList &args, const QByteArray &input,
                      QByteArray *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(Exe(), QStringList{command, DataDir()} + args);
    if (!p.waitForStarted(10000)) {
        Error = QStringLiteral("velmd did not start: ") + p.errorString();
        return -1;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    const QByteArray out = p.readAll();
    if (output)
        *output = out;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        Error = QStringLiteral("velmd %1: ").arg(command) + QString::fromUtf8(out);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool VelmdProcess::Start()
{
    if (!FDir.isValid()) {
        Error = QStringLiteral("no temporary folder");
        return false;
    }
    if (Run(FKind == Kind::Demo ? QStringLiteral("demo") : QStringLiteral("init"), {}) != 0)
        return false;
    if (FKind == Kind::Plain
        && Run(QStringLiteral("passwd"), {QString::fromUtf8(User)}, Password + "\n") != 0)
        return false;
    FServe = std::make_unique<QProcess>();
    FServe->start(Exe(), {QStringLiteral("serve"), DataDir(), QStringLiteral("--xapi-port"),
                          QStringLiteral("0"), QStringLiteral("--vism-port"), QStringLiteral("0")});
    if (!FServe->waitForStarted(10000)) {
        Error = QStringLiteral("velmd serve did not start");
        return false;
    }
    QByteArray out;
    QDeadlineTimer deadline(20000);
    while (!(out.contains("xapi ") && out.contains("vism ") && out.endsWith('\n'))
           && !deadline.hasExpired()) {
        if (!FServe->waitForReadyRead(int(deadline.remainingTime())))
            break;
        out += FServe->readAllStandardOutput();
    }
    for (const QByteArray &line : out.split('\n')) {
        if (line.startsWith("xapi "))
            XapiPort = line.mid(5).toInt();
        if (line.startsWith("vism "))
            VismPort = line.mid(5).toInt();
    }
    if (XapiPort <= 0 || VismPort <= 0) {
        Error = QStringLiteral("velmd serve printed no ports: ") + QString::fromUtf8(out)
                + QString::fromUtf8(FServe->readAllStandardError());
        return false;
    }
    return true;
}

bool VelmdProcess::Running() const { return FServe && FServe->state() == QProcess::Running; }

int VelmdProcess::Stop()
{
    if (!FServe)
        return -1;
    int code = -1;
    if (FServe->state() == QProcess::Running) {
        ::kill(pid_t(FServe->processId()), SIGTERM);
        if (!FServe->waitForFinished(15000)) {
            FServe->kill();
            FServe->waitForFinished(5000);
        } else if (FServe->exitStatus() == QProcess::NormalExit) {
            code = FServe->exitCode();
        }
    } else if (FServe->exitStatus() == QProcess::NormalExit) {
        code = FServe->exitCode();
    }
    Log();
    FServe.reset();
    return code;
}

bool VelmdProcess::Load(const QString &ns, const QStringList &files)
{
    return Run(QStringLiteral("load"), QStringList{ns} + files) == 0;
}

bool VelmdProcess::LoadText(const QString &ns, const QString &routine, const QByteArray &utf8)
{
    QDir().mkpath(DataDir() + QStringLiteral("/src"));
    QString file = routine;
    if (file.startsWith(QLatin1Char('%')))
        file[0] = QLatin1Char('_');
    const QString path = DataDir() + QStringLiteral("/src/") + file + QStringLiteral(".m");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(utf8);
    f.close();
    return Load(ns, {path});
}

bool VelmdProcess::SetConfig(const QByteArray &key, const QByteArray &value)
{
    QFile f(DataDir() + QStringLiteral("/velmd.conf"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QByteArray text;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (!line.isEmpty() && line.split('=').value(0).trimmed() != key)
            text += line + '\n';
    f.close();
    if (!value.isEmpty())
        text += key + " = " + value + '\n';
    // Whole or not at all: a session that starts meanwhile reads the old file or the new one.
    QSaveFile out(f.fileName());
    return out.open(QIODevice::WriteOnly) && out.write(text) == text.size() && out.commit();
}

bool VelmdProcess::OfferXapi(const QString &ns, const QStringList &routines)
{
    return SetConfig("xapi_routines." + ns.toUtf8(), routines.join(QStringLiteral(", ")).toUtf8());
}

bool VelmdProcess::OfferGateway(const QString &ns)
{
    QByteArray entries;
    for (const char *e : Routines::All)
        entries += (entries.isEmpty() ? "" : ", ") + QByteArray(e);
    return SetConfig("xapi_entries." + ns.toUtf8(), entries);
}

QString VelmdProcess::WriteProfile(const QString &ns, const QByteArray &serverType, int timeOut,
                                   const QByteArray &user, const QByteArray &password) const
{
    static int counter = 0;
    const QString path = DataDir() + QStringLiteral("/profile%1.ini").arg(++counter);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QByteArray text = "[XAPI]\r\nServerType=" + serverType
                          + "\r\nVersion=1\r\nUserName=" + (user.isEmpty() ? User : user) + "\r\nPassWord="
                          + (password.isEmpty() ? Password : password) + "\r\nNameSpace=" + ns.toUtf8()
                          + "\r\nServer=127.0.0.1\r\nPort=" + QByteArray::number(XapiPort)
                          + "\r\nTIMEOUT=" + QByteArray::number(timeOut) + "\r\n";
        f.write(text);
    }
    return path;
}

QString VelmdProcess::Log()
{
    if (FServe)
        FLog += QString::fromUtf8(FServe->readAllStandardError());
    return FLog;
}

bool VelmdProcess::WaitForLog(const QString &text, int count, int msecs)
{
    QDeadlineTimer deadline(msecs);
    for (;;) {
        if (FServe)
            FServe->waitForReadyRead(50);
        if (Log().count(text) >= count)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
}

// ---------------------------------------------------------------------------------------------

RawXapi::~RawXapi()
{
    if (Fd >= 0)
        ::close(Fd);
}

bool RawXapi::Open(int port, const QByteArray &user, const QByteArray &password, const QByteArray &ns,
                   const QByteArray &serverType, int timeOut)
{
    ServerType = serverType;
    HandshakeReply.clear();
    const int fd = ConnectLoopback(port, Source);
    if (fd < 0)
        return false;
    const QByteArray hs =
        XapiWire::Masked(XapiWire::HandshakeText(serverType, "1", user, password, ns, 4096, timeOut), 0x01);
    SendAll(fd, hs);
    char buf[4096];
    if (WaitReadable(fd, HandshakeMsecs)) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0)
            HandshakeReply = QByteArray(buf, n);
    }
    ::close(fd);
    if (HandshakeReply.isEmpty() || HandshakeReply[0] == '\0')
        return false;
    Fd = ConnectLoopback(HandshakeReply.left(HandshakeReply.size() - 1).toInt(), Source);
    return Fd >= 0;
}

RawXapi::Reply RawXapi::ReadReply()
{
    Reply r;
    char buf[65536];
    bool first = true;
    for (;;) {
        if (!WaitReadable(Fd, 60000)) {
            r.Lost = true;
            return r;
        }
        const ssize_t n = ::recv(Fd, buf, sizeof buf, 0);
        if (n <= 0) {
            r.Lost = true;
            return r;
        }
        const auto chunk = XapiWire::ScanReplyChunk(buf, n);
        if (chunk.Error && first) {
            r.Failed = true;
            r.Text = chunk.Text;
            return r;
        }
        first = false;
        r.Text += chunk.Text;
        if (chunk.Complete)
            return r;
    }
}

RawXapi::Reply RawXapi::Call(const QList<QByteArray> &elements)
{
    if (!SendAll(Fd, XapiWire::CallRequest(ServerType, elements)))
        return Reply{false, true, {}};
    return ReadReply();
}

RawXapi::Reply RawXapi::KeepAlive()
{
    if (!SendAll(Fd, XapiWire::KeepAliveRequest(ServerType)))
        return Reply{false, true, {}};
    return ReadReply();
}

bool RawXapi::SendRaw(const QByteArray &bytes) { return SendAll(Fd, bytes); }

bool RawXapi::WaitClosed(int msecs) { return WaitPeerClosed(Fd, msecs); }

void RawXapi::Close()
{
    if (Fd >= 0) {
        SendAll(Fd, QByteArray(1, XapiWire::CloseByte));
        ::close(Fd);
        Fd = -1;
    }
}

// ---------------------------------------------------------------------------------------------

VismClient::~VismClient()
{
    if (Fd >= 0)
        ::close(Fd);
}

bool VismClient::Connect(int port)
{
    Fd = ConnectLoopback(port);
    return Fd >= 0;
}

QByteArray VismClient::Message(char type, const QList<QByteArray> &fields)
{
    QByteArray body(1, type);
    for (const QByteArray &f : fields) {
        PutLength(body, quint32(f.size()));
        body += f;
    }
    QByteArray out;
    PutLength(out, quint32(body.size()));
    return out + body;
}

VismClient::Reply VismClient::Exchange(const QByteArray &message)
{
    Reply r;
    char head[4];
    if (!SendAll(Fd, message) || !ReadExactly(Fd, head, 4)) {
        r.Lost = true;
        return r;
    }
    QByteArray body(qsizetype(GetLength(head)), '\0');
    if (!ReadExactly(Fd, body.data(), size_t(body.size())) || body.isEmpty() || body[0] != 'R') {
        r.Lost = true;
        return r;
    }
    QList<QByteArray> fields;
    qsizetype at = 1;
    while (at + 4 <= body.size()) {
        const qsizetype len = GetLength(body.constData() + at);
        fields.append(body.mid(at + 4, len));
        at += 4 + len;
    }
    if (fields.size() != 3) {
        r.Lost = true;
        return r;
    }
    r.Failed = fields[0] == "1";
    r.ErrorName = fields[1];
    r.Value = fields[2];
    return r;
}

VismClient::Reply VismClient::Login(const QByteArray &user, const QByteArray &password, const QByteArray &ns)
{
    return Exchange(Message('C', {user, password, ns}));
}

VismClient::Reply VismClient::Run(const QByteArray &ns, const QByteArray &code, const QByteArray &p1,
                                  const QByteArray &p2)
{
    return Exchange(Message('X', {ns, code, p1, p2}));
}

void VismClient::Quit() { SendAll(Fd, Message('Q', {})); }

bool VismClient::SendRaw(const QByteArray &bytes) { return SendAll(Fd, bytes); }

bool VismClient::WaitClosed(int msecs) { return WaitPeerClosed(Fd, msecs); }
