// The DBF layer reading a client-bank file of 100,000 records (made with clbgen) in MB/s, as the
// import reads it (from the last record back to the first, each record's text built), beside a
// plain sequential read of the same file measured in the same run.
//   bench_dbf_read [RECORDS]

#include "Connect.h"
#include "clbgen.h"
#include "codepage.h"
#include "dbfops.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double TargetMBps = 50.0;
constexpr int Rounds = 3;

double MBps(qint64 bytes, qint64 ns) { return ns > 0 ? double(bytes) / 1e6 / (double(ns) / 1e9) : 0; }

// Reference: the file's bytes read front to back in 1 MiB blocks, each byte looked at once.
qint64 PlainRead(const QString &path, quint64 &sum)
{
    QElapsedTimer t;
    t.start();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return -1;
    std::vector<unsigned char> buf(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            sum += buf[size_t(i)];
    }
    ::close(fd);
    return t.nsecsElapsed();
}

// The layer: open, then every record's text, walked as the import walks or front to back.
qint64 LayerRead(TLink &link, const QString &path, bool backwards, qint64 &records, qint64 &textBytes)
{
    QElapsedTimer t;
    t.start();
    TDbfFile file;
    TDbfTable &tbDBF = file.tbDBF;
    if (!OpenDbfFile(link, file, path))
        return -1;
    records = textBytes = 0;
    if (backwards) {
        for (tbDBF.Last(); !tbDBF.Bof(); tbDBF.Prior()) {
            textBytes += DbfRecordText(link, tbDBF).size();
            ++records;
        }
    } else {
        for (tbDBF.First(); !tbDBF.Eof(); tbDBF.Next()) {
            textBytes += DbfRecordText(link, tbDBF).size();
            ++records;
        }
    }
    tbDBF.Close();
    return t.nsecsElapsed();
}

} // namespace

int main(int argc, char **argv)
{
    const long count = argc > 1 ? std::atol(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clb100k.dbf"));
    clb::Options options;
    options.count = count;
    options.seed = 2024;
    std::string error;
    if (!clb::writeFile(QFile::encodeName(path).toStdString(), options, error)) {
        std::fprintf(stderr, "bench_dbf_read: %s\n", error.c_str());
        return 1;
    }
    const qint64 size = QFileInfo(path).size();
    TLink link;
    link.ShowErrors = false;
    link.KeepProtocol = true;

    quint64 sum = 0;
    qint64 plain = -1, back = -1, forth = -1;
    qint64 records = 0, textBytes = 0;
    auto best = [](qint64 a, qint64 b) { return a < 0 ? b : b < 0 ? a : std::min(a, b); };
    for (int round = 0; round < Rounds; ++round) {
        plain = best(plain, PlainRead(path, sum));
        back = best(back, LayerRead(link, path, true, records, textBytes));
        forth = best(forth, LayerRead(link, path, false, records, textBytes));
    }
    if (plain < 0 || back < 0 || forth < 0 || records != count) {
        std::fprintf(stderr, "bench_dbf_read: the file could not be read: %s\n",
                     link.Protocol.isEmpty() ? ""
                                             : FromWin1251(link.Protocol.last()).toLocal8Bit().constData());
        return 1;
    }

    std::printf("file: %ld records, %.1f MB (record texts %.1f MB), best of %d rounds\n", count,
                double(size) / 1e6, double(textBytes) / 1e6, Rounds);
    std::printf("reference, plain sequential read:   %8.1f MB/s  (checksum %llu)\n", MBps(size, plain),
                static_cast<unsigned long long>(sum % 1000));
    std::printf("DBF layer, last to first (import):  %8.1f MB/s  %9.0f records/s\n", MBps(size, back),
                double(count) / (double(back) / 1e9));
    std::printf("DBF layer, first to last:           %8.1f MB/s  %9.0f records/s\n", MBps(size, forth),
                double(count) / (double(forth) / 1e9));
    std::printf("target: at least %.0f MB/s: %s\n", TargetMBps,
                MBps(size, back) >= TargetMBps && MBps(size, forth) >= TargetMBps ? "met" : "MISSED");
    return MBps(size, back) >= TargetMBps && MBps(size, forth) >= TargetMBps ? 0 : 1;
}
