// The three stages against a real velmd: distributions built with velmdist from routine
// sources, installed through the VisM client as the install page does, and checked on the
// server afterwards.

#include "ScriptedUi.h"
#include "VelmdProcess.h"
#include "VisM.h"
#include "VisMDouble.h"
#include "codepage.h"
#include "distrib.h"
#include "setuplog.h"
#include "stages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

QString U(const char16_t *text) { return QString::fromUtf16(text); }
QByteArray Cp(const char16_t *text) { return ToCp866(QString::fromUtf16(text)); }

// Runs the other way round for one code: the real server for everything else.
class JobRefusingVisM : public TVisM
{
public:
    explicit JobRefusingVisM(TVisM &server) : Server(server) {}
    TVisM &Server;

protected:
    TVisMReply Run(const QByteArray &code, bool) override
    {
        // As if JOB found no room for the job within its time-out.
        if (code == "$$job^velmsetup")
            return TVisMReply{0, {}, "0"};
        Server.SetNameSpace(NameSpace());
        Server.SetP1(P1());
        Server.SetP2(P2());
        Server.SetValue(QByteArray());
        Server.Execute(code);
        return TVisMReply{Server.Error(), Server.ErrorName(), Server.Value()};
    }
};

const char *const Checks = "ZZCHK ;; cp866\n"
                           "ok() q \"\"\n"
                           "no() q \"Область не подходит\"\n"
                           "err() q 1/0\n";

const char *const Posts = "ZZPOST ;; cp866\n"
                          "steps() d w^velmsetup(\"Шаг один\"_$c(1)_30)\n"
                          " d w^velmsetup(\"Шаг два\"_$c(1)_60)\n"
                          " s ^ZZPOST(\"steps\")=1\n"
                          " q \"\"\n"
                          "ask() n a,b s a=$$ask^velmsetup(1,\"Продолжить?\",1)\n"
                          " s b=$$ask^velmsetup(2,\"Имя?\",\"Иван\")\n"
                          " s ^ZZPOST(\"yn\")=a,^ZZPOST(\"text\")=b\n"
                          " q \"\"\n"
                          "refuse() q \"Отказ последействия\"\n";

class InstallServer : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Velmd = new VelmdProcess();
        if (!Velmd->Start()) {
            ADD_FAILURE() << "velmd: " << Velmd->Error.toStdString();
            delete Velmd;
            Velmd = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete Velmd;
        Velmd = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(Velmd, nullptr);
        qputenv("VELMSETUP_USER", Velmd->User);
        qputenv("VELMSETUP_PASSWORD", Velmd->Password);
        Operator.SetTitle(QString::fromLatin1(WizardCaption));
    }
    void TearDown() override
    {
        qunsetenv("VELMSETUP_USER");
        qunsetenv("VELMSETUP_PASSWORD");
    }

    // Routine sources and a manifest into a folder, velmdist over them.
    QString Build(const QByteArray &manifest, const std::map<QString, QByteArray> &sources)
    {
        const QString src = Dir.filePath(QStringLiteral("src"));
        QDir(src).removeRecursively();
        EXPECT_TRUE(QDir().mkpath(src));
        for (const auto &[name, text] : sources) {
            QFile f(src + QLatin1Char('/') + name);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        const QString man = Dir.filePath(QStringLiteral("manifest.txt"));
        QFile m(man);
        EXPECT_TRUE(m.open(QIODevice::WriteOnly | QIODevice::Truncate));
        m.write(manifest);
        m.close();
        const QString out = Dir.filePath(QStringLiteral("velminstal.dat"));
        QProcess p;
        p.start(QStringLiteral(VELMDIST_EXE), {src, man, out});
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return out;
    }

    // Reads the header, connects to %SYS and then to ns as the connection pages do.
    void Open(const QString &path, const QByteArray &ns = "USER")
    {
        Distrib = std::make_unique<TDistrib>(path);
        ASSERT_TRUE(Distrib->ReadHeader(Log));
        Client.SetMServer(TVisM::ServerString("127.0.0.1", QByteArray::number(Velmd->VismPort)));
        Client.SetNameSpace("%SYS");
        Client.SetValue(QByteArray());
        Client.Execute("$ZNSPACE");
        ASSERT_EQ(Client.Error(), 0) << Client.ErrorName().toStdString();
        ASSERT_EQ(Client.Value(), "%SYS");
        Client.SetNameSpace(ns);
        Client.SetValue(QByteArray());
        Client.Execute("$ZNSPACE");
        ASSERT_EQ(Client.Error(), 0) << Client.ErrorName().toStdString();
        ASSERT_EQ(Client.Value(), ns);
        Stages = std::make_unique<TSetupStages>(*Distrib, Client, Log, Windows, Clock);
    }

    // The install page's sequence: journaling off around the three stages.
    bool Install(TSetupStages &stages)
    {
        stages.JournalOff();
        bool ok = stages.RunCheckStage() && stages.RunProgramStage();
        stages.JournalOn();
        return ok && stages.RunPostActionStage();
    }

    QByteArray Eval(const QByteArray &expression)
    {
        Client.SetValue(QByteArray());
        Client.Execute(expression);
        EXPECT_EQ(Client.Error(), 0) << expression.toStdString() << ": " << Client.ErrorName().toStdString();
        return Client.Value();
    }

    QString LogText() const
    {
        QStringList out;
        for (const QByteArray &l : Log.Lines)
            out << FromWin1251(l);
        return out.join(QLatin1Char('\n'));
    }

    static VelmdProcess *Velmd;
    QTemporaryDir Dir;
    ScriptedUi Operator;
    TSetupLog Log;
    std::unique_ptr<TDistrib> Distrib;
    TVisMClient Client;
    TRecordingWindows Windows;
    TSetupClock Clock;
    std::unique_ptr<TSetupStages> Stages;
};

