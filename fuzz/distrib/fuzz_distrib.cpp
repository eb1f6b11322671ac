// Arbitrary bytes as a distribution file, read the way the installer's stages read it.

#include "distrib.h"
#include "setuplog.h"

#include <cstddef>
#include <cstdint>

namespace {

// Reads the body as the check and program stages would, bounded by the file's own size.
void Walk(TDistrib &d)
{
    d.Open();
    d.CheckLabel = d.Descramble(d.ReadField(d.SepCR));
    d.ReadRecord();
    d.ParsePostActions();
    d.ReadRecord();
    d.CountRecords();
    for (int list = 0; list < 3; ++list) {
        for (int i = 0; i < 100000 && !d.Record.isEmpty(); ++i) {
            d.SplitRoutine();
            d.ReadRecord();
        }
        d.ReadRecord();
        d.CountRecords();
    }
    d.Close();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // Byte 0 is not read by the installer; here it steers the input: a run of filler in the
    // middle makes records cross chunk boundaries, and the high bit puts a sound header first.
    if (!bytes.isEmpty()) {
        const auto control = static_cast<unsigned char>(bytes[0]);
        bytes.insert(bytes.size() / 2, QByteArray(qsizetype(control & 0x7F) * 160, 'x'));
        if (control & 0x80 && bytes.size() > 1)
            bytes = QByteArray("V") + bytes[1] + "Prod\r1\r2\r" + bytes.mid(2);
    }
    TDistrib d = TDistrib::FromBytes(bytes);
    TSetupLog log;
    const bool header = d.ReadHeader(log);
    try {
        if (!header && bytes.size() > 1) {
            // Reach the body code also when the header is refused.
            d.Key = static_cast<std::uint8_t>(bytes[1]);
            d.SepCR = TDistrib::Scramble(13, d.Key);
            d.SepLF = TDistrib::Scramble(10, d.Key);
            d.SepAt = TDistrib::Scramble(64, d.Key);
            d.SepNum = TDistrib::Scramble(35, d.Key);
            d.State = TDistribState{};
            d.State.FilePos = 2;
        }
        d.DetectLibrary();
        Walk(d);
    } catch (const EDistribError &) {
        // A clear error is a proper answer to bad bytes.
    }
    return 0;
}
