#include "XapiProtocol.h"

#include "Util.h"

namespace velmd::xapi {

HandshakeResult ParseHandshake(std::string_view bytes)
{
    HandshakeResult r;
    auto malformed = [&r](std::string why) {
        r.State = Status::Malformed;
        r.Error = std::move(why);
        return r;
    };
    size_t nuls = 0;
    for (char c : bytes)
        nuls += c == '\0';
    if (nuls > 7)
        return malformed("Malformed handshake: too many fields");
    if (bytes.size() > MaxHandshake)
        return malformed("Malformed handshake: too long");
    if (!bytes.empty() && bytes[0] != '1')
        return malformed("Malformed handshake: not an XAPI handshake");
    const auto fields = Split(bytes, '\0');
    // The digits of the last two fields are checked as they come, to refuse junk early.
    for (size_t i = 6; i < fields.size(); ++i)
        for (char c : fields[i])
            if (c < '0' || c > '9')
                return malformed(i == 6 ? "Malformed handshake: buffer length is not a number"
                                        : "Malformed handshake: time-out is not a number");
    if (nuls < 7 || fields[7].empty())
        return r;
    if (fields[0] != "1")
        return malformed("Malformed handshake: not an XAPI handshake");
    Handshake &h = r.Fields;
    h.ServerType = fields[1];
    h.Version = fields[2];
    h.UserName = fields[3];
    h.PassWord = fields[4];
    h.NameSpace = fields[5];
    const auto len = ParseInt(fields[6], 100, 1 << 30);
    if (!len)
        return malformed("Malformed handshake: buffer length must be at least 100");
    const auto timeOut = ParseInt(fields[7], 1, 10000);
    if (!timeOut)
        return malformed("Malformed handshake: time-out must be 1 to 10000 seconds");
    h.BufferLen = *len;
    h.TimeOut = *timeOut;
    if (h.ServerType == "CACHE")
        h.Frame = Framing::Cache;
    else if (h.ServerType == "MSM")
        h.Frame = Framing::Msm;
    else
        return malformed("Unsupported server type (CACHE or MSM expected)");
    r.State = Status::Done;
    return r;
}

void RequestParser::Feed(std::string_view bytes)
{
    if (FBroken)
        return;
    // Drop what has been consumed before the buffer grows again.
    if (FPos > 0 && (FPos == FBuf.size() || FPos > 65536)) {
        FBuf.erase(0, FPos);
        FScan = FScan > FPos ? FScan - FPos : 0;
        FPos = 0;
    }
    FBuf.append(bytes);
}

Status RequestParser::Fail(std::string &error, const char *why)
{
    FBroken = true;
    FWhy = why;
    error = FWhy;
    FBuf.clear();
    FPos = FScan = 0;
    return Status::Malformed;
}

Status RequestParser::Next(Request &out, std::string &error)
{
    if (FBroken) {
        error = FWhy;
        return Status::Malformed;
    }
    const size_t avail = FBuf.size() - FPos;
    if (avail == 0)
        return Status::NeedMore;
    const unsigned char first = static_cast<unsigned char>(FBuf[FPos]);
    if (first == 0x03) {
        ++FPos;
        out.What = Request::Close;
        out.Elements.clear();
        return Status::Done;
    }
    const bool cache = FFrame == Framing::Cache;
    if ((cache && first == 0x04) || (!cache && first == 0x01)) {
        if (avail < 2)
            return Status::NeedMore;
        if (FBuf[FPos + 1] != (cache ? '\0' : '\x04'))
            return Fail(error, "malformed keep-alive");
        FPos += 2;
        out.What = Request::KeepAlive;
        out.Elements.clear();
        return Status::Done;
    }
    if (first != 0x02)
        return Fail(error, "unknown request");
    if (avail < 3)
        return Status::NeedMore;
    if (FBuf[FPos + 1] != '0')
        return Fail(error, "malformed call request");
    if (FScan < FPos + 3) { // a new call
        FCount = static_cast<unsigned char>(FBuf[FPos + 2]);
        if (FCount == 0)
            return Fail(error, "call request without a routine reference");
        FScan = FPos + 3;
        FTotal = 0;
        FElements.clear();
    }
    while (int(FElements.size()) < FCount) {
        const size_t esc = FBuf.find(Esc, FScan);
        if (esc == std::string::npos) {
            if (FBuf.size() - FScan > MaxElement || FTotal + (FBuf.size() - FScan) > MaxRequest)
                return Fail(error, "call request too long");
            return Status::NeedMore;
        }
        const size_t len = esc - FScan;
        if (len > MaxElement || FTotal + len > MaxRequest)
            return Fail(error, "call request too long");
        FElements.emplace_back(FBuf, FScan, len);
        FTotal += len;
        FScan = esc + 1;
    }
    if (cache) {
        if (FScan >= FBuf.size())
            return Status::NeedMore;
        if (FBuf[FScan] != '\0')
            return Fail(error, "call request not ended by 0x00");
        ++FScan;
    }
    FPos = FScan;
    out.What = Request::Call;
    out.Elements = std::move(FElements);
    FElements.clear();
    return Status::Done;
}

static bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsRoutineName(std::string_view name)
{
    if (name.empty() || name.size() > 31)
        return false;
    if (name[0] != '%' && !IsAlpha(name[0]))
        return false;
    for (size_t i = 1; i < name.size(); ++i)
        if (!IsAlpha(name[i]) && !IsDigit(name[i]))
            return false;
    return true;
}

static bool IsLabel(std::string_view label)
{
    if (label.empty() || label.size() > 31)
        return false;
    bool digits = true;
    for (char c : label)
        digits = digits && IsDigit(c);
    return digits || IsRoutineName(label);
}

std::string EntryRef::Text() const { return Label + "^" + Routine; }

std::optional<EntryRef> ParseEntryRef(std::string_view ref)
{
    EntryRef r;
    if (ref.substr(0, 2) == "$$") {
        r.Function = true;
        ref.remove_prefix(2);
    }
    const size_t caret = ref.find('^');
    if (caret == std::string_view::npos)
        return std::nullopt;
    const std::string_view label = ref.substr(0, caret);
    const std::string_view routine = ref.substr(caret + 1);
    if ((!label.empty() && !IsLabel(label)) || !IsRoutineName(routine))
        return std::nullopt;
    r.Label = label;
    r.Routine = routine;
    return r;
}

std::string HandshakeAccept(int port)
{
    std::string s = std::to_string(port);
    s.push_back('\0');
    return s;
}

std::string HandshakeRefusal(bool wrongPassword, std::string_view text)
{
    std::string s;
    s.push_back('\0');
    s.push_back(wrongPassword ? '\x01' : '\x02');
    s.append(text.substr(0, text.find('\0')));
    s.push_back('\0');
    return s;
}

std::optional<std::string> NormalReply(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos || text.find(Esc) != std::string_view::npos)
        return std::nullopt;
    std::string s;
    s.reserve(text.size() + 1);
    s.append(text);
    s.push_back(Esc);
    return s;
}

std::string ErrorReply(std::string_view text, int bufferLen)
{
    text = text.substr(0, text.find('\0'));
    const size_t room = bufferLen > 3 ? size_t(bufferLen) - 3 : 0;
    if (text.size() > room)
        text = text.substr(0, room);
    std::string s("\x1b\x1b");
    s.append(text);
    s.push_back('\0');
    return s;
}

} // namespace velmd::xapi
