// Arbitrary reads from a server: the scanners never read out of bounds and their results
// keep the protocol's promises.
#include "XapiWire.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const auto *bytes = reinterpret_cast<const char *>(data);
    const auto n = qsizetype(size);

    const XapiWire::ReplyChunk c = XapiWire::ScanReplyChunk(bytes, n);
    if (c.Text.size() > n || c.Text.contains('\0'))
        std::abort();
    if (!c.Error && c.Text.contains('\x1b'))
        std::abort();

    // The same bytes as reads of one reply, split at every third byte: the reader either
    // completes, throws the server's error, or waits for more, and never keeps a 0x00.
    XapiWire::TReplyReader reader;
    try {
        for (qsizetype at = 0; at < n; at += 3)
            if (reader.Feed(bytes + at, std::min<qsizetype>(3, n - at)))
                break;
        if (reader.Take().contains('\0'))
            std::abort();
    } catch (const TVELM_Activate_Except &) {}

    const XapiWire::HandshakeReply h = XapiWire::ScanHandshakeReply(bytes, n);
    if (h.Text.size() > n || h.Text.contains('\0'))
        std::abort();
    if (h.Accepted) {
        try {
            (void)StrToInt(h.Text);
        } catch (const EConvertError &) {}
    }
    return 0;
}
