// velmbank-import's command line and account: what a scheduler's line may say, what it may not
// (a password), and a credentials file that others could read.
#include "batchimport.h"
#include "batchoptions.h"
#include "codepage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

std::optional<TBatchOptions> Parse(const QStringList &args, QString *error = nullptr)
{
    QString e;
    auto o = ParseBatchArguments(args, e);
    if (error)
        *error = e;
    return o;
}

QString S(const char *utf8) { return QString::fromUtf8(utf8); }

TEST(BatchOptions, DefaultsAndBothValueForms)
{
    const auto o = Parse({S("--task"), S("1")});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->Task, 1);
    EXPECT_EQ(o->Profile, QDir::current().absoluteFilePath(S("velmbank.ini")));
    EXPECT_EQ(o->Similar, TSimilarPolicy::Skip);
    EXPECT_FALSE(o->DryRun);
    EXPECT_FALSE(o->Json);
    EXPECT_TRUE(o->Files.isEmpty()) << "the setting's Path and File";
    EXPECT_TRUE(o->Protocol.isEmpty());

    const auto p = Parse({S("--task=2"), S("--similar=close"), S("--client"), S("Клиент-Банк Демо"),
                          S("--setting=Приход (демо)"), S("--surname"), S("Петров"), S("--dry-run"),
                          S("--json"), S("--protocol"), S("proto.txt"),
                          S("--profile=/etc/velmbank/velmbank.ini"), S("a.dbf"), S("--"), S("--b.dbf")});
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Task, 2);
    EXPECT_EQ(p->Similar, TSimilarPolicy::Close);
    EXPECT_EQ(p->Client, S("Клиент-Банк Демо"));
    EXPECT_EQ(p->Setting, S("Приход (демо)"));
    EXPECT_EQ(p->Surname, S("Петров"));
    EXPECT_TRUE(p->DryRun);
    EXPECT_TRUE(p->Json);
    EXPECT_EQ(p->Protocol, QDir::current().absoluteFilePath(S("proto.txt")));
    EXPECT_EQ(p->Profile, S("/etc/velmbank/velmbank.ini"));
    EXPECT_EQ(p->Files, (QStringList{QDir::current().absoluteFilePath(S("a.dbf")),
                                     QDir::current().absoluteFilePath(S("--b.dbf"))}));

    for (const char *policy : {"close", "skip", "create", "stop"}) {
        const auto q = Parse({S("--task=1"), S("--similar"), S(policy)});
        ASSERT_TRUE(q) << policy;
        EXPECT_EQ(PolicyName(q->Similar), S(policy));
    }
    const auto h = Parse({S("--help")});
    ASSERT_TRUE(h);
    EXPECT_TRUE(h->Help) << "help needs no task";
}

TEST(BatchOptions, MistakesAreRefusedWithTheirReason)
{
    const struct
    {
        QStringList Args;
        const char *Reason;
    } cases[] = {
        {{}, "--task 1|2 is required"},
        {{S("--task"), S("0")}, "--task must be 1"},
        {{S("--task"), S("3")}, "--task must be 1"},
        {{S("--task=1"), S("--similar"), S("ask")}, "--similar must be close, skip, create or stop"},
        {{S("--task=1"), S("--similar")}, "--similar needs a value"},
        {{S("--task=1"), S("--password"), S("velm1")}, "never taken from the command line"},
        {{S("--task=1"), S("--private=lich1")}, "never taken from the command line"},
        {{S("--task=1"), S("--user=1")}, "never taken from the command line"},
        {{S("--task=1"), S("--verbose")}, "unknown option --verbose"},
        {{S("--task=1"), S("-x")}, "unknown option -x"},
        {{S("--task=1"), S("--dry-run=yes")}, "--dry-run takes no value"},
        {{S("--task=1"), S("--json=yes")}, "--json takes no value"},
        {{S("--task=1"), S("--client=")}, "--client is empty"},
        {{S("--task=1"), S("--setting"), S("Расход 😀")}, "Windows-1251 cannot hold"},
    };
    for (const auto &c : cases) {
        QString error;
        EXPECT_FALSE(Parse(c.Args, &error)) << c.Args.join(u' ').toStdString();
        EXPECT_TRUE(error.contains(S(c.Reason))) << error.toStdString();
    }
}

