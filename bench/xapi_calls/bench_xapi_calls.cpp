// Calls per second through TXAPI against the in-process scripted peer, beside a bare loopback
// TCP ping-pong that moves the same request and reply sizes, measured in the same run.
//   bench_xapi_calls [CALLS]

#include "BenchSupport.h"
#include "UXAPI.h"
#include "XapiPeer.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

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

    const double xapiRate = CallRate(x, elements, replyText, calls, 200);
    x.Close();

    const double pingRate = PingPongRate(calls, size_t(reqSize), size_t(replySize));
    std::printf("xapi_calls: %d calls, request %lld bytes, reply %lld bytes\n", calls,
                static_cast<long long>(reqSize), static_cast<long long>(replySize));
    std::printf("  TXAPI against the scripted peer: %10.0f calls/s\n", xapiRate);
    std::printf("  bare loopback TCP ping-pong:     %10.0f exchanges/s\n", pingRate);
    std::printf("  ratio: %.2f (target at least 0.50)\n", xapiRate / pingRate);
    return 0;
}
