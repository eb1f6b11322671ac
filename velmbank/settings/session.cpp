// The gateway session, as the settings store's creation and destruction handlers: everything
// between the program's start and its work (the link, the login, the exclusive lock, the lists),
// and the way back. The windows and velmbank-import both run it.
#include "data.h"

#include "Connect.h"
#include "Routines.h"
#include "Ui.h"
#include "codepage.h"
#include "dbf.h"

#include <QDir>
#include <QLocale>
#include <QSaveFile>

void TSessionFrontEnd::WorkTotals(const QByteArray &reply)
{
    Ui().ShowMessage(FromWin1251(reply));
}

void TSessionFrontEnd::SaveProtocol()
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

QString TdmSet::ProtocolTitle()
{
    return QStringLiteral("Протокол работы в программе шлюз \"ВЕЛЬМ - Банк\". ");
}

QByteArray TdmSet::UserDecimalSeparator()
{
    // Read into a 10-byte buffer by the original: at most nine bytes, up to a zero byte.
    QByteArray s = ToWin1251(QLocale::system().decimalPoint()).left(9);
    if (const qsizetype zero = s.indexOf('\0'); zero >= 0)
        s.truncate(zero);
    return s;
}

bool TdmSet::AcquireExclusiveLock(bool *refused)
{
    bool locked = false;
    const bool called = RunReported([&] { locked = CallServer({Routines::LockTO}) == "1"; });
    if (refused)
        *refused = called && !locked;
    return locked;
}

void TdmSet::ReleaseExclusiveLock()
{
    RunReported([] { CallServer({Routines::UnLockTO}); });
}

TSessionStart TdmSet::DataModuleCreate(TSessionFrontEnd &frontEnd, bool handOver)
{
    FFrontEnd = &frontEnd;
    FHandOver = handOver;
    if (KeepProtocol)
        Protocol.append(ToWin1251(ProtocolTitle()));
    if (!EngineInstalled()) {
        frontEnd.EndingEarly();
        Ui().ShowMessage(QStringLiteral("BDE не найден. Обратитесь к администратору"));
        return TSessionStart::NoEngine;
    }
    if (!frontEnd.ProfileReady() || !OpenConnection()) {
        Ui().ShowMessage(
            QStringLiteral("Не удается создать соединение с сервером. Проверьте файл настройки соединения"));
        CloseConnection();
        frontEnd.EndingEarly();
        return TSessionStart::NoLink;
    }
    if (!frontEnd.Login()) {
        CloseConnection();
        frontEnd.EndingEarly();
        return TSessionStart::NoLogin;
    }
    bool refused = false;
    if (!AcquireExclusiveLock(&refused)) {
        Ui().ShowMessage(
            QStringLiteral("Невозможна работа с программой сейчас из-за работы других пользователей"));
        Logout();
        CloseConnection();
        frontEnd.EndingEarly();
        return refused ? TSessionStart::Locked : TSessionStart::LockFailed;
    }
    // From here on the lock is held: whatever fails, the work ends through the shutdown.
    const bool loaded = LoadAtStartUp(handOver);
    LocaleDecimalSeparator = UserDecimalSeparator();
    return loaded ? TSessionStart::Run : TSessionStart::Terminate;
}

void TdmSet::DataModuleDestroy()
{
    if (FHandOver) {
        QByteArray reply;
        CallGLinTO(reply);
        if (!reply.isEmpty() && FFrontEnd)
            FFrontEnd->WorkTotals(reply);
    }
    if (KeepProtocol && FFrontEnd)
        FFrontEnd->SaveProtocol();
    ReleaseExclusiveLock();
    Logout();
    CloseConnection();
    FFrontEnd = nullptr;
    ClientBanks.clear();
    TypeNames.clear();
    Characteristics.clear();
    CheckedMapx.clear();
    NewSettings.clear();
    ForgetTaskRows();
    tbTasks->Close();
    tbSets->Close();
    tbSet->Close();
}
