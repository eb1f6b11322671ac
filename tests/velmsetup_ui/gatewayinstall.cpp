#include "gatewayinstall.h"

#include "VelmdProcess.h"
#include "clbgen.h"
#include "wizardfixture.h"

#include "Dialix.h"
#include "account.h"
#include "askuser.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStackedWidget>
#include <QTimer>

using namespace velmsetup;

namespace {

bool Fail(TGatewayInstall &run, const QString &why)
{
    run.Error = why;
    return false;
}

QString M(const char16_t *s) { return QString::fromUtf16(s); }

} // namespace

QStringList GatewayRoutineFiles()
{
    // The server half is what the gateway calls; VELMDEMO only seeds the demo.
    QStringList files =
        QDir(QStringLiteral(VELM_GATEWAY_M_DIR)).entryList({QStringLiteral("*.m")}, QDir::Files);
    files.removeAll(QStringLiteral("VELMDEMO.m"));
    return files;
}

bool TGatewayInstall::Run()
{
    QDir work(WorkDir);
    if (!Velmd || !work.exists())
        return Fail(*this, QStringLiteral("no velmd or no working folder"));
    if (Velmd->Run(QStringLiteral("namespace"), {NameSpace}) != 0)
        return Fail(*this, Velmd->Error);

    // The distribution: the gateway's routines and ours, the manifest, velmdist.
    const QString src = work.filePath(QStringLiteral("src"));
    work.mkpath(QStringLiteral("src"));
    QStringList files = GatewayRoutineFiles();
    for (const QString &f : files)
        if (!QFile::copy(QStringLiteral(VELM_GATEWAY_M_DIR "/") + f, src + QLatin1Char('/') + f))
            return Fail(*this, QStringLiteral("cannot copy ") + f);
    if (!QFile::copy(QStringLiteral(VELMSETUP_UI_M_DIR "/ZZVSET.m"), src + QStringLiteral("/ZZVSET.m")))
        return Fail(*this, QStringLiteral("cannot copy ZZVSET.m"));
    const QString manifest = work.filePath(QStringLiteral("manifest.txt"));
    {
        QFile m(manifest);
        m.open(QIODevice::WriteOnly);
        // Key 1: no byte of the sources is 1; printable keys meet their own letter somewhere.
        m.write("product = Шлюз ВЕЛЬМ-Банк\nversion = 2.8\ndate = 09.12.2024\nkey = 1\npassword = Секрет\n"
                "check = chk^ZZVSET\ncheckprograms = ZZVSET\npost = seed^ZZVSET Демонстрационные данные\n");
    }
    QProcess dist;
    dist.setProcessChannelMode(QProcess::MergedChannels);
    dist.start(QStringLiteral(VELMDIST_EXE),
               {src, manifest, work.filePath(QStringLiteral("velminstal.dat"))});
    if (!dist.waitForFinished(60000) || dist.exitCode() != 0)
        return Fail(*this, QStringLiteral("velmdist: ") + QString::fromUtf8(dist.readAll()));

    // The demo's seeder, loaded as `velmd demo` loads it (it reads its tables with $TEXT, which
    // velmd gives only to routines loaded from their source files), and the demo's sample files,
    // where the operator will say they are.
    if (!Velmd->Load(NameSpace, {QStringLiteral(VELM_GATEWAY_M_DIR "/VELMDEMO.m")}))
        return Fail(*this, Velmd->Error);
    std::string error;
    clb::Options out;
    out.count = 200;
    out.seed = 1;
    out.demo = true;
    clb::Options in;
    in.moneyIn = true;
    in.count = 100;
    in.seed = 2;
    const QString data = Velmd->DataDir();
    if (!clb::writeFile((data + QStringLiteral("/clbout.dbf")).toStdString(), out, error)
        || !clb::writeFile((data + QStringLiteral("/clbin.dbf")).toStdString(), in, error))
        return Fail(*this, QString::fromStdString(error));

    // The wizard, as the program makes it; the account is typed into its prompt.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    qunsetenv("VELMSETUP_USER");
    qunsetenv("VELMSETUP_PASSWORD");
    TSetupUi ui;
    SetUi(&ui);
    ui.SetTitle(QString::fromLatin1(WizardCaption));
    TOpenedFiles opened;
    TVisMClient client;
    TGuiClock clock;
    bool ended = false;
    {
        TSetupProgram program(TSetupEnv{WorkDir, {}}, client, clock);
        ui.SetWindows(program.fmProgress.get(), program.fmSetup.get(), program.fmFone.get());
        ui.SetProgressView(program.fmProgress.get());
        TfmSetup &w = *program.fmSetup;
        w.EndApplication = [&ended] { ended = true; };
        if (!program.Start())
            return Fail(*this, QStringLiteral("the wizard did not start"));
        auto click = [&w](const QString &caption) { ClickButton(w.pcPages->currentWidget(), caption); };
        auto account = [this](const QByteArray &password) {
            return [this, password](QWidget *d) {
                auto *a = qobject_cast<TfmAccount *>(d);
                EXPECT_TRUE(a) << d->metaObject()->className() << ": "
                               << (qobject_cast<QMessageBox *>(d)
                                       ? qobject_cast<QMessageBox *>(d)->text().toStdString()
                                       : std::string());
                if (!a)
                    return d->close();
                a->edUser->setText(QString::fromUtf8(Velmd->VismUser));
                a->edPassword->setText(QString::fromUtf8(password));
                ClickButton(a, M(u"ОК"));
                return true;
            };
        };

        click(M(u"Далее"));
        w.edPort->setText(QString::number(Velmd->VismPort));
        if (MistypeFirst) {
            AnswerInTurn(
                {[this, account](QWidget *d) { account("not" + Velmd->VismPassword)(d); },
                 Press(
                     M(u"Не удается создать соединение с Cache сервером. Попробуйте задать другие параметры"),
                     QStringLiteral("OK"))});
            click(M(u"Далее"));
            if (w.Page() != TfmSetup::pgConnect)
                return Fail(*this, QStringLiteral("a wrong password was let in"));
        }
        AnswerInTurn({[this, account](QWidget *d) { account(Velmd->VismPassword)(d); }});
        click(M(u"Далее"));
        if (w.Page() != TfmSetup::pgNameSpace)
            return Fail(*this, QStringLiteral("not connected"));
        const auto found = w.liNS->findItems(NameSpace, Qt::MatchExactly);
        if (found.isEmpty())
            return Fail(*this, QStringLiteral("the namespace is not listed"));
        w.liNS->setCurrentItem(found.first());
        click(M(u"Далее"));
        if (w.Page() != TfmSetup::pgInstall)
            return Fail(*this, QStringLiteral("the namespace was not taken"));

        // The post-action's two questions: demo data? yes; from which folder? velmd's.
        AnswerInTurn({[this](QWidget *d) {
                          auto *box = qobject_cast<TfmBox *>(d);
                          EXPECT_TRUE(box) << d->metaObject()->className();
                          if (!box)
                              return;
                          Questions << box->lbMes->text();
                          EXPECT_TRUE(box->windowTitle().startsWith(
                              M(u"Установка Шлюз ВЕЛЬМ-Банк 2.8  Выполнение последействий: ")))
                              << box->windowTitle().toStdString();
                          ClickButton(box, M(u"Да"));
                      },
                      [this, data](QWidget *d) {
                          auto *ask = qobject_cast<TfmAskUser *>(d);
                          EXPECT_TRUE(ask) << d->metaObject()->className();
                          if (!ask)
                              return;
                          Questions << ask->lbAsk->text().trimmed();
                          ask->edAsk->setText(data);
                          ClickButton(ask, QStringLiteral("OK"));
                      }},
                     120000);
        // The windows stay alive while the job runs: a timer of the program keeps ticking.
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [this] { ++TimerTicks; });
        ticker.start(20);
        click(M(u"Установить"));
        ticker.stop();
        if (w.Page() != TfmSetup::pgFinal)
            return Fail(*this, QStringLiteral("no final page"));
        Succeeded = w.Installation.Succeeded;
        click(M(u"Выход"));
    }
    client.Disconnect();
    SetUi(nullptr);
    if (!ended)
        return Fail(*this, QStringLiteral("\"Выход\" did not end the program"));
    Log = FileLines(work.filePath(QStringLiteral("velmsetup.txt")));
    if (!Succeeded)
        return Fail(*this, QStringLiteral("the installation failed:\n") + Log.join(QLatin1Char('\n')));
    return true;
}
