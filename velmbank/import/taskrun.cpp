#include "taskrun.h"

#include "Connect.h"
#include "Routines.h"
#include "Ui.h"
#include "ansitext.h"
#include "codepage.h"
#include "data.h"
#include "funcs.h"
#include "taskdata.h"

namespace {

const QByteArray &Skipped()
{
    static const QByteArray text = ToWin1251(QStringLiteral("Документ пропущен"));
    return text;
}

const QByteArray &Interrupted()
{
    static const QByteArray text = ToWin1251(QStringLiteral("Прервано пользователем"));
    return text;
}

QString TaskName() { return FromWin1251(dmSet->tbTasks->AsString(TdmSet::tkName)); }

} // namespace

QString RunCaption(qint64 setType)
{
    switch (setType) {
    case TaskMoneyOut: return QStringLiteral("Создание(закрытие) документов \"Деньги-Расход\"");
    case TaskMoneyIn: return QStringLiteral("Создание документов \"Деньги-Приход\"");
    default: return {};
    }
}

TTaskRun::TTaskRun(TdmTask *task, QObject *parent) : QObject(parent), FTask(task) {}

void TTaskRun::SetRunEnabled(bool enabled)
{
    if (FRunEnabled == enabled)
        return;
    FRunEnabled = enabled;
    Q_EMIT RunEnabledChanged(enabled);
}

QByteArray TTaskRun::TaskRowText() const
{
    const TMemTable *t = FTask->tbTask;
    const int first = TdmTask::tfFirstTaskColumn;
    const int end = first + FTask->TaskColumnCount();
    QByteArray text;
    if (t->IsEmpty())
        return text;
    const int row = t->CurrentRow();
    for (int f = first; f < end; ++f) {
        if (f > first)
            text.append('\x02');
        text.append(t->StringAt(row, f));
    }
    return text;
}

QByteArray TTaskRun::AskSurname(const QByteArray &current)
{
    // The client-bank name dialog's own OK check, which this use of it keeps.
    const QList<QByteArray> banks = dmSet->ClientBanks;
    const TUi::NameCheck check = [banks](const QString &typed) {
        if (typed.isEmpty())
            return QStringLiteral("Имя клиент-банка должно быть определено");
        if (AnsiIndexOfText(banks, ToWin1251(typed)) >= 0)
            return QStringLiteral("Клиент-банк с таким именем уже существует.");
        return QString();
    };
    const std::optional<QString> typed =
        Ui().AskName(QStringLiteral("Импорт платежных документов"), QStringLiteral("Фамилия"),
                     FromWin1251(current), check);
    return typed ? ToWin1251(*typed) : QByteArray();
}

QByteArray TTaskRun::CallDocument(const QByteArray &label, bool closing)
{
    QList<QByteArray> elements{label, TaskRowText(), Surname};
    if (closing)
        elements.append(Piece(FTask->tbTask->AsString(TdmTask::tfOpen), ',', 1));
    return CallServer(elements);
}

QByteArray TTaskRun::ProcessDocument(qint64 setType)
{
    QByteArray label;
    if (setType == TaskMoneyOut)
        label = Routines::RecYB;
    else if (setType == TaskMoneyIn)
        label = Routines::RecYA;
    else // no routine takes such documents: the row shows why, and nothing is sent
        return ToWin1251(QStringLiteral("Неизвестный тип настройки: %1").arg(setType));

    const TMemTable *t = FTask->tbTask;
    QByteArray fallback("1");
    QByteArray result;
    bool called = false;
    if (t->AsString(TdmTask::tfExist).isEmpty()) {
        result = CallDocument(label, false);
        called = true;
    } else if (!t->AsString(TdmTask::tfOpen).isEmpty()) {
        if (CloseDoc) {
            fallback = "2";
            result = CallDocument(label, true);
            called = true;
        } else {
            TChoiceArgs box;
            box.Message = QStringLiteral(
                "В базе данных уже есть похожий НЕЗАКРЫТЫЙ документ. Ваши действия?");
            box.Caption = TaskName();
            box.Buttons = QStringLiteral("Закрыть_Создать новый_Пропустить_Прервать");
            box.DefaultButton = UnclosedSkip;
            box.EscapeResult = UnclosedSkip;
            switch (Ui().ChoiceBox(box)) {
            case UnclosedClose:
                fallback = "2";
                result = CallDocument(label, true);
                called = true;
                break;
            case UnclosedCreate:
                result = CallDocument(label, false);
                called = true;
                break;
            case UnclosedSkip: result = Skipped(); break;
            case UnclosedStop:
                Ui().SetStopRequested(true);
                result = Interrupted();
                break;
            default: break; // the box failed: no call, no result
            }
        }
    } else {
        TChoiceArgs box;
        box.Message = QStringLiteral("В базе данных уже есть похожий документ. Ваши действия?");
        box.Caption = TaskName();
        box.Buttons = QStringLiteral("Создать новый_Пропустить_Прервать");
        box.DefaultButton = SimilarSkip;
        box.EscapeResult = SimilarSkip;
        switch (Ui().ChoiceBox(box)) {
        case SimilarCreate:
            result = CallDocument(label, false);
            called = true;
            break;
        case SimilarSkip: result = Skipped(); break;
        case SimilarStop:
            Ui().SetStopRequested(true);
            result = Interrupted();
            break;
        default: break;
        }
    }
    if (called && result.isEmpty())
        result = fallback;
    return result;
}

void TTaskRun::actRunExecute()
{
    if (!FRunEnabled)
        return;
    RunFailure.clear();
    dmSet->SaveTask(); // a failure is reported there; the run goes on
    const qint64 setType = dmSet->tbSets->IsEmpty() ? 0 : dmSet->tbSets->AsInteger(TdmSet::stType);
    const QString caption = RunCaption(setType);
    if (setType == TaskMoneyOut || setType == TaskMoneyIn) {
        Surname = AskSurname(Surname);
        if (Surname.isEmpty())
            return;
    }
    SetRunEnabled(false);

    TMemTable *t = FTask->tbTask;
    try {
        FTask->dsTask->SetSelectedColumnId(FTask->TransactColumnId);
        const int transact = FTask->TransactField();
        if (transact < 0)
            throw EMemTableError(QStringLiteral("В промежуточной таблице нет колонки Transact"));
        t->First();
        Ui().ProgressStart(caption, t->RecordCount());
        while (!t->Eof()) {
            QByteArray result;
            if (t->AsString(TdmTask::tfOk).isEmpty() && t->AsBoolean(TdmTask::tfInclude))
                result = ProcessDocument(setType);
            else if (t->AsBoolean(TdmTask::tfInclude))
                result = t->AsString(TdmTask::tfOk);
            t->Edit();
            try {
                t->SetAsString(transact, result);
                t->Post();
            } catch (...) {
                t->Cancel();
                throw;
            }
            t->Next();
            Ui().ProgressStep();
            Ui().ProcessEvents();
            if (Ui().StopRequested())
                break;
            if (Ui().EscapePressed() &&
                Ui().AskYesNo(QStringLiteral("Прервать задачу?"), TAnswer::No, TaskName(), TQuestionIcon::None) ==
                    TAnswer::Yes)
                break;
        }
        t->First();
        Ui().ProgressFinish();
    } catch (const std::exception &e) {
        // Ends without a message; every result written so far stays.
        RunFailure = FailureText(e);
        Ui().ProgressFinish();
    }
}
