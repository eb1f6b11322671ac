#include "NameDialog.h"

#include "Access.h"
#include "codepage.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TNameDialog::TNameDialog(const QString &caption, const QString &group, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    auto *l = new QVBoxLayout(this);
    gbName = new QGroupBox(group, this);
    auto *gl = new QVBoxLayout(gbName);
    edPass = new QLineEdit(gbName);
    gl->addWidget(edPass);
    l->addWidget(gbName);
    auto *bl = new QHBoxLayout;
    bl->addStretch();
    btOk = new QPushButton(QStringLiteral("ОК"), this);
    btCancel = new QPushButton(QStringLiteral("Отмена"), this);
    btOk->setDefault(true);
    btOk->setAutoDefault(true);
    bl->addWidget(btOk);
    bl->addWidget(btCancel);
    l->addLayout(bl);
    connect(btOk, &QPushButton::clicked, this, &TNameDialog::btOkClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    edPass->setAccessibleName(group);
    GiveAccessibleNames(this);
    setMinimumWidth(300);
    adjustSize();
}

QString TNameDialog::Refusal(const QString &text) const { return Check ? Check(text) : QString(); }

void TNameDialog::btOkClick()
{
    const QString text = edPass->text();
    QString refusal = Refusal(text);
    if (refusal.isEmpty() && FromWin1251(ToWin1251(text)) != text)
        refusal = QStringLiteral("Имя клиент-банка содержит недопустимые символы");
    if (!refusal.isEmpty()) {
        Ui().ShowMessage(refusal);
        edPass->setFocus();
        return;
    }
    accept();
}

std::optional<QString> TNameDialog::AskName(const QString &caption, const QString &group,
                                            const QString &initial, const TUi::NameCheck &check)
{
    const QString oldCaption = windowTitle();
    const QString oldGroup = gbName->title();
    const TUi::NameCheck oldCheck = Check;
    setWindowTitle(caption);
    gbName->setTitle(group);
    edPass->setAccessibleName(group);
    edPass->setText(initial);
    if (check)
        Check = check;
    const bool ok = exec() == QDialog::Accepted;
    setWindowTitle(oldCaption);
    gbName->setTitle(oldGroup);
    edPass->setAccessibleName(oldGroup);
    Check = oldCheck;
    if (!ok)
        return std::nullopt;
    return edPass->text();
}

void TNameDialog::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (const QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    edPass->setFocus();
}
