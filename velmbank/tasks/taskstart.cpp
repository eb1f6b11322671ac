// The start of a task and the questions it asks. Until the task context dialog, the import
// start and the input-form editor are built, each says so instead of doing nothing silently.
#include "taskunit.h"

#include "Ui.h"

namespace {
void NotBuiltYet(const QString &what)
{
    Ui().ShowMessage(QStringLiteral("%1 в этой версии программы ещё не реализован.").arg(what));
}
} // namespace

void TfmTaskMan::StartTask(int task)
{
    (void)task;
    NotBuiltYet(QStringLiteral("Запуск задачи"));
}

QString TfmTaskMan::AskDataFile() { return QString(); }

void TfmTaskMan::OpenSettingEditor() { NotBuiltYet(QStringLiteral("Редактор настроек")); }

void TfmTaskMan::actProp1Execute() { NotBuiltYet(QStringLiteral("Выбор настройки")); }

void TfmTaskMan::actProp2Execute() { NotBuiltYet(QStringLiteral("Выбор настройки")); }

void TfmTaskMan::actSetupPrpExecute() { NotBuiltYet(QStringLiteral("Выбор настройки")); }
