#include "startup.h"

#include "about.h"
#include "BankUi.h"
#include "codepage.h"
#include "Connect.h"
#include "data.h"
#include "dbf.h"
#include "logo.h"
#include "progress.h"
#include "RegForm.h"
#include "Routines.h"
#include "taskdata.h"
#include "taskunit.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

QtUi *WidgetUi()
{
    return dynamic_cast<QtUi *>(&Ui());
}

void SaveProtocol()
{
    // Replaced whole or not at all; a failure here must not stop the shutdown.
    QSaveFile f(QDir(ProtocolDir).filePath(QStringLiteral("clproto.txt")));
    if (!f.open(QIODevice::WriteOnly))
        return;
    for (const QByteArray &line : std::as_const(Protocol)) {
        f.write(line);
        f.write("\r\n");
    }
    f.commit();
}

} // namespace

QString ProtocolTitle()
{
    return QStringLiteral("Протокол работы в программе шлюз \"ВЕЛЬМ - Банк\". ");
}

QString SystemProfileFileName = QStringLiteral("/etc/velmbank/velmbank.ini");

QStringList ProfilePlaces(const QString &given)
{
    const QDir current = QDir::current();
    QStringList places;
    if (!given.isEmpty())
        places << current.filePath(given);
    places << current.filePath(QStringLiteral("velmbank.ini"))
           << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                  QStringLiteral("/velmbank/velmbank.ini")
           << SystemProfileFileName;
    places.removeDuplicates();
    return places;
}

void ParseCommandLine(const QStringList &params)
{
    const QDir current = QDir::current();
    const QString profile = params.value(0);
    // The first place that holds a file; none: velmbank.ini here, which the start reports missing.
    const QStringList places = ProfilePlaces(profile);
    ProfileFileName = current.filePath(QStringLiteral("velmbank.ini"));
    for (const QString &place : places) {
        if (QFileInfo(place).isFile()) {
            ProfileFileName = place;
            break;
        }
    }
    if (params.value(1) == QLatin1String("0"))
        ShowErrors = false;
    if (params.value(2) == QLatin1String("1")) {
        KeepProtocol = true;
        ProtocolDir = params.value(3);
        if (ProtocolDir.isEmpty() || !QFileInfo(ProtocolDir).isDir())
            ProtocolDir = current.path();
    }
}

bool AcquireExclusiveLock()
{
    bool locked = false;
    RunReported([&] { locked = CallServer({Routines::LockTO}) == "1"; });
    return locked;
}

void ReleaseExclusiveLock()
{
    RunReported([] { CallServer({Routines::UnLockTO}); });
}

QByteArray UserDecimalSeparator()
{
    // Read into a 10-byte buffer by the original: at most nine bytes, up to a zero byte.
    QByteArray s = ToWin1251(QLocale::system().decimalPoint()).left(9);
    if (const qsizetype zero = s.indexOf('\0'); zero >= 0)
        s.truncate(zero);
    return s;
}

TStartUp DataModuleCreate(const QStringList &params, std::unique_ptr<TfmLogo> &logo)
{
    ParseCommandLine(params);
    if (KeepProtocol)
        Protocol.append(ToWin1251(ProtocolTitle()));
    if (!EngineInstalled()) {
        logo.reset();
        Ui().ShowMessage(QStringLiteral("BDE не найден. Обратитесь к администратору"));
        return TStartUp::EndProcess;
    }
    // OpenConnection would name one missing file; the operator is told every place looked at.
    const bool found = QFileInfo(ProfileFileName).isFile();
    if (!found)
        Ui().ShowMessage(QStringLiteral("Файл инициализации соединения не найден. Искали:\n%1")
                             .arg(ProfilePlaces(params.value(0)).join(QLatin1Char('\n'))));
    if (!found || !OpenConnection()) {
        Ui().ShowMessage(
            QStringLiteral("Не удается создать соединение с сервером. Проверьте файл настройки соединения"));
        logo.reset();
        return TStartUp::EndProcess;
    }
    if (logo)
        logo->hide();
    int result = QDialog::Rejected;
    {
        TRegistration registration;
        result = registration.exec();
    }
    if (logo)
        logo->ShowNow();
    if (result != QDialog::Accepted) {
        CloseConnection();
        logo.reset();
        return TStartUp::EndProcess;
    }
    if (!AcquireExclusiveLock()) {
        Ui().ShowMessage(
            QStringLiteral("Невозможна работа с программой сейчас из-за работы других пользователей"));
        Logout();
        CloseConnection();
        logo.reset();
        return TStartUp::EndProcess;
    }
    // From here on the lock is held: whatever fails, the program ends through the shutdown.
    const bool loaded = dmSet->LoadAtStartUp();
    LocaleDecimalSeparator = UserDecimalSeparator();
    return loaded ? TStartUp::Run : TStartUp::Terminate;
}

void DataModuleDestroy()
{
    if (dmSet)
        dmSet->CallGLinTOAtShutdown();
    if (KeepProtocol)
        SaveProtocol();
    ReleaseExclusiveLock();
    Logout();
    CloseConnection();
    if (dmSet) {
        dmSet->ClientBanks.clear();
        dmSet->TypeNames.clear();
        dmSet->Characteristics.clear();
        dmSet->CheckedMapx.clear();
        dmSet->NewSettings.clear();
        dmSet->ForgetTaskRows();
        dmSet->tbTasks->Close();
        dmSet->tbSets->Close();
        dmSet->tbSet->Close();
    }
}

// ---- the program's run ----

TVelmBank::TVelmBank() = default;

TVelmBank::~TVelmBank()
{
    FreeWindows();
    delete dmSet;
}

TStartUp TVelmBank::Start(const QStringList &params)
{
    ResetLinkGlobals();
    // The title the boxes carry until the login dialog gives the gateway's own.
    if (Ui().Title().isEmpty())
        Ui().SetTitle(QStringLiteral("velmbank"));
    qApp->setQuitOnLastWindowClosed(false);

    auto logo = std::make_unique<TfmLogo>(QDir::currentPath());
    logo->ShowNow();
    // Boxes of the start-up open over the logo, which stays on top of everything else.
    if (QtUi *ui = WidgetUi())
        ui->SetParentWindow(logo.get());

    delete dmSet;
    dmSet = new TdmSet;
    const TStartUp started = DataModuleCreate(params, logo);
    if (started == TStartUp::EndProcess) {
        if (QtUi *ui = WidgetUi())
            ui->SetParentWindow(nullptr);
        return started;
    }
    FTerminate = started == TStartUp::Terminate;
    if (logo)
        logo->ShowNow();
    CreateWindows();
    logo.reset();
    return started;
}

void TVelmBank::CreateWindows()
{
    // Once, in this order, and reused until the end; the main window comes first.
    fmTaskMan = new TfmTaskMan;
    dmTask = new TdmTask;
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
    DataModuleDestroy();
    FreeWindows();
    delete dmSet;
    dmSet = nullptr;
}
