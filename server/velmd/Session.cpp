#include "Session.h"

#include "DataDir.h"
#include "Engine.h"
#include "Rewrite.h"
#include "Util.h"
#include "VismWire.h"
#include "XapiProtocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

namespace velmd {
namespace {

// Before its login a connection has 10 seconds in all; three failed logins end it, and each is
// answered after a pause, so that guessing passwords is slow.
constexpr int kLoginSeconds = 10;
constexpr int kMaxFailedLogins = 3;
constexpr auto kFailedLoginPause = std::chrono::seconds(1);

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(std::min<long long>(left, 1 << 30)) : 0;
}

// Waits until fd is readable; false when the time is up. A negative timeout waits for ever.
bool WaitReadable(int fd, int timeoutMs)
{
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

// Reads what is there; 0 when the peer has gone (or on an error).
ssize_t ReadSome(int fd, char *buf, size_t size)
{
    for (;;) {
        const ssize_t n = ::recv(fd, buf, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 ? 0 : n;
    }
}

bool SendAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(size_t(n));
    }
    return true;
}

// A session that could not send: the client took nothing for io_timeout seconds, or it left.
int SendFailure() { return errno == EAGAIN || errno == EWOULDBLOCK ? ExitTimedOut : ExitClosed; }

// A reply the client does not read holds the process no longer than this.
void SendTimeout(int fd, int seconds)
{
    timeval t{};
    t.tv_sec = seconds;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
}

// A line for sessions.log (the session's stderr): what a client before its login is not told.
void LogLine(const std::string &text)
{
    const std::string line = "velmd session " + std::to_string(::getpid()) + ": " + text + "\n";
    if (::write(2, line.data(), line.size()) < 0) {
        // stderr gone: nothing else can tell
    }
}

void NoDelay(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// While M code runs the session cannot read its socket. If the client goes away meanwhile (a
// routine that never ends, say), this thread ends the process: first as GT.M's own stop request,
// then for good. A call only stores a time stamp, so that calls cost no system call for it.
class Watchdog
{
public:
    Watchdog(int fd, int callTimeoutSeconds) : FFd(fd), FLimitMs(callTimeoutSeconds * 1000LL)
    {
        // GT.M's signals must reach the main thread only.
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        std::thread([this] { Watch(); }).detach();
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    void Enter() { FBusySince.store(Now(), std::memory_order_relaxed); }
    void Leave() { FBusySince.store(0, std::memory_order_relaxed); }

private:
    static long long Now()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
    }
    // Also a call that runs longer than its limit ends the session: many short calls make a run,
    // so one that takes minutes is a runaway (or an attack) that would hold a core.
    void Watch()
    {
        for (;;) {
            pollfd p{FFd, POLLRDHUP, 0};
            const int r = ::poll(&p, 1, 500);
            const long long since = FBusySince.load(std::memory_order_relaxed);
            if (since != 0 && Now() - since > FLimitMs) {
                LogLine("a call ran longer than " + std::to_string(FLimitMs / 1000)
                        + " s (call_timeout): the session is ended");
                End();
            }
            if (r <= 0 || !(p.revents & (POLLRDHUP | POLLHUP | POLLERR)))
                continue;
            if (since == 0 || Now() - since < 200) {
                // Idle: the main thread sees the end itself.
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                continue;
            }
            End();
        }
    }
    // First as GT.M's own stop request, then for good.
    [[noreturn]] static void End()
    {
        ::kill(::getpid(), SIGTERM);
        std::this_thread::sleep_for(std::chrono::seconds(5));
        ::kill(::getpid(), SIGKILL);
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }

    int FFd;
    long long FLimitMs;
    std::atomic<long long> FBusySince{0};
};

struct Busy
{
    explicit Busy(Watchdog &w) : W(w) { W.Enter(); }
    ~Busy() { W.Leave(); }
    Watchdog &W;
};

std::string PeerAddress(int fd)
{
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&ss), &len) != 0)
        return {};
    char host[INET6_ADDRSTRLEN] = {0};
    if (ss.ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(&ss)->sin_addr, host, sizeof host);
    else if (ss.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6 *>(&ss)->sin6_addr, host, sizeof host);
    return host;
}

