#include "BankUi.h"

#include "NameDialog.h"
#include "PassForm.h"

namespace velmbank {

std::optional<QString> TBankUi::AskPassword(const QString &caption)
{
    (void)caption; // the prompt has its own fixed caption
    return ShowXApiPassWord(ParentWindow());
}

std::optional<QString> TBankUi::AskName(const QString &caption, const QString &prompt, const QString &initial,
                                        const NameCheck &check)
{
    TNameDialog d(caption, prompt, ParentWindow());
    return d.AskName(caption, prompt, initial, check);
}

void TBankUi::OnTitleChanged(const QString &title) { (void)title; }

} // namespace velmbank
