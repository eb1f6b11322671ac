#include "BankUi.h"

#include "PassForm.h"

std::optional<QString> TBankUi::AskPassword(const QString &caption)
{
    (void)caption; // the prompt has its own fixed caption
    return ShowXApiPassWord(ParentWindow());
}