// A listening socket on the bind address and a free port for the session connection.
int SessionListener(const std::string &bind, int &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = 0;
    if (::inet_pton(AF_INET, bind.c_str(), &a.sin_addr) != 1
        || ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// An account's login as the listener's count of failures from this address allows: an address
// that keeps failing waits as long for a right password as for a wrong one, and every failure
// waits at least a second.
bool CheckLogin(Gate &gate, const std::string &dataDir, const std::string &user, const std::string &password,
                Protocol protocol)
{
    const auto penalty = std::chrono::seconds(gate.PenaltySeconds());
    const auto start = Clock::now();
    const bool ok = CheckAccount(dataDir, user, password, protocol) == AccountCheck::Ok;
    if (!ok)
        gate.Failed();
    std::this_thread::sleep_until(start
                                  + (ok ? penalty : std::max<Clock::duration>(penalty, kFailedLoginPause)));
    return ok;
}

int Refuse(int fd, bool wrongPassword, const std::string &utf8Text)
{
    SendAll(fd, xapi::HandshakeRefusal(wrongPassword, ToCp1251(utf8Text)));
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
    return ExitRefused;
}

int XapiCalls(int fd, const xapi::Handshake &h, const Config &config, const std::string &ns, Engine &engine,
              Watchdog &watchdog)
{
    xapi::RequestParser parser(h.Frame);
    std::vector<char> buf(65536);
    // Silent for 2 x TimeOut: the session ends. A receive time-out rather than a poll before
    // every read keeps a call at one system call each way; only a request that came in part
    // changes it, so that its rest must come within io_timeout.
    auto receiveTimeout = [fd](std::chrono::milliseconds t) {
        timeval tv{};
        tv.tv_sec = std::max<long long>(0, t.count() / 1000);
        tv.tv_usec = std::max<long long>(1, t.count() % 1000 * 1000);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    };
    const std::chrono::milliseconds silence = std::chrono::seconds(2 * h.TimeOut);
    receiveTimeout(silence);
    bool partial = false;
    Clock::time_point frameBy;
    std::string lastRef;
    std::optional<xapi::EntryRef> ref;
    std::string refText;
    bool offered = false;
    for (;;) {
        ssize_t n;
        do
            n = ::recv(fd, buf.data(), buf.size(), 0);
        while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (partial)
                LogLine("a request did not come whole within " + std::to_string(config.IoTimeout) + " s");
            return ExitTimedOut;
        }
        if (n <= 0)
            return ExitClosed;
        if (!partial)
            frameBy = Clock::now() + std::chrono::seconds(config.IoTimeout);
        parser.Feed(std::string_view(buf.data(), size_t(n)));
        const bool wasPartial = partial;
        bool consumed = false;
        for (;;) {
            xapi::Request req;
            std::string why;
            const auto st = parser.Next(req, why);
            if (st == xapi::Status::NeedMore)
                break;
            if (st == xapi::Status::Malformed)
                return ExitMalformed;
            consumed = true;
            if (req.What == xapi::Request::Close)
                return ExitClosed;
            if (req.What == xapi::Request::KeepAlive) {
                if (!SendAll(fd, std::string(1, xapi::Esc)))
                    return SendFailure();
                continue;
            }
            std::string reply;
            // A run calls the same entry record after record: it is parsed and looked up once.
            if (req.Elements[0] != lastRef) {
                lastRef = req.Elements[0];
                ref = xapi::ParseEntryRef(lastRef);
                offered = ref && OffersOverXapi(config, ns, lastRef);
                refText = ref ? ref->Text() : std::string();
            }
            if (!ref) {
                reply = xapi::ErrorReply("<SYNTAX>not an entry reference: " + req.Elements[0], h.BufferLen);
            } else if (!offered) {
                // Nothing runs: the gateway's account reaches only what its namespace offers.
                reply = xapi::ErrorReply("<PROTECT>" + ref->Text() + ": not offered over XAPI", h.BufferLen);
            } else {
                MResult r;
                {
                    Busy busy(watchdog);
                    r = engine.Call(refText, ref->Function, req.Elements, 1);
                }
                if (r.Failed) {
                    reply = xapi::ErrorReply(r.Value, h.BufferLen);
                } else if (auto normal = xapi::NormalReply(r.Value)) {
                    reply = std::move(*normal);
                } else {
                    reply =
                        xapi::ErrorReply("<ILLEGAL VALUE>" + ref->Text()
                                             + ": the reply holds a byte 0x00 or ESC that XAPI cannot carry",
                                         h.BufferLen);
                }
            }
            if (!SendAll(fd, reply))
                return SendFailure();
        }
        partial = parser.Buffered() > 0;
        if (partial && consumed) // the rest is the start of the next request
            frameBy = Clock::now() + std::chrono::seconds(config.IoTimeout);
        if (partial)
            receiveTimeout(std::min(silence, std::chrono::duration_cast<std::chrono::milliseconds>(std::max(
                                                 frameBy - Clock::now(), Clock::duration(1000000)))));
        else if (wasPartial)
            receiveTimeout(silence);
    }
}

} // namespace

