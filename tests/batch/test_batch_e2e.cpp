// velmbank-import, the program itself, against `velmd demo`, as a scheduler runs it: the demo's
// account and profile, the Вельм user from the environment or a credentials file, the record
// lines on stdout and the messages on stderr. The tests share one server and run in order: the
// money-out file is imported once, then again.
#include "Routines.h"
#include "ScriptedUi.h"
#include "UXAPI.h"
#include "VelmdProcess.h"
#include "batchimport.h"
#include "clbgen.h"
#include "codepage.h"
#include "rejectedfile.h"
#include "statement.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

QString S(const char *utf8) { return QString::fromUtf8(utf8); }
QByteArray W(const char *utf8) { return ToWin1251(S(utf8)); }
QString U(const QByteArray &win1251) { return FromWin1251(win1251); }

struct Result
{
    int Code = -1;
    QString Out, Err;
    // stdout's lines, each split at tabs.
    QList<QStringList> Lines() const
    {
        QList<QStringList> out;
        for (const QString &l : Out.split(u'\n', Qt::SkipEmptyParts))
            out << l.split(u'\t');
        return out;
    }
    // How many record lines have this result (third column).
    int Count(const QString &result) const
    {
        int n = 0;
        for (const QStringList &l : Lines())
            n += l.value(2) == result ? 1 : 0;
        return n;
    }
};

class BatchImportE2E : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Server = new VelmdProcess(VelmdProcess::Kind::Demo);
        if (!Server->Start()) {
            Failure = Server->Error;
            return;
        }
        // The demo's own profile (its XAPI account), on this server's port.
        QFile in(Server->DataDir() + S("/velmbank.ini"));
        if (!in.open(QIODevice::ReadOnly)) {
            Failure = S("velmd demo wrote no velmbank.ini");
            return;
        }
        QByteArray ini = in.readAll();
        ini.replace(QRegularExpression(S("Port=\\d+")).match(QString::fromLatin1(ini)).captured().toLatin1(),
                    "Port=" + QByteArray::number(Server->XapiPort));
        Profile = Server->DataDir() + S("/import.ini");
        QFile out(Profile);
        if (!out.open(QIODevice::WriteOnly) || out.write(ini) != ini.size())
            Failure = S("cannot write the profile");
    }
    static void TearDownTestSuite()
    {
        delete Server;
        Server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(Failure.isEmpty()) << Failure.toStdString(); }

    // The program with these arguments after --profile, as user (1 by default) from the
    // environment unless env says otherwise; a settings folder of the test's own.
    Result Import(const QStringList &args,
                  const QStringList &env = {S("VELMBANK_USER=1"), S("VELMBANK_PASSWORD=velm1"),
                                            S("VELMBANK_PRIVATE=lich1")})
    {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"VELMBANK_USER", "VELMBANK_PASSWORD", "VELMBANK_PRIVATE"})
            e.remove(QString::fromLatin1(name));
        e.insert(S("XDG_CONFIG_HOME"), config.path());
        for (const QString &kv : env)
            e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
        p.setProcessEnvironment(e);
        p.setWorkingDirectory(Server->DataDir());
        p.start(S(VELMBANK_IMPORT_EXE), QStringList{S("--profile"), Profile} + args);
        Result r;
        if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
            ADD_FAILURE() << "velmbank-import did not run to its end";
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.Code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.Out = QString::fromUtf8(p.readAllStandardOutput());
        r.Err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    QString WriteFile(const QString &name, const QByteArray &content, mode_t mode) const
    {
        const QString path = Server->DataDir() + u'/' + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
        return path;
    }
    int SessionsStarted() const { return int(Server->Log().count(S(" start (xapi"))); }

    static inline VelmdProcess *Server = nullptr;
    static inline QString Profile;
    static inline QString Failure;
    QTemporaryDir config;
};

const QStringList Out1 = {S("--task"), S("1"), S("--surname"), S("Иванова")};

