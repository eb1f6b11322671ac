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
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <thread>

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
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(fd, 64) != 0) {
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

std::string Peer(const sockaddr_in &a)
{
    char host[INET_ADDRSTRLEN] = {0};
    ::inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(a.sin_port));
}

void RemoveTree(const std::string &path)
{
    ::nftw(
        path.c_str(), [](const char *p, const struct stat *, int, FTW *) { return ::remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

void Log(const std::string &line)
{
    std::cerr << "velmd: " << line << std::endl;
}

struct Child
{
    std::string Kind, Peer;
};

class Listener
{
public:
    Listener(std::string dir, Config config) : FDir(std::move(dir)), FConfig(std::move(config)) {}

    int Run(int xapiFd, int vismFd)
    {
        bool stopping = false;
        while (!stopping) {
            pollfd p[3] = {{xapiFd, POLLIN, 0}, {vismFd, POLLIN, 0}, {gSignalPipe[0], POLLIN, 0}};
            if (::poll(p, 3, -1) < 0) {
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
            if (p[0].revents & POLLIN)
                Accept(xapiFd, "xapi", xapiFd, vismFd);
            if (p[1].revents & POLLIN)
                Accept(vismFd, "vism", xapiFd, vismFd);
        }
        ::close(xapiFd);
        ::close(vismFd);
        StopAll();
        return 0;
    }

private:
    void Accept(int lfd, const char *kind, int xapiFd, int vismFd)
    {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        const int fd = ::accept4(lfd, reinterpret_cast<sockaddr *>(&a), &len, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (int(FChildren.size()) >= FConfig.MaxSessions) {
            Log(std::string("refused a ") + kind + " connection from " + Peer(a) + ": " +
                std::to_string(FConfig.MaxSessions) + " sessions already");
            ::close(fd);
            return;
        }
        std::cerr.flush();
        const pid_t pid = ::fork();
        if (pid < 0) {
            Log(std::string("fork: ") + std::strerror(errno));
            ::close(fd);
            return;
        }
        if (pid == 0) {
            ::close(xapiFd);
            ::close(vismFd);
            ::close(gSignalPipe[0]);
            ::close(gSignalPipe[1]);
            for (int s : {SIGTERM, SIGINT, SIGCHLD, SIGPIPE})
                ::signal(s, SIG_DFL);
            // Out of the terminal's process group: a Ctrl-C reaches the listener, which ends
            // every session in order.
            ::setpgid(0, 0);
            const std::string scratch = FDir + "/scratch/" + std::to_string(::getpid());
            std::string error;
            if (!MakeDirs(scratch, error) || ::chdir(scratch.c_str()) != 0)
                ::_exit(ExitFailed);
            const int null = ::open("/dev/null", O_RDWR);
            const int log = ::open((FDir + "/sessions.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(log >= 0 ? log : null, 2);
            const int code = std::string(kind) == "xapi" ? ServeXapi(fd, FDir, FConfig.Bind) : ServeVism(fd, FDir);
            ::_exit(code);
        }
        ::close(fd);
        FChildren[pid] = Child{kind, Peer(a)};
        Log("session " + std::to_string(pid) + " start (" + kind + ", " + Peer(a) + ")");
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
                how = std::string(SessionExitText(WEXITSTATUS(status))) +
                      (WEXITSTATUS(status) > ExitMalformed ? " " + std::to_string(WEXITSTATUS(status)) : "");
            else if (WIFSIGNALED(status))
                how = "killed by signal " + std::to_string(WTERMSIG(status));
            Log("session " + std::to_string(pid) + " end (" + how + ")");
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
    struct sigaction sa{};
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
    std::cout << "xapi " << LocalPort(xapiFd) << "\n" << "vism " << LocalPort(vismFd) << std::endl;
    Log("serving " + dir + " on " + config.Bind);
    Listener listener(dir, config);
    return listener.Run(xapiFd, vismFd);
}

} // namespace velmd
