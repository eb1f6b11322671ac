#include "batchoptions.h"

#include "codepage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

QString PolicyName(TSimilarPolicy policy)
{
    switch (policy) {
    case TSimilarPolicy::Ask: return QStringLiteral("ask");
    case TSimilarPolicy::Skip: return QStringLiteral("skip");
    case TSimilarPolicy::Close: return QStringLiteral("close");
    case TSimilarPolicy::Create: return QStringLiteral("create");
    case TSimilarPolicy::Stop: return QStringLiteral("stop");
    }
    return {};
}

bool FitsWin1251(const QString &text) { return FromWin1251(ToWin1251(text)) == text; }

QString BatchUsage()
{
    return QStringLiteral(
        "usage: velmbank-import --task 1|2 [OPTION...] [FILE...]\n"
        "\n"
        "Imports client-bank files (dBASE, or 1C exchange texts) into Вельм without windows, as the\n"
        "gateway does: login, the exclusive lock, TOinGL, the import, the run, GLinTO, unlock,\n"
        "logout. Without FILE, the setting's own Path and File.\n"
        "\n"
        "  --task 1|2            1 money out (Деньги: Расход), 2 money in (Деньги: Приход)\n"
        "  --client NAME         the client-bank (default: the task's client-bank)\n"
        "  --setting NAME        the setting's name as the operator sees it (default: the task's)\n"
        "  --similar POLICY      records with similar documents in Вельм:\n"
        "                          skip    leave them out (default)\n"
        "                          close   close the first unclosed one (needs the right to close);\n"
        "                                  skip those whose similar documents are all closed\n"
        "                          create  create a document anyway\n"
        "                          stop    end the run before the first of them\n"
        "  --surname NAME        the surname sent with every document (default: the one the\n"
        "                        gateway stored for the user and task)\n"
        "  --dry-run             convert and diagnose every record, write nothing to Вельм\n"
        "  --json                stdout as JSON, one object a line: each record, then the summary\n"
        "  --protocol FILE       append the work protocol (Windows-1251), as the gateway writes it,\n"
        "                        under a header with the date and time of the work\n"
        "  --profile FILE        the connection profile (default: velmbank.ini here)\n"
        "  --credentials FILE    lines VELMBANK_USER=, VELMBANK_PASSWORD=, VELMBANK_PRIVATE=;\n"
        "                        refused unless only its owner may use it (chmod 600)\n"
        "  -h, --help            this text\n"
        "\n"
        "Without --credentials the user number and both passwords come from the environment:\n"
        "VELMBANK_USER, VELMBANK_PASSWORD, VELMBANK_PRIVATE. Never from the command line.\n"
        "\n"
        "stdout: one line per record, tab-separated: record number, document number, result\n"
        "(created, closed, skipped, stopped, not processed, refused; with --dry-run: would\n"
        "create, would close, would skip, would stop), and a text (the closed document, the\n"
        "similar ones, the server's reason); with several files a line FILE<tab>PATH before each\n"
        "file's lines, and FILE<tab>PATH<tab>not processed<tab>WHY for a file after a failed one\n"
        "or after a signal; then the summary of GLinTO. With --json each record is an object\n"
        "{\"file\", \"record\", \"document\", \"outcome\", \"text\"}, a file not processed\n"
        "{\"file\", \"outcome\", \"text\"}, and the last line {\"summary\": {OUTCOME: COUNT, ...},\n"
        "\"files\", \"exit\", \"totals\"} (totals: the summary of GLinTO). Messages go to stderr,\n"
        "each line after the date and time, and to the protocol.\n"
        "\n"
        "Exit: 0 every included record created, closed or skipped by the policy; 1 some records\n"
        "refused (by the diagnosis or the server) or left unprocessed (stop, a signal: a wait on\n"
        "the server ends within a second, then the lock is released and the user logged out); 2 a\n"
        "failure (options, credentials, link, login, setting, file); 3 the exclusive lock is held\n"
        "by another user.\n");
}