TEST_F(BatchImportE2E, MoneyOutFileDryRunThenClosedAndCreatedAsTheWindowsDoThenNothingTwice)
{
    // The dry run converts and diagnoses, and tells what the policy would do.
    const Result dry = Import(Out1 + QStringList{S("--similar"), S("close"), S("--dry-run")});
    ASSERT_EQ(dry.Code, 0) << dry.Err.toStdString();
    const QList<QStringList> planned = dry.Lines();
    ASSERT_EQ(planned.size(), 200) << "one line per record, no summary: nothing was written";
    QStringList orders;
    for (int r = 0; r < 200; ++r) {
        EXPECT_EQ(planned[r].value(0), QString::number(r + 1));
        EXPECT_EQ(planned[r].value(2), r < 3 ? S("would close") : S("would create")) << r;
        if (r < 3)
            orders << planned[r].value(3);
    }
    EXPECT_EQ((QStringList{planned[0][1], planned[1][1], planned[2][1]}),
              (QStringList{S("101"), S("102"), S("103")}));
    EXPECT_FALSE(dry.Err.contains(u'\r')) << "no progress line: stderr is no terminal";
    EXPECT_EQ(Import(Out1 + QStringList{S("--similar=close"), S("--dry-run")}).Out, dry.Out)
        << "the server's documents are as they were";

    // The real run, its account in a file only its owner may read, the protocol written.
    const QString credentials = WriteFile(
        S("import.cred"), "VELMBANK_USER=1\nVELMBANK_PASSWORD=velm1\nVELMBANK_PRIVATE=lich1\n", 0600);
    const QString protocol = Server->DataDir() + S("/clproto.txt");
    const Result run = Import(Out1
                                  + QStringList{S("--similar"), S("close"), S("--credentials"), credentials,
                                                S("--protocol"), protocol},
                              {});
    ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
    const QList<QStringList> lines = run.Lines();
    ASSERT_EQ(lines.size(), 201);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(lines[r], (QStringList{QString::number(r + 1), planned[r][1], S("closed"), orders[r]}));
    for (int r = 3; r < 200; ++r)
        ASSERT_EQ(lines[r], (QStringList{QString::number(r + 1), planned[r][1], S("created")})) << r;
    // What the windows' run gives for this file (import_server_tests): 197 created, 3 closed.
    EXPECT_EQ(lines[200], QStringList{S("За время работы создано документов: 197, закрыто документов: 3")});
    QFile f(protocol);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> proto = f.readAll().split('\n');
    ASSERT_GT(proto.size(), 206);
    EXPECT_TRUE(QRegularExpression(
                    S("^---- \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d velmbank-import, задача 1 ----$"))
                    .match(U(proto[0]))
                    .hasMatch())
        << proto[0].toStdString();
    EXPECT_EQ(proto[1], W("Протокол работы в программе шлюз \"ВЕЛЬМ - Банк\". "));
    EXPECT_EQ(proto[2], W("Старт задачи Деньги: Расход"));
    EXPECT_EQ(proto[5], "1: \t\t101\t");
    EXPECT_EQ(proto[204], "200: \t\t" + planned[199][1].toLatin1() + '\t');
    EXPECT_TRUE(proto.contains(W("За время работы создано документов: 197, закрыто документов: 3")));

    // Again with the default policy: every record has its document now, nothing is created.
    const Result again = Import(Out1);
    EXPECT_EQ(again.Code, 0) << again.Err.toStdString();
    EXPECT_EQ(again.Count(S("skipped")), 200) << again.Out.toStdString();
    EXPECT_EQ(again.Lines().size(), 200) << "no summary: the work made nothing";
    EXPECT_EQ(again.Lines().value(0),
              (QStringList{S("1"), S("101"), S("skipped"), S("similar: ") + orders[0]}));

    // Stop ends the run before the first of them: the rest is left, and that is exit 1.
    const Result stop = Import(Out1 + QStringList{S("--similar"), S("stop")});
    EXPECT_EQ(stop.Code, 1) << stop.Err.toStdString();
    EXPECT_EQ(stop.Lines().value(0).value(2), S("stopped"));
    EXPECT_EQ(stop.Count(S("not processed")), 199);
}

TEST_F(BatchImportE2E, MoneyInFileWithTheSettingsFileAndTheStoredSurname)
{
    const QStringList user2{S("VELMBANK_USER=2"), S("VELMBANK_PASSWORD=velm2"), S("VELMBANK_PRIVATE=lich2")};
    const Result none = Import({S("--task"), S("2")}, user2);
    EXPECT_EQ(none.Code, 2);
    EXPECT_TRUE(none.Err.contains(S("Не задана фамилия"))) << none.Err.toStdString();

    // The surname the document grid stored for user 2 and task 2.
    QDir(config.path()).mkpath(S("Remart"));
    {
        QSettings store(config.filePath(S("Remart/VelmBank.conf")), QSettings::IniFormat);
        store.setValue(S("Forms/TaskForm/2/2/familia"), S("Петров"));
    }
    const Result r = Import({S("--task"), S("2")}, user2);
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Count(S("created")), 100);
    EXPECT_EQ(r.Lines().value(100),
              QStringList{S("За время работы создано документов: 100, закрыто документов: 0")});
}

