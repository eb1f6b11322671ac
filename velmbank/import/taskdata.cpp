#include "taskdata.h"

#include "Connect.h"
#include "Routines.h"
#include "Ui.h"
#include "codepage.h"
#include "data.h"
#include "dbfops.h"
#include "dbfsettings.h"
#include "exchange1c.h"
#include "funcs.h"
#include "replies.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

TdmTask *dmTask = nullptr;

namespace {

constexpr int ColumnSize = 256;
constexpr int ColumnWidth = 60;
constexpr int TransactWidth = 90;
constexpr int TransactPosition = 3; // after Ok, Exist and Open

// The PDVelm calls of an import, made strictly one after another, in order, by a thread of
// their own: the engine's work on one reply (the table, the protocol, the progress, reading the
// next records) then overlaps the server's work on the next record instead of adding to it.
// Only the calls move off the user-interface thread; every reply is taken and acted on there,
// in record order. A failed call ends the calls; its failure comes out of Take after the
// replies before it.
class TRecordCalls
{
public:
    static constexpr size_t Ahead = 256; // record texts queued at most
    static constexpr size_t Batch = 32;  // replies handed over at once while more are coming

    TRecordCalls(TLink &link, QByteArray client, QByteArray set)
        : FLink(link), FClient(std::move(client)), FSet(std::move(set)), FThread([this] { Run(); })
    {}
    ~TRecordCalls()
    {
        {
            std::lock_guard lock(FMutex);
            FStop = true;
        }
        FChanged.notify_all();
        FThread.join();
    }
    TRecordCalls(const TRecordCalls &) = delete;
    TRecordCalls &operator=(const TRecordCalls &) = delete;

    bool Full() const
    {
        std::lock_guard lock(FMutex);
        return FTexts.size() >= Ahead;
    }
    void Send(QByteArray text)
    {
        {
            std::lock_guard lock(FMutex);
            FTexts.push_back(std::move(text));
        }
        FChanged.notify_all();
    }
    // The reply to the oldest record not yet taken (one must have been sent). Replies are handed
    // over in batches, which spares a thread switch per record: once the replies at hand are
    // taken, the next come when a batch is complete, the calls have caught up, or one failed.
    QByteArray Take()
    {
        std::unique_lock lock(FMutex);
        if (FReplies.empty())
            FChanged.wait(
                lock, [this] { return FError || FReplies.size() >= Batch || (!FReplies.empty() && FIdle); });
        if (FReplies.empty())
            std::rethrow_exception(FError);
        QByteArray reply = std::move(FReplies.front());
        FReplies.pop_front();
        return reply;
    }

private:
    void Run()
    {
        for (;;) {
            QByteArray text;
            {
                std::unique_lock lock(FMutex);
                FIdle = FTexts.empty();
                if (FIdle)
                    FChanged.notify_all();
                FChanged.wait(lock, [this] { return FStop || !FTexts.empty(); });
                if (FStop)
                    return;
                FIdle = false;
                text = std::move(FTexts.front());
                FTexts.pop_front();
            }
            QByteArray reply;
            std::exception_ptr error;
            try {
                reply = FLink.CallServer({Routines::PDVelm, FClient, FSet, text});
            } catch (...) {
                error = std::current_exception();
            }
            bool tell = true;
            {
                std::lock_guard lock(FMutex);
                if (error) {
                    FError = error;
                    FTexts.clear();
                } else {
                    FReplies.push_back(std::move(reply));
                    tell = FReplies.size() >= Batch;
                }
            }
            if (tell)
                FChanged.notify_all();
            if (error)
                return;
        }
    }

    TLink &FLink;
    const QByteArray FClient;
    const QByteArray FSet;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<QByteArray> FTexts;
    std::deque<QByteArray> FReplies;
    std::exception_ptr FError;
    bool FIdle = false; // waiting for a text: every reply is in
    bool FStop = false;
    std::thread FThread; // last: it starts once everything above exists
};

} // namespace

// ---- the data source and the grid's column list ----

TTaskDataSource::TTaskDataSource(TMemTable *table, QObject *parent) : TMemTableModel(table, parent) {}

