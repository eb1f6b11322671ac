#include "installation.h"

#include "Ui.h"
#include "VisM.h"
#include "codepage.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>

#include <utility>

namespace {

QByteArray W(const QString &text) { return ToWin1251(text); }

const char SettingsOrg[] = "Remart";
const char SettingsApp[] = "Velmsetup";

} // namespace

TInstallation::TInstallation(QString dir, TVisM &vism, TSetupClock &clock)
    : Dir(std::move(dir)), Distrib(Dir + QStringLiteral("/velminstal.dat")), FVisM(vism), FClock(clock)
{}

void TInstallation::ApplyCommandLine(const QStringList &params)
{
    Options.JoinLimit = DefaultJoinLimit;
    if (params.size() >= 1) {
        if (params[0] == QStringLiteral("q"))
            Options.HardPreAction = false;
        else if (params[0] == QStringLiteral("no"))
            Options.RunPreActions = false;
    }
    if (params.size() >= 2 && params[1] == QStringLiteral("%"))
        Options.LibraryDetection = false;
    if (params.size() >= 3) {
        bool ok = false;
        const int limit = params[1].toInt(&ok);
        if (ok)
            Options.JoinLimit = qMin(limit, DefaultJoinLimit);
        else
            Log.Add(QStringLiteral("Ошибка GUI приложения: ")
                    + QStringLiteral("\"%1\" не является целым числом").arg(params[1]));
    }
}

void TInstallation::LogStart()
{
    const QDateTime now = FClock.Now();
    Log.Add(QStringLiteral("Протокол установки дистрибутива. ")
            + QLocale::system().toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ')
            + FClock.TimeText(now.time()));
    Log.Add(QString());
}

bool TInstallation::ReadHeader()
{
    if (Distrib.ReadHeader(Log))
        return true;
    Ui().ShowMessage(QStringLiteral("Ошибка инициализации установщика"));
    return false;
}

void TInstallation::ReadSettings()
{
    QSettings s(QString::fromLatin1(SettingsOrg), QString::fromLatin1(SettingsApp));
    s.beginGroup(QStringLiteral("Settings"));
    IP = s.value(QStringLiteral("IP"), QStringLiteral("127.0.0.1")).toString().toLatin1();
    Port = s.value(QStringLiteral("Port"), QStringLiteral("1972")).toString().toLatin1();
    RememberedNS = s.value(QStringLiteral("NS"), QStringLiteral("USER")).toString();
}

void TInstallation::SaveSettings() const
{
    QSettings s(QString::fromLatin1(SettingsOrg), QString::fromLatin1(SettingsApp));
    s.beginGroup(QStringLiteral("Settings"));
    s.setValue(QStringLiteral("IP"), QString::fromLatin1(IP));
    s.setValue(QStringLiteral("Port"), QString::fromLatin1(Port));
    s.setValue(QStringLiteral("NS"), FromWin1251(ServerToDisplay(NameSpace)));
    s.sync();
}

// ---- the connection -------------------------------------------------------------------------

void TInstallation::ShowConnecting(const QString &message)
{
    FWindows->SetLayout(TProgressLayout::Connect);
    FWindows->SetMessage(message);
    FWindows->SetClip(TSetupClip::FindFolder);
    FWindows->Show();
    FWindows->Repaint();
}

void TInstallation::LogConnection(const QString &what)
{
    Log.Add(QString());
    Log.Add(what);
    Log.Add(QStringLiteral("Параметры соединения:"));
    LogParameters();
}

void TInstallation::LogParameters()
{
    Log.Add(W(QStringLiteral("IP адрес:")) + IP);
    Log.Add(W(QStringLiteral("Порт:")) + Port);
    Log.Add(W(QStringLiteral("Область:")) + ServerToDisplay(NameSpace));
    Log.Add(QString());
}

void TInstallation::Refused()
{
    Ui().ShowMessage(
        QStringLiteral("Не удается создать соединение с Cache сервером. Попробуйте задать другие параметры"));
    Log.Add(W(QStringLiteral("Ошибка соединения. ")) + FVisM.ErrorName());
}

bool TInstallation::ConnectSystem(const QByteArray &ip, const QByteArray &port)
{
    ShowConnecting(QStringLiteral("Соединение с сервером..."));
    IP = QByteArray(ip).replace(' ', QByteArray());
    Port = port;
    AddressChanged = false;
    NameSpace = "%SYS";
    LogConnection(QStringLiteral("Подключение к системной области."));

    FVisM.SetMServer(TVisM::ServerString(IP, Port));
    FVisM.SetNameSpace(NameSpace);
    FVisM.SetValue(QByteArray());
    FVisM.Execute("$ZNSPACE");

    QByteArray usedIP;
    QByteArray usedPort;
    if (TVisM::ServerAddress(FVisM.MServer(), usedIP, usedPort) && (usedIP != IP || usedPort != Port)) {
        IP = usedIP;
        Port = usedPort;
        AddressChanged = true;
        Log.Add(QStringLiteral("Параметры соединения были изменены пользователем."));
        Log.Add(QStringLiteral("Новые параметры соединения:"));
        LogParameters();
    }
    if (FVisM.Error()) {
        // The message first: the progress window says meanwhile what was tried.
        Refused();
        FWindows->Hide();
        return false;
    }
    Log.Add(W(QStringLiteral("Успешное соединение с областью ")) + ServerToDisplay(NameSpace));
    ListNameSpaces();
    FWindows->Hide();
    try {
        Library = Distrib.DetectLibrary(Options.LibraryDetection);
    } catch (const EDistribError &e) {
        // The file may be gone or damaged since its header was read.
        ReportDistribError(e, Log);
        return false;
    }
    return true;
}