TEST_F(BatchImportE2E, RecordRefusedByTheDiagnosisGivesExit1AndItsLineInEachFile)
{
    // Five fresh money-out records; the second one's sum is zeroed in the file.
    const QString path = Server->DataDir() + S("/fresh.dbf");
    std::string error;
    ASSERT_TRUE(WriteFileWithARejectedRecord(path, 5, 4242, error)) << error;
    // The same file twice in one work: the second time its documents are there.
    const Result r = Import(
        Out1
        + QStringList{S("--client"), S("клиент-банк демо"), S("--setting"), S("расход (демо)"), path, path});
    EXPECT_EQ(r.Code, 1) << r.Err.toStdString();
    const QList<QStringList> lines = r.Lines();
    ASSERT_EQ(lines.size(), 13) << r.Out.toStdString();
    EXPECT_EQ(lines[0], (QStringList{S("FILE"), path}));
    EXPECT_EQ(lines[2].value(0), S("2"));
    EXPECT_EQ(lines[2].value(2), S("refused"));
    EXPECT_TRUE(lines[2].value(3).contains(S("сумма"))) << lines[2].join(u'|').toStdString();
    for (int i : {1, 3, 4, 5})
        EXPECT_EQ(lines[i].value(2), S("created")) << i;
    EXPECT_EQ(lines[6], (QStringList{S("FILE"), path}));
    EXPECT_EQ(lines[8], lines[2]);
    for (int i : {7, 9, 10, 11})
        EXPECT_EQ(lines[i].value(2), S("skipped")) << i;
    EXPECT_EQ(lines[12], QStringList{S("За время работы создано документов: 4, закрыто документов: 0")});
}

TEST_F(BatchImportE2E, MistakesAreToldWithTheNamesThereAreAndFilesAfterAFailedOneAreNotProcessed)
{
    // A file that is not there is found before any connection is made.
    const int sessions = SessionsStarted();
    const Result missing = Import(Out1 + QStringList{S("--json"), Server->DataDir() + S("/none.dbf")});
    EXPECT_EQ(missing.Code, 2);
    EXPECT_TRUE(missing.Err.contains(S("Невозможно открыть файл ") + Server->DataDir() + S("/none.dbf")))
        << missing.Err.toStdString();
    EXPECT_EQ(SessionsStarted(), sessions);
    const QJsonObject none = QJsonDocument::fromJson(missing.Out.toUtf8()).object();
    EXPECT_EQ(none.value(S("exit")).toInt(), 2) << missing.Out.toStdString();
    EXPECT_EQ(none.value(S("files")).toInt(), 0);

    // A client-bank or setting that is not found: the names there are.
    const Result client = Import(Out1 + QStringList{S("--client"), S("Нет такого"), S("--dry-run")});
    EXPECT_EQ(client.Code, 2);
    EXPECT_TRUE(client.Err.contains(S("Клиент-банк \"Нет такого\" не найден. Клиент-банки: \"Банк 1С Демо\", "
                                      "\"Клиент-Банк Демо\"")))
        << client.Err.toStdString();
    const Result setting = Import(Out1 + QStringList{S("--setting"), S("Приход (демо)"), S("--dry-run")});
    EXPECT_EQ(setting.Code, 2);
    EXPECT_TRUE(
        setting.Err.contains(S("Настройка \"Приход (демо)\" задачи \"Деньги: Расход\" у клиент-банка "
                               "\"Клиент-Банк Демо\" не найдена. Настройки задачи: \"Расход (демо)\"")))
        << setting.Err.toStdString();
    // Every stderr line after the date and time.
    for (const QString &line : setting.Err.split(u'\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(
            QRegularExpression(S("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ")).match(line).hasMatch())
            << line.toStdString();

    // A file that cannot be read stops the work there: the file after it is not processed.
    const QString broken = WriteFile(S("broken.dbf"), QByteArray(64, '\x03'), 0644);
    const QString good = Server->DataDir() + S("/good.dbf");
    std::string error;
    ASSERT_TRUE(WriteFileWithARejectedRecord(good, 3, 777, error)) << error;
    const Result r = Import(Out1 + QStringList{S("--json"), S("--dry-run"), broken, good});
    EXPECT_EQ(r.Code, 2) << r.Err.toStdString();
    QList<QJsonObject> objects;
    for (const QString &line : r.Out.split(u'\n', Qt::SkipEmptyParts))
        objects << QJsonDocument::fromJson(line.toUtf8()).object();
    ASSERT_EQ(objects.size(), 2) << r.Out.toStdString();
    EXPECT_EQ(objects[0], (QJsonObject{{S("file"), good},
                                       {S("outcome"), S("not processed")},
                                       {S("text"), S("a file before it failed")}}));
    const QJsonObject summary = objects[1].value(S("summary")).toObject();
    EXPECT_EQ(summary.value(S("would create")).toInt(), 0);
    EXPECT_EQ(summary.value(S("not processed")).toInt(), 0) << "counts of records, not of files";
    EXPECT_EQ(objects[1].value(S("files")).toInt(), 1);
    EXPECT_EQ(objects[1].value(S("exit")).toInt(), 2);

    // The good file alone: one object per record, its outcome and the server's text.
    const Result dry = Import(Out1 + QStringList{S("--json"), S("--dry-run"), good});
    EXPECT_EQ(dry.Code, 1) << dry.Err.toStdString();
    const QStringList lines = dry.Out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << dry.Out.toStdString();
    const QJsonObject refused = QJsonDocument::fromJson(lines[1].toUtf8()).object();
    EXPECT_EQ(refused.value(S("record")).toInt(), 2);
    EXPECT_EQ(refused.value(S("outcome")).toString(), S("refused"));
    EXPECT_TRUE(refused.value(S("text")).toString().contains(S("сумма"))) << lines[1].toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(lines[0].toUtf8()).object().value(S("outcome")).toString(),
              S("would create"));
    const QJsonObject total = QJsonDocument::fromJson(lines[3].toUtf8()).object();
    EXPECT_EQ(total.value(S("summary")).toObject().value(S("would create")).toInt(), 2);
    EXPECT_EQ(total.value(S("summary")).toObject().value(S("refused")).toInt(), 1);
    EXPECT_EQ(total.value(S("exit")).toInt(), 1);
}

