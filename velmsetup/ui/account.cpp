#include "account.h"

#include "Access.h"
#include "sourcepass.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmsetup {

TfmAccount::TfmAccount(const QString &caption, const QString &user, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmAccount"));
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);

    gbAccount = new QGroupBox(QStringLiteral("Учетная запись на сервере"), this);
    edUser = new QLineEdit(user, gbAccount);
    edPassword = new QLineEdit(gbAccount);
    SetStarEcho(edPassword);
    auto *lbUser = new QLabel(QStringLiteral("Пользователь:"), gbAccount);
    auto *lbPassword = new QLabel(QStringLiteral("Пароль:"), gbAccount);
    lbUser->setBuddy(edUser);
    lbPassword->setBuddy(edPassword);
    auto *form = new QFormLayout(gbAccount);
    form->addRow(lbUser, edUser);
    form->addRow(lbPassword, edPassword);

    LayOutPrompt(this, gbAccount, btOk, btCancel, 300);
    (user.isEmpty() ? edUser : edPassword)->setFocus();
}

} // namespace velmsetup