VelmdProcess *InstallServer::Velmd = nullptr;

QByteArray Manifest(const QByteArray &check, const QByteArray &posts, const QByteArray &programs)
{
    QByteArray m =
        "product = Шлюз ВЕЛЬМ-Банк\nversion = 2.8\ndate = 09.12.2024\nkey = 77\npassword = секрет\n";
    if (!check.isEmpty())
        m += "check = " + check + "\ncheckprograms = ZZCHK\n";
    m += posts;
    m += "programs = " + programs + "\n";
    return m;
}

std::map<QString, QByteArray> Programs(int count, const QByteArray &prefix = "ZZP")
{
    std::map<QString, QByteArray> files;
    for (int i = 1; i <= count; ++i) {
        const QByteArray name = prefix + QByteArray::number(i);
        QByteArray text = name + " ;\n";
        for (int line = 1; line <= 20; ++line)
            text += " s x(" + QByteArray::number(line) + ")=" + QByteArray::number(line * i) + "\n";
        text += "f() q " + QByteArray::number(i * 7) + "\n";
        files[QString::fromLatin1(name + ".m")] = text;
    }
    return files;
}

QByteArray Names(int count, const QByteArray &prefix = "ZZP")
{
    QByteArrayList names;
    for (int i = 1; i <= count; ++i)
        names << prefix + QByteArray::number(i);
    return names.join(' ');
}

} // namespace

TEST_F(InstallServer, ThirtyProgramsAreRestoredAndCallableWithTheirSourcesGone)
{
    auto files = Programs(30);
    files[QStringLiteral("ZZCHK.m")] = Checks;
    ASSERT_NO_FATAL_FAILURE(Open(Build(Manifest("ok^ZZCHK", "", Names(30)), files)));
    ASSERT_TRUE(Install(*Stages)) << LogText().toStdString();
    EXPECT_TRUE(LogText().contains(U(u"Выполнение метки проверки:\nУспех.")));
    EXPECT_TRUE(LogText().contains(U(u"В дистрибутиве 30программ.")));
    for (int i = 1; i <= 30; ++i) {
        const QByteArray name = "ZZP" + QByteArray::number(i);
        EXPECT_EQ(Eval("$$f^" + name), QByteArray::number(i * 7)) << name.constData();
        EXPECT_EQ(Eval("$d(^ROUTINE(\"" + name + "\"))"), "0") << name.constData();
    }
    EXPECT_EQ(Eval("$d(^ROUTINE(\"ZZCHK\"))"), "0");
    EXPECT_TRUE(Operator.Messages().isEmpty()) << Operator.Events.join(QLatin1Char('\n')).toStdString();

    // Kept sources stay in ^ROUTINE, line for line.
    Log.Lines.clear();
    ASSERT_NO_FATAL_FAILURE(Open(Build(Manifest("", "", Names(2, "ZZK")), Programs(2, "ZZK"))));
    Stages->Options.KeepSources = true;
    ASSERT_TRUE(Install(*Stages)) << LogText().toStdString();
    EXPECT_EQ(Eval("$$f^ZZK2"), "14");
    EXPECT_NE(Eval("$d(^ROUTINE(\"ZZK2\"))"), "0");
}

