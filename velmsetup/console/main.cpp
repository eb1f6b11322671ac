// velmsetup-console [--answer TEXT]... NAMESPACE [IP [PORT]]: installs the distribution of the
// current folder (velminstal.dat) into NAMESPACE through the installer's three stages, with no
// windows. The account comes from VELMSETUP_USER and VELMSETUP_PASSWORD; the post-actions'
// questions take the --answer texts in turn (a button's caption for a choice), then what they
// propose; library programs go to the first namespace, as in the wizard. The log is written to velmsetup.txt as the wizard writes it and printed.
// Exit 0 installed, 1 the installation failed, 2 a wrong command line.

#include "StandardOptions.h"
#include "Ui.h"
#include "VisM.h"
#include "codepage.h"
#include "distrib.h"
#include "setuplog.h"
#include "setupwindows.h"
#include "stages.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

const char *const kUsage =
    "usage: velmsetup-console [--keep-sources] [--answer TEXT]... NAMESPACE [IP [PORT]]\n"
    "\n"
    "Installs the distribution velminstal.dat of the current folder into NAMESPACE of the server\n"
    "at IP (127.0.0.1) and PORT (1972) through the installer's three stages, the check label,\n"
    "the routines and the post-actions, as the wizard velmsetup does, with no windows. Library\n"
    "programs go to the server's first namespace, as in the wizard.\n"
    "\n"
    "  --answer TEXT  the answer to the post-actions' next question (a button's caption for a\n"
    "                 choice); questions without one take what they propose\n"
    "  --keep-sources keep the routines' source texts on the server, as the wizard's check box\n"
    "                 does; the distribution's source password comes from\n"
    "                 VELMSETUP_SOURCE_PASSWORD\n"
    "  --help         this text; --version: the version\n"
    "\n"
    "The account comes from VELMSETUP_USER and VELMSETUP_PASSWORD. Messages and questions go to\n"
    "stderr; the installation log is written to velmsetup.txt in the current folder, as the\n"
    "wizard writes it, and printed.\n"
    "\n"
    "Exit: 0 installed, 1 the installation failed, 2 a wrong command line.\n";

void Err(const QString &text) { std::fprintf(stderr, "velmsetup-console: %s\n", text.toUtf8().constData()); }

// Messages go to stderr; questions take the given answers in turn, then what they propose.
class TConsoleSetupUi : public TUi
{
public:
    QStringList Answers;

    void ShowMessage(const QString &text) override { Err(text); }
    void ShowError(const QString &text) override { Err(text); }
    TAnswer AskYesNo(const QString &text, TAnswer def, const QString &, TQuestionIcon) override
    {
        Err(text + (def == TAnswer::Yes ? QStringLiteral(" Да") : QStringLiteral(" Нет")));
        return def;
    }
    TAnswer AskYesNoCancel(const QString &text, TAnswer def, const QString &c, TQuestionIcon i) override
    {
        return AskYesNo(text, def, c, i);
    }
    int ChoiceBox(const TChoiceArgs &args) override
    {
        const QStringList buttons = args.Buttons.split(QLatin1Char('_'));
        int pressed = args.DefaultButton;
        if (!Answers.isEmpty()) {
            const QString given = Answers.takeFirst();
            pressed = 0;
            for (qsizetype i = 0; i < buttons.size(); ++i)
                if (buttons[i].compare(given, Qt::CaseInsensitive) == 0)
                    pressed = int(i) + 1;
            if (!pressed) {
                Err(args.Message + QStringLiteral(": \"") + given + QStringLiteral("\" is none of ") + buttons.join(u'/'));
                return args.EscapeResult;
            }
        }
        Err(args.Message + QLatin1Char(' ') + buttons.value(pressed - 1));
        return pressed;
    }
    std::optional<QString> AskPassword(const QString &) override { return std::nullopt; }
    std::optional<Account> AskAccount(const QString &, const QString &) override
    {
        Err(QStringLiteral("set VELMSETUP_USER and VELMSETUP_PASSWORD"));
        return std::nullopt;
    }
    std::optional<QString> AskText(const QString &, const QString &prompt, const QString &initial) override
    {
        const QString answer = Answers.isEmpty() ? initial : Answers.takeFirst();
        Err(prompt + QStringLiteral(": ") + answer);
        return answer;
    }
    std::optional<QString> AskName(const QString &, const QString &, const QString &, const NameCheck &) override
    {
        return std::nullopt;
    }
    std::optional<QString> ChooseFile(const QString &, const QString &, const QString &) override { return {}; }
    std::optional<QString> ChooseFolder(const QString &, const QString &) override { return {}; }
    void ProcessEvents() override {}

protected:
    void OnProgressShow(const QString &, int) override {}
    void OnProgressHide() override {}
    void OnProgressMessage(const QString &) override {}
    void OnProgressPosition(int, int) override {}
};

