#include "BenchSupport.h"

#include "UXAPI.h"
#include "data.h"
#include "dbfsettings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <clbgen.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

void QuietUi::ShowMessage(const QString &t) { std::fprintf(stderr, "%s\n", t.toUtf8().constData()); }

namespace {

bool readExactly(int fd, char *buf, size_t n)
{
    while (n > 0) {
        const ssize_t r = ::recv(fd, buf, n, 0);
        if (r <= 0)
            return false;
        buf += r;
        n -= size_t(r);
    }
    return true;
}

} // namespace

double PingPongRate(int calls, size_t reqSize, size_t replySize, TCpuTime *clientCpu)
{
    const int lst = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A reference that cannot be measured must not print a rate.
    if (::bind(lst, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(lst, 1) != 0) {
        std::perror("bench: loopback listener");
        std::abort();
    }
    socklen_t len = sizeof a;
    ::getsockname(lst, reinterpret_cast<sockaddr *>(&a), &len);

    std::thread server([&] {
        const int fd = ::accept(lst, nullptr, nullptr);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::vector<char> req(reqSize), reply(replySize, 'r');
        while (readExactly(fd, req.data(), reqSize))
            ::send(fd, reply.data(), replySize, MSG_NOSIGNAL);
        ::close(fd);
    });

    const int c = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        std::perror("bench: loopback connection");
        std::abort();
    }
    std::vector<char> req(reqSize, 'q'), reply(replySize);
    const TCpuTime before = ThreadCpuTime();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < calls; ++i) {
        ::send(c, req.data(), reqSize, MSG_NOSIGNAL);
        if (!readExactly(c, reply.data(), replySize))
            std::abort();
    }
    const double secs = double(t.nsecsElapsed()) / 1e9;
    if (clientCpu)
        *clientCpu = ThreadCpuTime() - before;
    ::close(c);
    server.join();
    ::close(lst);
    return calls / secs;
}

double CallRate(TXAPI &x, const QList<QByteArray> &elements, const QByteArray &expected, int calls,
                int warmUp)
{
    for (int i = 0; i < warmUp; ++i)
        x.Call(elements);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < calls; ++i)
        if (x.Call(elements) != expected)
            std::abort();
    return calls / (double(t.nsecsElapsed()) / 1e9);
}

namespace {
TCpuTime Usage(int who)
{
    rusage u{};
    ::getrusage(who, &u);
    return {double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) / 1e6,
            double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) / 1e6};
}
} // namespace

TCpuTime CpuTime() { return Usage(RUSAGE_SELF); }

TCpuTime ThreadCpuTime() { return Usage(RUSAGE_THREAD); }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool LocateDemoMoneyOutSetting(TdmSet &dm, QByteArray &client)
{
    dm.tbTasks->GotoBookmark(dm.TaskRowMoneyOut);
    client = dm.tbTasks->AsString(TdmSet::tkClient);
    return dm.LoadSettings(client) && LocateRecord(*dm.tbSets, QStringLiteral("Id"), "1");
}

double PeakRssMb()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0; // kilobytes on Linux
}

bool MakeClientBankFile(const QString &path, long count, std::uint64_t seed)
{
    clb::Options options;
    options.count = count;
    options.seed = seed;
    std::string error;
    if (!clb::writeFile(QFile::encodeName(path).toStdString(), options, error)) {
        std::fprintf(stderr, "%s: %s\n", QFile::encodeName(path).constData(), error.c_str());
        return false;
    }
    return true;
}
