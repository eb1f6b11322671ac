#include "ansitext.h"

#include "codepage.h"

#include <array>

namespace {

// Upper case per byte, taken from Unicode through the code page. A letter whose capital the
// code page lacks keeps its byte, so that folding never turns a letter into '?'.
struct UpperTable
{
    std::array<char, 256> Map{};
    UpperTable()
    {
        for (int b = 0; b < 256; ++b) {
            const char c = char(b);
            Map[size_t(b)] = c;
            const QString upper = FromWin1251(QByteArray(1, c)).toUpper();
            if (upper.size() != 1)
                continue;
            const QByteArray back = ToWin1251(upper);
            if (back.size() == 1 && FromWin1251(back) == upper)
                Map[size_t(b)] = back[0];
        }
    }
};

const UpperTable &Upper()
{
    static const UpperTable table;
    return table;
}

} // namespace

QByteArray AnsiUpperCase(const QByteArray &text)
{
    const auto &map = Upper().Map;
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = map[size_t(static_cast<unsigned char>(text[i]))];
    return out;
}

bool AnsiSameText(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    const auto &map = Upper().Map;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (map[size_t(static_cast<unsigned char>(a[i]))] != map[size_t(static_cast<unsigned char>(b[i]))])
            return false;
    return true;
}

qsizetype AnsiIndexOfText(const QList<QByteArray> &list, const QByteArray &text)
{
    for (qsizetype i = 0; i < list.size(); ++i)
        if (AnsiSameText(list[i], text))
            return i;
    return -1;
}
