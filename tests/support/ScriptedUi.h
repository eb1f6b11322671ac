#pragma once
// The Ui seam for tests: records every message, caption and progress step in order, answers
// questions from a queue the test fills, and fails the test on a question it was not told to
// expect (or on an expected one that never came).

#include "Ui.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <variant>

class ScriptedUi : public TSilentUi
{
public:
    ScriptedUi();           // becomes the program-wide seam
    ~ScriptedUi() override; // restores the previous one; fails on unused answers

    // Answers, consumed in order by the questions of the matching kind.
    void ExpectYesNo(TAnswer answer);
    void ExpectYesNoCancel(TAnswer answer);
    void ExpectChoice(int button);
    void ExpectPassword(std::optional<QString> typed); // nullopt: cancelled
    void ExpectAccount(std::optional<Account> typed);
    void ExpectText(std::optional<QString> typed);
    void ExpectName(std::optional<QString> typed);
    void ExpectFile(std::optional<QString> chosen);
    void ExpectFolder(std::optional<QString> chosen);
    int PendingAnswers() const { return int(FAnswers.size()); }

    // Everything shown, in order, as "kind: text" lines.
    QStringList Events;
    // Only the texts of plain and error messages.
    QStringList Messages() const;
    void Clear() { Events.clear(); }
    // The events the progress window leaves, for comparisons.
    static QString ProgressStartText(const QString &message, int maximum);
    static QString ProgressText(int position, int maximum);

    // Runs at every ProcessEvents, for example to press Esc at a chosen step.
    std::function<void(ScriptedUi &)> OnProcessEvents;
    int ProcessEventsCount = 0;

    void ShowMessage(const QString &text) override;
    void ShowError(const QString &text) override;
    // A caption or icon other than the defaults is recorded before the question, as
    // "question caption: X" and "question icon: none".
    TAnswer AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                     TQuestionIcon icon = TQuestionIcon::Question) override;
    TAnswer AskYesNoCancel(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                           TQuestionIcon icon = TQuestionIcon::Question) override;
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
    void ProcessEvents() override;

protected:
    void OnProgressShow(const QString &message, int maximum) override;
    void OnProgressHide() override;
    void OnProgressMessage(const QString &message) override;
    void OnProgressPosition(int position, int maximum) override;

private:
    enum class Kind { YesNo, YesNoCancel, Choice, Password, Account, Text, Name, File, Folder };
    using Value = std::variant<TAnswer, int, std::optional<QString>, std::optional<Account>>;
    struct Answer
    {
        Kind kind;
        Value value;
    };
    Value Take(Kind kind, const QString &question);
    void RecordQuestionLook(const QString &caption, TQuestionIcon icon);

    std::deque<Answer> FAnswers;
    TUi *FPrevious = nullptr;
};
