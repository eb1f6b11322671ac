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

    btOk = new QPushButton(QStringLiteral("ОК"), this);
    btCancel = new QPushButton(QStringLiteral("Отмена"), this);
    btOk->setDefault(true);
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);
    auto *l = new QVBoxLayout(this);
    l->addWidget(gbAccount);
    l->addLayout(buttons);
    GiveAccessibleNames(this);
    setFixedSize(QSize(qMax(300, sizeHint().width()), sizeHint().height()));
    (user.isEmpty() ? edUser : edPassword)->setFocus();
}
