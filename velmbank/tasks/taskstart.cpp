// The start of an import task: the task's client-bank and setting checked, the intermediate
// table built, the file chosen and imported, and the document grid shown over the result.
#include "taskunit.h"

#include "Connect.h"
#include "TaskForm.h"
#include "Ui.h"
#include "ansitext.h"
#include "codepage.h"
#include "data.h"
#include "dbfsettings.h"
#include "funcs.h"
#include "inform.h"
#include "memos.h"
#include "new.h"
#include "setparams.h"
#include "starttask.h"
#include "taskdata.h"
#include "taskpar.h"
#include "taskrun.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace velmbank {

namespace {

// "Выбрать настройку" of an import task: the context dialog, the entry, the start.
void ChooseAndStart(TfmTaskMan *man, int task)
{
    CreateTaskWindows(man);
    QByteArray entry;
    if (!fmTaskPar->ChooseTaskSetting(task, entry))
        return;
    man->AddMenuEntry(task, entry);
    man->StartTask(task);
}

// Brackets a task start: a second one cannot begin while the import lets input through.
class TStarting
{
public:
    explicit TStarting(QWidget *window) : FWindow(window)
    {
        Busy = true;
        FWindow->setEnabled(false);
    }
    ~TStarting()
    {
        FWindow->setEnabled(true);
        Busy = false;
    }
    TStarting(const TStarting &) = delete;
    TStarting &operator=(const TStarting &) = delete;
    static inline bool Busy = false;

private:
    QWidget *FWindow;
};

QPointer<TfmNew> OwnedNew;
QPointer<TfmInform> OwnedInform;

// The editing windows, made once when first needed, after the task windows; they go with the
// main window.
void CreateEditingWindows(TfmTaskMan *man)
{
    CreateTaskWindows(man);
    if (!fmInform) {
        OwnedNew = fmNew = new TfmNew(man);
        OwnedInform = fmInform = new TfmInform;
        fmInform->MainWindow = man;
        fmInform->NewSetting = [man] { man->actSetupPrpExecute(); };
        QObject::connect(man, &QObject::destroyed, [] {
            delete OwnedInform.data(); // with its properties dialog and help texts
            delete OwnedNew.data();
            fmInform = nullptr;
            fmNew = nullptr;
        });
    }
    if (fmTaskPar && !fmTaskPar->SettingsWizard)
        fmTaskPar->SettingsWizard = [] {
            if (dmSet->tbTasks->AsString(TdmSet::tkClient).isEmpty()) {
                Ui().ShowMessage(QStringLiteral("Для этой задачи необходимо выбрать клиент-банк"));
                return false;
            }
            return fmNew && fmNew->Execute();
        };
}

// Moves the settings table onto the setting of the client-bank with that Id, which only a list
// of that client-bank can hold.
bool OnSetting(const QByteArray &client, const QByteArray &set)
{
    bool numeric = false;
    const qint64 id = set.toLongLong(&numeric);
    return numeric && dmSet->SettingsListOf(client) && dmSet->LocateSetting(id, 0);
}

} // namespace

void TfmTaskMan::StartTask(int task)
{
    if (TStarting::Busy || !dmSet || !dmTask)
        return;
    CreateTaskWindows(this);
    TTaskStart start(*dmTask, task);
    if (!start.Prepare())
        return;
    fmTaskForm->LoadTaskOptions(task, dmSet->Link.UserNumber);
    const QString path = AskDataFile();
    if (path.isEmpty())
        return;
    TImportEnd end = TImportEnd::Failed;
    {
        TStarting starting(this);
        end = start.Import(path);
    }
    if (end == TImportEnd::Missing || end == TImportEnd::Failed)
        return;
    const bool complete = end == TImportEnd::Complete;
    GotoTaskRow(task);
    TMemTable *t = dmTask->tbTask;
    hide();
    fmTaskForm->Run->SetRunEnabled(complete);
    fmTaskForm->setWindowTitle(FromWin1251(dmSet->tbTasks->AsString(TdmSet::tkName))
                               + QStringLiteral(" Файл: ") + path);
    fmTaskForm->SetFrameCaption(TfmTaskForm::ImportCaption(t->RecordCount(), dmTask->AsideCount(false),
                                                           dmTask->AsideCount(true), complete));
    fmTaskForm->MainWindow = this;
    fmTaskForm->show();
    fmTaskForm->raise();
    fmTaskForm->activateWindow();
    fmTaskForm->dbgEx->setFocus();
    if (complete) {
        SaveTaskMenu(task);
        GotoTaskRow(task);
        dmSet->SaveTask(); // a failure is reported there
    }
}

