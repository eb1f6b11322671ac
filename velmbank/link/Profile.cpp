#include "Profile.h"

#include "UXAPI.h"
#include "Ui.h"
#include "codepage.h"

#include <QFile>
#include <QFileInfo>

// ---- the profile file ----

TProfileFile::TProfileFile(const QString &path)
{
    QFile f(path);
    if (!f.exists())
        return;
    if (!f.open(QIODevice::ReadOnly))
        throw TVELM_Activate_Except(
            QStringLiteral("Не удалось прочитать файл \"%1\": %2").arg(path, f.errorString()));
    FExists = true;
    Parse(f.readAll());
}

TProfileFile TProfileFile::FromBytes(const QByteArray &content)
{
    TProfileFile p;
    p.FExists = true;
    p.Parse(content);
    return p;
}

void TProfileFile::Parse(const QByteArray &content)
{
    QHash<QByteArray, QByteArray> *section = nullptr;
    for (QByteArray line : content.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            const QByteArray name = line.mid(1, close < 0 ? -1 : close - 1).trimmed().toLower();
            // Only the first section of a name is seen, as by the platform's functions.
            section = FSections.contains(name) ? nullptr : &FSections[name];
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!section || eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed().toLower();
        if (key.isEmpty() || section->contains(key))
            continue;
        QByteArray value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
            && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        section->insert(key, value.left(MaxValue));
    }
}

QByteArray TProfileFile::ReadString(const QByteArray &section, const QByteArray &key,
                                    const QByteArray &def) const
{
    const auto s = FSections.constFind(section.toLower());
    if (s == FSections.cend())
        return def.left(MaxValue);
    const auto v = s->constFind(key.toLower());
    return v == s->cend() ? def.left(MaxValue) : *v;
}

std::optional<qint32> ProfileInteger(const QByteArray &text)
{
    bool ok = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const QByteArray digits = text.mid(2);
        // Hexadecimal is a 32-bit pattern: 0xFFFFFFFF reads as -1.
        const quint32 v = digits.size() <= 8 ? digits.toUInt(&ok, 16) : 0;
        if (!ok || digits.front() == '+' || digits.front() == '-')
            return std::nullopt;
        return static_cast<qint32>(v);
    }
    if (text.isEmpty() || text.trimmed().size() != text.size())
        return std::nullopt;
    const qint32 v = text.toInt(&ok, 10);
    return ok ? std::optional<qint32>(v) : std::nullopt;
}

qint32 TProfileFile::ReadInteger(const QByteArray &section, const QByteArray &key, qint32 def) const
{
    return ProfileInteger(ReadString(section, key)).value_or(def);
}

// ---- LoadProfile ----

bool TXAPI::LoadProfile(const QString &path)
{
    const auto refuse = [](const QString &message) {
        Ui().ShowMessage(message);
        return false;
    };
    if (!QFileInfo::exists(path))
        return refuse(QStringLiteral("Не найден файл с именем \"%1\".").arg(path));

    const TProfileFile ini(path);
    const QByteArray xapi("XAPI");

    ServerType = ini.ReadString(xapi, "ServerType");
    if (ServerType.isEmpty())
        return refuse(QStringLiteral("Неуказан тип сервера."));
    // The framing and the keep-alive exist only for these two: refuse anything else now
    // rather than send requests that no server understands.
    if (!XapiWire::IsKnownServerType(ServerType))
        return refuse(QStringLiteral("Неизвестный тип сервера \"%1\": допустимы CACHE и MSM.")
                          .arg(FromWin1251(ServerType)));
    Version = ini.ReadString(xapi, "Version");
    if (Version.isEmpty())
        return refuse(QStringLiteral("Неуказана версия XAPI."));
    UserName = ini.ReadString(xapi, "UserName");
    PassWord = ini.ReadString(xapi, "PassWord");
    NameSpace = ini.ReadString(xapi, "NameSpace");
    if (NameSpace.isEmpty())
        return refuse(QStringLiteral("Неуказана область в которую производить соединение."));
    Server = ini.ReadString(xapi, "Server");
    if (Server.isEmpty())
        return refuse(QStringLiteral("Неуказан IP адрес сервера."));
    BufferLen = ini.ReadInteger(xapi, "BUFFERLEN", 4096);
    if (BufferLen < 100)
        return refuse(QStringLiteral("Не верно указан \"BUFFERLEN\"."));
    TimeOut = ini.ReadInteger(xapi, "TIMEOUT", 60);
    if (TimeOut < 1 || TimeOut > 10000)
        return refuse(QStringLiteral("Параметр \"TimeOut\" должен быть от 1 до 10000 !"));

    const QList<QByteArray> parts = Server.split('.');
    for (int i = 0; i < 4; ++i) {
        try {
            Address[size_t(i)] = static_cast<std::uint8_t>(StrToInt(parts.value(i)) & 0xFF);
        } catch (const EConvertError &) {
            return refuse(QStringLiteral("Не верно указан IP адрес сервера."));
        }
    }

    Port = ini.ReadInteger(xapi, "Port", 0);
    if (Port == 0)
        return refuse(QStringLiteral("Неуказан порт сервера."));
    return true;
}
