#include "XapiPeer.h"

#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {

int listenLoopback(quint16 &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("peer: socket failed");
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0)
        throw std::runtime_error("peer: bind or listen failed");
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// Waits for fd to become readable; false on time-out.
bool readable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    int r;
    do
        r = ::poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r > 0;
}

bool writeAll(int fd, const char *data, qsizetype n)
{
    while (n > 0) {
        const ssize_t w = ::send(fd, data, size_t(n), MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        n -= w;
    }
    return true;
}

// Buffered reads from one connection; every byte taken is also recorded.
class Reader
{
public:
    explicit Reader(int fd) : fd(fd) {}
    // -1 at end of input, -2 after ms without data.
    int get(int ms = 5000)
    {
        if (pos == len) {
            if (!readable(fd, ms))
                return -2;
            const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
            if (r <= 0)
                return -1;
            len = r;
            pos = 0;
        }
        const int c = static_cast<unsigned char>(buf[pos++]);
        taken.append(char(c));
        return c;
    }
    QByteArray take()
    {
        QByteArray t = taken;
        taken.clear();
        return t;
    }

private:
    int fd;
    char buf[65536];
    ssize_t len = 0, pos = 0;
    QByteArray taken;
};

} // namespace

XapiPeer::XapiPeer()
{
    FHandshakeListener = listenLoopback(FHandshakePort);
    FSessionListener = listenLoopback(FSessionPort);
    FThread = std::thread([this] { Run(); });
}

XapiPeer::~XapiPeer()
{
    FStop = true;
    FThread.join();
    ::close(FHandshakeListener);
    ::close(FSessionListener);
}

void XapiPeer::QueueHandshake(const QByteArray &raw)
{
    std::lock_guard g(FMutex);
    FHandshakeScript.push_back({Scripted::Raw, Reply{{raw, 0}}, false});
}

void XapiPeer::QueueHandshakeAccept()
{
    std::lock_guard g(FMutex);
    FHandshakeScript.push_back({Scripted::Accept, {}, false});
}

void XapiPeer::QueueHandshakeHangUp()
{
    std::lock_guard g(FMutex);
    FHandshakeScript.push_back({Scripted::HangUp, {}, false});
}

void XapiPeer::QueueCall(const Reply &reply)
{
    std::lock_guard g(FMutex);
    FCallScript.push_back({Scripted::Raw, reply, false});
}

void XapiPeer::QueueCallThenHangUp(const QByteArray &partial)
{
    std::lock_guard g(FMutex);
    FCallScript.push_back({Scripted::Raw, Reply{{partial, 0}}, true});
}

void XapiPeer::SetDefaultCall(const QByteArray &text)
{
    std::lock_guard g(FMutex);
    FDefaultCall = text + '\x1b';
}

void XapiPeer::QueueKeepAlive(const Reply &reply)
{
    std::lock_guard g(FMutex);
    FKeepAliveScript.push_back({Scripted::Raw, reply, false});
}

QList<QByteArray> XapiPeer::Handshakes() const
{
    std::lock_guard g(FMutex);
    return FHandshakes;
}

bool XapiPeer::WriteProfile(const QString &path) const
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = "[XAPI]\nServerType=CACHE\nVersion=1\nNameSpace=VELM\nServer=127.0.0.1\nPort="
                            + QByteArray::number(Port()) + "\n";
    return f.write(text) == text.size();
}

QList<QList<QByteArray>> XapiPeer::Calls() const
{
    QList<QList<QByteArray>> out;
    for (const QByteArray &r : Requests()) {
        if (r.size() < 3 || r[0] != '\x02')
            continue;
        // 0x02 "0" count, then each element followed by ESC (and 0x00 for CACHE).
        QList<QByteArray> elements = r.mid(3).split('\x1b');
        elements.removeLast();
        out << elements;
    }
    return out;
}

QList<QByteArray> XapiPeer::Requests() const
{
    std::lock_guard g(FMutex);
    return FRequests;
}

int XapiPeer::SessionsAccepted() const
{
    std::lock_guard g(FMutex);
    return FSessions;
}

bool XapiPeer::SessionEnded() const
{
    std::lock_guard g(FMutex);
    return FSessionEnded;
}

