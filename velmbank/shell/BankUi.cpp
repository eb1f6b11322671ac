#include "BankUi.h"

#include "PassForm.h"
#include "newclb.h"

std::optional<QString> TBankUi::AskPassword(const QString &caption)
{
    (void)caption; // the prompt has its own fixed caption
    return ShowXApiPassWord(ParentWindow());
}

std::optional<QString> TBankUi::AskName(const QString &caption, const QString &prompt, const QString &initial,
                                        const NameCheck &check)
{
    if (!fmPass)
        return QtUi::AskName(caption, prompt, initial, check);
    return fmPass->AskName(caption, prompt, initial, check);
}

void TBankUi::OnTitleChanged(const QString &title)
{
    (void)title;
}