TEST_F(InstallServer, CheckLabelThatRefuses)
{
    auto files = Programs(1, "ZZR");
    files[QStringLiteral("ZZCHK.m")] = Checks;

    // Hard: the installation stops at the check, nothing of the program list is restored.
    ASSERT_NO_FATAL_FAILURE(Open(Build(Manifest("no^ZZCHK", "", "ZZR1"), files)));
    EXPECT_FALSE(Install(*Stages));
    EXPECT_EQ(Operator.Messages(), QStringList{U(u"Не выполнилось преддействие.  Область не подходит")});
    EXPECT_TRUE(LogText().endsWith(U(u"Сбой программы. Не выполнилось преддействие.  Область не подходит")))
        << LogText().toStdString();
    Client.Execute("$$f^ZZR1");
    EXPECT_EQ(Client.Error(), 1);
    EXPECT_TRUE(Client.ErrorName().startsWith("<NOROUTINE>")) << Client.ErrorName().toStdString();

    // Soft: the operator goes on and the programs arrive.
    Log.Lines.clear();
    Operator.Clear();
    ASSERT_NO_FATAL_FAILURE(Open(Build(Manifest("no^ZZCHK", "", "ZZR1"), files)));
    Stages->Options.HardPreAction = false;
    Operator.ExpectYesNo(TAnswer::No);
    ASSERT_TRUE(Install(*Stages)) << LogText().toStdString();
    EXPECT_TRUE(LogText().contains(U(u"Неуспех. Область не подходит\nУспех.")));
    EXPECT_EQ(Eval("$$f^ZZR1"), "7");

    // An M error of the check label: its error name, not a success.
    Log.Lines.clear();
    Operator.Clear();
    ASSERT_NO_FATAL_FAILURE(Open(Build(Manifest("err^ZZCHK", "", "ZZR1"), files)));
    EXPECT_FALSE(Install(*Stages));
    ASSERT_EQ(Operator.Messages().size(), 1);
    EXPECT_TRUE(Operator.Messages()[0].startsWith(U(u"Не выполнилось преддействие. Код ошибки: <DIVIDE>err")))
        << Operator.Messages()[0].toStdString();
}

TEST_F(InstallServer, PostActionsReportProgressAndAskTheOperator)
{
    auto files = Programs(2, "ZZQ");
    files[QStringLiteral("ZZPOST.m")] = Posts;
    ASSERT_NO_FATAL_FAILURE(Open(Build(
        Manifest("", "post = steps^ZZPOST Шаги работы\npost = ask^ZZPOST Вопросы\n", "ZZPOST ZZQ1 ZZQ2"),
        files)));
    Operator.ExpectChoice(2);
    Operator.ExpectText(U(u"Петр"));
    ASSERT_TRUE(Install(*Stages)) << LogText().toStdString();
    const QString log = LogText();
    EXPECT_TRUE(log.contains(U(u"Шаг один"))) << log.toStdString();
    EXPECT_TRUE(log.contains(U(u"Шаг два")));
    EXPECT_TRUE(log.contains(U(u"  Параметры запроса: 1#Продолжить?#1")));
    EXPECT_TRUE(log.contains(U(u"  Ответ пользователя: Петр")));
    EXPECT_TRUE(log.contains(U(u"Последействия упешно выполнены.")));
    EXPECT_TRUE(Windows.PanelText().contains(U(u"  ask^ZZPOST - Вопросы")));
    EXPECT_EQ(Eval("$g(^ZZPOST(\"steps\"))"), "1");
    EXPECT_EQ(Eval("$g(^ZZPOST(\"yn\"))"), "2");
    EXPECT_EQ(Eval("$g(^ZZPOST(\"text\"))"), Cp(u"Петр"));
    // Status and messages are gone after success; the generated routine stays.
    EXPECT_EQ(Eval("$d(^R(\"velmsetup\"))"), "0");
    EXPECT_NE(Eval("$d(^ROUTINE(\"velmsetup\"))"), "0");
    EXPECT_EQ(Eval("$$jalive^velmsetup"), "0");
}

TEST_F(InstallServer, APostActionThatRefusesFailsTheStage)
{
    auto files = Programs(1, "ZZF");
    files[QStringLiteral("ZZPOST.m")] = Posts;
    ASSERT_NO_FATAL_FAILURE(Open(
        Build(Manifest("", "post = steps^ZZPOST Шаги\npost = refuse^ZZPOST Отказ\n", "ZZPOST ZZF1"), files)));
    EXPECT_FALSE(Install(*Stages));
    EXPECT_EQ(Operator.Messages(), QStringList{U(u"Отказ последействия")});
    EXPECT_TRUE(
        LogText().endsWith(U(u"Неуспех. Отказ последействия\nОшибка GUI приложения: Operation aborted")))
        << LogText().toStdString();
    // The refusal stays on the server as the status.
    EXPECT_EQ(Eval("$g(^R(\"velmsetup\"))"), Cp(u"Отказ последействия"));
}

TEST_F(InstallServer, WithoutTheJobThePostActionsRunInTheInstallersProcess)
{
    auto files = Programs(1, "ZZJ");
    files[QStringLiteral("ZZPOST.m")] = Posts;
    ASSERT_NO_FATAL_FAILURE(Open(Build(Manifest("", "post = ask^ZZPOST Вопросы\n", "ZZPOST ZZJ1"), files)));
    JobRefusingVisM vism(Client);
    TSetupStages stages(*Distrib, vism, Log, Windows, Clock);
    // No question reaches the operator: ask() gives its default when nobody waits.
    ASSERT_TRUE(Install(stages)) << LogText().toStdString();
    EXPECT_TRUE(LogText().contains(U(u"Не удалось стартовать фоновое задаение для выполнения последействий.\n"
                                     "Выполнение последействий пойдет без вывода сообщений о прогрессе\n"
                                     "$$stf^velmsetup")));
    EXPECT_EQ(Eval("$g(^ZZPOST(\"yn\"))"), "1");
    EXPECT_EQ(Eval("$g(^ZZPOST(\"text\"))"), Cp(u"Иван"));
}
