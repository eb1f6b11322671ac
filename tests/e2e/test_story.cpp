// The product's whole story against one velmd: a distribution of the gateway's server half built
// with velmdist and installed by the installer's stages (velmsetup-console) into a fresh namespace,
// the demo data seeded by its post-action; then the gateway, as the operator works it in its
// windows, imports the money-out sample into that namespace, and the documents are on the server.
// (The wizard and the gateway's windows share class names, as the two programs always did, so the
// installer runs as a program of its own here; the wizard's way is velmsetup_gateway_e2e_tests.)
#include "taske2e.h"

#include "VisM.h"
#include "clbgen.h"

#include <QCheckBox>
#include <QDir>
#include <QProcess>

using namespace velmbank;

namespace {

const QString NameSpace = QStringLiteral("VELMW");

// Runs a program to its end; its exit code, stdout into out.
int RunProgram(const QString &exe, const QStringList &args, const QString &dir, QString &out,
               const QMap<QString, QString> &env = {})
{
    QProcess p;
    p.setWorkingDirectory(dir);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it)
        e.insert(it.key(), it.value());
    p.setProcessEnvironment(e);
    p.start(exe, args);
    if (!p.waitForFinished(180000))
        return -1;
    out = QString::fromUtf8(p.readAllStandardOutput());
    if (p.exitCode() != 0)
        out += QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class Story : public TaskE2E
{
protected:
    // Hides TaskE2E's: the server is a plain velmd into which the installer puts the gateway.
    static void SetUpTestSuite()
    {
        Server = new VelmdProcess();
        if (!Server->Start()) {
            Failure = Server->Error;
            return;
        }
        const QString data = Server->DataDir();
        const QString work = data + QStringLiteral("/setup");
        QDir().mkpath(work + QStringLiteral("/src"));
        // The server half, and the distribution's check label and post-action (the wizard's tests').
        QStringList files =
            QDir(QStringLiteral(VELM_GATEWAY_M_DIR)).entryList({QStringLiteral("*.m")}, QDir::Files);
        for (const QString &f : files)
            QFile::copy(QStringLiteral(VELM_GATEWAY_M_DIR "/") + f, work + QStringLiteral("/src/") + f);
        QFile::copy(QStringLiteral(VELMSETUP_UI_M_DIR "/ZZVSET.m"), work + QStringLiteral("/src/ZZVSET.m"));
        QFile manifest(work + QStringLiteral("/manifest.txt"));
        manifest.open(QIODevice::WriteOnly);
        manifest.write(
            "product = Шлюз ВЕЛЬМ-Банк\nversion = 2.8\ndate = 09.12.2024\nkey = 1\npassword = Секрет\n"
            "check = chk^ZZVSET\ncheckprograms = ZZVSET\npost = seed^ZZVSET Демонстрационные данные\n"
            "programs = ZZ001 ZZ001a ZZ001b ZZ001c %cplogG %caA03 VELMDEMO\n");
        manifest.close();
        QString out;
        if (RunProgram(
                QStringLiteral(VELMDIST_EXE),
                {QStringLiteral("src"), QStringLiteral("manifest.txt"), QStringLiteral("velminstal.dat")},
                work, out)
            != 0) {
            Failure = QStringLiteral("velmdist: ") + out;
            return;
        }
        // The fresh namespace, and the sample files where the operator will say. The demo's seeder
        // is installed with its source kept: it reads its tables with $TEXT.
        std::string error;
        clb::Options moneyOut;
        moneyOut.count = 200;
        moneyOut.seed = 1;
        moneyOut.demo = true;
        if (Server->Run(QStringLiteral("namespace"), {NameSpace}) != 0
            || !clb::writeFile((data + QStringLiteral("/clbout.dbf")).toStdString(), moneyOut, error)) {
            Failure = Server->Error + QString::fromStdString(error);
            return;
        }

        const auto install = [&](const QByteArray &password, QString &log) {
            return RunProgram(QStringLiteral(VELMSETUP_CONSOLE_EXE),
                              {QStringLiteral("--keep-sources"), QStringLiteral("--answer"),
                               QStringLiteral("Да"), QStringLiteral("--answer"), data, NameSpace.toLower(),
                               QStringLiteral("127.0.0.1"), QString::number(Server->VismPort)},
                              work, log,
                              {{QStringLiteral("VELMSETUP_USER"), QString::fromUtf8(Server->VismUser)},
                               {QStringLiteral("VELMSETUP_PASSWORD"), QString::fromUtf8(password)},
                               {QStringLiteral("VELMSETUP_SOURCE_PASSWORD"), QStringLiteral("Секрет")}});
        };
        RefusedExit = install("not" + Server->VismPassword, RefusedLog);
        InstallExit = install(Server->VismPassword, InstallLog);
        QFile written(work + QStringLiteral("/velmsetup.txt"));
        if (written.open(QIODevice::ReadOnly))
            WrittenLog = FromWin1251(written.readAll()).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (InstallExit != 0) {
            Failure = QStringLiteral("the installer did not install the gateway:\n") + InstallLog;
            return;
        }

        // What `velmd demo` offers the gateway in VELM, offered in the new namespace.
        if (!Server->OfferGateway(NameSpace))
            Failure = QStringLiteral("cannot offer the gateway's routines over XAPI");
        Profile = Server->WriteProfile(NameSpace);
    }

    // An M expression evaluated in the namespace over the installer's protocol, apart from the gateway.
    static QByteArray Eval(const QByteArray &expression)
    {
        qputenv("VELMSETUP_USER", Server->VismUser);
        qputenv("VELMSETUP_PASSWORD", Server->VismPassword);
        TVisMClient vism;
        vism.SetMServer(TVisM::ServerString("127.0.0.1", QByteArray::number(Server->VismPort)));
        vism.SetNameSpace(NameSpace.toLatin1());
        vism.SetValue(QByteArray());
        vism.Execute(expression);
        EXPECT_EQ(vism.Error(), 0) << expression.toStdString() << ": " << vism.ErrorName().toStdString();
        const QByteArray value = vism.Value();
        vism.Disconnect();
        qunsetenv("VELMSETUP_USER");
        qunsetenv("VELMSETUP_PASSWORD");
        return value;
    }

    static inline int RefusedExit = -1;
    static inline int InstallExit = -1;
    static inline QString RefusedLog;
    static inline QString InstallLog;
    static inline QString WrittenLog;
};

} // namespace

