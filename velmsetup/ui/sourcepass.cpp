#include "sourcepass.h"

#include "Access.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmsetup {

void SetStarEcho(QLineEdit *edit)
{
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

void LayOutPrompt(QDialog *dialog, QWidget *group, QPushButton *&ok, QPushButton *&cancel, int minWidth)
{
    ok = new QPushButton(QStringLiteral("ОК"), dialog);
    cancel = new QPushButton(QStringLiteral("Отмена"), dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *l = new QVBoxLayout(dialog);
    l->addWidget(group);
    l->addLayout(buttons);
    GiveAccessibleNames(dialog);
    dialog->setFixedSize(QSize(qMax(minWidth, dialog->sizeHint().width()), dialog->sizeHint().height()));
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

    LayOutPrompt(this, gbPass, btOk, btCancel, 280);
}

void TfmPass::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    edPass->setFocus();
    edPass->selectAll();
}

} // namespace velmsetup
