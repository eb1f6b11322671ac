#include "funcs.h"

#include <array>

QByteArray Piece(const QByteArray &text, char sep, int n)
{
    qsizetype start = 0;
    for (int i = 1; i < n; ++i) {
        const qsizetype at = text.indexOf(sep, start);
        if (at < 0)
            return {};
        start = at + 1;
    }
    const qsizetype end = text.indexOf(sep, start);
    return text.mid(start, end < 0 ? -1 : end - start);
}

int CountChar(const QByteArray &text, char ch) { return int(text.count(ch)); }

bool HasHighChars(const QByteArray &text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) > 0x7F)
            return true;
    return false;
}

QByteArray TranslateChars(const QByteArray &text, const QByteArray &from, const QByteArray &to)
{
    // -1: keep, -2: remove, else the replacement byte.
    std::array<int, 256> map;
    map.fill(-1);
    for (qsizetype p = from.size() - 1; p >= 0; --p) {
        const auto c = static_cast<unsigned char>(from[p]);
        map[c] = p < to.size() ? static_cast<unsigned char>(to[p]) : -2;
    }
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        const int m = map[static_cast<unsigned char>(c)];
        if (m == -1)
            out.append(c);
        else if (m >= 0)
            out.append(static_cast<char>(m));
    }
    return out;
}