TEST_F(Story, TheInstalledServerHalfTakesTheMoneyOutSampleFromTheGatewaysWindows)
{
    // The installation: a wrong account first, which installs nothing and says so; then the
    // check label, the routines and the post-action with the operator's two answers.
    EXPECT_EQ(RefusedExit, 1) << RefusedLog.toStdString();
    EXPECT_TRUE(RefusedLog.contains(QStringLiteral("Ошибка соединения."))) << RefusedLog.toStdString();
    EXPECT_TRUE(RefusedLog.endsWith(QStringLiteral("Установка дистрибутива не была завершена\n")));
    EXPECT_TRUE(InstallLog.contains(
        QStringLiteral("ZZ001c\n%cplogG\n%caA03\nVELMDEMO\nПрограммы успешно восстановлены.")))
        << InstallLog.toStdString();
    EXPECT_TRUE(InstallLog.contains(QStringLiteral("  Ответ пользователя: ") + Server->DataDir()))
        << InstallLog.toStdString();
    EXPECT_TRUE(InstallLog.endsWith(QStringLiteral("Установка дистрибутива успешно завершена.\n")));
    EXPECT_EQ(WrittenLog, InstallLog) << "the log file is what was printed";
    EXPECT_EQ(Eval("$G(^VELMD)"), "3") << "the seeded demo orders only";

    // "Выбрать настройку" of task 1 as the operator confirms it: the seeded client-bank and
    // setting, whose file lies where the post-action was told.
    ConfirmContext();
    fmTaskMan->actProp1Execute();
    ASSERT_TRUE(fmTaskForm->isVisible()) << ui.Messages().join(u'\n').toStdString();
    EXPECT_TRUE(fmTaskForm->windowTitle().endsWith(Server->DataDir() + QStringLiteral("/clbout.dbf")))
        << fmTaskForm->windowTitle().toStdString();
    ASSERT_EQ(dmTask->tbTask->RecordCount(), 200);
    // The orders have unclosed similar documents: the operator includes them and has them closed.
    EXPECT_EQ(Column(TdmTask::tfInclude).mid(0, 4), (QList<QByteArray>{"False", "False", "False", "True"}));
    for (int r = 0; r < 3; ++r)
        ClickCell(r, TdmTask::tfInclude);
    fmTaskForm->chCloseDoc->setChecked(true);
    ui.Clear();
    ui.ExpectName(QStringLiteral("Иванова"));
    ClickButton(fmTaskForm, QStringLiteral("Запись"));
    const QList<QByteArray> results = Results();
    EXPECT_EQ(results.mid(0, 3), QList<QByteArray>(3, "2"));
    EXPECT_EQ(results.mid(3), QList<QByteArray>(197, "1"));
    const int number = dmTask->tbTask->FieldIndex(QStringLiteral("NUMDOC"));
    ASSERT_GE(number, 0);
    const QByteArray fourthNumber = dmTask->tbTask->StringAt(3, number);
    ClickButton(fmTaskForm, QStringLiteral("Выход"));
    ui.Clear();
    DataModuleDestroy();
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("За время работы создано документов: 197, закрыто документов: 3")});

    // On the server: the three orders closed by the bank's records, 197 new money-out documents,
    // executed, with the sample's values and the operator's surname.
    EXPECT_EQ(Eval("$G(^VELMD)"), "200");
    for (const QByteArray id : {"1", "2", "3"}) {
        EXPECT_EQ(Eval("$P(^VELMD(" + id + "),\"^\",2)"), "1") << "order " << id.toStdString();
        EXPECT_EQ(Eval("$D(^VELMDO(1," + id + "))"), "0") << "order " << id.toStdString();
    }
    EXPECT_EQ(Eval("$P(^VELMD(200),\"^\",1,2)"), "1^1");
    EXPECT_EQ(Eval("$G(^VELMD(200,\"fam\"))"), W(QStringLiteral("Иванова")));
    EXPECT_EQ(Eval("$G(^VELMD(4,\"v\",\"NUMDOC\"))"), fourthNumber);
}
