#pragma once
// The seam in the installer: QtUi with the installer's own dialogs for the account of the VisM
// layer and for text questions of the post-actions, and every box placed in front of the window
// the operator is looking at. TGuiClock is the stages' clock in the program: its waits keep the
// windows alive.

#include "QtUi.h"
#include "setupwindows.h"

#include <QPointer>

namespace velmsetup {

class TSetupUi : public QtUi
{
public:
    // The windows a box is put in front of, the first shown one winning.
    void SetWindows(QWidget *progress, QWidget *wizard, QWidget *main);

    void ShowMessage(const QString &text) override;
    void ShowError(const QString &text) override;
    TAnswer AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                     TQuestionIcon icon = TQuestionIcon::Question) override;
    int ChoiceBox(const TChoiceArgs &args) override;
    std::optional<Account> AskAccount(const QString &caption, const QString &user) override;
    // The answer dialog: prompt is the question, initial the proposed answer.
    std::optional<QString> AskText(const QString &caption, const QString &prompt,
                                   const QString &initial) override;

protected:
    // The title captions the boxes and questions only: as Qt's application display name it
    // would be appended to every window's caption, the progress title during the stages.
    void OnTitleChanged(const QString &) override {}

private:
    QWidget *Front();

    QPointer<QWidget> FProgress;
    QPointer<QWidget> FWizard;
    QPointer<QWidget> FMain;
};

class TGuiClock : public TSetupClock
{
public:
    // Waits in an event loop of its own: timers, input and repaints go on, nothing spins.
    void Sleep(int ms) override;
};

} // namespace velmsetup
