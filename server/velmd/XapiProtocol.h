#pragma once
// The server's side of the XAPI wire: the handshake, the requests of a session and the replies.
// Pure functions and a byte-fed parser, apart from any socket, so that they can be fuzzed.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmd::xapi {

inline constexpr char Esc = 0x1B;
inline constexpr size_t MaxHandshake = 4096;
inline constexpr size_t MaxElement = 1 << 20;   // an M string
inline constexpr size_t MaxRequest = 16u << 20; // all elements of one call

enum class Framing { Cache, Msm };
enum class Status { NeedMore, Done, Malformed };

struct Handshake
{
    std::string ServerType, Version, UserName, PassWord, NameSpace;
    int BufferLen = 0;
    int TimeOut = 0;
    Framing Frame = Framing::Cache;
};

struct HandshakeResult
{
    Status State = Status::NeedMore;
    Handshake Fields;
    std::string Error; // for Malformed: the refusal text
};

// The handshake is "1", ServerType, Version, UserName, PassWord, NameSpace, BufferLen, TimeOut,
// separated by 0x00, with nothing after the last digit: it is complete once the eighth field has
// begun (the caller then takes whatever else has already arrived).
HandshakeResult ParseHandshake(std::string_view bytes);

struct Request
{
    enum Kind { Call, KeepAlive, Close } What = Call;
    std::vector<std::string> Elements;
};

// Splits the byte stream of a session into requests. A malformed stream stays malformed.
class RequestParser
{
public:
    explicit RequestParser(Framing frame) : FFrame(frame) {}
    void Feed(std::string_view bytes);
    Status Next(Request &out, std::string &error);
    size_t Buffered() const { return FBuf.size() - FPos; }

private:
    Status Fail(std::string &error, const char *why);

    Framing FFrame;
    std::string FBuf;
    size_t FPos = 0;   // start of the request being read
    size_t FScan = 0;  // where the element scan goes on
    size_t FTotal = 0; // element bytes of the request so far
    std::vector<std::string> FElements;
    int FCount = 0;
    bool FBroken = false;
    std::string FWhy;
};

// An entry reference a call may name: [$$][label]^routine, nothing else.
struct EntryRef
{
    bool Function = false;
    std::string Label, Routine;
    std::string Text() const; // label^routine, without $$
};
std::optional<EntryRef> ParseEntryRef(std::string_view ref);
bool IsRoutineName(std::string_view name);

std::string HandshakeAccept(int port);
std::string HandshakeRefusal(bool wrongPassword, std::string_view text);
// A normal reply cannot carry 0x00 or ESC: nullopt then.
std::optional<std::string> NormalReply(std::string_view text);
// ESC ESC text 0x00, cut at a 0x00 of the text and short enough to come in one client read.
std::string ErrorReply(std::string_view text, int bufferLen);

} // namespace velmd::xapi
