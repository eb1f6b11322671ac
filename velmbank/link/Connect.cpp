#include "Connect.h"

#include "Routines.h"
#include "Ui.h"
#include "codepage.h"

#include <QDir>
#include <QFileInfo>

TXAPI *XApiLink = nullptr;
bool LinkOpened = false;
QString ProfileFileName;
bool ShowErrors = true;
bool KeepProtocol = false;
QList<QByteArray> Protocol;
QString ProtocolDir;
qint32 UserNumber = 0;
QByteArray LocaleDecimalSeparator(".");

void ResetLinkGlobals()
{
    delete XApiLink;
    XApiLink = nullptr;
    LinkOpened = false;
    ProfileFileName = QDir::currentPath() + QStringLiteral("/velmbank.ini");
    ShowErrors = true;
    KeepProtocol = false;
    Protocol.clear();
    ProtocolDir.clear();
    UserNumber = 0;
    LocaleDecimalSeparator = ".";
}

// ---- opening and closing the link ----

void StandardErrorReport(const QByteArray &failureText)
{
    if (ShowErrors)
        Ui().ShowError(FromWin1251(failureText));
    if (KeepProtocol)
        Protocol.append(failureText);
}

bool OpenConnection()
{
    delete XApiLink;
    XApiLink = new TXAPI;
    try {
        if (!QFileInfo::exists(ProfileFileName)) {
            Ui().ShowMessage(
                QStringLiteral("Файл инициализации соединения %1 не найден").arg(ProfileFileName));
            return false;
        }
        if (XApiLink->LoadProfile(ProfileFileName) && XApiLink->Open()) {
            LinkOpened = true;
            return true;
        }
        return false;
    } catch (const std::exception &e) {
        StandardErrorReport(QByteArray(e.what()));
        return false;
    }
}

void CloseConnection()
{
    if (LinkOpened && XApiLink)
        XApiLink->Close();
    delete XApiLink;
    XApiLink = nullptr;
}

// ---- login session ----

QByteArray CallServer(const QList<QByteArray> &elements)
{
    if (!XApiLink)
        throw TVELM_Activate_Except(QStringLiteral("Нет связи с сервером"));
    return XApiLink->Call(elements);
}

QByteArray FailureText(const std::exception &e)
{
    QByteArray text(e.what());
    if (text.isEmpty())
        text = ToWin1251(QStringLiteral("Ошибка сервера без описания"));
    return text;
}

namespace {
// Login and logout report failures whatever ShowErrors says, and never into the protocol.
bool CallShowingFailure(const QList<QByteArray> &elements, QByteArray &reply)
{
    try {
        reply = CallServer(elements);
        return true;
    } catch (const std::exception &e) {
        Ui().ShowError(FromWin1251(QByteArray(e.what())));
        return false;
    }
}
} // namespace

bool Login(const QByteArray &userNumber, const QByteArray &password,
           const QByteArray &personalPassword)
{
    QByteArray reply;
    if (!CallShowingFailure({Routines::Login, userNumber, password, personalPassword}, reply))
        return false;
    if (reply.isEmpty())
        return true;
    if (reply == "1")
        Ui().ShowMessage(QStringLiteral("Такой сеанс работы уже есть"));
    else
        Ui().ShowMessage(FromWin1251(reply));
    return false;
}

void Logout()
{
    QByteArray ignored;
    CallShowingFailure({Routines::Logout}, ignored);
}
