#include "taskrun.h"

#include "Connect.h"
#include "Routines.h"
#include "Ui.h"
#include "ansitext.h"
#include "codepage.h"
#include "data.h"
#include "funcs.h"
#include "taskdata.h"

#include <cstring>

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

} // namespace

QString TTaskRun::TaskName() const { return FromWin1251(FTask->Set.tbTasks->AsString(TdmSet::tkName)); }

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
    if (t->IsEmpty() || end <= first)
        return text;
    // Measured first and copied once: the run makes one text per document. The task's columns
    // are text fields, read in place.
    const int row = t->CurrentRow();
    qsizetype size = end - first - 1;
    for (int f = first; f < end; ++f)
        size += t->TextAt(row, f).size();
    text.resize(size);
    char *q = text.data();
    for (int f = first; f < end; ++f) {
        if (f > first)
            *q++ = '\x02';
        const QByteArray &value = t->TextAt(row, f);
        std::memcpy(q, value.constData(), size_t(value.size()));
        q += value.size();
    }
    return text;
}

QByteArray TTaskRun::AskSurname(const QByteArray &current)
{
    // The client-bank name dialog's own OK check, which this use of it keeps.
    const QList<QByteArray> banks = FTask->Set.ClientBanks;
    const TUi::NameCheck check = [banks](const QString &typed) {
        if (typed.isEmpty())
            return QStringLiteral("Имя клиент-банка должно быть определено");
        if (AnsiIndexOfText(banks, ToWin1251(typed)) >= 0)
            return QStringLiteral("Клиент-банк с таким именем уже существует.");
        return QString();
    };
    const std::optional<QString> typed = Ui().AskName(QStringLiteral("Импорт платежных документов"),
                                                      QStringLiteral("Фамилия"), FromWin1251(current), check);
    return typed ? ToWin1251(*typed) : QByteArray();
}

QByteArray TTaskRun::CallDocument(const QByteArray &label, bool closing)
{
    QList<QByteArray> elements{label, TaskRowText(), Surname};
    if (closing)
        elements.append(Piece(FTask->tbTask->AsString(TdmTask::tfOpen), ',', 1));
    return FTask->Set.Link.CallServer(elements);
}

int TTaskRun::Choose(bool unclosed)
{
    switch (Similar) {
    case TSimilarPolicy::Ask: break;
    case TSimilarPolicy::Skip: return unclosed ? int(UnclosedSkip) : int(SimilarSkip);
    case TSimilarPolicy::Close: return unclosed ? int(UnclosedClose) : int(SimilarSkip);
    case TSimilarPolicy::Create: return unclosed ? int(UnclosedCreate) : int(SimilarCreate);
    case TSimilarPolicy::Stop: return unclosed ? int(UnclosedStop) : int(SimilarStop);
    }
    TChoiceArgs box;
    box.Caption = TaskName();
    if (unclosed) {
        box.Message = QStringLiteral("В базе данных уже есть похожий НЕЗАКРЫТЫЙ документ. Ваши действия?");
        box.Buttons = QStringLiteral("Закрыть_Создать новый_Пропустить_Прервать");
        box.DefaultButton = box.EscapeResult = UnclosedSkip;
    } else {
        box.Message = QStringLiteral("В базе данных уже есть похожий документ. Ваши действия?");
        box.Buttons = QStringLiteral("Создать новый_Пропустить_Прервать");
        box.DefaultButton = box.EscapeResult = SimilarSkip;
    }
    return Ui().ChoiceBox(box);
}

TRowResult TTaskRun::ProcessDocument(qint64 setType)
{
    QByteArray label;
    if (setType == TaskMoneyOut)
        label = Routines::RecYB;
    else if (setType == TaskMoneyIn)
        label = Routines::RecYA;
    else { // no routine takes such documents: the row shows why, and nothing is sent
        const QByteArray why = ToWin1251(QStringLiteral("Неизвестный тип настройки: %1").arg(setType));
        return {why, TRecordOutcome::Refused, why};
    }

    const TMemTable *t = FTask->tbTask;
    const QByteArray open = t->AsString(TdmTask::tfOpen);
    enum { None, Create, Close, Skip, Stop } action = Create;
    if (!t->AsString(TdmTask::tfExist).isEmpty()) {
        if (!open.isEmpty() && CloseDoc) {
            action = Close;
        } else if (!open.isEmpty()) {
            const int button = Choose(true);
            action = button == UnclosedClose    ? Close
                     : button == UnclosedCreate ? Create
                     : button == UnclosedSkip   ? Skip
                     : button == UnclosedStop   ? Stop
                                                : None; // the box failed: no call, no result
        } else {
            const int button = Choose(false);
            action = button == SimilarCreate ? Create
                     : button == SimilarSkip ? Skip
                     : button == SimilarStop ? Stop
                                             : None;
        }
    }
    switch (action) {
    case None: return {};
    case Skip: return {Skipped(), TRecordOutcome::Skipped, {}};
    case Stop: Ui().SetStopRequested(true); return {Interrupted(), TRecordOutcome::Stopped, {}};
    case Create:
    case Close: break;
    }
    const bool closing = action == Close;
    const QByteArray reply = CallDocument(label, closing);
    if (!reply.isEmpty())
        return {reply, TRecordOutcome::Refused, reply};
    if (closing)
        return {"2", TRecordOutcome::Closed, Piece(open, ',', 1)};
    return {"1", TRecordOutcome::Created, {}};
}

void TTaskRun::actRunExecute()
{
    if (!FRunEnabled)
        return;
    RunFailure.clear();
    TdmSet &set = FTask->Set;
    set.SaveTask(); // a failure is reported there; the run goes on
    const qint64 setType = set.tbSets->IsEmpty() ? 0 : set.tbSets->AsInteger(TdmSet::stType);
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
            TRowResult result;
            if (!t->AsBoolean(TdmTask::tfInclude))
                result.Outcome = TRecordOutcome::Skipped;
            else if (t->AsString(TdmTask::tfOk).isEmpty())
                result = ProcessDocument(setType);
            else
                result = {t->AsString(TdmTask::tfOk), TRecordOutcome::Refused, t->AsString(TdmTask::tfOk)};
            t->Edit();
            try {
                t->SetAsString(transact, result.Transact);
                t->Post();
            } catch (...) {
                t->Cancel();
                throw;
            }
            if (TRecordResult *record = FTask->RecordOfRow(t->CurrentRow())) {
                record->Outcome = result.Outcome;
                record->Text = result.Text;
            }
            t->Next();
            Ui().ProgressStep();
            Ui().ProcessEvents();
            if (Ui().StopRequested())
                break;
            if (Ui().EscapePressed()
                && Ui().AskYesNo(QStringLiteral("Прервать задачу?"), TAnswer::No, TaskName(),
                                 TQuestionIcon::None)
                       == TAnswer::Yes)
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
