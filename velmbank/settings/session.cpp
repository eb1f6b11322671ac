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

void TSessionFrontEnd::WorkTotals(const QByteArray &reply) { Ui().ShowMessage(FromWin1251(reply)); }

void TSessionFrontEnd::SaveProtocol(const TLink &link)
{
    // Replaced whole or not at all; a failure here must not stop the shutdown.
    QSaveFile f(QDir(link.ProtocolDir).filePath(QStringLiteral("clproto.txt")));
    if (!f.open(QIODevice::WriteOnly))
        return;
    for (const QByteArray &line : std::as_const(link.Protocol)) {
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
    RunReported([this] { CallServer({Routines::UnLockTO}); });
}

TSessionStart TdmSet::DataModuleCreate(TSessionFrontEnd &frontEnd, bool handOver)
{
    FHandOver = handOver;
    if (Link.KeepProtocol)
        Link.Protocol.append(ToWin1251(ProtocolTitle()));
    if (!EngineInstalled()) {
        frontEnd.EndingEarly();
        Ui().ShowMessage(QStringLiteral("BDE не найден. Обратитесь к администратору"));
        return TSessionStart::NoEngine;
    }
    if (!frontEnd.ProfileReady() || !Link.OpenConnection()) {
        Ui().ShowMessage(
            QStringLiteral("Не удается создать соединение с сервером. Проверьте файл настройки соединения"));
        Link.CloseConnection();
        frontEnd.EndingEarly();
        return TSessionStart::NoLink;
    }
    if (!frontEnd.Login()) {
        Link.CloseConnection();
        frontEnd.EndingEarly();
        return TSessionStart::NoLogin;
    }
    bool refused = false;
    if (!AcquireExclusiveLock(&refused)) {
        Ui().ShowMessage(
            QStringLiteral("Невозможна работа с программой сейчас из-за работы других пользователей"));
        Link.Logout();
        Link.CloseConnection();
        frontEnd.EndingEarly();
        return refused ? TSessionStart::Locked : TSessionStart::LockFailed;
    }
    // From here on the lock is held: whatever fails, the work ends through the shutdown.
    const bool loaded = LoadAtStartUp(handOver);
    Link.LocaleDecimalSeparator = UserDecimalSeparator();
    return loaded ? TSessionStart::Run : TSessionStart::Terminate;
}

namespace {
// The shutdown of a session a test or a tool opened by hand: the windows' own way.
class TPlainFrontEnd : public TSessionFrontEnd
{
public:
    bool Login() override { return false; }
};
} // namespace

void TdmSet::DataModuleDestroy(TSessionFrontEnd *given)
{
    TPlainFrontEnd plain;
    TSessionFrontEnd &frontEnd = given ? *given : plain;
    if (FHandOver) {
        QByteArray reply;
        CallGLinTO(reply);
        if (!reply.isEmpty())
            frontEnd.WorkTotals(reply);
    }
    if (Link.KeepProtocol)
        frontEnd.SaveProtocol(Link);
    ReleaseExclusiveLock();
    Link.Logout();
    Link.CloseConnection();
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
