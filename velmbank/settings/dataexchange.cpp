// The settings store's calls to the server routines: what is sent, how the replies are read
// into the tables and lists, the progress window meanwhile, and what a failure leaves.
#include "data.h"

#include "Connect.h"
#include "Routines.h"
#include "Ui.h"
#include "codepage.h"
#include "funcs.h"
#include "replies.h"

namespace {

const QByteArray &ServerFailureMessage()
{
    static const QByteArray text =
        ToWin1251(QStringLiteral("Ошибка при работе с сервером. Обратитесь к разработчику"));
    return text;
}

// The calls that act on the current task need one.
void RequireTaskRow(TMemTable *tasks)
{
    if (tasks->IsEmpty())
        throw EMemTableError(QStringLiteral("Нет текущей задачи: список задач пуст"));
}

} // namespace

bool TdmSet::HasRight(int kind, qint32 user)
{
    const QByteArray number = QByteArray::number(user);
    QList<QByteArray> elements;
    switch (kind) {
    case TaskSettingsEditor: elements = {Routines::RightEditSettings, number, "NL", "2"}; break;
    case TaskMoneyOut: elements = {Routines::RightRunTask, number, "YB"}; break;
    case TaskMoneyIn: elements = {Routines::RightRunTask, number, "YA"}; break;
    default: return false;
    }
    bool allowed = false;
    RunReported([&] {
        const QByteArray reply = CallServer(elements);
        allowed = kind == TaskSettingsEditor ? reply == "1" : reply == "11" || reply == "10";
    });
    return allowed;
}

void TdmSet::CallTOinGL()
{
    RunReported([this] { CallServer({Routines::TOinGL}); });
}

void TdmSet::CallGLinTO(QByteArray &reply)
{
    reply.clear();
    RunReported([&] { reply = CallServer({Routines::GLinTO}); });
}

bool TdmSet::LoadClientBanks()
{
    return RunReported([&] { ClientBanks.append(ReplyItems(CallServer({Routines::Clist}), ListSep)); });
}

bool TdmSet::LoadTasks()
{
    return RunReported([&] {
        TControlsOff quiet(tbTasks);
        tbTasks->EmptyTable();
        const QByteArray reply = CallServer({Routines::Tlist});
        for (const QByteArray &record : ReplyItems(reply, ListSep))
            AddReplyRecord(tbTasks, record, FieldSep, tkCount);
    });
}

bool TdmSet::LoadCharacteristics(int taskType)
{
    return RunReported([&] {
        Characteristics.clear();
        Characteristics.append(
            ReplyItems(CallServer({Routines::Mlist, QByteArray::number(taskType)}), ListSep));
    });
}

bool TdmSet::LoadSettings(const QByteArray &client)
{
    const QString caption = QStringLiteral("Загрузка списка настроек");
    const TBookmark remembered = tbSets->IsEmpty() ? TBookmark{} : tbSets->GetBookmark();
    SetsClient.clear();
    return RunReported([&] {
        TControlsOff quiet(tbSets);
        tbSets->EmptyTable();
        TProgressGuard progress(caption, 1);
        const QByteArray reply = CallServer({Routines::Slist, client});
        Ui().ProgressStart(caption, CountChar(reply, ListSep));
        Ui().ProgressSetPosition(1);
        int done = 0;
        for (const QByteArray &record : ReplyItems(reply, ListSep)) {
            AddReplyRecord(tbSets, record, FieldSep, stCount);
            Ui().ProgressSetPosition(++done + 1);
        }
        // The row with the ordinal of the former current row; without one, the last appended.
        if (!tbSets->IsEmpty() && remembered.IsValid())
            tbSets->GotoBookmark(remembered);
        SetsClient = client;
    });
}

bool TdmSet::LoadSetFields(const QByteArray &setId, QByteArray &error)
{
    const QString caption = QStringLiteral("Загрузка полей настройки");
    error.clear();
    try {
        TControlsOff quiet(tbSet);
        tbSet->EmptyTable();
        TProgressGuard progress(caption, 1);
        const QByteArray reply = CallServer({Routines::LoadSetRecs, tbTasks->AsString(tkClient), setId});
        Ui().ProgressStart(caption, CountChar(reply, ListSep));
        Ui().ProgressSetPosition(1);
        for (const QByteArray &record : ReplyItems(reply, ListSep)) {
            AddReplyRecord(tbSet, record, FieldSep, sfCount);
            Ui().ProgressStep();
        }
        SetModified = false;
        return true;
    } catch (const std::exception &e) {
        // Told by the caller, with its own words.
        error = FailureText(e);
        return false;
    }
}

