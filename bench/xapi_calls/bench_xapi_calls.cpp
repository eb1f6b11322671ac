// Calls per second through TXAPI against the in-process scripted peer, beside a bare loopback
// TCP ping-pong that moves the same request and reply sizes, measured in the same run.
//   bench_xapi_calls [CALLS]

#include "UXAPI.h"
#include "Ui.h"
#include "XapiPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

class QuietUi : public TUi
{
public:
    void ShowMessage(const QString &t) override { std::fprintf(stderr, "%s\n", t.toUtf8().constData()); }
    void ShowError(const QString &t) override { ShowMessage(t); }
    TAnswer AskYesNo(const QString &, TAnswer d) override { return d; }
    TAnswer AskYesNoCancel(const QString &, TAnswer d) override { return d; }
    int ChoiceBox(const TChoiceArgs &) override { return 0; }
    std::optional<QString> AskPassword(const QString &) override { return std::nullopt; }
    std::optional<Account> AskAccount(const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> AskText(const QString &, const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> AskName(const QString &, const QString &, const QString &, const NameCheck &) override { return std::nullopt; }
    std::optional<QString> ChooseFile(const QString &, const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> ChooseFolder(const QString &, const QString &) override { return std::nullopt; }
    void ProcessEvents() override {}
protected:
    void OnProgressShow(const QString &, int) override {}
    void OnProgressHide() override {}
    void OnProgressMessage(const QString &) override {}
    void OnProgressPosition(int, int) override {}
};

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

// The reference: a loopback server that answers every request of reqSize bytes with
// replySize bytes, and a blocking client doing the same number of exchanges.
double pingPongRate(int calls, size_t reqSize, size_t replySize)
{
    const int lst = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(lst, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::listen(lst, 1);
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
    ::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a);
    std::vector<char> req(reqSize, 'q'), reply(replySize);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < calls; ++i) {
        ::send(c, req.data(), reqSize, MSG_NOSIGNAL);
        if (!readExactly(c, reply.data(), replySize))
            std::abort();
    }
    const double secs = double(t.nsecsElapsed()) / 1e9;
    ::close(c);
    server.join();
    ::close(lst);
    return calls / secs;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QuietUi ui;
    SetUi(&ui);
    const int calls = argc > 1 ? std::atoi(argv[1]) : 20000;

    const QList<QByteArray> elements{"$$ping^ZZBENCH", "0123456789abcdef"};
    const QByteArray replyText(32, 'r');

    XapiPeer peer;
    peer.SetDefaultCall(replyText);
    TXAPI x;
    x.ServerType = "CACHE";
    x.Version = "1";
    x.UserName = "bench";
    x.NameSpace = "USER";
    x.Address = {127, 0, 0, 1};
    x.Port = peer.Port();
    if (!x.Open())
        return 1;
    const qsizetype reqSize = XapiWire::CallRequest(x.ServerType, elements).size();
    const qsizetype replySize = replyText.size() + 1;

    for (int i = 0; i < 200; ++i) // warm-up
        x.Call(elements);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < calls; ++i)
        if (x.Call(elements) != replyText)
            std::abort();
    const double xapiRate = calls / (double(t.nsecsElapsed()) / 1e9);
    x.Close();

    const double pingRate = pingPongRate(calls, size_t(reqSize), size_t(replySize));
    std::printf("xapi_calls: %d calls, request %lld bytes, reply %lld bytes\n", calls,
                static_cast<long long>(reqSize), static_cast<long long>(replySize));
    std::printf("  TXAPI against the scripted peer: %10.0f calls/s\n", xapiRate);
    std::printf("  bare loopback TCP ping-pong:     %10.0f exchanges/s\n", pingRate);
    std::printf("  ratio: %.2f (target at least 0.50)\n", xapiRate / pingRate);
    return 0;
}
