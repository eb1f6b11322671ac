#include "Connect.h"

#include "Routines.h"
#include "Ui.h"
#include "codepage.h"

#include <QDir>
#include <QFileInfo>

QByteArray FailureText(const std::exception &e)
{
    QByteArray text(e.what());
    if (text.isEmpty())
        text = ToWin1251(QStringLiteral("Ошибка сервера без описания"));
    return text;
}

TLink::TLink() : ProfileFileName(QDir::currentPath() + QStringLiteral("/velmbank.ini")) {}

TLink::~TLink() { CloseConnection(); }

// ---- opening and closing the link ----

void TLink::StandardErrorReport(const QByteArray &failureText)
{
    if (ShowErrors)
        Ui().ShowError(FromWin1251(failureText));
    if (KeepProtocol)
        Protocol.append(failureText);
}

bool TLink::OpenConnection()
{
    CloseConnection();
    FOwned = std::make_unique<TXAPI>();
    XApiLink = FOwned.get();
    XApiLink->Interrupted = Interrupted;
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

void TLink::CloseConnection()
{
    // A lent link is its lender's to close.
    if (LinkOpened && XApiLink)
        XApiLink->Close();
    LinkOpened = false;
    XApiLink = nullptr;
    FOwned.reset();
}

// ---- login session ----

QByteArray TLink::CallServer(const QList<QByteArray> &elements) { return Xapi().Call(elements); }

void TLink::StartServerCall(const QList<QByteArray> &elements) { Xapi().StartCall(elements); }

QByteArray TLink::FinishServerCall() { return Xapi().FinishCall(); }

TXAPI &TLink::Xapi()
{
    if (!XApiLink)
        throw TVELM_Activate_Except(QStringLiteral("Нет связи с сервером"));
    return *XApiLink;
}

// Login and logout report failures whatever ShowErrors says, and never into the protocol.
bool TLink::CallShowingFailure(const QList<QByteArray> &elements, QByteArray &reply)
{
    try {
        reply = CallServer(elements);
        return true;
    } catch (const std::exception &e) {
        Ui().ShowError(FromWin1251(QByteArray(e.what())));
        return false;
    }
}

bool TLink::Login(const QByteArray &userNumber, const QByteArray &password,
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

void TLink::Logout()
{
    QByteArray ignored;
    CallShowingFailure({Routines::Logout}, ignored);
}
