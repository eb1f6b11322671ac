#pragma once
// What the benchmarks share: a Ui that answers nothing and a bare loopback TCP ping-pong, the
// reference that XAPI call rates are measured against in the same run.

#include "Ui.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <vector>

class QString;
class TXAPI;
class TdmSet;

class QuietUi : public TSilentUi
{
public:
    void ShowMessage(const QString &t) override;
};

// CPU time of this process so far, in seconds: in the program and in the kernel on its behalf.
struct TCpuTime
{
    double User = 0;
    double System = 0;
    double Total() const { return User + System; }
    TCpuTime operator-(const TCpuTime &o) const { return {User - o.User, System - o.System}; }
    TCpuTime operator+(const TCpuTime &o) const { return {User + o.User, System + o.System}; }
};
TCpuTime CpuTime();
// The same, of the calling thread alone.
TCpuTime ThreadCpuTime();

// Exchanges per second of a blocking client and a loopback server thread that answers every
// request of reqSize bytes with replySize bytes; the client's CPU time in clientCpu.
double PingPongRate(int calls, size_t reqSize, size_t replySize, TCpuTime *clientCpu = nullptr);

// Calls per second of the same call through an open link, after a warm-up; aborts on a wrong
// reply, so that a fast wrong answer is never measured.
double CallRate(TXAPI &x, const QList<QByteArray> &elements, const QByteArray &expected, int calls,
                int warmUp);

// The median of a benchmark's rounds (the upper one of an even count).
double Median(std::vector<double> values);

// The money-out task made current, its client-bank's settings loaded and setting 1 current, as
// a task start on the demo data finds them; its client-bank in client. False when a step fails.
bool LocateDemoMoneyOutSetting(TdmSet &dm, QByteArray &client);

// The peak resident memory of this process so far, in MB.
double PeakRssMb();

// A money-out client-bank file of count new records made with clbgen (seed picks them); false
// with a message on stderr.
bool MakeClientBankFile(const QString &path, long count, std::uint64_t seed);
