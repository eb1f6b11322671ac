#include "startup.h"

#include "BankUi.h"
#include "Connect.h"
#include "RegForm.h"
#include "about.h"
#include "data.h"
#include "logo.h"
#include "progress.h"
#include "taskdata.h"
#include "taskunit.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>

namespace velmbank {

namespace {

QtUi *WidgetUi() { return dynamic_cast<QtUi *>(&Ui()); }

} // namespace

QString SystemProfileFileName = QStringLiteral("/etc/velmbank/velmbank.ini");

QStringList ProfilePlaces(const QString &given)
{
    const QDir current = QDir::current();
    QStringList places;
    if (!given.isEmpty())
        places << current.filePath(given);
    places << current.filePath(QStringLiteral("velmbank.ini"))
           << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                  + QStringLiteral("/velmbank/velmbank.ini")
           << SystemProfileFileName;
    places.removeDuplicates();
    return places;
}

void ParseCommandLine(TLink &link, const QStringList &params)
{
    const QDir current = QDir::current();
    const QString profile = params.value(0);
    // The first place that holds a file; none: velmbank.ini here, which the start reports missing.
    const QStringList places = ProfilePlaces(profile);
    link.ProfileFileName = current.filePath(QStringLiteral("velmbank.ini"));
    for (const QString &place : places) {
        if (QFileInfo(place).isFile()) {
            link.ProfileFileName = place;
            break;
        }
    }
    if (params.value(1) == QLatin1String("0"))
        link.ShowErrors = false;
    if (params.value(2) == QLatin1String("1")) {
        link.KeepProtocol = true;
        link.ProtocolDir = params.value(3);
        if (link.ProtocolDir.isEmpty() || !QFileInfo(link.ProtocolDir).isDir())
            link.ProtocolDir = current.path();
    }
}

// The session as the windows go through it: the logo over the start, the login dialog, every
// place the profile was looked for named when none holds it.
class TVelmBank::TFrontEnd : public TSessionFrontEnd
{
public:
    TFrontEnd(const QStringList &params)
        : FParams(params), FLogo(std::make_unique<TfmLogo>(QDir::currentPath()))
    {
        FLogo->ShowNow();
        // Boxes of the start-up open over the logo, which stays on top of everything else.
        if (QtUi *ui = WidgetUi())
            ui->SetParentWindow(FLogo.get());
    }
    ~TFrontEnd() override
    {
        if (QtUi *ui = WidgetUi(); ui && ui->ParentWindow() == FLogo.get())
            ui->SetParentWindow(nullptr);
    }
    bool ProfileReady() override
    {
        if (QFileInfo(dmSet->Link.ProfileFileName).isFile())
            return true;
        // The link would name one missing file; the operator is told every place looked at.
        Ui().ShowMessage(QStringLiteral("Файл инициализации соединения не найден. Искали:\n%1")
                             .arg(ProfilePlaces(FParams.value(0)).join(QLatin1Char('\n'))));
        return false;
    }
    bool Login() override
    {
        if (FLogo)
            FLogo->hide();
        int result = QDialog::Rejected;
        {
            TRegistration registration(dmSet->Link);
            result = registration.exec();
        }
        if (FLogo)
            FLogo->ShowNow();
        return result == QDialog::Accepted;
    }
    void EndingEarly() override { FreeLogo(); }
    void ShowLogo()
    {
        if (FLogo)
            FLogo->ShowNow();
    }
    void FreeLogo()
    {
        if (QtUi *ui = WidgetUi(); ui && ui->ParentWindow() == FLogo.get())
            ui->SetParentWindow(nullptr);
        FLogo.reset();
    }

private:
    QStringList FParams;
    std::unique_ptr<TfmLogo> FLogo;
};

// ---- the program's run ----

TVelmBank::TVelmBank() = default;

TVelmBank::~TVelmBank()
{
    FreeWindows();
    delete dmSet;
}

TStartUp TVelmBank::Start(const QStringList &params)
{
    // The title the boxes carry until the login dialog gives the gateway's own.
    if (Ui().Title().isEmpty())
        Ui().SetTitle(QStringLiteral("velmbank"));
    qApp->setQuitOnLastWindowClosed(false);

    delete dmSet;
    dmSet = new TdmSet;
    ParseCommandLine(dmSet->Link, params);
    TFrontEnd frontEnd(params);
    const TSessionStart started = dmSet->DataModuleCreate(frontEnd);
    if (!StartHolds(started))
        return TStartUp::EndProcess;
    FTerminate = started == TSessionStart::Terminate;
    frontEnd.ShowLogo();
    CreateWindows();
    frontEnd.FreeLogo();
    return FTerminate ? TStartUp::Terminate : TStartUp::Run;
}

void TVelmBank::CreateWindows()
{
    // Once, in this order, and reused until the end; the main window comes first.
    fmTaskMan = new TfmTaskMan;
    dmTask = new TdmTask(*dmSet);
    fmProgress = new TfmProgress;
    fmAbout = new TfmAbout(fmTaskMan);
    if (QtUi *ui = WidgetUi()) {
        ui->SetProgressView(fmProgress);
        ui->SetParentWindow(fmTaskMan);
    }
}

void TVelmBank::FreeWindows()
{
    if (QtUi *ui = WidgetUi()) {
        ui->SetProgressView(nullptr);
        ui->SetParentWindow(nullptr);
    }
    delete fmAbout;
    fmAbout = nullptr;
    delete fmProgress;
    fmProgress = nullptr;
    delete dmTask;
    dmTask = nullptr;
    delete fmTaskMan;
    fmTaskMan = nullptr;
}

int TVelmBank::Exec()
{
    if (FTerminate || !fmTaskMan)
        return 0;
    QObject::connect(fmTaskMan, &TfmTaskMan::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    fmTaskMan->show();
    fmTaskMan->activateWindow();
    return QApplication::exec();
}

void TVelmBank::Shutdown()
{
    if (dmSet)
        dmSet->DataModuleDestroy();
    FreeWindows();
    delete dmSet;
    dmSet = nullptr;
}

} // namespace velmbank
