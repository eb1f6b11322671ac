// Arbitrary bytes reaching velmd, in arbitrary reads: the handshake parser, the XAPI request
// parser of both framings, the VisM message parser and the code rewriting never crash or hang,
// and what they return does not depend on how the bytes were cut into reads.
//
// Input: two bytes that choose the cutting, then the bytes of the stream.
#include "Rewrite.h"
#include "VismWire.h"
#include "XapiProtocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

void Check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Read sizes from the two leading bytes: a small xorshift, so that every input has its own cutting.
std::vector<size_t> Cutting(uint8_t a, uint8_t b, size_t total)
{
    std::vector<size_t> sizes;
    uint32_t x = (uint32_t(a) << 8 | b) * 2654435761u | 1;
    const uint32_t most = 1 + (b & 0x3F);
    for (size_t done = 0; done < total;) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const size_t n = 1 + x % most;
        sizes.push_back(n);
        done += n;
    }
    return sizes;
}

std::vector<size_t> ByteByByte(size_t total) { return std::vector<size_t>(total, 1); }

void CheckHandshake(std::string_view s, const std::vector<size_t> &cuts)
{
    using namespace velmd::xapi;
    bool refused = false;
    size_t at = 0;
    for (size_t n : cuts) {
        at += n;
        const HandshakeResult r = ParseHandshake(s.substr(0, at));
        if (r.State == Status::Malformed) {
            Check(!r.Error.empty(), "a refused handshake has a text");
            // The time-out's digits may still grow into range; nothing else comes right later.
            if (r.Error.find("time-out must be") == std::string::npos)
                refused = true;
        } else {
            Check(!refused, "a refused handshake stays refused");
        }
        if (r.State == Status::Done) {
            const Handshake &h = r.Fields;
            Check(h.BufferLen >= 100 && h.TimeOut >= 1 && h.TimeOut <= 10000, "handshake numbers in range");
            Check((h.ServerType == "CACHE" && h.Frame == Framing::Cache)
                      || (h.ServerType == "MSM" && h.Frame == Framing::Msm),
                  "framing from the server type");
        }
        if (at >= s.size())
            break;
    }
}

// The bytes a request is made of, to check that the requests parsed are the stream's own.
std::string Bytes(const velmd::xapi::Request &r, velmd::xapi::Framing frame)
{
    using velmd::xapi::Request;
    const bool cache = frame == velmd::xapi::Framing::Cache;
    switch (r.What) {
    case Request::Close: return "\x03";
    case Request::KeepAlive: return cache ? std::string("\x04\0", 2) : std::string("\x01\x04");
    case Request::Call: break;
    }
    std::string s = "\x02"
                    "0";
    s.push_back(char(r.Elements.size()));
    for (const auto &e : r.Elements)
        s += e + velmd::xapi::Esc;
    if (cache)
        s.push_back('\0');
    return s;
}

// What a parser made of a stream fed in the given reads.
template <class Item, class StatusT>
struct ParseRun
{
    std::vector<Item> Items;
    StatusT Last = StatusT::NeedMore;
    std::string Why;
    size_t Buffered = 0;
};

template <class Item, class Parser>
auto Drive(Parser &p, std::string_view s, const std::vector<size_t> &cuts)
{
    using StatusT = decltype(p.Next(std::declval<Item &>(), std::declval<std::string &>()));
    ParseRun<Item, StatusT> run;
    size_t at = 0;
    for (size_t n : cuts) {
        if (at >= s.size() || run.Last == StatusT::Malformed)
            break;
        n = std::min(n, s.size() - at);
        p.Feed(s.substr(at, n));
        at += n;
        for (;;) {
            Item item;
            std::string why;
            run.Last = p.Next(item, why);
            if (run.Last != StatusT::Done) {
                run.Why = why;
                break;
            }
            run.Items.push_back(std::move(item));
        }
    }
    return run;
}

using XapiRun = ParseRun<velmd::xapi::Request, velmd::xapi::Status>;

XapiRun ParseXapi(velmd::xapi::Framing frame, std::string_view s, const std::vector<size_t> &cuts)
{
    velmd::xapi::RequestParser p(frame);
    XapiRun run = Drive<velmd::xapi::Request>(p, s, cuts);
    run.Buffered = p.Buffered();
    return run;
}

