// velmbank, the gateway: connects, registers the operator and locks the work before its main
// window opens; logs out and lets go when the main window closes.
#include "AppSetup.h"
#include "BankUi.h"
#include "StandardOptions.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

const char *const kUsage =
    "usage: velmbank [PROFILE [0 [1 [PROTOCOLDIR]]]]\n"
    "\n"
    "The gateway \"ВЕЛЬМ - Банк\": carries the payment documents of a bank's client software\n"
    "(dBASE files or 1C exchange texts) into the accounting system Вельм. It connects to the\n"
    "server, asks for the operator's login, takes the exclusive lock and opens the task\n"
    "manager; closing it hands the work back, releases the lock and logs out.\n"
    "\n"
    "  PROFILE      the connection profile, a file in the current folder; one that is not\n"
    "               there counts as velmbank.ini\n"
    "  0            failed server calls are not shown in message boxes\n"
    "  1            keep the work protocol, written to PROTOCOLDIR/clproto.txt at the end\n"
    "               (the current folder when PROTOCOLDIR is no folder)\n"
    "  --help       this text; --version: the version\n"
    "\n"
    "The profile is looked for in this order: PROFILE or velmbank.ini in the current folder,\n"
    "~/.config/velmbank/velmbank.ini, /etc/velmbank/velmbank.ini (the package's, for the\n"
    "velmd service of this machine). Window places and the document grid's choices are kept\n"
    "in ~/.config/Remart/VelmBank.conf.\n";

// VELMBANK_SCREENSHOTS=DIR, for the demo script: each window is saved as DIR/<its name>.png
// once it has been shown and painted; after the main window's picture the main window closes,
// so that the program ends the way the operator ends it.
class TScreenshots : public QObject
{
public:
    explicit TScreenshots(const QString &dir) : FDir(dir) {}

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() != QEvent::Show || !o->isWidgetType())
            return false;
        auto *w = static_cast<QWidget *>(o);
        const QString name = w->objectName();
        if (!w->isWindow() || name.isEmpty() || FDone.contains(name))
            return false;
        FDone.insert(name);
        QTimer::singleShot(800, w, [this, w, name] {
            const QString path = QDir(FDir).filePath(name + QStringLiteral(".png"));
            const bool saved = w->grab().save(path);
            std::fprintf(stderr, "velmbank: %s %s\n", saved ? "saved" : "could not save", qPrintable(path));
            if (name == QStringLiteral("fmTaskMan"))
                w->close();
        });
        return false;
    }

private:
    QString FDir;
    QSet<QString> FDone;
};

} // namespace

using namespace velmbank;

int main(int argc, char **argv)
{
    if (const auto answered = AnswerHelpOrVersion(argc, argv, "velmbank", kUsage))
        return *answered;
    QApplication app(argc, argv);
    SetUpWindowedProgram(app, QStringLiteral("velmbank"));
    TBankUi ui;
    SetUi(&ui);
    TScreenshots screenshots(qEnvironmentVariable("VELMBANK_SCREENSHOTS"));
    if (qEnvironmentVariableIsSet("VELMBANK_SCREENSHOTS"))
        app.installEventFilter(&screenshots);
    int code = 0;
    {
        // The program's windows go while the seam is still set: their teardown reaches it.
        TVelmBank program;
        if (program.Start(app.arguments().mid(1)) == TStartUp::EndProcess)
            std::_Exit(0); // nothing is held yet: no finalisation, no protocol
        code = program.Exec();
        program.Shutdown();
    }
    SetUi(nullptr);
    return code;
}