void TInstallation::ListNameSpaces()
{
    NameSpaces.clear();
    FVisM.SetCode("$zu(90,0)");
    FVisM.SetExecFlag(1);
    const int count = FVisM.Error() ? 0 : FVisM.Value().trimmed().toInt();
    for (int n = 1; n <= count; ++n) {
        FVisM.SetP1(n);
        FVisM.SetCode("$zu(90,2,0,P1)");
        FVisM.SetExecFlag(1);
        const QByteArray name = FVisM.Value();
        // A server may list a name twice in a row: it is one namespace.
        if (FVisM.Error() || name.isEmpty() || (!NameSpaces.isEmpty() && name == NameSpaces.constLast()))
            continue;
        NameSpaces << name;
    }
}

int TInstallation::Proposed() const
{
    for (qsizetype i = 0; i < NameSpaces.size(); ++i)
        if (FromWin1251(ServerToDisplay(NameSpaces[i])).compare(RememberedNS, Qt::CaseInsensitive) == 0)
            return int(i);
    return NameSpaces.isEmpty() ? -1 : 0;
}

bool TInstallation::ConnectNameSpace(const QByteArray &ns)
{
    NameSpace = ns;
    ShowConnecting(QStringLiteral("Соединение с областью ") + FromWin1251(ServerToDisplay(ns))
                   + QStringLiteral("..."));
    LogConnection(QStringLiteral("Подключение к выбранной области."));
    FVisM.SetNameSpace(NameSpace);
    FVisM.SetValue(QByteArray());
    FVisM.Execute("$ZNSPACE");
    FWindows->Hide();
    if (FVisM.Error()) {
        Refused();
        return false;
    }
    Log.Add(W(QStringLiteral("Успешное соединение с областью ")) + ServerToDisplay(NameSpace));
    return true;
}

// ---- the installation -----------------------------------------------------------------------

void TInstallation::LogOptions()
{
    Log.Add(QString());
    Log.Add(QStringLiteral("Параметры работы установщика:"));
    if (Options.RunPreActions) {
        Log.Add(QStringLiteral("Выполнять метки преддействия;"));
        Log.Add(Options.HardPreAction ? QStringLiteral("Установка с \"жестким\" преддействием;")
                                      : QStringLiteral("Установка с \"мягким\" преддействием;"));
    } else {
        Log.Add(QStringLiteral("Преддействия не выполнять;"));
    }
    Log.Add(Options.RestorePrograms ? QStringLiteral("Восстанавливать программы;")
                                    : QStringLiteral("НЕ восстанавливать программы;"));
    Log.Add(Options.RunPostActions ? QStringLiteral("Выполнять метки последействия.")
                                   : QStringLiteral("Последействия не выполнять."));
}

bool TInstallation::Install()
{
    if (Installed)
        return Succeeded;
    Installed = true;
    LogOptions();

    TSetupStages stages(Distrib, FVisM, Log, *FWindows, FClock);
    stages.Options = Options;
    stages.Slides = CountSlides(QDir(Dir + QStringLiteral("/IMAGES")));
    stages.JournalOff();
    bool success = true;

    const QDateTime start = FClock.Now();
    Log.Add(QString());
    Log.Add(QStringLiteral("Старт процесса установки: ") + FClock.TimeText(start.time()));
    Log.Add(QString());
    try {
        try {
            success = stages.RunCheckStage() && stages.RunProgramStage();
        } catch (...) {
            stages.JournalOn();
            throw;
        }
        stages.JournalOn();
        if (success)
            success = stages.RunPostActionStage();
    } catch (const std::exception &e) {
        Log.Add(W(QStringLiteral("Ошибка GUI приложения: ")) + QByteArray(e.what()));
        success = false;
    }
    Succeeded = success;

    FWindows->Hide();
    const QDateTime end = FClock.Now();
    Log.Add(QStringLiteral("Время окончания установки: ") + FClock.TimeText(end.time()));
    Log.Add(QStringLiteral("Продолжительность установки: ") + FClock.Duration(start.msecsTo(end)));
    return success;
}

QString TInstallation::WriteLog() const
{
    QString path = Dir + QStringLiteral("/velmsetup.txt");
    QFile::remove(path);
    if (!Log.SaveToFile(path)) {
        path = QDir::tempPath() + QStringLiteral("/velmsetup.txt");
        QFile::remove(path);
        Log.SaveToFile(path);
    }
    return path;
}