bool XapiPeer::WaitForRequests(int n, int timeoutMs) const
{
    std::unique_lock g(FMutex);
    return FChanged.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return FRequests.size() >= n; });
}

void XapiPeer::Run()
{
    while (!FStop) {
        if (!readable(FHandshakeListener, 20))
            continue;
        const int fd = ::accept(FHandshakeListener, nullptr, nullptr);
        if (fd < 0)
            continue;
        ServeHandshake(fd);
        ::close(fd);
        if (FAcceptSession) {
            FAcceptSession = false;
            // The client connects to the session port right after the handshake.
            for (int waited = 0; !FStop && waited < 5000; waited += 20) {
                if (!readable(FSessionListener, 20))
                    continue;
                const int s = ::accept(FSessionListener, nullptr, nullptr);
                if (s >= 0) {
                    {
                        std::lock_guard g(FMutex);
                        ++FSessions;
                        FSessionEnded = false;
                    }
                    ServeSession(s);
                    ::close(s);
                }
                break;
            }
        }
    }
}

void XapiPeer::ServeHandshake(int fd)
{
    // Eight fields with 0x00 between them and nothing after the last: read the seven
    // separators, then whatever digits follow until the line goes quiet.
    Reader in(fd);
    int zeros = 0;
    while (zeros < 7) {
        const int c = in.get();
        if (c < 0)
            break;
        if (c == 0)
            ++zeros;
    }
    while (in.get(50) >= 0) {}
    const QByteArray received = in.take();

    Scripted s;
    {
        std::lock_guard g(FMutex);
        FHandshakes << received;
        FServerType = received.split('\0').value(1);
        if (!FHandshakeScript.empty()) {
            s = FHandshakeScript.front();
            FHandshakeScript.pop_front();
        }
    }
    FChanged.notify_all();
    switch (s.kind) {
    case Scripted::HangUp: return;
    case Scripted::Accept: {
        const QByteArray reply = QByteArray::number(FSessionPort) + '\0';
        writeAll(fd, reply.constData(), reply.size());
        FAcceptSession = true;
        return;
    }
    case Scripted::Raw: SendReply(fd, s.reply); return;
    }
}

bool XapiPeer::SendReply(int fd, const Reply &reply)
{
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    for (const Step &step : reply) {
        if (step.PauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(step.PauseMs));
        if (!writeAll(fd, step.Bytes.constData(), step.Bytes.size()))
            return false;
    }
    return true;
}

void XapiPeer::ServeSession(int fd)
{
    Reader in(fd);
    const bool cache = FServerType == "CACHE";
    for (;;) {
        const int c = in.get(100);
        if (c == -2 && !FStop)
            continue; // a silent client: keep waiting
        if (c < 0)
            break;
        enum { Call, KeepAlive, Close, Unknown } kind = Unknown;
        bool ok = true;
        if (c == 0x02) {
            kind = Call;
            ok = in.get() == '0';
            const int n = ok ? in.get() : -1;
            for (int e = 0; ok && e < n; ++e) {
                int b;
                while ((b = in.get()) >= 0 && b != 0x1B) {}
                ok = b == 0x1B;
            }
            if (ok && cache)
                ok = in.get() == 0;
        } else if ((cache && c == 0x04) || (!cache && c == 0x01)) {
            kind = KeepAlive;
            ok = in.get() >= 0;
        } else if (c == 0x03) {
            kind = Close;
        }
        {
            std::lock_guard g(FMutex);
            FRequests << in.take();
        }
        FChanged.notify_all();
        if (!ok || kind == Close || kind == Unknown)
            break;

        Scripted s;
        {
            std::lock_guard g(FMutex);
            s.reply = Reply{{kind == Call ? FDefaultCall : QByteArray(1, '\x1b'), 0}};
            auto &script = kind == Call ? FCallScript : FKeepAliveScript;
            if (!script.empty()) {
                s = script.front();
                script.pop_front();
            }
        }
        if (!SendReply(fd, s.reply) || s.hangUpAfter)
            break;
    }
    std::lock_guard g(FMutex);
    FSessionEnded = true;
    FChanged.notify_all();
}
