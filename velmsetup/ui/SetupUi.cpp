#include "SetupUi.h"

#include "account.h"
#include "askuser.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QThread>
#include <QTimer>

namespace velmsetup {

void TSetupUi::SetWindows(QWidget *progress, QWidget *wizard, QWidget *main)
{
    FProgress = progress;
    FWizard = wizard;
    FMain = main;
    SetParentWindow(Front());
}

QWidget *TSetupUi::Front()
{
    for (QWidget *w : {FProgress.data(), FWizard.data(), FMain.data()})
        if (w && w->isVisible())
            return w;
    return FMain;
}

void TSetupUi::ShowMessage(const QString &text)
{
    SetParentWindow(Front());
    QtUi::ShowMessage(text);
}

void TSetupUi::ShowError(const QString &text)
{
    SetParentWindow(Front());
    QtUi::ShowError(text);
}

TAnswer TSetupUi::AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption,
                           TQuestionIcon icon)
{
    SetParentWindow(Front());
    return QtUi::AskYesNo(text, defaultAnswer, caption, icon);
}

int TSetupUi::ChoiceBox(const TChoiceArgs &args)
{
    SetParentWindow(Front());
    return QtUi::ChoiceBox(args);
}

std::optional<TUi::Account> TSetupUi::AskAccount(const QString &caption, const QString &user)
{
    TfmAccount d(caption.isEmpty() ? Title() : caption, user, Front());
    if (d.exec() != QDialog::Accepted)
        return std::nullopt;
    return Account{d.edUser->text(), d.edPassword->text()};
}

std::optional<QString> TSetupUi::AskText(const QString &caption, const QString &prompt,
                                         const QString &initial)
{
    return AskUser(prompt, caption, initial, Front());
}

void TGuiClock::Sleep(int ms)
{
    if (ms <= 0)
        return;
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    // An event loop returns at once while the application is quitting: wait the rest plainly.
    if (const qint64 rest = ms - waited.elapsed(); rest > 0)
        QThread::msleep(static_cast<unsigned long>(rest));
}

} // namespace velmsetup
