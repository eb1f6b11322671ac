#pragma once
// The VisM wire format, one codec for velmd and the installer's client: every message, both
// ways, is a 4-byte big-endian body length and the body: one type byte, then fields, each a
// 4-byte big-endian length and its bytes. Plain C++, no Qt.
// Client to server: 'C' (user, password, namespace), 'X' (namespace, code, P1, P2), 'Q'.
// Server to client: 'R' (error "0" or "1", error name, value).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vism {

inline constexpr size_t MaxField = 1 << 20;          // an M string
inline constexpr size_t MaxBody = 4 * MaxField + 64; // the largest 'X'

enum class Status { NeedMore, Done, Malformed };

struct Message
{
    char Type = 0;
    std::vector<std::string> Fields;
};

inline constexpr size_t HeaderSize = 4;

std::string Encode(char type, const std::vector<std::string_view> &fields);
// A 4-byte big-endian length (a message header or a field's).
uint32_t GetLength(const char *p);

// Decodes one body; false when the fields do not fill it exactly.
bool DecodeBody(std::string_view body, Message &out);
// A message a client may send: the right type and number of fields.
bool IsClientMessage(const Message &m);

// Splits the byte stream of a connection into messages; a malformed stream stays malformed.
class MessageParser
{
public:
    void Feed(std::string_view bytes);
    Status Next(Message &out, std::string &error);
    // Bytes of a message not yet whole.
    size_t Buffered() const { return FBuf.size() - FPos; }

private:
    std::string FBuf;
    size_t FPos = 0;
    bool FBroken = false;
};

} // namespace vism
