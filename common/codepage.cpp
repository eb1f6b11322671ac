#include "codepage.h"

#include <QHash>

#include <array>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

// A single-byte code page as two tables, built once through iconv.
class SingleByteCodePage
{
public:
    explicit SingleByteCodePage(const char *name)
    {
        iconv_t cd = iconv_open("UTF-32LE", name);
        if (cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv has no code page ") + name);
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            char32_t out = 0;
            char *inp = &in;
            size_t inleft = 1;
            char *outp = reinterpret_cast<char *>(&out);
            size_t outleft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inp, &inleft, &outp, &outleft) == size_t(-1) || outleft != 0)
                out = 0xFFFD; // a byte the code page leaves undefined
            toUnicode[b] = out;
            if (out != 0xFFFD && !fromUnicode.contains(out))
                fromUnicode.insert(out, static_cast<unsigned char>(b));
        }
        iconv_close(cd);
    }

    QString decode(const QByteArray &bytes) const
    {
        QString s;
        s.reserve(bytes.size());
        for (char c : bytes)
            s.append(QChar(static_cast<char16_t>(toUnicode[static_cast<unsigned char>(c)])));
        return s;
    }

    QByteArray encode(const QString &text) const
    {
        QByteArray b;
        b.reserve(text.size());
        for (QChar ch : text) {
            const auto it = fromUnicode.constFind(ch.unicode());
            b.append(it == fromUnicode.cend() ? '?' : static_cast<char>(*it));
        }
        return b;
    }

private:
    std::array<char32_t, 256> toUnicode{};
    QHash<char32_t, unsigned char> fromUnicode;
};

const SingleByteCodePage &win1251()
{
    static const SingleByteCodePage cp("WINDOWS-1251");
    return cp;
}

const SingleByteCodePage &cp866()
{
    static const SingleByteCodePage cp("CP866");
    return cp;
}

} // namespace

QString FromWin1251(const QByteArray &bytes) { return win1251().decode(bytes); }
QByteArray ToWin1251(const QString &text) { return win1251().encode(text); }
QString FromCp866(const QByteArray &bytes) { return cp866().decode(bytes); }
QByteArray ToCp866(const QString &text) { return cp866().encode(text); }

char ServerToDisplay(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 && b <= 0xAF)
        return static_cast<char>(b + 0x40);
    if (b >= 0xE0 && b <= 0xEF)
        return static_cast<char>(b + 0x10);
    if (b == 0xFF)
        return 0x03;
    return c;
}

char DisplayToServer(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0xC0 && b <= 0xEF)
        return static_cast<char>(b - 0x40);
    if (b >= 0xF0)
        return static_cast<char>(b - 0x10);
    if (b == 0x03)
        return static_cast<char>(0xFF);
    return c;
}

QByteArray ServerToDisplay(const QByteArray &bytes)
{
    QByteArray out(bytes);
    for (char &c : out)
        c = ServerToDisplay(c);
    return out;
}

QByteArray DisplayToServer(const QByteArray &bytes)
{
    QByteArray out(bytes);
    for (char &c : out)
        c = DisplayToServer(c);
    return out;
}
