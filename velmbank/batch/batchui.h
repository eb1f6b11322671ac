#pragma once
// The Ui seam of velmbank-import: nobody sits in front of it, so it never asks. Every question
// is answered from a policy and said, every message goes to stderr and into the work protocol,
// and the progress window is one line on stderr when stderr is a terminal.

#include "batchoptions.h"
#include "Ui.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <csignal>
#include <functional>

// Set by SIGINT and SIGTERM: the run stops after the row in hand, the program ends through
// its normal shutdown (GLinTO, unlock, logout).
extern volatile std::sig_atomic_t BatchInterrupted;
void InstallBatchSignalHandlers();

class TBatchUi : public TUi
{
public:
    using Writer = std::function<void(const QByteArray &utf8)>;

    // writer: where lines for stderr go (stderr itself when empty); progress: draw the progress
    // line (stderr is a terminal).
    explicit TBatchUi(TSimilarPolicy policy, Writer writer = {}, bool progress = false);

    // The surname the run's prompt is answered with (empty: the prompt is cancelled).
    QString Surname;

    // A message of the program itself: to stderr and into the protocol.
    void Say(const QString &text);
    // The core's standard error report shows a failure and then appends the same text to the
    // protocol, where this Ui has put it already: the second copy is dropped here. Every call of
    // the seam does this first; call it before the protocol is read or written.
    void Sync();
    // A line for stderr only (what cannot go into the protocol, such as its own failure).
    void Write(const QString &line);

    void ShowMessage(const QString &text) override;
    void ShowError(const QString &text) override;
    TAnswer AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                     TQuestionIcon icon = TQuestionIcon::Question) override;
    TAnswer AskYesNoCancel(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                           TQuestionIcon icon = TQuestionIcon::Question) override;
    // The run's similar-document boxes: the button the policy names; any other box: its Esc.
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

    TSimilarPolicy FPolicy;
    Writer FWriter;
    bool FProgress;
    bool FLineShown = false;
    QString FCaption;
    QElapsedTimer FDrawn;
    qsizetype FDuplicateAt = -1; // where the standard error report's copy would land
    QByteArray FDuplicate;
};
