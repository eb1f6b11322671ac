// The start of an import task: the task's client-bank and setting checked, the intermediate
// table built, the file chosen and imported, and the document grid shown over the result.
#include "taskunit.h"

#include "ansitext.h"
#include "codepage.h"
#include "Connect.h"
#include "data.h"
#include "dbfsettings.h"
#include "taskdata.h"
#include "TaskForm.h"
#include "taskpar.h"
#include "taskrun.h"
#include "Ui.h"

#include <QDir>
#include <QFileInfo>

namespace {

void NotBuiltYet(const QString &what)
{
    Ui().ShowMessage(QStringLiteral("%1 в этой версии программы ещё не реализован.").arg(what));
}

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

} // namespace

void TfmTaskMan::StartTask(int task)
{
    if (TStarting::Busy || !dmSet || !dmTask || !GotoTaskRow(task))
        return;
    CreateTaskWindows(this);
    TMemTable *tasks = dmSet->tbTasks;
    const QByteArray client = tasks->AsString(TdmSet::tkClient);
    if (client.isEmpty()) {
        Ui().ShowMessage(QStringLiteral("Для этой задачи необходимо выбрать клиент-банк"));
        return;
    }
    if (tasks->IsNull(TdmSet::tkSet)) {
        Ui().ShowMessage(QStringLiteral("Сначала нужно выбрать настройку"));
        return;
    }
    const qint64 set = tasks->AsInteger(TdmSet::tkSet);
    const QString taskName = FromWin1251(tasks->AsString(TdmSet::tkName));
    // Setting Ids are numbered per client-bank: a list left by another client-bank's task
    // would give this task another bank's setting under the same Id.
    TMemTable *sets = dmSet->tbSets;
    if ((sets->IsEmpty() || !AnsiSameText(sets->StringAt(0, TdmSet::stClient), client))
        && !dmSet->LoadSettings(client))
        return;
    if (!LocateRecord(*sets, QStringLiteral("Id"), QByteArray::number(set))) {
        Ui().ShowMessage(
            QStringLiteral("Настройка %1 не найдена").arg(FromWin1251(tasks->AsString(TdmSet::tkSName))));
        return;
    }
    // The copy of the last start's rows is of no use from here on: let it go before the new
    // rows come, so that two imports' rows are never held at once.
    dmTask->tbTask2->Close();
    dmTask->BuildTaskTable(task);
    if (dmTask->TransactField() < 0) // reported there; no file is worth asking for
        return;
    fmTaskForm->LoadTaskOptions(task, UserNumber);
    const QString path = AskDataFile();
    if (path.isEmpty())
        return;
    if (!QFileInfo(path).isFile()) {
        Ui().ShowMessage(QStringLiteral("Невозможно открыть файл ") + path);
        return;
    }
    if (KeepProtocol)
        Protocol.append(ToWin1251(QStringLiteral("Старт задачи ") + taskName));

    bool imported = false;
    {
        TStarting starting(this);
        imported = dmTask->ImportDbfFile(path, set);
    }
    TMemTable *t = dmTask->tbTask;
    // An import that ended in its middle (the server gone, a damaged record, Esc) has told why;
    // the rows it took are shown, but such a table is not run.
    if (!imported && t->IsEmpty())
        return;
    dmTask->SnapshotTaskTable();
    t->First();

    hide();
    fmTaskForm->Run->SetRunEnabled(imported);
    fmTaskForm->setWindowTitle(taskName + QStringLiteral(" Файл: ") + path);
    QString frame = QStringLiteral("Промежуточная таблица: %1 документов").arg(t->RecordCount());
    if (!imported)
        frame += QStringLiteral(" (импорт не завершён)");
    fmTaskForm->SetFrameCaption(frame);
    fmTaskForm->MainWindow = this;
    fmTaskForm->show();
    fmTaskForm->raise();
    fmTaskForm->activateWindow();
    fmTaskForm->dbgEx->setFocus();
    if (imported) {
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
        const std::optional<QString> chosen =
            Ui().ChooseFile(title, path, QStringLiteral("dbf (*.dbf);;Файлы обмена 1С (*.txt);;Все файлы (*.*)"));
        if (!chosen || chosen->isEmpty())
            return {};
        // A name typed without an extension is a .dbf file.
        if (QFileInfo(*chosen).suffix().isEmpty() && !QFileInfo::exists(*chosen))
            return *chosen + QStringLiteral(".dbf");
        return *chosen;
    } catch (const std::exception &e) {
        StandardErrorReport(FailureText(e));
        return {};
    }
}

void TfmTaskMan::OpenSettingEditor()
{
    NotBuiltYet(QStringLiteral("Редактор настроек"));
}

void TfmTaskMan::actProp1Execute()
{
    ChooseAndStart(this, 1);
}

void TfmTaskMan::actProp2Execute()
{
    ChooseAndStart(this, 2);
}

void TfmTaskMan::actSetupPrpExecute()
{
    NotBuiltYet(QStringLiteral("Выбор настройки"));
}
