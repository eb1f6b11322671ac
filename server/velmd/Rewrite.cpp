#include "Rewrite.h"

#include "Util.h"
#include "XapiProtocol.h"

#include <vector>

namespace velmd {
namespace {

bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAlnum(char c) { return IsAlpha(c) || (c >= '0' && c <= '9'); }

// Index after the string literal that starts at i (its end when unterminated).
size_t SkipString(std::string_view s, size_t i)
{
    ++i;
    while (i < s.size()) {
        if (s[i] == '"') {
            if (i + 1 < s.size() && s[i + 1] == '"') {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return s.size();
}

// Index of the first character at parenthesis depth 0, outside literals, that is one of stops.
size_t ScanTo(std::string_view s, size_t i, std::string_view stops)
{
    int depth = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            i = SkipString(s, i);
            continue;
        }
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        else if (depth == 0 && stops.find(c) != std::string_view::npos)
            return i;
        ++i;
    }
    return s.size();
}

std::vector<std::string_view> SplitTop(std::string_view s, char sep)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = ScanTo(s, start, std::string_view(&sep, 1));
        parts.push_back(s.substr(start, at - start));
        if (at >= s.size())
            return parts;
        start = at + 1;
    }
}

std::string Decode(std::string_view literal) // "a""b" -> a"b
{
    std::string out;
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
        out.push_back(literal[i]);
        if (literal[i] == '"')
            ++i;
    }
    return out;
}

std::string Encode(std::string_view text)
{
    std::string out("\"");
    for (char c : text) {
        out.push_back(c);
        if (c == '"')
            out.push_back('"');
    }
    out.push_back('"');
    return out;
}

// A terminated literal and nothing else. SkipString also stops at the end of an unterminated one,
// such as "a"" (its last quote is half of a doubled pair): decoding and quoting that again would
// close it and turn a line that GT.M refuses into one that runs.
bool IsWholeLiteral(std::string_view s)
{
    if (s.size() < 2 || s[0] != '"')
        return false;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] != '"')
            continue;
        if (i + 1 < s.size() && s[i + 1] == '"')
            ++i;
        else
            return i + 1 == s.size();
    }
    return false;
}

std::string XecuteArgument(std::string_view arg)
{
    const size_t colon = ScanTo(arg, 0, ":");
    const std::string_view expr = arg.substr(0, colon);
    std::string out = IsWholeLiteral(expr) ? Encode(RewriteCode(Decode(expr))) : RewriteExpression(expr);
    if (colon < arg.size())
        out += ":" + RewriteExpression(arg.substr(colon + 1));
    return out;
}

} // namespace

std::string RewriteExpression(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 16);
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            const size_t e = SkipString(s, i);
            out.append(s.substr(i, e - i));
            i = e;
            continue;
        }
        if (c != '$') {
            out.push_back(c);
            ++i;
            continue;
        }
        if (i + 1 < s.size() && s[i + 1] == '$') { // an extrinsic: its name is the caller's
            size_t e = i + 2;
            while (e < s.size() && (IsAlnum(s[e]) || s[e] == '%' || s[e] == '^'))
                ++e;
            out.append(s.substr(i, e - i));
            i = e;
            continue;
        }
        size_t e = i + 1;
        while (e < s.size() && IsAlnum(s[e]))
            ++e;
        const std::string name = Upper(s.substr(i + 1, e - i - 1));
        if (name == "ZNSPACE") {
            out += "$$zns^%ZVELMD()";
        } else if ((name == "ZU" || name == "ZUTIL") && e < s.size() && s[e] == '(') {
            out += "$$zu^%ZVELMD";
        } else {
            out.append(s.substr(i, e - i));
        }
        i = e;
    }
    return out;
}

std::string RewriteCode(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 32);
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        while (i < n && s[i] == ' ')
            out.push_back(s[i++]);
        if (i >= n)
            break;
        if (s[i] == ';') {
            out.append(s.substr(i));
            break;
        }
        const size_t w = i;
        while (i < n && IsAlpha(s[i]))
            ++i;
        if (i == w) { // not a command: GT.M will say so
            out += RewriteExpression(s.substr(w));
            break;
        }
        const std::string_view word = s.substr(w, i - w);
        const std::string cmd = Upper(word);
        std::string_view pc;
        bool hasPc = false;
        if (i < n && s[i] == ':') {
            const size_t e = ScanTo(s, i + 1, " ");
            pc = s.substr(i + 1, e - i - 1);
            hasPc = true;
            i = e;
        }
        std::string_view args;
        bool hasArgs = false;
        if (i + 1 < n && s[i] == ' ' && s[i + 1] != ' ' && s[i + 1] != ';') {
            const size_t e = ScanTo(s, i + 1, " ");
            args = s.substr(i + 1, e - i - 1);
            hasArgs = true;
            i = e;
        }
        const std::string pcOut = hasPc ? ":" + RewriteExpression(pc) : std::string();
        const std::string original =
            std::string(word) + pcOut + (hasArgs ? " " + RewriteExpression(args) : std::string());

        if ((cmd == "ZR" || cmd == "ZREMOVE") && !hasArgs) {
            out += "d" + pcOut + " zr^%ZVELMD";
        } else if ((cmd == "ZI" || cmd == "ZINSERT") && hasArgs) {
            const auto parts = SplitTop(args, ',');
            bool plain = true;
            for (auto p : parts)
                plain = plain && !p.empty() && ScanTo(p, 0, ":") == p.size();
            if (!plain) {
                out += original;
                continue;
            }
            out += "d" + pcOut + " ";
            for (size_t k = 0; k < parts.size(); ++k)
                out += (k ? ",zi^%ZVELMD(" : "zi^%ZVELMD(") + RewriteExpression(parts[k]) + ")";
        } else if ((cmd == "ZS" || cmd == "ZSAVE") && hasArgs && xapi::IsRoutineName(args)) {
            out += "d" + pcOut + " zs^%ZVELMD(\"" + std::string(args) + "\")";
        } else if ((cmd == "X" || cmd == "XECUTE") && hasArgs) {
            out += std::string(word) + pcOut + " ";
            const auto parts = SplitTop(args, ',');
            for (size_t k = 0; k < parts.size(); ++k)
                out += (k ? "," : "") + XecuteArgument(parts[k]);
        } else {
            out += original;
        }
    }
    return out;
}

bool MentionsTrap(std::string_view s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '"') {
            i = SkipString(s, i) - 1;
            continue;
        }
        if (s[i] != '$' || i + 3 > s.size())
            continue;
        size_t e = i + 1;
        while (e < s.size() && IsAlnum(s[e]))
            ++e;
        const std::string name = Upper(s.substr(i + 1, e - i - 1));
        if (name == "ZT" || name == "ZTRAP")
            return true;
    }
    return false;
}

} // namespace velmd