void TTaskDataSource::ClearColumns()
{
    FColumns.clear();
    FSelected = 0;
    Q_EMIT ColumnsChanged();
    if (columnCount() > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int TTaskDataSource::AddColumn(const QString &caption)
{
    TGridColumn c;
    c.Id = FNextId++;
    c.Caption = caption;
    FColumns.append(c);
    Q_EMIT ColumnsChanged();
    return c.Id;
}

void TTaskDataSource::BindColumns(int width)
{
    for (int j = 0; j < FColumns.size(); ++j) {
        FColumns[j].Field = j;
        FColumns[j].Width = width;
    }
    Q_EMIT ColumnsChanged();
    if (columnCount() > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int TTaskDataSource::PositionOf(int id) const
{
    for (int p = 0; p < FColumns.size(); ++p)
        if (FColumns[p].Id == id)
            return p;
    return -1;
}

TGridColumn *TTaskDataSource::ColumnById(int id)
{
    const int p = PositionOf(id);
    return p < 0 ? nullptr : &FColumns[p];
}

void TTaskDataSource::MoveColumn(int from, int to)
{
    if (from < 0 || from >= FColumns.size() || to < 0 || to >= FColumns.size() || from == to)
        return;
    FColumns.move(from, to);
    Q_EMIT ColumnsChanged();
}

void TTaskDataSource::SetSelectedColumnId(int id)
{
    if (FSelected == id)
        return;
    FSelected = id;
    Q_EMIT SelectedColumnChanged(id);
}

const TGridColumn *TTaskDataSource::BoundTo(int field) const
{
    for (const TGridColumn &c : FColumns)
        if (c.Field == field)
            return &c;
    return nullptr;
}

QVariant TTaskDataSource::data(const QModelIndex &index, int role) const
{
    if (role == Qt::TextAlignmentRole && index.isValid()) {
        const TGridColumn *c = BoundTo(index.column());
        return c && c->Alignment ? QVariant(int(c->Alignment)) : QVariant();
    }
    return TMemTableModel::data(index, role);
}

QVariant TTaskDataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (const TGridColumn *c = BoundTo(section))
            return c->Caption;
    }
    return TMemTableModel::headerData(section, orientation, role);
}

// ---- the engine ----

TdmTask::TdmTask(TdmSet &set, QObject *parent)
    : QObject(parent), Set(set), tbTask(new TMemTable(this)), dsTask(new TTaskDataSource(tbTask, this)),
      tbTask2(new TMemTable(this))
{}

TdmTask::~TdmTask()
{
    if (dmTask == this)
        dmTask = nullptr;
}

int TdmTask::TransactField() const { return tbTask->FieldIndex(QStringLiteral("Transact")); }

int TdmTask::TaskColumnCount() const
{
    const int transact = TransactField();
    return transact < 0 ? 0 : transact - tfFirstTaskColumn;
}

void TdmTask::BuildTaskTable(int task)
{
    if (tbTask->Active())
        tbTask->EmptyTable();
    tbTask->Close();
    tbTask->ClearFields();
    dsTask->ClearColumns();
    TransactColumnId = 0;

    tbTask->AddTextField(QStringLiteral("Ok"), ColumnSize);
    const int ok = dsTask->AddColumn(QStringLiteral("ОК статус"));
    dsTask->ColumnById(ok)->Visible = false;
    tbTask->AddTextField(QStringLiteral("Exist"), ColumnSize);
    dsTask->AddColumn(QStringLiteral("Похожие док-ты в БД"));
    tbTask->AddTextField(QStringLiteral("Open"), ColumnSize);
    dsTask->AddColumn(QStringLiteral("Незакрытые док-ты в БД"));
    tbTask->AddLogicalField(QStringLiteral("Include"));
    dsTask->AddColumn(QStringLiteral("Включить в обработку"));

    const QString caption = QStringLiteral("Создание промежуточной таблицы");
    try {
        Ui().ProgressStart(caption, 1);
        const QByteArray reply = Set.Link.CallServer({Routines::GetFields, QByteArray::number(task)});
        Ui().ProgressStart(caption, CountChar(reply, ListSep) + 2);
        Ui().ProgressSetPosition(1);
        int i = 0;
        for (const QByteArray &entry : ReplyItems(reply, ListSep)) {
            tbTask->AddTextField(FromWin1251(Piece(entry, FieldSep, 1)), ColumnSize);
            const int id = dsTask->AddColumn(FromWin1251(Piece(entry, FieldSep, 2)));
            if (Piece(entry, FieldSep, 3) == "2")
                dsTask->ColumnById(id)->Alignment = Qt::AlignRight | Qt::AlignVCenter;
            Ui().ProgressSetPosition(++i);
        }
        tbTask->AddTextField(QStringLiteral("Transact"), ColumnSize);
        const int transact = dsTask->AddColumn(QStringLiteral("Транзакция"));

        tbTask->Open();
        dsTask->BindColumns(ColumnWidth);
        dsTask->ColumnById(transact)->Width = TransactWidth;
        dsTask->MoveColumn(dsTask->PositionOf(transact), TransactPosition);
        TransactColumnId = transact;
        Ui().ProgressFinish();
    } catch (const std::exception &e) {
        Ui().ProgressFinish();
        Set.Link.StandardErrorReport(FailureText(e));
    }
}

void TdmTask::InsertTaskRow(const QList<QByteArray> &pieces)
{
    const int fields = tbTask->FieldCount();
    tbTask->Insert();
    try {
        for (int j = 0; j < fields; ++j) {
            if (j == tfInclude)
                tbTask->SetAsBoolean(j, pieces.value(j) == "1");
            else
                tbTask->SetAsString(j, pieces.value(j));
        }
        tbTask->Post();
    } catch (...) {
        tbTask->Cancel(); // no half-filled row stays behind
        throw;
    }
}

bool TdmTask::ImportDbfFile(const QString &path, qint64 setId)
{
    LeftAside.clear();
    Records.clear();
    FRowRecords.clear();
    if (!OpenDbfFile(Set.Link, File, path)) {
        Ui().ShowMessage(QStringLiteral("Не удалось подключиться к ") + path);
        return false;
    }
    const QByteArray set = QByteArray::number(setId);
    QByteArray error;
    Set.tbSet->EmptyTable();
    if (!Set.LoadSetFields(set, error)) {
        Ui().ShowMessage(FromWin1251(error));
        return false;
    }
    if (!CheckDbfStructure(Set, File.tbDBF)) {
        Ui().ShowMessage(QStringLiteral("Файл %1 не соответствует описанию в настройке %2")
                             .arg(path, FromWin1251(Set.tbSets->AsString(TdmSet::stName))));
        return false;
    }

    // An exchange text's faulty documents and those of the other direction are no records of
    // this import; the protocol numbers the others by their place in the file.
    const unsigned wanted = SetAside(path);
    const TExchangeStatement *statement = File.tbDBF.Statement();
    const auto taken = [&](int live) { return !wanted || (statement->Direction(live) & wanted) != 0; };
    const auto place = [&](int live) { return statement ? statement->Ordinal(live) : live + 1; };
    StartRecords(statement ? statement->DocumentCount() : File.tbDBF.RecordCount());

    // The diagnosis lines go under their headings, before what the import itself may add.
    FDiagnosisAt = -1;
    const QString caption = QStringLiteral("Импорт записей из файла данных");
    bool complete = false;
    try {
        if (!tbTask->Active())
            throw EMemTableError(QStringLiteral("Промежуточная таблица не создана"));
        TControlsOff quiet(tbTask);
        File.tbDBF.Last();
        const int count = File.tbDBF.RecordCount() - AsideCount(false);
        if (Set.Link.KeepProtocol) {
            Set.Link.Protocol.append(ToWin1251(QStringLiteral("Диагностика записей файла данных.")));
            Set.Link.Protocol.append(ToWin1251(QStringLiteral("№ записи \t№ док.    Диагноз  ")));
            FDiagnosisAt = Set.Link.Protocol.size();
        }
        TProgressGuard progress(caption, count);

        // The file is read ahead of the replies; a record that cannot be read stops the reading,
        // and its failure is raised once the records before it are done, as if read in turn.
        TRecordCalls calls(Set.Link, Set.tbTasks->AsString(TdmSet::tkClient), set);
        int sent = 0;
        std::deque<int> places; // of the records sent and not yet answered
        std::exception_ptr readError;
        const auto readAhead = [&] {
            while (!readError && !File.tbDBF.Bof() && !calls.Full()) {
                try {
                    const int live = File.tbDBF.RecNo() - 1;
                    if (taken(live)) {
                        calls.Send(DbfRecordText(Set.Link, File.tbDBF));
                        places.push_back(place(live));
                        ++sent;
                    }
                    File.tbDBF.Prior();
                } catch (...) {
                    readError = std::current_exception();
                }
            }
        };
        readAhead();
        bool asked = false; // Esc asks once per import
        bool stopped = false;
        for (int k = 1; k <= sent && !stopped; ++k) {
            const QByteArray reply = calls.Take();
            const int number = places.front();
            places.pop_front();
            readAhead();
            const QList<QByteArray> pieces = reply.split(FieldSep);
            TRecordResult &r = Records[number - 1];
            r.Sent = true;
            r.Document = pieces.value(8);
            if (pieces.value(0).isEmpty()) { // no diagnosis: the record is a document
                InsertTaskRow(pieces);
            } else {
                r.Outcome = TRecordOutcome::Refused;
                r.Text = pieces.value(0);
            }
            Ui().ProgressStep();
            // Pending input is handled between records, so that Esc reaches the progress
            // window; an interrupted import keeps the rows it has, like a failed one.
            Ui().ProcessEvents();
            if (!asked && Ui().EscapePressed()) {
                asked = true;
                stopped =
                    Ui().AskYesNo(QStringLiteral("Прервать задачу?"), TAnswer::No,
                                  FromWin1251(Set.tbTasks->AsString(TdmSet::tkName)), TQuestionIcon::None)
                    == TAnswer::Yes;
            }
        }
        if (!stopped && readError)
            std::rethrow_exception(readError);
        complete = !stopped;
    } catch (const std::exception &e) {
        BindRows();
        WriteDiagnosisLines();
        Set.Link.StandardErrorReport(FailureText(e));
        return false;
    }
    BindRows();
    WriteDiagnosisLines();
    return complete;
}

void TdmTask::StartRecords(int documents)
{
    Records.reserve(documents);
    for (int n = 1; n <= documents; ++n) {
        TRecordResult r;
        r.Record = n;
        Records.append(r);
    }
    for (const TAsideDocument &d : std::as_const(LeftAside)) {
        if (d.Record < 1 || d.Record > documents)
            continue;
        TRecordResult &r = Records[d.Record - 1];
        r.Document = ToWin1251(d.Number);
        r.Outcome = d.Fault ? TRecordOutcome::Refused : TRecordOutcome::Skipped;
        r.Text = ToWin1251(d.Reason);
    }
}

void TdmTask::BindRows()
{
    // The rows are the accepted records in file order (the import inserts each before the one
    // of the record after it).
    QList<int> accepted;
    for (int i = 0; i < Records.size(); ++i)
        if (Records[i].Sent && Records[i].Outcome == TRecordOutcome::NotProcessed)
            accepted.append(i);
    if (accepted.size() != tbTask->RecordCount())
        return; // rows of another import in the table: none of them is told
    FRowRecords = accepted;
    for (int row = 0; row < accepted.size(); ++row)
        Records[accepted[row]].Row = row;
}

TRecordResult *TdmTask::RecordOfRow(int row)
{
    return row >= 0 && row < FRowRecords.size() ? &Records[FRowRecords[row]] : nullptr;
}

int TdmTask::OutcomeCount(TRecordOutcome outcome) const
{
    return int(std::count_if(Records.cbegin(), Records.cend(),
                             [outcome](const TRecordResult &r) { return r.Outcome == outcome; }));
}

void TdmTask::WriteDiagnosisLines()
{
    if (FDiagnosisAt < 0 || FDiagnosisAt > Set.Link.Protocol.size())
        return;
    QList<QByteArray> lines;
    for (const TRecordResult &r : Records)
        if (r.Sent)
            lines.append(QByteArray::number(r.Record) + ": \t\t" + r.Document + '\t'
                         + (r.Outcome == TRecordOutcome::Refused ? r.Text : QByteArray()));
    if (lines.isEmpty())
        return;
    // Put in at once: inserting each into the middle of the protocol would shift all that follow.
    QList<QByteArray> merged;
    merged.reserve(Set.Link.Protocol.size() + lines.size());
    merged.append(Set.Link.Protocol.mid(0, FDiagnosisAt));
    merged.append(lines);
    merged.append(Set.Link.Protocol.mid(FDiagnosisAt));
    Set.Link.Protocol.swap(merged);
}

int TdmTask::AsideCount(bool fault) const
{
    return int(std::count_if(LeftAside.cbegin(), LeftAside.cend(),
                             [fault](const TAsideDocument &d) { return d.Fault == fault; }));
}

namespace {

QString DocumentName(const TAsideDocument &d)
{
    return d.Number.isEmpty()
               ? QStringLiteral("документ без номера (строка %1)").arg(d.Line)
               : QStringLiteral("документ № %1 (строка %2)").arg(d.Number, QString::number(d.Line));
}

constexpr int MessageFaults = 20; // the message names at most these; the protocol every one

} // namespace

unsigned TdmTask::SetAside(const QString &path)
{
    const TExchangeStatement *s = File.tbDBF.Statement();
    if (!s)
        return 0;
    const qint64 type = Set.tbSets->AsInteger(TdmSet::stType);
    const unsigned wanted = s->Accounts().isEmpty() ? 0u
                            : type == 1             ? ExchangeDirection::Out
                            : type == 2             ? ExchangeDirection::In
                                                    : 0u;
    for (const TExchangeDocument &d : s->Faulty())
        LeftAside.append({d.Ordinal, d.Line, d.Number, d.Fault, true});
    if (wanted) {
        const QString other = wanted == ExchangeDirection::Out
                                  ? QStringLiteral("другое направление: поступление на счёт выписки")
                                  : QStringLiteral("другое направление: списание со счёта выписки");
        for (int live = 0; live < File.tbDBF.RecordCount(); ++live)
            if (!(s->Direction(live) & wanted)) {
                const TExchangeDocument d = s->Document(live);
                LeftAside.append({d.Ordinal, d.Line, d.Number, other, false});
            }
        std::stable_sort(
            LeftAside.begin(), LeftAside.end(),
            [](const TAsideDocument &a, const TAsideDocument &b) { return a.Record < b.Record; });
    }

    // Said once, before anything is sent; the other documents are imported.
    const int faulty = AsideCount(true);
    if (!s->Warnings().isEmpty() || faulty) {
        QStringList text{QStringLiteral("Файл %1:").arg(path)};
        text += s->Warnings();
        if (faulty) {
            text << QStringLiteral("Документы с ошибками не импортируются (%1):").arg(faulty);
            int named = 0;
            for (const TAsideDocument &d : std::as_const(LeftAside))
                if (d.Fault && named++ < MessageFaults)
                    text << DocumentName(d) + QStringLiteral(": ") + d.Reason;
            if (faulty > MessageFaults)
                text << QStringLiteral("… и ещё %1 (все они в протоколе)").arg(faulty - MessageFaults);
            text << QStringLiteral("Остальные документы импортируются.");
        }
        Ui().ShowMessage(text.join(u'\n'));
    }
    if (Set.Link.KeepProtocol) {
        QStringList lines{QStringLiteral("Файл обмена 1С %1, кодировка %2").arg(path, s->CodePage())};
        if (s->Accounts().isEmpty())
            lines << QStringLiteral("Счёт выписки (РасчСчет) в файле не назван: направление документов не "
                                    "проверяется, импортируются документы обоих направлений");
        else
            lines << QStringLiteral(
                         "Счета выписки: %1; документов другого направления оставлено в стороне: %2")
                         .arg(s->Accounts().join(QStringLiteral(", ")), QString::number(AsideCount(false)));
        for (const QString &w : s->Warnings())
            lines << QStringLiteral("Предупреждение: ") + w;
        for (const TAsideDocument &d : std::as_const(LeftAside))
            lines << (d.Fault ? QStringLiteral("Не импортируется ") : QStringLiteral("Оставлен в стороне "))
                         + DocumentName(d) + QStringLiteral(": ") + d.Reason;
        for (const QString &l : std::as_const(lines))
            Set.Link.Protocol.append(ToWin1251(l));
    }
    return wanted;
}

void TdmTask::SnapshotTaskTable()
{
    tbTask2->CopyFrom(*tbTask);
    tbTask2->First();
}