TEST_F(BatchImportE2E, WrongPasswordExit2WithTheServersText)
{
    const Result r =
        Import(Out1, {S("VELMBANK_USER=1"), S("VELMBANK_PASSWORD=velm2"), S("VELMBANK_PRIVATE=lich1")});
    EXPECT_EQ(r.Code, 2);
    EXPECT_TRUE(r.Err.contains(S("Неверный номер пользователя или пароль"))) << r.Err.toStdString();
    EXPECT_EQ(r.Out, QString());
}

TEST_F(BatchImportE2E, LockHeldByAGatewaySessionExit3)
{
    // A gateway's session: user 2 logged in and holding the exclusive lock.
    ScriptedUi ui;
    TXAPI gateway;
    ASSERT_TRUE(gateway.LoadProfile(Profile));
    ASSERT_TRUE(gateway.Open());
    ASSERT_EQ(gateway.Call({Routines::Login, "2", "velm2", "lich2"}), "");
    ASSERT_EQ(gateway.Call({Routines::LockTO}), "1");

    const Result r = Import(Out1 + QStringList{S("--dry-run")});
    EXPECT_EQ(r.Code, 3);
    EXPECT_TRUE(r.Err.contains(S("Невозможна работа с программой сейчас из-за работы других пользователей")))
        << r.Err.toStdString();
    EXPECT_EQ(r.Out, QString());

    gateway.Call({Routines::UnLockTO});
    gateway.Call({Routines::Logout});
    gateway.Close();
    // The refused import logged out: user 1 works again at once.
    EXPECT_EQ(Import(Out1 + QStringList{S("--dry-run")}).Code, 0);
}

TEST_F(BatchImportE2E, CredentialsFileOthersMayReadIsRefusedBeforeAnythingIsSent)
{
    const QString file =
        WriteFile(S("open.cred"), "VELMBANK_USER=1\nVELMBANK_PASSWORD=velm1\nVELMBANK_PRIVATE=lich1\n", 0644);
    const int sessions = SessionsStarted();
    const Result r = Import(Out1 + QStringList{S("--credentials"), file});
    EXPECT_EQ(r.Code, 2);
    EXPECT_TRUE(r.Err.contains(S("chmod 600"))) << r.Err.toStdString();
    EXPECT_EQ(r.Out, QString());
    EXPECT_EQ(SessionsStarted(), sessions) << "no connection was made";
}

