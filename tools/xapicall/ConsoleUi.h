#pragma once
// The Ui seam for command-line tools: messages go to stderr in UTF-8, a password is one line
// of stdin (end of input cancels), and nothing else can be asked.

#include "Ui.h"

class ConsoleUi : public TUi
{
public:
    bool PromptCancelled = false;

    void ShowMessage(const QString &text) override;
    void ShowError(const QString &text) override;
    TAnswer AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                     TQuestionIcon icon = TQuestionIcon::Question) override;
    TAnswer AskYesNoCancel(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                           TQuestionIcon icon = TQuestionIcon::Question) override;
    int ChoiceBox(const TChoiceArgs &args) override;
    std::optional<QString> AskPassword(const QString &caption) override;
    std::optional<Account> AskAccount(const QString &caption, const QString &user) override;
    std::optional<QString> AskText(const QString &caption, const QString &prompt,
                                   const QString &initial) override;
    std::optional<QString> AskName(const QString &caption, const QString &prompt,
                                   const QString &initial, const NameCheck &check) override;
    std::optional<QString> ChooseFile(const QString &, const QString &, const QString &) override;
    std::optional<QString> ChooseFolder(const QString &, const QString &) override;
    void ProcessEvents() override {}

protected:
    void OnProgressShow(const QString &, int) override {}
    void OnProgressHide() override {}
    void OnProgressMessage(const QString &) override {}
    void OnProgressPosition(int, int) override {}
};