bool TdmSet::AutoCreateFields(int taskType)
{
    const QString caption = QStringLiteral("Автоматическое создание записей");
    return RunReported([&] {
        TControlsOff quiet(tbSet);
        TProgressGuard progress(caption, 1);
        // Records by chr(2), fields by chr(1): the reverse of the other tables.
        const QByteArray reply = CallServer({Routines::AutoSet, QByteArray::number(taskType)});
        Ui().ProgressStart(caption, CountChar(reply, FieldSep));
        Ui().ProgressSetPosition(1);
        for (const QByteArray &record : ReplyItems(reply, FieldSep)) {
            const QList<QByteArray> f = record.split(ListSep);
            // Each row goes before the one inserted just before it: tbSet ends reversed.
            tbSet->Insert();
            try {
                tbSet->SetAsString(sfName, f.value(0));
                tbSet->SetAsString(sfType, f.value(1));
                tbSet->SetAsString(sfLength, f.value(2));
                tbSet->SetAsString(sfPrecision, f.value(3));
                tbSet->SetAsString(sfMAPX, f.value(4));
                tbSet->Post();
            } catch (...) {
                tbSet->Cancel();
                throw;
            }
            Ui().ProgressStep();
        }
    });
}

bool TdmSet::SaveSetting()
{
    const QString caption = QStringLiteral("Сохранение настройки");
    return RunReported([&] {
        const QByteArray client = tbTasks->AsString(tkClient);
        const QByteArray set = tbTasks->AsString(tkSet);
        const QByteArray setRecord = RecordArgument(
            tbSets, tbSets->CurrentRow(), {stName, stType, stPath, stFile, stFunc, stVFunc, stFindEx});
        // Every record is built before the first call: SaveSetPar empties the setting's fields
        // on the server, so a row that cannot be sent must stop the save before it.
        tbSet->First();
        QList<QByteArray> rows;
        rows.reserve(tbSet->RecordCount());
        for (int row = 0; row < tbSet->RecordCount(); ++row)
            rows.append(RecordArgument(
                tbSet, row,
                {sfId, sfName, sfType, sfLength, sfPrecision, sfMAPX, sfOb, sfIh, sfFunc, sfTypeId}));

        TProgressGuard progress(caption, 1);
        CallServer({Routines::SaveSetPar, client, set, setRecord});
        Ui().ProgressStart(caption, tbSet->RecordCount());
        for (const QByteArray &row : rows) {
            CallServer({Routines::SaveSetRec, client, set, row});
            tbSet->Next();
            Ui().ProgressStep();
        }
        SetModified = false;
    });
}

bool TdmSet::SaveTask()
{
    return RunReported([&] {
        RequireTaskRow(tbTasks);
        CallServer({Routines::SaveTask,
                    RecordArgument(tbTasks, tbTasks->CurrentRow(),
                                   {tkId, tkName, tkClient, tkSet, tkSName, tkDefFindEx, tkMenus})});
    });
}

bool TdmSet::AddClientBank(const QByteArray &name, QByteArray &message)
{
    try {
        message = CallServer({Routines::AddCLB, name});
        return message.isEmpty();
    } catch (const std::exception &e) {
        StandardErrorReport(FailureText(e));
        message = ServerFailureMessage();
        return false;
    }
}

bool TdmSet::DeleteClientBank(const QByteArray &name, QByteArray &message)
{
    try {
        message = CallServer({Routines::DelCLB, name});
    } catch (const std::exception &e) {
        StandardErrorReport(FailureText(e));
        message = ServerFailureMessage();
        return false;
    }
    if (!message.isEmpty())
        return false;
    DetachClientFromTasks(name);
    return true;
}

bool TdmSet::DetachClientFromTasks(const QByteArray &name)
{
    bool saved = true;
    const bool walked = RunReported([&] {
        // The client-bank is gone on the server: every task lets go of it, also after a task
        // whose SaveTask failed (that call has reported it).
        tbTasks->First();
        while (!tbTasks->Eof()) {
            if (tbTasks->AsString(tkClient) == name) {
                tbTasks->Edit();
                tbTasks->Clear(tkClient);
                tbTasks->Clear(tkSet);
                tbTasks->Clear(tkSName);
                tbTasks->Post();
                saved = SaveTask() && saved;
            }
            tbTasks->Next();
        }
    });
    return walked && saved;
}

bool TdmSet::LoadAtStartUp(bool handOver)
{
    if (handOver)
        CallTOinGL();
    const bool banks = LoadClientBanks();
    const bool tasks = LoadTasks();
    FillTypeNames();
    RememberTaskRows();
    return banks && tasks;
}

void TdmSet::CallGLinTOAtShutdown()
{
    QByteArray reply;
    CallGLinTO(reply);
    if (!reply.isEmpty())
        Ui().ShowMessage(FromWin1251(reply));
}
