#include "Server.h"

#include "DataDir.h"
#include "Session.h"
#include "Util.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <thread>
#include <vector>

// AddressSanitizer reserves terabytes of shadow memory, which no data limit leaves room for.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMD_ASAN 1
#endif
#endif

namespace velmd {
namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int sig)
{
    const int saved = errno;
    const char c = char(sig);
    if (::write(gSignalPipe[1], &c, 1) < 0) {
        // the pipe is full: a wake-up is already pending
    }
    errno = saved;
}

int Listen(const std::string &bind, int port, std::string &error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    if (::inet_pton(AF_INET, bind.c_str(), &a.sin_addr) != 1) {
        error = "bind address \"" + bind + "\" is not an IPv4 address";
        ::close(fd);
        return -1;
    }
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(fd, 256) != 0) {
        error = bind + ":" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

int LocalPort(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

std::string Host(const sockaddr_in &a)
{
    char host[INET_ADDRSTRLEN] = {0};
    ::inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    return host;
}

void RemoveTree(const std::string &path)
{
    ::nftw(
        path.c_str(), [](const char *p, const struct stat *, int, FTW *) { return ::remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

void Log(const std::string &line) { std::cerr << "velmd: " << line << std::endl; }

// What the administrator must read: on stderr and in sessions.log, where sessions write.
void Warn(const std::string &dir, const std::string &line)
{
    Log("warning: " + line);
    const int fd = ::open((dir + "/sessions.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const std::string text = "velmd: warning: " + line + "\n";
    if (fd >= 0 && ::write(fd, text.data(), text.size()) < 0) {
        // nothing more can tell
    }
    if (fd >= 0)
        ::close(fd);
}

// Failed logins of one source address, across connections and both protocols. After a few, every
// login answer to that address waits one more second per failure, up to kMaxPenalty, and the
// address may have only kPenalisedWaiting connections before their login; an hour without a
// failure forgets them.
class LoginFailures
{
public:
    void Add(const std::string &host)
    {
        if (FByHost.size() >= kMaxHosts && !FByHost.count(host))
            Forget(true);
        Entry &e = FByHost[host];
        e.Count = Fresh(e) ? e.Count + 1 : 1;
        e.Last = std::chrono::steady_clock::now();
    }
    int PenaltySeconds(const std::string &host)
    {
        const auto it = FByHost.find(host);
        if (it == FByHost.end() || !Fresh(it->second))
            return 0;
        return std::clamp(it->second.Count - kFreeFailures + 1, 0, kMaxPenalty);
    }
    static constexpr int kPenalisedWaiting = 4;

private:
    static constexpr int kFreeFailures = 5, kMaxPenalty = 10;
    static constexpr size_t kMaxHosts = 4096;
    struct Entry
    {
        int Count = 0;
        std::chrono::steady_clock::time_point Last;
    };
    static bool Fresh(const Entry &e)
    {
        return e.Count > 0 && std::chrono::steady_clock::now() - e.Last < std::chrono::hours(1);
    }
    // Stale entries go; when the table is still full, the one that failed longest ago.
    void Forget(bool makeRoom)
    {
        for (auto it = FByHost.begin(); it != FByHost.end();)
            it = Fresh(it->second) ? std::next(it) : FByHost.erase(it);
        if (makeRoom && FByHost.size() >= kMaxHosts)
            FByHost.erase(std::min_element(FByHost.begin(), FByHost.end(), [](const auto &a, const auto &b) {
                return a.second.Last < b.second.Last;
            }));
    }
    std::map<std::string, Entry> FByHost;
};

struct Child
{
    std::string Kind, Host, Peer;
    int Control = -1;     // the listener's end of the child's control socket (see Gate)
    bool Session = false; // logged in: one of max_sessions
    bool Evicted = false; // made way for a newer connection; not yet reaped
    unsigned long long Order = 0;
};

class Listener
{
public:
    Listener(std::string dir, Config config) : FDir(std::move(dir)), FConfig(std::move(config)) {}

    int Run(int xapiFd, int vismFd)
    {
        bool stopping = false;
        std::vector<pollfd> p;
        std::vector<pid_t> owners;
        while (!stopping) {
            p.assign({{xapiFd, POLLIN, 0}, {vismFd, POLLIN, 0}, {gSignalPipe[0], POLLIN, 0}});
            owners.clear();
            for (const auto &[pid, c] : FChildren)
                if (c.Control >= 0) {
                    p.push_back({c.Control, POLLIN, 0});
                    owners.push_back(pid);
                }
            if (::poll(p.data(), nfds_t(p.size()), -1) < 0) {
                if (errno == EINTR)
                    continue;
                Log(std::string("poll: ") + std::strerror(errno));
                break;
            }
            if (p[2].revents & POLLIN) {
                char sigs[64];
                const ssize_t n = ::read(gSignalPipe[0], sigs, sizeof sigs);
                for (ssize_t i = 0; i < n; ++i)
                    if (sigs[i] == SIGTERM || sigs[i] == SIGINT)
                        stopping = true;
                Reap();
            }
            if (stopping)
                break;
            for (size_t i = 3; i < p.size(); ++i)
                if (p[i].revents)
                    Answer(owners[i - 3]);
            if (p[0].revents & POLLIN)
                AcceptAll(xapiFd, "xapi", xapiFd, vismFd);
            if (p[1].revents & POLLIN)
                AcceptAll(vismFd, "vism", xapiFd, vismFd);
        }
        ::close(xapiFd);
        ::close(vismFd);
        StopAll();
        return 0;
    }

private:
    // What a child asks (see Gate): R whether a session slot is free, A to take one after its
    // login, F to count a failed login of its address, P how long its login answer must wait.
    void Answer(pid_t pid)
    {
        const auto it = FChildren.find(pid);
        if (it == FChildren.end() || it->second.Control < 0)
            return;
        Child &c = it->second;
        char ask = 0;
        if (::read(c.Control, &ask, 1) != 1) {
            ::close(c.Control);
            c.Control = -1;
            return;
        }
        char answer = 'N';
        if (ask == 'F') {
            FFailures.Add(c.Host);
            return;
        }
        if (ask == 'P') {
            answer = char(FFailures.PenaltySeconds(c.Host));
        } else {
            int sessions = 0;
            for (const auto &[other, o] : FChildren)
                sessions += o.Session && !o.Evicted;
            const bool yes = c.Session || sessions < FConfig.MaxSessions;
            if (ask == 'A' && yes && !c.Session) {
                c.Session = true;
                Log("session " + std::to_string(pid) + " logged in");
            } else if (!yes) {
                Log("session " + std::to_string(pid) + " refused: " + std::to_string(FConfig.MaxSessions)
                    + " sessions already");
            }
            answer = yes ? 'Y' : 'N';
        }
        if (::write(c.Control, &answer, 1) != 1) {
            // the child has gone; its end is reaped
        }
    }

    // Answers what children have asked so far, without waiting.
    void AnswerPending()
    {
        std::vector<pollfd> p;
        std::vector<pid_t> owners;
        for (const auto &[pid, c] : FChildren)
            if (c.Control >= 0) {
                p.push_back({c.Control, POLLIN, 0});
                owners.push_back(pid);
            }
        if (!p.empty() && ::poll(p.data(), nfds_t(p.size()), 0) > 0)
            for (size_t i = 0; i < p.size(); ++i)
                if (p[i].revents)
                    Answer(owners[i]);
    }

    // Connections that have not logged in are capped apart from sessions; the oldest of the address
    // with the most of them makes way for a new one: idle or half-sent connections, however many
    // one address opens, never keep a real client out.
    void MakeRoomBeforeLogin(const std::string &host)
    {
        AnswerPending();
        int waiting = 0;
        std::map<std::string, int> perHost;
        for (auto &[pid, c] : FChildren)
            if (!c.Session && !c.Evicted) {
                ++waiting;
                ++perHost[c.Host];
            }
        if (waiting < FConfig.MaxUnauthenticated && perHost[host] < LoginFailures::kPenalisedWaiting)
            return;
        // An address that keeps failing waits for its answers a few connections at a time, so
        // that guessing in parallel gains nothing.
        std::string crowded = host;
        if (waiting >= FConfig.MaxUnauthenticated)
            crowded = std::max_element(perHost.begin(), perHost.end(), [](const auto &a, const auto &b) {
                          return a.second < b.second;
                      })->first;
        else if (FFailures.PenaltySeconds(host) == 0)
            return;
        Child *oldest = nullptr;
        pid_t oldestPid = 0;
        for (auto &[pid, c] : FChildren)
            if (!c.Session && !c.Evicted && c.Host == crowded && (!oldest || c.Order < oldest->Order)) {
                oldest = &c;
                oldestPid = pid;
            }
        if (!oldest)
            return;
        ::kill(oldestPid, SIGKILL);
        oldest->Evicted = true;
        if (oldest->Control >= 0) {
            ::close(oldest->Control);
            oldest->Control = -1;
        }
        Log("session " + std::to_string(oldestPid) + " ended to make way: " + std::to_string(waiting)
            + " connections had not logged in, " + std::to_string(perHost[crowded]) + " of them from "
            + crowded);
    }

    void AcceptAll(int lfd, const char *kind, int xapiFd, int vismFd)
    {
        // The listening sockets do not block: take every connection that is waiting.
        for (int i = 0; i < 256; ++i)
            if (!Accept(lfd, kind, xapiFd, vismFd))
                return;
    }

    bool Accept(int lfd, const char *kind, int xapiFd, int vismFd)
    {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        const int fd = ::accept4(lfd, reinterpret_cast<sockaddr *>(&a), &len, SOCK_CLOEXEC);
        if (fd < 0)
            return errno == EINTR || errno == ECONNABORTED;
        MakeRoomBeforeLogin(Host(a));
        int control[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control) != 0) {
            Log(std::string("socketpair: ") + std::strerror(errno));
            ::close(fd);
            return true;
        }
        std::cerr.flush();
        const pid_t pid = ::fork();
        if (pid < 0) {
            Log(std::string("fork: ") + std::strerror(errno));
            ::close(fd);
            ::close(control[0]);
            ::close(control[1]);
            return true;
        }
        if (pid == 0) {
            ::close(xapiFd);
            ::close(vismFd);
            ::close(gSignalPipe[0]);
            ::close(gSignalPipe[1]);
            ::close(control[0]);
            for (const auto &[other, c] : FChildren)
                if (c.Control >= 0)
                    ::close(c.Control);
            for (int sig : {SIGTERM, SIGINT, SIGCHLD, SIGPIPE})
                ::signal(sig, SIG_DFL);
            // Out of the terminal's process group: a Ctrl-C reaches the listener, which ends
            // every session in order.
            ::setpgid(0, 0);
            const std::string scratch = FDir + "/scratch/" + std::to_string(::getpid());
            std::string error;
            if (!MakeDirs(scratch, error) || ::chdir(scratch.c_str()) != 0)
                ::_exit(ExitFailed);
                // A session's own memory is capped: one client's M code cannot starve the others (not
                // in a sanitizer build, whose shadow memory alone is beyond any cap).
#ifndef VELMD_ASAN
            const rlimit memory{rlim_t(FConfig.MaxMemory) << 20, rlim_t(FConfig.MaxMemory) << 20};
            ::setrlimit(RLIMIT_DATA, &memory);
#endif
            const int null = ::open("/dev/null", O_RDWR);
            const int log = ::open((FDir + "/sessions.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(log >= 0 ? log : null, 2);
            Gate gate(control[1]);
            const int code = std::string(kind) == "xapi" ? ServeXapi(fd, FDir, FConfig.Bind, gate)
                                                         : ServeVism(fd, FDir, gate);
            ::_exit(code);
        }
        ::close(fd);
        ::close(control[1]);
        const std::string peer = Host(a) + ":" + std::to_string(ntohs(a.sin_port));
        FChildren[pid] = Child{kind, Host(a), peer, control[0], false, false, ++FOrder};
        Log("session " + std::to_string(pid) + " start (" + kind + ", " + peer + ")");
        return true;
    }

    void Reap()
    {
        for (;;) {
            int status = 0;
            const pid_t pid = ::waitpid(-1, &status, WNOHANG);
            if (pid <= 0)
                return;
            const auto it = FChildren.find(pid);
            if (it == FChildren.end())
                continue;
            std::string how;
            if (WIFEXITED(status))
                how =
                    std::string(SessionExitText(WEXITSTATUS(status)))
                    + (WEXITSTATUS(status) > ExitMalformed ? " " + std::to_string(WEXITSTATUS(status)) : "");
            else if (WIFSIGNALED(status))
                how = "killed by signal " + std::to_string(WTERMSIG(status));
            Log("session " + std::to_string(pid) + " end (" + how + ")");
            if (it->second.Control >= 0)
                ::close(it->second.Control);
            FChildren.erase(it);
            RemoveTree(FDir + "/scratch/" + std::to_string(pid));
        }
    }

    void StopAll()
    {
        for (const auto &[pid, c] : FChildren)
            ::kill(pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!FChildren.empty() && std::chrono::steady_clock::now() < deadline) {
            Reap();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        for (const auto &[pid, c] : FChildren)
            ::kill(pid, SIGKILL);
        while (!FChildren.empty()) {
            Reap();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::string FDir;
    Config FConfig;
    std::map<pid_t, Child> FChildren;
    LoginFailures FFailures;
    unsigned long long FOrder = 0;
};

} // namespace

int Serve(const std::string &dataDir, std::optional<int> xapiPort, std::optional<int> vismPort)
{
    const std::string dir = AbsolutePath(dataDir);
    Config config;
    std::string error;
    if (!LoadConfig(dir, config, error)) {
        std::cerr << "velmd serve: " << error << "\n";
        return 1;
    }
    if (GtmDist().empty()) {
        std::cerr << "velmd serve: GT.M is not installed (Debian package fis-gtm)\n";
        return 1;
    }
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::cerr << "velmd serve: " << std::strerror(errno) << "\n";
        return 1;
    }
    struct sigaction sa
    {
    };
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGCHLD})
        ::sigaction(s, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    const int xapiFd = Listen(config.Bind, xapiPort.value_or(config.XapiPort), error);
    if (xapiFd < 0) {
        std::cerr << "velmd serve: XAPI port: " << error << "\n";
        return 1;
    }
    const int vismFd = Listen(config.Bind, vismPort.value_or(config.VismPort), error);
    if (vismFd < 0) {
        std::cerr << "velmd serve: VisM port: " << error << "\n";
        return 1;
    }
    for (const auto &w : config.Warnings)
        Warn(dir, w);
    if (::geteuid() == 0)
        Warn(dir,
             "running as root: a VisM account runs its code as root (the packaged service runs as its own "
             "user, velmd)");
    std::cout << "xapi " << LocalPort(xapiFd) << "\n"
              << "vism " << LocalPort(vismFd) << std::endl;
    Log("serving " + dir + " on " + config.Bind);
    Listener listener(dir, config);
    return listener.Run(xapiFd, vismFd);
}

} // namespace velmd
