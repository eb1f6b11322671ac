#include "taskpar.h"

#include "Access.h"
#include "Connect.h"
#include "Ui.h"
#include "clientman.h"
#include "codepage.h"
#include "data.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

namespace velmbank {

TfmTaskPar *fmTaskPar = nullptr;

bool GotoTaskRow(int task) { return dmSet->GotoTaskRow(task); }

namespace {

QToolButton *SmallButton(QWidget *parent, const QString &hint, const QString &text)
{
    auto *b = new QToolButton(parent);
    b->setAutoRaise(true);
    b->setText(text);
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    return b;
}

} // namespace

TfmTaskPar::TfmTaskPar(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Выберите контекст задачи"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto *g = new QGridLayout(this);
    lbClients = new QLabel(QStringLiteral("Клиент банк"), this);
    cbClients = new QComboBox(this);
    cbClients->setEditable(false);
    lbClients->setBuddy(cbClients);
    btClients = SmallButton(this, QStringLiteral("Меню клиент-банков"), QStringLiteral("…"));
    lbSets = new QLabel(QStringLiteral("Настройка"), this);
    cbSets = new QComboBox(this);
    cbSets->setEditable(false);
    lbSets->setBuddy(cbSets);
    btNewSet = SmallButton(this, QStringLiteral("Создать новую настройку"), QStringLiteral("+"));
    for (QComboBox *c : {cbClients, cbSets}) {
        c->setMinimumContentsLength(18);
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    }
    g->addWidget(lbClients, 0, 0);
    g->addWidget(cbClients, 0, 1);
    g->addWidget(btClients, 0, 2);
    g->addWidget(lbSets, 1, 0);
    g->addWidget(cbSets, 1, 1);
    g->addWidget(btNewSet, 1, 2);
    g->setColumnStretch(1, 1);
    auto *bl = new QHBoxLayout;
    bl->addStretch();
    btStart = new QPushButton(QStringLiteral("Старт"), this);
    btCancel = new QPushButton(QStringLiteral("Отмена"), this);
    btStart->setDefault(true);
    bl->addWidget(btStart);
    bl->addWidget(btCancel);
    g->addLayout(bl, 2, 0, 1, 3);

    connect(cbClients, &QComboBox::activated, this, [this] { actClientsExecute(); });
    connect(btClients, &QToolButton::clicked, this, &TfmTaskPar::actNewClientExecute);
    connect(btNewSet, &QToolButton::clicked, this, &TfmTaskPar::actNewSetExecute);
    connect(btStart, &QPushButton::clicked, this, &TfmTaskPar::actStartExecute);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    GiveAccessibleNames(this);
    setMinimumWidth(275);
    adjustSize();
}

bool TfmTaskPar::PrepareTaskContext(int task)
{
    try {
        FTask = task;
        cbClients->clear();
        for (const QByteArray &name : std::as_const(dmSet->ClientBanks))
            cbClients->addItem(FromWin1251(name));
        cbClients->setCurrentIndex(cbClients->count() > 0 ? 0 : -1);
        btClients->setVisible(task == 0);
        btNewSet->setVisible(task == 0);
        if (!GotoTaskRow(task))
            throw EMemTableError(QStringLiteral("Нет задачи %1 в списке задач").arg(task));
        TMemTable *tasks = dmSet->tbTasks;
        setWindowTitle(FromWin1251(tasks->AsString(TdmSet::tkName)));
        cbSets->clear();

        const QByteArray client = tasks->AsString(TdmSet::tkClient);
        if (!client.isEmpty()) {
            if (!dmSet->LoadSettings(client))
                return false;
            for (int i = 0; i < cbClients->count(); ++i)
                if (cbClients->itemText(i).compare(FromWin1251(client), Qt::CaseInsensitive) == 0) {
                    cbClients->setCurrentIndex(i);
                    break;
                }
            FillSettingsCombo();
            if (!tasks->IsNull(TdmSet::tkSet))
                cbSets->setCurrentIndex(cbSets->findData(tasks->AsInteger(TdmSet::tkSet)));
        } else if (cbClients->count() > 0) {
            if (!dmSet->LoadSettings(ToWin1251(cbClients->currentText())))
                return false;
            FillSettingsCombo();
        }
        ChosenClient = cbClients->currentIndex() >= 0 ? ToWin1251(cbClients->currentText()) : QByteArray();
        adjustSize();
        return true;
    } catch (const std::exception &e) {
        dmSet->Link.StandardErrorReport(FailureText(e));
        return false;
    }
}

void TfmTaskPar::FillSettingsCombo()
{
    cbSets->clear();
    TMemTable *sets = dmSet->tbSets;
    if (sets->IsEmpty())
        return;
    // The dialog's own task decides, not whichever task row is current: the client-bank manager
    // walks the task rows. Each item carries its setting's Id, which is what is chosen.
    for (int r = 0; r < sets->RecordCount(); ++r)
        if (FTask <= TaskSettingsEditor || sets->IntegerAt(r, TdmSet::stType) == FTask)
            cbSets->addItem(FromWin1251(sets->StringAt(r, TdmSet::stName)), sets->IntegerAt(r, TdmSet::stId));
    cbSets->setCurrentIndex(-1);
}

void TfmTaskPar::actClientsExecute()
{
    if (cbClients->count() == 0 || cbClients->currentIndex() < 0)
        return;
    const QByteArray selected = ToWin1251(cbClients->currentText());
    if (selected == ChosenClient)
        return;
    ChosenClient = selected;
    dmSet->LoadSettings(ChosenClient); // a failure is reported there
    FillSettingsCombo();
}

void TfmTaskPar::actNewClientExecute()
{
    const QString remembered = cbClients->currentIndex() >= 0 ? cbClients->currentText() : QString();
    const bool ok = fmClients->exec() == QDialog::Accepted;
    const int chosen = fmClients->SelectedIndex();
    // A deleted client-bank was taken off every task, which left the task cursor elsewhere.
    GotoTaskRow(FTask);
    cbClients->clear();
    for (const QByteArray &name : std::as_const(dmSet->ClientBanks))
        cbClients->addItem(FromWin1251(name));
    if (ok && chosen >= 0 && chosen < cbClients->count()) {
        cbClients->setCurrentIndex(chosen);
        actClientsExecute();
        return;
    }
    if (cbClients->count() == 0) {
        cbClients->setCurrentIndex(-1);
        return;
    }
    const int at = cbClients->findText(remembered, Qt::MatchExactly);
    if (!remembered.isEmpty() && at >= 0) {
        cbClients->setCurrentIndex(at);
        return;
    }
    cbClients->setCurrentIndex(0);
    actClientsExecute();
}

bool TfmTaskPar::RunSettingsWizard()
{
    try {
        return SettingsWizard && SettingsWizard();
    } catch (const std::exception &e) {
        dmSet->Link.StandardErrorReport(FailureText(e));
        return false;
    }
}

void TfmTaskPar::actNewSetExecute()
{
    // The client-bank manager may have walked the task table (a deleted client-bank is taken
    // off every task): the wizard reads the client-bank from this task's row.
    GotoTaskRow(FTask);
    const QByteArray client = ToWin1251(cbClients->currentText());
    // A new setting takes its Id from the client-bank's list and is checked against its names:
    // without the list it would replace one the server has.
    if (!dmSet->SettingsListOf(client) && (client.isEmpty() || !dmSet->LoadSettings(client))) {
        FillSettingsCombo();
        Ui().ShowMessage(
            QStringLiteral("Список настроек клиент-банка не загружен: новую настройку создать нельзя"));
        return;
    }
    GotoTaskRow(FTask);
    TMemTable *tasks = dmSet->tbTasks;
    const QByteArray remembered = tasks->AsString(TdmSet::tkClient);
    tasks->Edit();
    tasks->SetAsString(TdmSet::tkClient, client);
    tasks->Post();
    if (RunSettingsWizard()) {
        ChosenClient = tasks->AsString(TdmSet::tkClient);
        ChosenSet = dmSet->tbSets->AsInteger(TdmSet::stId);
        dmSet->AddNewSettingKey(TdmSet::NewSettingKey(ChosenClient, *ChosenSet));
        accept();
        return;
    }
    reject();
    tasks->Edit();
    tasks->SetAsString(TdmSet::tkClient, remembered);
    tasks->Post();
}

void TfmTaskPar::actStartExecute()
{
    ChosenClient = ToWin1251(cbClients->currentText());
    ChosenSet.reset();
    // The setting is the chosen item's, by its Id: names may repeat across the task types.
    if (cbSets->currentIndex() < 0 || !dmSet->LocateSetting(cbSets->currentData().toLongLong(), 0)) {
        // Without a setting the task cannot start: say so and let the operator choose one.
        Ui().ShowMessage(QStringLiteral("Сначала нужно выбрать настройку"));
        cbSets->setFocus();
        return;
    }
    ChosenSet = dmSet->tbSets->AsInteger(TdmSet::stId);
    accept();
}

bool TfmTaskPar::ChooseTaskSetting(int task, QByteArray &entry)
{
    if (!PrepareTaskContext(task))
        return false;
    if (exec() != QDialog::Accepted || !ChosenSet)
        return false;
    try {
        GotoTaskRow(task);
        TMemTable *tasks = dmSet->tbTasks;
        const QByteArray setName = dmSet->tbSets->AsString(TdmSet::stName);
        tasks->Edit();
        tasks->SetAsString(TdmSet::tkClient, ChosenClient);
        tasks->SetAsInteger(TdmSet::tkSet, *ChosenSet);
        tasks->SetAsString(TdmSet::tkSName, setName);
        tasks->Post();
        entry = MenuEntry(ChosenClient, *ChosenSet, setName);
        return true;
    } catch (const std::exception &e) {
        if (dmSet->tbTasks->State() != TMemTableState::Browse)
            dmSet->tbTasks->Cancel();
        dmSet->Link.StandardErrorReport(FailureText(e));
        return false;
    }
}

} // namespace velmbank