std::optional<TBatchOptions> ParseBatchArguments(const QStringList &arguments, QString &error)
{
    TBatchOptions o;
    QString profile = QStringLiteral("velmbank.ini");
    bool onlyFiles = false;

    const QStringList valued{QStringLiteral("profile"), QStringLiteral("credentials"),
                             QStringLiteral("task"),    QStringLiteral("client"),
                             QStringLiteral("setting"), QStringLiteral("surname"),
                             QStringLiteral("similar"), QStringLiteral("protocol")};
    const QStringList secret{QStringLiteral("password"), QStringLiteral("private"), QStringLiteral("user"),
                             QStringLiteral("pass")};

    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (onlyFiles || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            o.Files << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            onlyFiles = true;
            continue;
        }
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            o.Help = true;
            continue;
        }
        if (!a.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option %1").arg(a);
            return std::nullopt;
        }
        QString name = a.mid(2);
        std::optional<QString> value;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        }
        if (secret.contains(name)) {
            error = QStringLiteral("--%1: the account is never taken from the command line; use "
                                   "VELMBANK_USER, VELMBANK_PASSWORD, VELMBANK_PRIVATE or "
                                   "--credentials FILE")
                        .arg(name);
            return std::nullopt;
        }
        if (name == QLatin1String("dry-run") || name == QLatin1String("json")) {
            if (value) {
                error = QStringLiteral("--%1 takes no value").arg(name);
                return std::nullopt;
            }
            (name == QLatin1String("json") ? o.Json : o.DryRun) = true;
            continue;
        }
        if (!valued.contains(name)) {
            error = QStringLiteral("unknown option --%1").arg(name);
            return std::nullopt;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("--%1 needs a value").arg(name);
                return std::nullopt;
            }
            value = arguments[++i];
        }
        const QString &v = *value;
        if (name == QLatin1String("profile")) {
            profile = v;
        } else if (name == QLatin1String("credentials")) {
            o.Credentials = v;
        } else if (name == QLatin1String("task")) {
            if (v != QLatin1String("1") && v != QLatin1String("2")) {
                error = QStringLiteral("--task must be 1 (money out) or 2 (money in), not \"%1\"").arg(v);
                return std::nullopt;
            }
            o.Task = v.toInt();
        } else if (name == QLatin1String("similar")) {
            if (v == QLatin1String("skip"))
                o.Similar = TSimilarPolicy::Skip;
            else if (v == QLatin1String("close"))
                o.Similar = TSimilarPolicy::Close;
            else if (v == QLatin1String("create"))
                o.Similar = TSimilarPolicy::Create;
            else if (v == QLatin1String("stop"))
                o.Similar = TSimilarPolicy::Stop;
            else {
                error = QStringLiteral("--similar must be close, skip, create or stop, not \"%1\"").arg(v);
                return std::nullopt;
            }
        } else if (name == QLatin1String("protocol")) {
            o.Protocol = v;
        } else {
            // Names that reach the server: they must be Windows-1251 texts.
            if (v.isEmpty()) {
                error = QStringLiteral("--%1 is empty").arg(name);
                return std::nullopt;
            }
            if (!FitsWin1251(v)) {
                error = QStringLiteral("--%1 \"%2\" holds a character that Windows-1251 cannot hold")
                            .arg(name, v);
                return std::nullopt;
            }
            (name == QLatin1String("client")    ? o.Client
             : name == QLatin1String("setting") ? o.Setting
                                                : o.Surname) = v;
        }
    }
    if (o.Help)
        return o;
    if (o.Task == 0) {
        error = QStringLiteral("--task 1|2 is required");
        return std::nullopt;
    }
    const QDir here = QDir::current();
    o.Profile = QFileInfo(here, profile).absoluteFilePath();
    if (!o.Protocol.isEmpty())
        o.Protocol = QFileInfo(here, o.Protocol).absoluteFilePath();
    if (!o.Credentials.isEmpty())
        o.Credentials = QFileInfo(here, o.Credentials).absoluteFilePath();
    for (QString &f : o.Files)
        f = QFileInfo(here, f).absoluteFilePath();
    return o;
}