bool Same(const XapiRun &a, const XapiRun &b)
{
    if (a.Last != b.Last || a.Why != b.Why || a.Buffered != b.Buffered || a.Items.size() != b.Items.size())
        return false;
    for (size_t i = 0; i < a.Items.size(); ++i)
        if (a.Items[i].What != b.Items[i].What || a.Items[i].Elements != b.Items[i].Elements)
            return false;
    return true;
}

void CheckXapi(velmd::xapi::Framing frame, std::string_view s, const std::vector<size_t> &cuts)
{
    using namespace velmd::xapi;
    const XapiRun whole = ParseXapi(frame, s, {s.size()});
    Check(Same(whole, ParseXapi(frame, s, cuts)), "XAPI requests independent of the reads");
    Check(Same(whole, ParseXapi(frame, s, ByteByByte(s.size()))), "XAPI requests byte by byte");
    Check(whole.Last != Status::Malformed || !whole.Why.empty(), "a malformed stream has a reason");

    std::string again;
    for (const Request &r : whole.Items) {
        if (r.What == Request::Call) {
            Check(!r.Elements.empty() && r.Elements.size() <= 255, "1 to 255 elements");
            for (const auto &e : r.Elements)
                Check(e.find(Esc) == std::string::npos, "no ESC inside an element");
            if (const auto ref = ParseEntryRef(r.Elements[0])) {
                // What reaches M code is a name, a caret and a name: nothing to run beyond it.
                const std::string text = ref->Text();
                Check(text.find_first_of(" \"@(),;:$_\x1b") == std::string::npos
                          && text.find('^') == ref->Label.size()
                          && text.find('^', ref->Label.size() + 1) == std::string::npos,
                      "an entry reference is label^routine");
                Check((ref->Function ? "$$" + text : text) == r.Elements[0],
                      "an entry reference is its element");
            }
        }
        again += Bytes(r, frame);
    }
    Check(s.substr(0, again.size()) == again, "requests are the stream's own bytes");
    if (whole.Last == Status::NeedMore)
        Check(again.size() + whole.Buffered == s.size(), "nothing lost between requests");
}

using VismRun = ParseRun<vism::Message, vism::Status>;

VismRun ParseVism(std::string_view s, const std::vector<size_t> &cuts)
{
    vism::MessageParser p;
    return Drive<vism::Message>(p, s, cuts);
}

bool Same(const VismRun &a, const VismRun &b)
{
    if (a.Last != b.Last || a.Why != b.Why || a.Items.size() != b.Items.size())
        return false;
    for (size_t i = 0; i < a.Items.size(); ++i)
        if (a.Items[i].Type != b.Items[i].Type || a.Items[i].Fields != b.Items[i].Fields)
            return false;
    return true;
}

void CheckVism(std::string_view s, const std::vector<size_t> &cuts)
{
    using namespace vism;
    const VismRun whole = ParseVism(s, {s.size()});
    Check(Same(whole, ParseVism(s, cuts)), "VisM messages independent of the reads");
    Check(Same(whole, ParseVism(s, ByteByByte(s.size()))), "VisM messages byte by byte");
    std::string again;
    for (const Message &m : whole.Items) {
        (void)IsClientMessage(m);
        std::vector<std::string_view> fields(m.Fields.begin(), m.Fields.end());
        again += Encode(m.Type, fields);
    }
    Check(s.substr(0, again.size()) == again, "messages are the stream's own bytes");
}

void CheckRewrite(std::string_view s)
{
    const std::string code = velmd::RewriteCode(s);
    const std::string expr = velmd::RewriteExpression(s);
    const bool trap = velmd::MentionsTrap(s);
    // Only $-forms and Z-commands are ever rewritten.
    if (s.find_first_of("$zZ") == std::string_view::npos) {
        Check(code == s, "a line without platform forms is kept");
        Check(expr == s, "an expression without platform forms is kept");
        Check(!trap, "no trap without a $");
    }
    // What has been rewritten has nothing left to rewrite. (Not so for command lines: after a
    // word that is not followed by a space or a colon, the rest is no longer read as commands.)
    Check(velmd::RewriteExpression(expr) == expr, "rewriting an expression twice changes nothing");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const std::string_view s(reinterpret_cast<const char *>(data) + 2, size - 2);
    const std::vector<size_t> cuts = Cutting(data[0], data[1], s.size());
    CheckHandshake(s, cuts);
    CheckXapi(velmd::xapi::Framing::Cache, s, cuts);
    CheckXapi(velmd::xapi::Framing::Msm, s, cuts);
    CheckVism(s, cuts);
    CheckRewrite(s);
    return 0;
}
