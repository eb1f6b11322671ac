// The connection profile: the reading rules and LoadProfile's checks in their order.
#include "Connect.h"
#include "ScriptedUi.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray Good = "[XAPI]\r\n"
                        "ServerType=CACHE\r\n"
                        "Version=1\r\n"
                        "UserName=gw\r\n"
                        "PassWord=secret\r\n"
                        "NameSpace=VELM\r\n"
                        "Server=192.168.0.1\r\n"
                        "Port=1973\r\n";

class Profile : public ::testing::Test
{
protected:
    // Writes the profile with key set to value (or removed when value is null) and loads it.
    bool Load(const QByteArray &key = {}, const QByteArray &value = {}, bool remove = false)
    {
        QByteArray text;
        for (const QByteArray &line : Good.split('\n')) {
            if (!key.isEmpty() && line.toLower().startsWith(key.toLower() + '='))
                continue;
            text += line + '\n';
        }
        if (!key.isEmpty() && !remove)
            text += key + '=' + value + "\r\n";
        QFile f(path());
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        ui.Clear();
        return x.LoadProfile(path());
    }
    QString path() const { return dir.filePath(QStringLiteral("velmbank.ini")); }

    QTemporaryDir dir;
    ScriptedUi ui;
    TXAPI x;
};

} // namespace

TEST_F(Profile, GoodProfileFillsTheLink)
{
    ASSERT_TRUE(Load());
    EXPECT_EQ(x.ServerType, "CACHE");
    EXPECT_EQ(x.UserName, "gw");
    EXPECT_EQ(x.PassWord, "secret");
    EXPECT_EQ(x.NameSpace, "VELM");
    EXPECT_EQ(x.Address, (std::array<std::uint8_t, 4>{192, 168, 0, 1}));
    EXPECT_EQ(x.Port, 1973);
    EXPECT_EQ(x.BufferLen, 4096);
    EXPECT_EQ(x.TimeOut, 60);
    EXPECT_TRUE(ui.Events.isEmpty());
}

TEST_F(Profile, MissingFileAndMissingKeysInOrder)
{
    EXPECT_FALSE(x.LoadProfile(dir.filePath(QStringLiteral("none.ini"))));
    EXPECT_EQ(
        ui.Messages(),
        QStringList{
            QStringLiteral("Не найден файл с именем \"%1\".").arg(dir.filePath(QStringLiteral("none.ini")))});

    const std::pair<const char *, const char *> checks[] = {
        {"ServerType", "Неуказан тип сервера."},
        {"Version", "Неуказана версия XAPI."},
        {"NameSpace", "Неуказана область в которую производить соединение."},
        {"Server", "Неуказан IP адрес сервера."},
        {"Port", "Неуказан порт сервера."},
    };
    for (const auto &[key, message] : checks) {
        EXPECT_FALSE(Load(key, {}, true)) << key;
        EXPECT_EQ(ui.Messages(), QStringList{QString::fromUtf8(message)}) << key;
    }
    // The port is checked last: everything before it has been read and kept.
    Load("Port", {}, true);
    EXPECT_EQ(x.Address, (std::array<std::uint8_t, 4>{192, 168, 0, 1}));
    EXPECT_EQ(x.NameSpace, "VELM");
    // An empty value is as good as missing; UserName and PassWord may be empty.
    EXPECT_FALSE(Load("Version", ""));
    EXPECT_TRUE(Load("UserName", ""));
    EXPECT_TRUE(Load("PassWord", ""));
    EXPECT_EQ(x.PassWord, "");
}

TEST_F(Profile, OnlyKnownServerTypesAreAccepted)
{
    EXPECT_TRUE(Load("ServerType", "MSM"));
    EXPECT_FALSE(Load("ServerType", "cache")); // compared case-sensitively, as the framing is
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("Неизвестный тип сервера \"cache\": допустимы CACHE и MSM.")});
}

