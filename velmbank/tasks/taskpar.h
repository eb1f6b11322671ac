#pragma once
// TfmTaskPar: the task context dialog. The operator picks the client-bank whose file is read
// and the setting that maps it to Вельм; the choice goes into the task's row of the task table
// and becomes the task's current menu entry.

#include <QByteArray>
#include <QDialog>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace velmbank {

class TfmTaskPar : public QDialog
{
    Q_OBJECT
public:
    explicit TfmTaskPar(QWidget *parent = nullptr);

    QLabel *lbClients;
    QComboBox *cbClients;
    QToolButton *btClients; // small button 1: the client-bank manager (task 0)
    QLabel *lbSets;
    QComboBox *cbSets;
    QToolButton *btNewSet; // small button 2: a new setting through the wizard (task 0)
    QPushButton *btStart;
    QPushButton *btCancel;

    QByteArray ChosenClient;         // Windows-1251; empty when none
    std::optional<qint64> ChosenSet; // empty when no setting is chosen

    // The settings wizard shown modally on its task-choice page; true when it closed with OK.
    // Set by whoever owns the wizard; unset, no setting can be made here.
    std::function<bool()> SettingsWizard;

    // Fills the dialog for task 0, 1 or 2; false (reported) when it could not be filled.
    bool PrepareTaskContext(int task);
    void FillSettingsCombo();
    void actClientsExecute();
    void actNewClientExecute();
    void actNewSetExecute();
    bool RunSettingsWizard();
    void actStartExecute();

    // Prepares and shows the dialog for the task; on OK stores the choice into the task's row
    // and gives the menu entry text for it (client, chr(4), setting Id, chr(4), setting name).
    bool ChooseTaskSetting(int task, QByteArray &entry);

private:
    int FTask = -1;
};

extern TfmTaskPar *fmTaskPar;

// The remembered row of task 0, 1 or 2 in the task table; false when there is none.
bool GotoTaskRow(int task);

} // namespace velmbank
