#include "sourcepass.h"

#include "Access.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

void SetStarEcho(QLineEdit *edit)
{
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

TfmPass::TfmPass(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmPass"));
    setWindowTitle(QStringLiteral("Введите пароль"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);

    gbPass = new QGroupBox(QStringLiteral("Пароль на исходные тексты"), this);
    edPass = new QLineEdit(gbPass);
    SetStarEcho(edPass);
    // The group box's title is what the edit asks for.
    edPass->setAccessibleName(gbPass->title());
    auto *g = new QVBoxLayout(gbPass);
    g->addWidget(edPass);

    // "ОК" in Cyrillic letters, as in the gateway's password prompt.
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
    l->addWidget(gbPass);
    l->addLayout(buttons);
    GiveAccessibleNames(this);
    setFixedSize(QSize(qMax(280, sizeHint().width()), sizeHint().height()));
}

void TfmPass::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    edPass->setFocus();
    edPass->selectAll();
}