TEST(BatchCredentials, EnvironmentNeedsAllThreeAndAUserNumber)
{
    QProcessEnvironment env;
    env.insert(S("VELMBANK_USER"), S("1"));
    env.insert(S("VELMBANK_PASSWORD"), S("пароль"));
    env.insert(S("VELMBANK_PRIVATE"), S(""));
    QString error;
    const auto c = CredentialsFromEnvironment(env, error);
    ASSERT_TRUE(c) << error.toStdString();
    EXPECT_EQ(c->User, "1");
    EXPECT_EQ(c->Password, ToWin1251(S("пароль"))) << "sent in the server's code page";
    EXPECT_EQ(c->Private, "") << "set, though empty: the server judges it";

    env.remove(S("VELMBANK_PRIVATE"));
    EXPECT_FALSE(CredentialsFromEnvironment(env, error));
    EXPECT_TRUE(error.contains(S("VELMBANK_PRIVATE not set"))) << error.toStdString();

    env.insert(S("VELMBANK_PRIVATE"), S("x"));
    for (const char *user : {"", "0", "01", "1a", " 1", "-2"}) {
        env.insert(S("VELMBANK_USER"), S(user));
        EXPECT_FALSE(CredentialsFromEnvironment(env, error)) << user;
        EXPECT_TRUE(error.contains(S("user's number"))) << error.toStdString();
    }
}

class BatchCredentialsFile : public ::testing::Test
{
protected:
    QString Write(const QByteArray &content, mode_t mode)
    {
        const QString path = dir.filePath(S("cred%1").arg(++n));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
        return path;
    }
    QTemporaryDir dir;
    int n = 0;
};

TEST_F(BatchCredentialsFile, OwnerOnlyFileIsRead)
{
    const QString path = Write("# the import's account\r\n"
                               "VELMBANK_USER=12\r\n"
                               "\r\n"
                               "VELMBANK_PASSWORD=\"a b=c\"\r\n"
                               "VELMBANK_PRIVATE=личный \n",
                               0600);
    QString error;
    const auto c = CredentialsFromFile(path, error);
    ASSERT_TRUE(c) << error.toStdString();
    EXPECT_EQ(c->User, "12");
    EXPECT_EQ(c->Password, "a b=c") << "quotes taken off, the rest as written";
    EXPECT_EQ(c->Private, ToWin1251(S("личный "))) << "a password's blanks are its own";

    EXPECT_TRUE(CredentialsFromFile(Write("VELMBANK_USER=1\nVELMBANK_PASSWORD=x\nVELMBANK_PRIVATE=y\n", 0400),
                                    error));
}

TEST_F(BatchCredentialsFile, FileOthersMayUseIsRefusedUnread)
{
    const QByteArray good = "VELMBANK_USER=1\nVELMBANK_PASSWORD=x\nVELMBANK_PRIVATE=y\n";
    QString error;
    for (mode_t mode : {0644, 0640, 0604, 0620, 0660, 0601}) {
        EXPECT_FALSE(CredentialsFromFile(Write(good, mode), error)) << std::oct << mode;
        EXPECT_TRUE(error.contains(S("chmod 600"))) << error.toStdString();
    }
    EXPECT_FALSE(CredentialsFromFile(dir.path(), error));
    EXPECT_TRUE(error.contains(S("not a regular file"))) << error.toStdString();
    EXPECT_FALSE(CredentialsFromFile(dir.filePath(S("none")), error));
    EXPECT_TRUE(error.contains(S("cannot open"))) << error.toStdString();

    EXPECT_FALSE(
        CredentialsFromFile(Write("VELMBANK_USER=1\nVELMBANK_PASWORD=x\nVELMBANK_PRIVATE=y\n", 0600), error));
    EXPECT_TRUE(error.contains(S("line 2: unknown name VELMBANK_PASWORD"))) << error.toStdString();
    EXPECT_FALSE(CredentialsFromFile(Write("VELMBANK_USER=1\nVELMBANK_PRIVATE=y\n", 0600), error));
    EXPECT_TRUE(error.contains(S("VELMBANK_PASSWORD not set"))) << error.toStdString();
    EXPECT_FALSE(CredentialsFromFile(Write("VELMBANK_USER 1\n", 0600), error));
    EXPECT_TRUE(error.contains(S("line 1: NAME=VALUE expected"))) << error.toStdString();
}

} // namespace
