// Arbitrary profile files: the reader never crashes, and what it returns keeps its limits.
#include "Profile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const TProfileFile p = TProfileFile::FromBytes(content);
    for (const char *key : {"ServerType", "Version", "UserName", "PassWord", "NameSpace", "Server",
                            "BUFFERLEN", "TIMEOUT", "Port"}) {
        const QByteArray v = p.ReadString("XAPI", key);
        if (v.size() > TProfileFile::MaxValue)
            std::abort();
        (void)p.ReadInteger("xapi", key, 0);
    }
    (void)ProfileInteger(content.left(64));
    return 0;
}