// The progress window's messages, one line each as they change.
class TConsoleWindows : public TSetupWindows
{
protected:
    void Changed(TSetupPart part) override
    {
        if (part == TSetupPart::Message && !Message().isEmpty() && Message() != FLast)
            Err(FLast = Message());
    }
    void LoadSlide(int) override {}

private:
    QString FLast;
};

} // namespace

int main(int argc, char **argv)
{
    if (const auto answered = AnswerHelpOrVersion(argc, argv, "velmsetup-console", kUsage))
        return *answered;
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    TConsoleSetupUi ui;
    bool keepSources = false;
    for (;;) {
        if (args.size() >= 2 && args[0] == QStringLiteral("--answer")) {
            ui.Answers << args[1];
            args.remove(0, 2);
        } else if (!args.isEmpty() && args[0] == QStringLiteral("--keep-sources")) {
            keepSources = true;
            args.remove(0);
        } else {
            break;
        }
    }
    if (args.isEmpty() || args.size() > 3 || args[0].startsWith(QLatin1Char('-'))) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    SetUi(&ui);
    ui.SetTitle(QString::fromLatin1(WizardCaption));
    QByteArray ns = args[0].toUpper().toLatin1();
    const QByteArray ip = args.value(1, QStringLiteral("127.0.0.1")).toLatin1();
    const QByteArray port = args.value(2, QStringLiteral("1972")).toLatin1();

    TSetupLog log;
    TSetupClock clock;
    TConsoleWindows windows;
    TVisMClient vism;
    TDistrib distrib(QDir::current().filePath(QStringLiteral("velminstal.dat")));
    bool ok = distrib.ReadHeader(log);
    // As the wizard's check box: only with the distribution's source password.
    if (ok && keepSources
        && QString::fromLocal8Bit(qgetenv("VELMSETUP_SOURCE_PASSWORD")) != FromWin1251(distrib.SourcePass)) {
        Err(QStringLiteral("--keep-sources: VELMSETUP_SOURCE_PASSWORD is not the distribution's source password"));
        ok = false;
    }
    if (ok && distrib.DetectLibrary()) {
        // As in the wizard: library programs go to the server's first namespace.
        vism.SetMServer(TVisM::ServerString(ip, port));
        vism.SetNameSpace("%SYS");
        vism.SetP1(1);
        vism.SetValue(QByteArray());
        vism.Execute("$zu(90,2,0,P1)");
        ok = !vism.Error() && !vism.Value().isEmpty();
        if (ok)
            ns = vism.Value();
        Err(QStringLiteral("library programs: installed into the first namespace, ") + QString::fromLatin1(ns));
    }
    if (ok) {
        log.Add(QString());
        log.Add(QStringLiteral("Параметры соединения:"));
        log.Add(ToWin1251(QStringLiteral("IP адрес:")) + ip);
        log.Add(ToWin1251(QStringLiteral("Порт:")) + port);
        log.Add(ToWin1251(QStringLiteral("Область:")) + ns);
        vism.SetMServer(TVisM::ServerString(ip, port));
        vism.SetNameSpace(ns);
        vism.SetValue(QByteArray());
        vism.Execute("$ZNSPACE");
        ok = !vism.Error();
        log.Add(ok ? ToWin1251(QStringLiteral("Успешное соединение с областью ")) + ns
                   : ToWin1251(QStringLiteral("Ошибка соединения. ")) + vism.ErrorName());
    }
    if (ok) {
        TSetupStages stages(distrib, vism, log, windows, clock);
        stages.Options.KeepSources = keepSources;
        const QDateTime start = clock.Now();
        log.Add(QString());
        log.Add(QStringLiteral("Старт процесса установки: ") + clock.TimeText(start.time()));
        log.Add(QString());
        stages.JournalOff();
        try {
            ok = stages.RunCheckStage() && stages.RunProgramStage();
            stages.JournalOn();
            ok = ok && stages.RunPostActionStage();
        } catch (const std::exception &e) {
            stages.JournalOn();
            log.Add(ToWin1251(QStringLiteral("Ошибка: ")) + QByteArray(e.what()));
            ok = false;
        }
        const QDateTime end = clock.Now();
        log.Add(QStringLiteral("Время окончания установки: ") + clock.TimeText(end.time()));
        log.Add(QStringLiteral("Продолжительность установки: ") + clock.Duration(start.msecsTo(end)));
    }
    vism.Disconnect();
    log.Add(ok ? QStringLiteral("Установка дистрибутива успешно завершена.")
               : QStringLiteral("Установка дистрибутива не была завершена"));
    const QString path = QDir::current().filePath(QStringLiteral("velmsetup.txt"));
    if (!log.SaveToFile(path))
        Err(QStringLiteral("cannot write ") + path);
    for (const QByteArray &line : log.Lines)
        std::printf("%s\n", FromWin1251(line).toUtf8().constData());
    SetUi(nullptr);
    return ok ? 0 : 1;
}
