#pragma once
// The connection profile velmbank.ini: its reader, and TXAPI::LoadProfile, which takes the link's
// parameters from it.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// A Windows profile (ini) file read by the rules of the platform's profile functions:
// section and key names without regard to case, the first occurrence wins, values trimmed
// and at most 2047 bytes, integers with the "0x" hexadecimal form.
class TProfileFile
{
public:
    static constexpr int MaxValue = 2047;

    explicit TProfileFile(const QString &path); // a missing file reads as empty
    static TProfileFile FromBytes(const QByteArray &content);

    bool Exists() const { return FExists; }
    QByteArray ReadString(const QByteArray &section, const QByteArray &key, const QByteArray &def = {}) const;
    qint32 ReadInteger(const QByteArray &section, const QByteArray &key, qint32 def) const;

private:
    TProfileFile() = default;
    void Parse(const QByteArray &content);

    bool FExists = false;
    QHash<QByteArray, QHash<QByteArray, QByteArray>> FSections; // lower-case names
};

// Integer conversion of a profile value: decimal with an optional sign, or "0x" hexadecimal;
// nullopt when the text is none of these.
std::optional<qint32> ProfileInteger(const QByteArray &text);