TEST_F(Profile, BufferLenAndTimeOutBounds)
{
    const QString bufferMsg = QStringLiteral("Не верно указан \"BUFFERLEN\".");
    const QString timeoutMsg = QStringLiteral("Параметр \"TimeOut\" должен быть от 1 до 10000 !");
    EXPECT_FALSE(Load("BUFFERLEN", "99"));
    EXPECT_EQ(ui.Messages(), QStringList{bufferMsg});
    EXPECT_TRUE(Load("BUFFERLEN", "100"));
    EXPECT_EQ(x.BufferLen, 100);
    EXPECT_TRUE(Load("BUFFERLEN", "lots"));
    EXPECT_EQ(x.BufferLen, 4096);
    EXPECT_TRUE(Load("BUFFERLEN", {}, true));
    EXPECT_EQ(x.BufferLen, 4096);

    for (const char *bad : {"0", "10001", "-1"}) {
        EXPECT_FALSE(Load("TIMEOUT", bad)) << bad;
        EXPECT_EQ(ui.Messages(), QStringList{timeoutMsg});
    }
    for (int good : {1, 10000}) {
        EXPECT_TRUE(Load("TIMEOUT", QByteArray::number(good)));
        EXPECT_EQ(x.TimeOut, good);
    }
    EXPECT_TRUE(Load("TIMEOUT", "soon"));
    EXPECT_EQ(x.TimeOut, 60);
}

TEST_F(Profile, ServerAddressForms)
{
    const QString badIp = QStringLiteral("Не верно указан IP адрес сервера.");
    EXPECT_FALSE(Load("Server", "10.0.0"));
    EXPECT_EQ(ui.Messages(), QStringList{badIp});
    ASSERT_TRUE(Load("Server", "10.0.0.1.7"));
    EXPECT_EQ(x.Address, (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
    ASSERT_TRUE(Load("Server", "10.0.0.257"));
    EXPECT_EQ(x.Address, (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
    for (const char *bad : {"gateway.example", "localhost", "10..0.1", "10.0.0.x"}) {
        EXPECT_FALSE(Load("Server", bad)) << bad;
        EXPECT_EQ(ui.Messages(), QStringList{badIp});
    }
}

TEST_F(Profile, ReadingRules)
{
    ASSERT_TRUE(Load("Port", "0x0400"));
    EXPECT_EQ(x.Port, 1024);
    EXPECT_FALSE(Load("Port", "0x")); // too short to be hexadecimal: the default 0
    EXPECT_FALSE(Load("Port", "0xZZ"));

    // Section and key names in another case are found; values are trimmed.
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[other]\nservertype=MSM\n[xapi]\nservertype = CACHE \nVERSION=2\nnamespace=\"USER\"\n"
            "SERVER=127.0.0.1\nport=5000\nPort=6000\n");
    f.close();
    ASSERT_TRUE(x.LoadProfile(path()));
    EXPECT_EQ(x.ServerType, "CACHE");
    EXPECT_EQ(x.Version, "2");
    EXPECT_EQ(x.NameSpace, "USER"); // surrounding quotes go, as with the platform's reader
    EXPECT_EQ(x.Port, 5000);        // the first occurrence wins

    // Only the first 2047 bytes of a value are used.
    ASSERT_TRUE(Load("PassWord", QByteArray(3000, 'p')));
    EXPECT_EQ(x.PassWord.size(), 2047);
}

TEST(ProfileFile, IntegersAndBytes)
{
    EXPECT_EQ(ProfileInteger("0x10"), 16);
    EXPECT_EQ(ProfileInteger("0XfF"), 255);
    EXPECT_EQ(ProfileInteger("0xFFFFFFFF"), -1);
    EXPECT_EQ(ProfileInteger("0x100000000"), std::nullopt);
    EXPECT_EQ(ProfileInteger("-12"), -12);
    EXPECT_EQ(ProfileInteger("12 "), std::nullopt);
    EXPECT_EQ(ProfileInteger(""), std::nullopt);
    EXPECT_EQ(ProfileInteger("2147483648"), std::nullopt);

    const TProfileFile p = TProfileFile::FromBytes("[XAPI]\nNameSpace=\xc2\xc5\xcb\xdc\xcc\nA=x=y\n=bare\n");
    EXPECT_EQ(p.ReadString("xapi", "namespace"), "\xc2\xc5\xcb\xdc\xcc"); // bytes unchanged
    EXPECT_EQ(p.ReadString("XAPI", "A"), "x=y");
    EXPECT_EQ(p.ReadString("XAPI", "missing", "dflt"), "dflt");
    EXPECT_EQ(p.ReadInteger("XAPI", "missing", 7), 7);
}
