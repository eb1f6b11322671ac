// velmbank, the gateway: connects, registers the operator and locks the work before its main
// window opens; logs out and lets go when the main window closes.
#include "BankUi.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

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

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
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
