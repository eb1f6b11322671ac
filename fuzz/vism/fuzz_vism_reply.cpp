// Arbitrary bytes as the body of a VisM reply: the decoder never reads outside the body and
// every field it gives lies inside it.

#include "VisM.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    char type = 0;
    QList<QByteArray> fields;
    if (VisMWire::Decode(body, type, fields)) {
        qsizetype total = 1;
        for (const QByteArray &f : fields)
            total += 4 + f.size();
        if (total != body.size() || VisMWire::Encode(type, fields).mid(4) != body)
            std::abort();
    }
    return 0;
}