namespace {

// The three values by name; false with the reason when one is missing or unusable.
bool FillCredentials(const QString &user, const QString &password, const QString &personal, bool hasUser,
                     bool hasPassword, bool hasPrivate, const QString &where, TCredentials &out,
                     QString &error)
{
    QStringList missing;
    if (!hasUser)
        missing << QStringLiteral("VELMBANK_USER");
    if (!hasPassword)
        missing << QStringLiteral("VELMBANK_PASSWORD");
    if (!hasPrivate)
        missing << QStringLiteral("VELMBANK_PRIVATE");
    if (!missing.isEmpty()) {
        error = QStringLiteral("%1: %2 not set (the account is never taken from the command line)")
                    .arg(where, missing.join(QStringLiteral(", ")));
        return false;
    }
    bool ok = false;
    const int number = user.toInt(&ok, 10);
    if (!ok || number <= 0 || QString::number(number) != user) {
        error = QStringLiteral("%1: VELMBANK_USER must be the user's number, not \"%2\"").arg(where, user);
        return false;
    }
    for (const QString *v : {&password, &personal})
        if (!FitsWin1251(*v)) {
            error =
                QStringLiteral("%1: a password holds a character that Windows-1251 cannot hold").arg(where);
            return false;
        }
    out.User = user.toLatin1();
    out.Password = ToWin1251(password);
    out.Private = ToWin1251(personal);
    return true;
}

} // namespace

std::optional<TCredentials> CredentialsFromEnvironment(const QProcessEnvironment &env, QString &error)
{
    TCredentials c;
    const QString u = QStringLiteral("VELMBANK_USER");
    const QString p = QStringLiteral("VELMBANK_PASSWORD");
    const QString r = QStringLiteral("VELMBANK_PRIVATE");
    if (!FillCredentials(env.value(u), env.value(p), env.value(r), env.contains(u), env.contains(p),
                         env.contains(r), QStringLiteral("environment"), c, error))
        return std::nullopt;
    return c;
}

std::optional<TCredentials> CredentialsFromFile(const QString &path, QString &error)
{
    const QByteArray name = QFile::encodeName(path);
    // Opened first and checked on the open file, so that what is checked is what is read.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = QStringLiteral("cannot open the credentials file %1: %2")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = QStringLiteral("the credentials file %1 is not a regular file").arg(path);
        return std::nullopt;
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        ::close(fd);
        error = QStringLiteral("the credentials file %1 is refused: group or others may use it "
                               "(mode %2); chmod 600 it")
                    .arg(path)
                    .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
        return std::nullopt;
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = QStringLiteral("cannot read the credentials file %1").arg(path);
        return std::nullopt;
    }
    const QByteArray content = f.read(qint64(64) * 1024);
    f.close();

    QString user, password, personal;
    bool hasUser = false, hasPassword = false, hasPrivate = false;
    int lineNumber = 0;
    for (QByteArray line : content.split('\n')) {
        ++lineNumber;
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0) {
            error = QStringLiteral("%1, line %2: NAME=VALUE expected").arg(path).arg(lineNumber);
            return std::nullopt;
        }
        const QByteArray key = line.left(eq).trimmed();
        QByteArray value = line.mid(eq + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
            && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        const QString text = QString::fromUtf8(value);
        if (key == "VELMBANK_USER") {
            user = text.trimmed();
            hasUser = true;
        } else if (key == "VELMBANK_PASSWORD") {
            password = text;
            hasPassword = true;
        } else if (key == "VELMBANK_PRIVATE") {
            personal = text;
            hasPrivate = true;
        } else {
            error = QStringLiteral("%1, line %2: unknown name %3")
                        .arg(path)
                        .arg(lineNumber)
                        .arg(QString::fromUtf8(key));
            return std::nullopt;
        }
    }
    TCredentials c;
    if (!FillCredentials(user, password, personal, hasUser, hasPassword, hasPrivate, path, c, error))
        return std::nullopt;
    return c;
}
