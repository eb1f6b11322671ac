// Calls per second of a $$ call of a trivial routine through TXAPI against velmd, beside a bare
// loopback TCP ping-pong of the same request and reply sizes, measured in the same run.
//   bench_server_calls [CALLS]

#include "BenchSupport.h"
#include "UXAPI.h"
#include "VelmdProcess.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QuietUi ui;
    SetUi(&ui);
    const int calls = argc > 1 ? std::atoi(argv[1]) : 20000;

    VelmdProcess server;
    if (!server.Start()
        || !server.LoadText(QStringLiteral("USER"), QStringLiteral("ZZBENCH"),
                            "ZZBENCH ;benchmark\nping(x) q \"rrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrr\"\n")
        || !server.OfferXapi(QStringLiteral("USER"), {QStringLiteral("ZZBENCH")})) {
        std::fprintf(stderr, "velmd: %s\n", server.Error.toUtf8().constData());
        return 1;
    }
    const QList<QByteArray> elements{"$$ping^ZZBENCH", "0123456789abcdef"};
    const QByteArray replyText(32, 'r');

    TXAPI x;
    if (!x.LoadProfile(server.WriteProfile(QStringLiteral("USER"))) || !x.Open())
        return 1;
    const qsizetype reqSize = XapiWire::CallRequest(x.ServerType, elements).size();
    const qsizetype replySize = replyText.size() + 1;

    const double xapiRate = CallRate(x, elements, replyText, calls, 500);
    x.Close();

    const double pingRate = PingPongRate(calls, size_t(reqSize), size_t(replySize));
    std::printf("server_calls: %d calls of $$ping^ZZBENCH, request %lld bytes, reply %lld bytes\n", calls,
                static_cast<long long>(reqSize), static_cast<long long>(replySize));
    std::printf("  TXAPI against velmd (GT.M):  %10.0f calls/s\n", xapiRate);
    std::printf("  bare loopback TCP ping-pong: %10.0f exchanges/s\n", pingRate);
    std::printf("  ratio: %.2f (target at least 0.50)\n", xapiRate / pingRate);
    return 0;
}