QString TfmTaskMan::AskDataFile()
{
    try {
        const QString title = QStringLiteral("Укажите файл данных для задачи \"%1\"")
                                  .arg(FromWin1251(dmSet->tbTasks->AsString(TdmSet::tkName)));
        const QString path = FromWin1251(dmSet->tbSets->AsString(TdmSet::stPath));
        const QString file = FromWin1251(dmSet->tbSets->AsString(TdmSet::stFile));
        if (!path.isEmpty() && !file.isEmpty())
            return QDir::cleanPath(path + u'/' + file);
        const std::optional<QString> chosen = Ui().ChooseFile(
            title, path, QStringLiteral("dbf (*.dbf);;Файлы обмена 1С (*.txt);;Все файлы (*.*)"));
        if (!chosen || chosen->isEmpty())
            return {};
        // A name typed without an extension is a .dbf file.
        if (QFileInfo(*chosen).suffix().isEmpty() && !QFileInfo::exists(*chosen))
            return *chosen + QStringLiteral(".dbf");
        return *chosen;
    } catch (const std::exception &e) {
        dmSet->Link.StandardErrorReport(FailureText(e));
        return {};
    }
}

void TfmTaskMan::OpenSettingEditor()
{
    if (!dmSet || !GotoTaskRow(0))
        return;
    CreateEditingWindows(this);
    TMemTable *tasks = dmSet->tbTasks;
    TMemTable *sets = dmSet->tbSets;
    const QByteArray client = tasks->AsString(TdmSet::tkClient);
    const QByteArray set = tasks->AsString(TdmSet::tkSet);
    const QString missing =
        QStringLiteral("Настройка %1 не найдена").arg(FromWin1251(tasks->AsString(TdmSet::tkSName)));
    const QByteArray key = client + '\x02' + set;
    bool inMemory = dmSet->IsNewSettingKey(key);
    if (inMemory && !OnSetting(client, set)) {
        // The list was loaded again since the wizard made it: the unsaved setting is gone, and
        // its key would only point the editor at another setting's row.
        dmSet->RemoveNewSettingKey(key);
        inMemory = false;
    }
    if (!inMemory) {
        if (!dmSet->LoadSettings(client))
            return;
        // Without its row the editor would show, and save under this Id, another setting.
        if (set.isEmpty() || !OnSetting(client, set)) {
            Ui().ShowMessage(missing);
            return;
        }
        QByteArray error;
        if (!dmSet->LoadSetFields(set, error)) {
            Ui().ShowMessage(FromWin1251(error));
            return;
        }
    }
    if (!dmSet->LoadCharacteristics(int(sets->AsInteger(TdmSet::stType))))
        Ui().ShowMessage(QStringLiteral("Ошибка при загрузке списка характеристик из Вельм"));
    GotoTaskRow(0);
    fmInform->MainWindow = this;
    fmInform->FillFromSetting();
    fmInform->show();
    fmInform->raise();
    fmInform->activateWindow();
    fmInform->rdbIn->setFocus();
    hide();
}

void TfmTaskMan::actProp1Execute() { ChooseAndStart(this, 1); }

void TfmTaskMan::actProp2Execute() { ChooseAndStart(this, 2); }

void TfmTaskMan::actSetupPrpExecute()
{
    if (!dmSet)
        return;
    CreateEditingWindows(this);
    if (!fmTaskPar)
        return;
    // The context dialog with all settings of the client-bank and the buttons of the
    // client-bank manager and of a new setting; the choice becomes task 0's entry.
    QByteArray entry;
    if (!fmTaskPar->ChooseTaskSetting(0, entry))
        return;
    AddMenuEntry(0, entry);
    const QList<TTaskMenuItem *> entries = EntryItems(0);
    if (!entries.isEmpty())
        actSetupExecute(entries.first());
}

} // namespace velmbank