TEST_F(BatchImportE2E, SignalDuringTheImportLeavesEverythingUnwrittenAndStillLogsOut)
{
    const QString path = Server->DataDir() + S("/signal.dbf");
    clb::Options options;
    options.count = 50;
    options.seed = 5151;
    std::string error;
    ASSERT_TRUE(clb::writeFile(QFile::encodeName(path).toStdString(), options, error)) << error;

    // In this process, so that the signal comes while the import takes the records.
    ScriptedUi before;
    QString err, out;
    TBatchUi ui([&err](const QByteArray &utf8) { err += QString::fromUtf8(utf8); });
    SetUi(&ui);
    QString parseError;
    std::optional<TBatchOptions> o = ParseBatchArguments(
        {S("--profile"), Profile, S("--task"), S("1"), S("--surname"), S("Иванова"), path}, parseError);
    ASSERT_TRUE(o) << parseError.toStdString();
    TBatchImport work(*o, TCredentials{"1", "velm1", "lich1"}, ui);
    work.Out = [&out](const QByteArray &utf8) { out += QString::fromUtf8(utf8); };
    // Timers run where the import lets pending input through: between its records.
    QTimer::singleShot(0, [] { BatchInterrupted = true; });
    const int code = work.Run();
    BatchInterrupted = false;
    SetUi(&before);

    EXPECT_EQ(code, 1) << err.toStdString();
    EXPECT_EQ(out.count(S("\tnot processed\n")), 50) << out.toStdString();
    EXPECT_FALSE(out.contains(S("За время работы"))) << "nothing was made";
    EXPECT_TRUE(err.contains(S("Прервать задачу? [Деньги: Расход] — ответ: Да (получен сигнал)")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(S("импорт файла %1 прерван").arg(path))) << err.toStdString();

    // Unlocked and logged out: the same user works at once, and finds nothing of the file.
    const Result dry = Import(Out1 + QStringList{S("--dry-run"), path});
    EXPECT_EQ(dry.Code, 0) << dry.Err.toStdString();
    EXPECT_EQ(dry.Count(S("would create")), 50);
}

TEST_F(BatchImportE2E, StatementThroughBothTasksEachDocumentOnceTheOtherHalfSkippedTheFaultyOneRefused)
{
    const QString path =
        WriteFile(S("mixed1c.txt"), DemoStatementWithAFaultyDocument(Server->DataDir()), 0644);
    auto task = [&path](const char *number, const char *setting) {
        return QStringList{S("--task"),       S(number),      S("--surname"), S("Иванова"), S("--client"),
                           S("банк 1с демо"), S("--setting"), S(setting),     path};
    };
    const QString in = S("skipped\tдругое направление: поступление на счёт выписки");
    const QString out = S("skipped\tдругое направление: списание со счёта выписки");
    const QString faulty = S("7\t106\trefused\t«-500.00» в ключе Сумма: сумма меньше нуля");
    const Result debits = Import(task("1", "Расход 1С (демо)"));
    EXPECT_EQ(debits.Code, 1) << debits.Err.toStdString();
    EXPECT_EQ(debits.Out.split(u'\n', Qt::SkipEmptyParts),
              (QStringList{S("1\t104\tcreated"), S("2\t105\tcreated"), S("3\t387\t") + in,
                           S("4\t3501\tcreated"), S("5\t19\t") + in, S("6\t58\t") + in, faulty,
                           S("За время работы создано документов: 3, закрыто документов: 0")}));
    EXPECT_TRUE(debits.Err.contains(S("неизвестный ключ «СтатусЭД»"))) << debits.Err.toStdString();

    const Result credits = Import(task("2", "Приход 1С (демо)"));
    EXPECT_EQ(credits.Code, 1) << credits.Err.toStdString();
    EXPECT_EQ(credits.Out.split(u'\n', Qt::SkipEmptyParts),
              (QStringList{S("1\t104\t") + out, S("2\t105\t") + out, S("3\t387\tcreated"),
                           S("4\t3501\t") + out, S("5\t19\tcreated"), S("6\t58\tcreated"), faulty,
                           S("За время работы создано документов: 3, закрыто документов: 0")}));

    // Again: the documents are there, nothing is created twice.
    const Result again = Import(task("1", "Расход 1С (демо)"));
    EXPECT_EQ(again.Count(S("created")), 0) << again.Out.toStdString();
    EXPECT_EQ(again.Count(S("skipped")), 6);
    EXPECT_EQ(again.Lines().value(0).mid(0, 3), (QStringList{S("1"), S("104"), S("skipped")}));
    EXPECT_TRUE(again.Lines().value(0).value(3).startsWith(S("similar: ")));
}

} // namespace
