#include "newclb.h"

#include "Access.h"
#include "clientman.h"
#include "codepage.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

TfmPass *fmPass = nullptr;

namespace {
const QString FormCaption = QStringLiteral("Создание нового КБ");
const QString GroupCaption = QStringLiteral("Введите имя");
} // namespace

TfmPass::TfmPass(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(FormCaption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    auto *l = new QVBoxLayout(this);
    gbName = new QGroupBox(GroupCaption, this);
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
    connect(btOk, &QPushButton::clicked, this, &TfmPass::btOkClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    edPass->setAccessibleName(GroupCaption);
    GiveAccessibleNames(this);
    setMinimumWidth(300);
    adjustSize();
}

QString TfmPass::ClientNameRefusal(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("Имя клиент-банка должно быть определено");
    if (fmClients) {
        for (int i = 0; i < fmClients->liClients->count(); ++i)
            if (fmClients->liClients->item(i)->text().compare(name, Qt::CaseInsensitive) == 0)
                return QStringLiteral("Клиент-банк с таким именем уже существует.");
    }
    return {};
}

void TfmPass::btOkClick()
{
    const QString text = edPass->text();
    QString refusal = Check ? Check(text) : ClientNameRefusal(text);
    // Names travel in Windows-1251: a character it lacks would reach the server as '?'.
    if (refusal.isEmpty() && FromWin1251(ToWin1251(text)) != text)
        refusal = QStringLiteral("Имя клиент-банка содержит недопустимые символы");
    if (!refusal.isEmpty()) {
        Ui().ShowMessage(refusal);
        edPass->setFocus();
        return;
    }
    accept();
}

std::optional<QString> TfmPass::AskName(const QString &caption, const QString &group, const QString &initial,
                                        const TUi::NameCheck &check)
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

void TfmPass::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (const QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    edPass->setFocus();
}
