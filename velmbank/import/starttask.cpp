#include "starttask.h"

#include "Connect.h"
#include "Ui.h"
#include "codepage.h"
#include "data.h"
#include "taskdata.h"

#include <QFileInfo>

TTaskStart::TTaskStart(TdmTask &engine, int task) : FEngine(engine), FTask(task) {}

bool TTaskStart::Prepare()
{
    TdmSet &set = FEngine.Set;
    if (!set.GotoTaskRow(FTask))
        return false;
    TMemTable *tasks = set.tbTasks;
    const QByteArray client = tasks->AsString(TdmSet::tkClient);
    if (client.isEmpty()) {
        Ui().ShowMessage(QStringLiteral("Для этой задачи необходимо выбрать клиент-банк"));
        return false;
    }
    if (tasks->IsNull(TdmSet::tkSet)) {
        Ui().ShowMessage(QStringLiteral("Сначала нужно выбрать настройку"));
        return false;
    }
    FSetId = tasks->AsInteger(TdmSet::tkSet);
    FTaskName = FromWin1251(tasks->AsString(TdmSet::tkName));
    const QString setName = FromWin1251(tasks->AsString(TdmSet::tkSName));
    // Setting Ids are numbered per client-bank: a list of another client-bank would give this
    // task another bank's setting under the same Id; and a setting of the other task would
    // send every record to the other task's routine.
    if (!set.SettingsListOf(client) && !set.LoadSettings(client))
        return false;
    set.GotoTaskRow(FTask);
    if (!set.LocateSetting(FSetId, FTask)) {
        Ui().ShowMessage(QStringLiteral("Настройка %1 не найдена").arg(setName));
        return false;
    }
    // The copy of the last start's rows is of no use from here on: let it go before the new
    // rows come, so that two imports' rows are never held at once.
    FEngine.tbTask2->Close();
    FEngine.BuildTaskTable(FTask);
    return FEngine.TransactField() >= 0; // a failure was reported there
}

TImportEnd TTaskStart::Import(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        Ui().ShowMessage(QStringLiteral("Невозможно открыть файл ") + path);
        return TImportEnd::Missing;
    }
    TLink &link = FEngine.Set.Link;
    FEngine.Set.GotoTaskRow(FTask);
    if (link.KeepProtocol)
        link.Protocol.append(ToWin1251(QStringLiteral("Старт задачи ") + FTaskName));
    const bool imported = FEngine.ImportDbfFile(path, FSetId);
    TMemTable *t = FEngine.tbTask;
    // An import that ended in its middle (the server gone, a damaged record, Esc) has told why;
    // the rows it took are kept, but such a table is not to be run.
    if (!imported && t->IsEmpty())
        return TImportEnd::Failed;
    FEngine.SnapshotTaskTable();
    t->First();
    return imported ? TImportEnd::Complete : TImportEnd::Partial;
}
