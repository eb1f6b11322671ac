// velmsetup-console [--answer TEXT]... NAMESPACE [IP [PORT]]: installs the distribution of the
// current folder (velminstal.dat) into NAMESPACE through the installer's three stages, with no
// windows. The account comes from VELMSETUP_USER and VELMSETUP_PASSWORD; the post-actions'
// questions take the --answer texts in turn (a button's caption for a choice), then what they
// propose; library programs go to the first namespace, as in the wizard. The installation is the
// wizard's, step by step, and so is its log, written to velmsetup.txt (in the temporary folder
// when the current one is not writable) and printed; the outcome ends it.
// Exit 0 installed, 1 the installation failed, 2 a wrong command line.

#include "StandardOptions.h"
#include "Ui.h"
#include "VisM.h"
#include "codepage.h"
#include "installation.h"

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
    "stderr; the installation log is written to velmsetup.txt in the current folder (in the\n"
    "temporary folder when the current one is not writable), as the wizard writes it, and\n"
    "printed; the outcome ends it and stderr.\n"
    "\n"
    "Exit: 0 installed, 1 the installation failed, 2 a wrong command line.\n";

void Err(const QString &text) { std::fprintf(stderr, "velmsetup-console: %s\n", text.toUtf8().constData()); }

// Messages go to stderr; questions take the given answers in turn, then what they propose.
class TConsoleSetupUi : public TSilentUi
{
public:
    QStringList Answers;

    void ShowMessage(const QString &text) override { Err(text); }
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
                Err(args.Message + QStringLiteral(": \"") + given + QStringLiteral("\" is none of ")
                    + buttons.join(u'/'));
                return args.EscapeResult;
            }
        }
        Err(args.Message + QLatin1Char(' ') + buttons.value(pressed - 1));
        return pressed;
    }
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
    const QByteArray ip = args.value(1, QStringLiteral("127.0.0.1")).toLatin1();
    const QByteArray port = args.value(2, QStringLiteral("1972")).toLatin1();

    TSetupClock clock;
    TConsoleWindows windows;
    TVisMClient vism;
    TInstallation in(QDir::currentPath(), vism, clock);
    in.SetWindows(windows);
    in.Options.KeepSources = keepSources;
    in.LogStart();
    bool ok = in.ReadHeader();
    // As the wizard's check box: only with the distribution's source password.
    if (ok && keepSources
        && QString::fromLocal8Bit(qgetenv("VELMSETUP_SOURCE_PASSWORD"))
               != FromWin1251(in.Distrib.SourcePass)) {
        Err(QStringLiteral(
            "--keep-sources: VELMSETUP_SOURCE_PASSWORD is not the distribution's source password"));
        ok = false;
    }
    ok = ok && in.ConnectSystem(ip, port);
    if (ok) {
        QByteArray ns = args[0].toUpper().toLatin1();
        if (in.Library) {
            // As in the wizard: library programs go to the server's first namespace.
            ns = in.NameSpaces.value(0);
            Err(QStringLiteral("library programs: installed into the first namespace, ")
                + FromWin1251(ServerToDisplay(ns)));
        }
        if (ns.isEmpty())
            Err(QStringLiteral("the server lists no namespace"));
        ok = !ns.isEmpty() && in.ConnectNameSpace(ns);
    }
    ok = ok && in.Install();
    vism.Disconnect();
    // What the wizard's final page would say ends the log, and the output.
    const QString outcome = ok ? QStringLiteral("Установка дистрибутива успешно завершена.")
                               : QStringLiteral("Установка дистрибутива не была завершена");
    in.Log.Add(outcome);
    const QString path = in.WriteLog();
    for (const QByteArray &line : in.Log.Lines)
        std::printf("%s\n", FromWin1251(line).toUtf8().constData());
    std::fflush(stdout);
    if (path != QDir::current().filePath(QStringLiteral("velmsetup.txt")))
        Err(QStringLiteral("the current folder is not writable: the log is ") + path);
    Err(outcome);
    SetUi(nullptr);
    return ok ? 0 : 1;
}
