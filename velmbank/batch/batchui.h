#pragma once
// The Ui seam of velmbank-import: nobody sits in front of it, so it never asks. Every question
// gets its safe answer and is said (the run's own are answered before it starts), every message
// goes to stderr with the time and into the work protocol, and the progress window is one line
// on stderr when stderr is a terminal.

#include "Ui.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <atomic>
#include <functional>

class TLink;

// Set by SIGINT and SIGTERM: a wait on the link ends, the run stops after the row in hand, and
// the program ends through its normal shutdown (GLinTO, unlock, logout). Lock-free, so that the
// handler may set it and the thread of the import's calls read it.
extern std::atomic<bool> BatchInterrupted;
void InstallBatchSignalHandlers();

class TBatchUi : public TSilentUi
{
public:
    using Writer = std::function<void(const QByteArray &utf8)>;

    // writer: where lines for stderr go (stderr itself when empty); progress: draw the progress
    // line (stderr is a terminal).
    explicit TBatchUi(Writer writer = {}, bool progress = false);

    // The link whose work protocol takes the messages (none: stderr only).
    TLink *Link = nullptr;
    // The surname the run's prompt is answered with (empty: the prompt is cancelled).
    QString Surname;
    // What goes before each stderr line: the date and time.
    std::function<QString()> Stamp;

    // A message of the program itself: to stderr and into the protocol.
    void Say(const QString &text);
    // Lines for stderr only (a failure, which the standard error report puts into the protocol
    // itself, or what cannot go there, such as the protocol's own failure).
    void Write(const QString &text);

    void ShowMessage(const QString &text) override;
    void ShowError(const QString &text) override;
    TAnswer AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                     TQuestionIcon icon = TQuestionIcon::Question) override;
    TAnswer AskYesNoCancel(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                           TQuestionIcon icon = TQuestionIcon::Question) override;
    // The run answers its own boxes from the policy: any box that still comes gets its Esc.
    int ChoiceBox(const TChoiceArgs &args) override;
    std::optional<QString> AskPassword(const QString &caption) override;
    std::optional<Account> AskAccount(const QString &caption, const QString &user) override;
    std::optional<QString> AskText(const QString &caption, const QString &prompt,
                                   const QString &initial) override;
    std::optional<QString> AskName(const QString &caption, const QString &prompt, const QString &initial,
                                   const NameCheck &check) override;
    std::optional<QString> ChooseFile(const QString &caption, const QString &dir,
                                      const QString &filter) override;
    std::optional<QString> ChooseFolder(const QString &caption, const QString &dir) override;
    // Timers (the link's keep-alive) run here; a signal reads as Esc in the progress window.
    void ProcessEvents() override;

protected:
    void OnProgressShow(const QString &message, int maximum) override;
    void OnProgressHide() override;
    void OnProgressMessage(const QString &message) override;
    void OnProgressPosition(int position, int maximum) override;

private:
    void Answered(const QString &question, const QString &answer);
    void DrawProgress(bool force);
    void ClearProgress();

    Writer FWriter;
    bool FProgress;
    bool FLineShown = false;
    QString FCaption;
    QElapsedTimer FDrawn;
};
