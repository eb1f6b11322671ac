#include "wizardfixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QStackedWidget>
#include <QTimer>

void AnswerInTurn(QList<std::function<void(QWidget *)>> acts, int timeoutMs)
{
    auto *timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    auto left = std::make_shared<QList<std::function<void(QWidget *)>>>(std::move(acts));
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, left, timeoutMs] {
        QWidget *w = QApplication::activeModalWidget();
        if (w && w->isVisible() && !w->property("velmAnswered").toBool()) {
            w->setProperty("velmAnswered", true);
            const auto act = left->takeFirst();
            if (left->isEmpty()) {
                timer->stop();
                timer->deleteLater();
            }
            act(w);
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << left->size() << " dialog(s) never came";
        }
    });
    timer->start();
}

std::function<void(QWidget *)> Press(const QString &text, const QString &button, const QString &caption)
{
    return [=](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        EXPECT_TRUE(box) << "not a message box: " << w->metaObject()->className();
        if (box) {
            EXPECT_EQ(box->text(), text);
            if (!caption.isEmpty())
                EXPECT_EQ(box->windowTitle(), caption);
        }
        ClickButton(w, button);
    };
}

TOpenedFiles::TOpenedFiles() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }

TOpenedFiles::~TOpenedFiles() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

QStringList FileLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    EXPECT_TRUE(all.endsWith("\r\n")) << path.toStdString();
    QList<QByteArray> pieces = all.split('\n');
    pieces.removeLast(); // after the last line end
    QStringList lines;
    for (const QByteArray &l : pieces) {
        EXPECT_TRUE(l.endsWith('\r')) << "a line without CR: " << l.toStdString();
        lines << FromWin1251(l.endsWith('\r') ? l.chopped(1) : l);
    }
    return lines;
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

TDistContent Content(const QList<QByteArray> &programs)
{
    TDistContent c;
    c.Product = Cp(u"Шлюз ВЕЛЬМ-Банк");
    c.Version = "3.1";
    c.BuildDate = "09.12.2024";
    c.Key = 77;
    c.SourcePass = Cp(u"Секрет");
    for (const QByteArray &name : programs)
        c.Programs << TDistRoutine{name, {name + " ;", " q"}};
    return c;
}

WizardTest::WizardTest()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, SettingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, SettingsDir.path());
    SetUi(&Ui);
    Ui.SetTitle(QString::fromLatin1(WizardCaption));
}

WizardTest::~WizardTest()
{
    Program.reset();
    SetUi(nullptr);
}

void WizardTest::Distribution(const TDistContent &content)
{
    WriteFile(Path(QStringLiteral("velminstal.dat")), WriteDistribution(content));
}

void WizardTest::Open(const QStringList &params, bool start)
{
    Program = std::make_unique<TSetupProgram>(TSetupEnv{Dir.path(), params}, *VisM, *Clock);
    Ui.SetWindows(Program->fmProgress.get(), Program->fmSetup.get(), Program->fmFone.get());
    Ui.SetProgressView(Program->fmProgress.get());
    Program->fmSetup->EndApplication = [this] { ++Ended; };
    if (start)
        ASSERT_TRUE(Program->Start());
}

QStringList WizardTest::LogText() const
{
    QStringList out;
    for (const QByteArray &l : Program->fmSetup->Installation.Log.Lines)
        out << FromWin1251(l);
    return out;
}

void WizardTest::Click(const QString &caption) { ClickButton(Wizard().pcPages->currentWidget(), caption); }
