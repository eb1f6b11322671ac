#include "clientman.h"

#include "Access.h"
#include "Ui.h"
#include "codepage.h"
#include "data.h"
#include "newclb.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmbank {

TfmClients *fmClients = nullptr;

namespace {
const QString Caption = QStringLiteral("Выбор клиент-банка");
} // namespace

TfmClients::TfmClients(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(Caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    auto *l = new QHBoxLayout(this);

    auto *panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    auto *pl = new QVBoxLayout(panel);
    lbTitle = new QLabel(QStringLiteral("Выберите клиент-банк, с которым Вы хотите работать"), panel);
    lbTitle->setWordWrap(true);
    liClients = new QListWidget(panel);
    lbTitle->setBuddy(liClients);
    pl->addWidget(lbTitle);
    pl->addWidget(liClients);
    l->addWidget(panel, 1);

    auto *bl = new QVBoxLayout;
    btNew = new QPushButton(QStringLiteral("Новый"), this);
    btNew->setToolTip(QStringLiteral("Создать новый клиент-банк"));
    btChoose = new QPushButton(QStringLiteral("Выбрать"), this);
    btDel = new QPushButton(QStringLiteral("Удалить"), this);
    btCancel = new QPushButton(QStringLiteral("Выход"), this);
    for (QPushButton *b : {btNew, btChoose, btDel, btCancel}) {
        b->setAutoDefault(false);
        bl->addWidget(b);
    }
    btChoose->setDefault(true);
    bl->addStretch();
    l->addLayout(bl);

    connect(btNew, &QPushButton::clicked, this, &TfmClients::actCreateExecute);
    connect(btChoose, &QPushButton::clicked, this, &TfmClients::actChooseExecute);
    connect(btDel, &QPushButton::clicked, this, &TfmClients::actDelExecute);
    connect(btCancel, &QPushButton::clicked, this, &TfmClients::actCancelExecute);
    connect(liClients, &QListWidget::itemDoubleClicked, this, &TfmClients::actChooseExecute);

    if (dmSet)
        for (const QByteArray &name : std::as_const(dmSet->ClientBanks))
            liClients->addItem(FromWin1251(name));
    if (liClients->count() > 0)
        liClients->setCurrentRow(0);

    GiveAccessibleNames(this);
    resize(430, 240);
}

int TfmClients::SelectedIndex() const
{
    const int row = liClients->currentRow();
    return row >= 0 && liClients->item(row) && liClients->item(row)->isSelected() ? row : -1;
}

void TfmClients::actChooseExecute() { accept(); }

void TfmClients::actCancelExecute() { reject(); }

bool TfmClients::AddName(const QString &name)
{
    const QByteArray bytes = ToWin1251(name);
    QByteArray message;
    if (!dmSet->AddClientBank(bytes, message)) {
        Ui().ShowMessage(FromWin1251(message));
        return false;
    }
    dmSet->ClientBanks.append(bytes);
    liClients->addItem(name);
    liClients->setCurrentRow(liClients->count() - 1);
    return true;
}

void TfmClients::actCreateExecute()
{
    fmPass->Check = {};
    if (fmPass->exec() != QDialog::Accepted)
        return;
    AddName(fmPass->edPass->text());
}

void TfmClients::actDelExecute()
{
    const int index = SelectedIndex();
    if (index < 0) // nothing to delete
        return;
    const QString name = liClients->item(index)->text();
    if (Ui().AskYesNo(QStringLiteral("Удалить клиент-банк %1?").arg(name), TAnswer::No, Caption)
        != TAnswer::Yes)
        return;
    QByteArray message;
    if (!dmSet->DeleteClientBank(ToWin1251(name), message)) {
        Ui().ShowMessage(FromWin1251(message));
        return;
    }
    if (index < dmSet->ClientBanks.size())
        dmSet->ClientBanks.removeAt(index);
    delete liClients->takeItem(index);
    if (liClients->count() > 0) {
        liClients->setCurrentRow(0);
        return;
    }
    if (Ui().AskYesNo(QStringLiteral("Нет ни одного клиент-банка. Создать?"), TAnswer::Yes, Caption)
        != TAnswer::Yes) {
        reject();
        return;
    }
    fmPass->Check = {};
    if (fmPass->exec() != QDialog::Accepted || !AddName(fmPass->edPass->text()))
        reject();
}

} // namespace velmbank
