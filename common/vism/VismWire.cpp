#include "VismWire.h"

#include <cstdint>

namespace vism {

static void PutLength(std::string &out, size_t n)
{
    out.push_back(char((n >> 24) & 0xFF));
    out.push_back(char((n >> 16) & 0xFF));
    out.push_back(char((n >> 8) & 0xFF));
    out.push_back(char(n & 0xFF));
}

uint32_t GetLength(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | uint32_t(u[3]);
}

static uint32_t GetLength(std::string_view s, size_t at) { return GetLength(s.data() + at); }

std::string Encode(char type, const std::vector<std::string_view> &fields)
{
    size_t body = 1;
    for (auto f : fields)
        body += 4 + f.size();
    std::string out;
    out.reserve(4 + body);
    PutLength(out, body);
    out.push_back(type);
    for (auto f : fields) {
        PutLength(out, f.size());
        out.append(f);
    }
    return out;
}

bool DecodeBody(std::string_view body, Message &out)
{
    if (body.empty())
        return false;
    out.Type = body[0];
    out.Fields.clear();
    size_t at = 1;
    while (at < body.size()) {
        if (body.size() - at < 4)
            return false;
        const size_t len = GetLength(body, at);
        at += 4;
        if (len > MaxField || len > body.size() - at)
            return false;
        out.Fields.emplace_back(body.substr(at, len));
        at += len;
    }
    return true;
}

bool IsClientMessage(const Message &m)
{
    switch (m.Type) {
    case 'C': return m.Fields.size() == 3;
    case 'X': return m.Fields.size() == 4;
    case 'Q': return m.Fields.empty();
    default: return false;
    }
}

void MessageParser::Feed(std::string_view bytes)
{
    if (FBroken)
        return;
    if (FPos > 0 && (FPos == FBuf.size() || FPos > 65536)) {
        FBuf.erase(0, FPos);
        FPos = 0;
    }
    FBuf.append(bytes);
}

Status MessageParser::Next(Message &out, std::string &error)
{
    auto fail = [&](const char *why) {
        FBroken = true;
        FBuf.clear();
        FPos = 0;
        error = why;
        return Status::Malformed;
    };
    if (FBroken) {
        error = "malformed message";
        return Status::Malformed;
    }
    if (FBuf.size() - FPos < 4)
        return Status::NeedMore;
    const size_t len = GetLength(FBuf, FPos);
    if (len == 0 || len > MaxBody)
        return fail("message length out of range");
    if (FBuf.size() - FPos - 4 < len)
        return Status::NeedMore;
    if (!DecodeBody(std::string_view(FBuf).substr(FPos + 4, len), out))
        return fail("message fields do not fill its body");
    FPos += 4 + len;
    return Status::Done;
}

} // namespace vism
