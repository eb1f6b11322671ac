#pragma once
// The Ui seam for command-line tools: messages go to stderr in UTF-8, a password is one line
// of stdin (end of input cancels), and nothing else can be asked.

#include "Ui.h"

class ConsoleUi : public TSilentUi
{
public:
    bool PromptCancelled = false;

    void ShowMessage(const QString &text) override;
    TAnswer AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                     TQuestionIcon icon = TQuestionIcon::Question) override;
    TAnswer AskYesNoCancel(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                           TQuestionIcon icon = TQuestionIcon::Question) override;
    int ChoiceBox(const TChoiceArgs &args) override;
    std::optional<QString> AskPassword(const QString &caption) override;
};