const char *SessionExitText(int code)
{
    switch (code) {
    case ExitClosed: return "closed";
    case ExitFailed: return "failed";
    case ExitRefused: return "refused";
    case ExitTimedOut: return "timed out";
    case ExitMalformed: return "malformed input";
    default: return "exit";
    }
}

bool Gate::Ask(char what, char &answer)
{
    return ::send(FFd, &what, 1, MSG_NOSIGNAL) == 1 && WaitReadable(FFd, 10000)
           && ::read(FFd, &answer, 1) == 1;
}

bool Gate::Room()
{
    char answer = 0;
    return FInside || (Ask('R', answer) && answer == 'Y');
}

bool Gate::Enter()
{
    char answer = 0;
    if (!FInside && Ask('A', answer))
        FInside = answer == 'Y';
    return FInside;
}

void Gate::Failed()
{
    const char what = 'F';
    if (::send(FFd, &what, 1, MSG_NOSIGNAL) != 1) {
        // the listener has gone: nobody is left to count it
    }
}

int Gate::PenaltySeconds()
{
    char answer = 0;
    return Ask('P', answer) ? static_cast<unsigned char>(answer) : 0;
}

void KeepAlive(int fd)
{
    const int one = 1, idle = 60, interval = 10, count = 6;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

namespace {

// The handshake as the client sends it, within the login deadline. 0 when it came whole;
// otherwise the session's exit code (a malformed one has been refused).
int ReadHandshake(int fd, xapi::HandshakeResult &hs)
{
    const auto deadline = Clock::now() + std::chrono::seconds(kLoginSeconds);
    std::string bytes;
    char buf[4096];
    for (;;) {
        if (!WaitReadable(fd, MillisLeft(deadline)))
            return ExitTimedOut;
        const ssize_t n = ReadSome(fd, buf, sizeof buf);
        if (n == 0)
            return ExitClosed;
        bytes.append(buf, size_t(n));
        hs = xapi::ParseHandshake(bytes);
        if (hs.State == xapi::Status::Malformed) {
            Refuse(fd, false, hs.Error);
            return ExitMalformed;
        }
        if (hs.State == xapi::Status::Done) {
            // The last digits may still be on the way: take what follows at once, within the same
            // size and deadline.
            while (bytes.size() <= xapi::MaxHandshake
                   && WaitReadable(fd, std::min(20, MillisLeft(deadline)))) {
                const ssize_t more = ReadSome(fd, buf, sizeof buf);
                if (more == 0)
                    break;
                bytes.append(buf, size_t(more));
            }
            hs = xapi::ParseHandshake(bytes);
            if (hs.State != xapi::Status::Done) {
                Refuse(fd, false, hs.State == xapi::Status::Malformed ? hs.Error : "Malformed handshake");
                return ExitMalformed;
            }
            return 0;
        }
    }
}

// The session connection on the fresh port: from the handshake's peer only, within the client's
// time-out but never longer than a login may take. -1 when none came in time.
int AcceptSessionConnection(int lfd, const std::string &peer, int timeOutSeconds)
{
    const auto acceptBy = Clock::now() + std::chrono::seconds(std::min(timeOutSeconds, kLoginSeconds));
    for (;;) {
        if (!WaitReadable(lfd, MillisLeft(acceptBy)))
            return -1;
        const int c = ::accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            continue;
        if (PeerAddress(c) == peer)
            return c;
        ::close(c);
    }
}

} // namespace

int ServeXapi(int fd, const std::string &dataDir, const std::string &bind, Gate &gate)
{
    NoDelay(fd);
    xapi::HandshakeResult hs;
    if (const int code = ReadHandshake(fd, hs); code != 0)
        return code;
    const xapi::Handshake &h = hs.Fields;
    Config config;
    std::string error;
    if (!LoadConfig(dataDir, config, error)) {
        LogLine(error);
        Refuse(fd, false, "Сервер не настроен.");
        return ExitFailed;
    }
    if (!CheckLogin(gate, dataDir, h.UserName, h.PassWord, Protocol::Xapi))
        return Refuse(fd, true, "Неверное имя пользователя или пароль.");
    const std::string ns = FindNamespace(config, h.NameSpace);
    if (ns.empty())
        return Refuse(fd, false, "Нет области \"" + h.NameSpace + "\" на сервере.");
    // The slot is taken once the session connection has come: a client that never opens it
    // holds none.
    if (!gate.Room())
        return Refuse(fd, false, "Сервер занят: все сеансы заняты.");

    int port = 0;
    const int lfd = SessionListener(bind, port);
    if (lfd < 0) {
        Refuse(fd, false, "Сервер не может открыть порт сеанса.");
        return ExitFailed;
    }
    const std::string peer = PeerAddress(fd);
    const bool sent = SendAll(fd, xapi::HandshakeAccept(port));
    ::close(fd);
    if (!sent) {
        ::close(lfd);
        return ExitClosed;
    }
    const int sfd = AcceptSessionConnection(lfd, peer, h.TimeOut);
    ::close(lfd);
    if (sfd < 0)
        return ExitTimedOut;
    if (!gate.Enter()) {
        LogLine("refused: all sessions taken while the session connection came");
        ::close(sfd);
        return ExitRefused;
    }
    NoDelay(sfd);
    KeepAlive(sfd);
    SendTimeout(sfd, config.IoTimeout);

    // It lives as long as the process: its thread waits on it until the very end.
    Watchdog &watchdog = *new Watchdog(sfd, config.CallTimeout);
    Engine engine;
    if (!engine.Start(dataDir, config, ns, error)) {
        LogLine(error);
        ::close(sfd);
        return ExitFailed;
    }
    const int code = XapiCalls(sfd, h, config, ns, engine, watchdog);
    ::shutdown(sfd, SHUT_RDWR);
    ::close(sfd);
    engine.Stop();
    return code;
}

namespace {

// One VisM connection: the login with its deadline and tries, the runs, and what ends it.
class TVismSession
{
public:
    TVismSession(int fd, const std::string &dataDir, Gate &gate) : FFd(fd), FDataDir(dataDir), FGate(gate)
    {
        // The configuration is read once; again only for a namespace it does not name (one
        // added while serving). What is wrong with it goes to the log, never to a client.
        std::string configError;
        FHaveConfig = LoadConfig(dataDir, FConfig, configError);
        if (!FHaveConfig)
            LogLine(configError);
        FWatchdog = new Watchdog(fd, FConfig.CallTimeout);
    }

    int Serve();

private:
    enum class Step { Next, End };

    Step Handle(const vism::Message &m);
    Step Login(const vism::Message &m);
    Step Run(const vism::Message &m);
    Step End(int code)
    {
        FCode = code;
        return Step::End;
    }
    // A reply that cannot be sent ends the session.
    Step Reply(bool failed, const std::string &name, const std::string &value)
    {
        if (SendAll(FFd, vism::Encode('R', {failed ? "1" : "0", name, value})))
            return Step::Next;
        return End(SendFailure());
    }
    std::string FindNs(const std::string &name)
    {
        std::string ns = FindNamespace(FConfig, name), ignored;
        if (ns.empty() && LoadConfig(FDataDir, FConfig, ignored))
            ns = FindNamespace(FConfig, name);
        return ns;
    }

    int FFd;
    const std::string &FDataDir;
    Gate &FGate;
    Watchdog *FWatchdog; // lives as long as the process, as its thread does
    Config FConfig;
    bool FHaveConfig = false;
    Engine FEngine;
    bool FConnected = false;
    int FFailedLogins = 0;
    int FCode = ExitClosed;
};

TVismSession::Step TVismSession::Handle(const vism::Message &m)
{
    if (m.Type == 'Q')
        return End(ExitClosed);
    if (!FHaveConfig) {
        SendAll(FFd, vism::Encode('R', {"1", "<ERROR>the server is not configured", ""}));
        return End(ExitFailed);
    }
    if (m.Type == 'C')
        return Login(m);
    if (!FConnected)
        return Reply(true, "<PROTECT>not connected: send C with an account first", "");
    return Run(m);
}

TVismSession::Step TVismSession::Login(const vism::Message &m)
{
    FConnected = false;
    if (!CheckLogin(FGate, FDataDir, m.Fields[0], m.Fields[1], Protocol::Vism)) {
        if (Reply(true, "<PROTECT>wrong account or password", "") == Step::End)
            return Step::End;
        return ++FFailedLogins >= kMaxFailedLogins ? End(ExitRefused) : Step::Next;
    }
    const std::string ns = FindNs(m.Fields[2]);
    if (ns.empty())
        return Reply(true, "<NAMESPACE>" + m.Fields[2], "");
    if (!FGate.Enter()) {
        SendAll(FFd, vism::Encode('R', {"1", "<PROTECT>too many sessions", ""}));
        return End(ExitRefused);
    }
    std::string error;
    if (!(FEngine.Started() ? FEngine.Switch(FConfig, ns, error)
                            : FEngine.Start(FDataDir, FConfig, ns, error))) {
        LogLine(error);
        SendAll(FFd, vism::Encode('R', {"1", "<ERROR>the session could not start", ""}));
        return End(ExitFailed);
    }
    FConnected = true;
    return Reply(false, "", ns);
}

TVismSession::Step TVismSession::Run(const vism::Message &m)
{
    std::string error;
    const std::string ns = m.Fields[0].empty() ? FEngine.Namespace() : FindNs(m.Fields[0]);
    if (ns.empty() || !FEngine.Switch(FConfig, ns, error))
        return Reply(true, "<NAMESPACE>" + m.Fields[0], "");
    const std::string &text = m.Fields[1];
    const bool expression = !text.empty() && text[0] == '$';
    const auto kind = expression           ? Engine::RunKind::Expression
                      : MentionsTrap(text) ? Engine::RunKind::CommandInFrame
                                           : Engine::RunKind::Command;
    MResult r;
    {
        Busy busy(*FWatchdog);
        r = FEngine.Run(expression ? RewriteExpression(text) : RewriteCode(text), kind, m.Fields[2],
                        m.Fields[3]);
    }
    return r.Failed ? Reply(true, r.Value, "") : Reply(false, "", r.Value);
}

int TVismSession::Serve()
{
    NoDelay(FFd);
    KeepAlive(FFd);
    const auto loginBy = Clock::now() + std::chrono::seconds(kLoginSeconds);
    SendTimeout(FFd, FConfig.IoTimeout);
    vism::MessageParser parser;
    Clock::time_point frameBy; // a frame begun must be whole by then
    std::vector<char> buf(65536);
    for (;;) {
        // Before the login the login's deadline; after it a connection may wait for ever
        // between frames, but not in the middle of one.
        int waitMs = -1;
        if (parser.Buffered() > 0)
            waitMs = MillisLeft(frameBy);
        if (!FConnected && !FEngine.Started())
            waitMs = waitMs < 0 ? MillisLeft(loginBy) : std::min(waitMs, MillisLeft(loginBy));
        if (waitMs >= 0 && !WaitReadable(FFd, waitMs)) {
            FCode = ExitTimedOut;
            break;
        }
        const ssize_t n = ReadSome(FFd, buf.data(), buf.size());
        if (n == 0)
            break;
        if (parser.Buffered() == 0)
            frameBy = Clock::now() + std::chrono::seconds(FConfig.IoTimeout);
        parser.Feed(std::string_view(buf.data(), size_t(n)));
        bool consumed = false;
        Step step = Step::Next;
        while (step == Step::Next) {
            vism::Message m;
            std::string why;
            const auto st = parser.Next(m, why);
            if (st == vism::Status::NeedMore)
                break;
            if (st == vism::Status::Malformed || !vism::IsClientMessage(m)) {
                step = End(ExitMalformed);
                break;
            }
            consumed = true;
            step = Handle(m);
        }
        if (step == Step::End)
            break;
        // What is left after a whole message is the start of the next frame.
        if (consumed && parser.Buffered() > 0)
            frameBy = Clock::now() + std::chrono::seconds(FConfig.IoTimeout);
    }
    ::shutdown(FFd, SHUT_RDWR);
    ::close(FFd);
    FEngine.Stop();
    return FCode;
}

} // namespace

int ServeVism(int fd, const std::string &dataDir, Gate &gate)
{
    TVismSession session(fd, dataDir, gate);
    return session.Serve();
}

} // namespace velmd
