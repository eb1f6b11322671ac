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
#include <charconv>
#include <cstring>
#include <deque>
#include <exception>
#include <utility>

TdmTask *dmTask = nullptr;

namespace {

constexpr int ColumnSize = 256;
constexpr int ColumnWidth = 60;
constexpr int TransactWidth = 90;
constexpr int TransactPosition = 3; // after Ok, Exist and Open

// The PDVelm call of an import's next record, out while the engine works on the reply before
// it: the server's work on one record overlaps the engine's on the one before, with one call
// out at a time as the protocol allows, on the one thread. A call still out when the import
// ends (stopped, or failed on a reply) is answered and its reply dropped, so that the link is
// left with no reply of its own pending.
class TRecordCall
{
public:
    explicit TRecordCall(TLink &link) : FLink(link) {}
    ~TRecordCall()
    {
        if (FNumber == 0)
            return;
        try {
            (void)FLink.FinishServerCall();
        } catch (...) { // the link's failure is the next call's to tell
        }
    }
    TRecordCall(const TRecordCall &) = delete;
    TRecordCall &operator=(const TRecordCall &) = delete;

    bool Out() const { return FNumber != 0; }
    void Start(int number, const QList<QByteArray> &elements)
    {
        FLink.StartServerCall(elements);
        FNumber = number;
    }
    // The record's number; its reply in reply. A failed call's failure comes out here.
    int Take(QByteArray &reply)
    {
        const int number = std::exchange(FNumber, 0);
        reply = FLink.FinishServerCall();
        return number;
    }

private:
    TLink &FLink;
    int FNumber = 0; // the record's place in the file; 0: no call out
};

// reply.split(FieldSep), into a list that keeps its storage from one record to the next.
void SplitReply(const QByteArray &reply, QList<QByteArray> &pieces)
{
    pieces.clear();
    const char *p = reply.constData(), *end = p + reply.size();
    for (;;) {
        const char *at = static_cast<const char *>(std::memchr(p, FieldSep, size_t(end - p)));
        pieces.append(QByteArray(p, (at ? at : end) - p));
        if (!at)
            return;
        p = at + 1;
    }
}

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
    const QByteArray none;
    tbTask->Insert();
    try {
        for (int j = 0; j < fields; ++j) {
            const QByteArray &piece = j < pieces.size() ? pieces[j] : none;
            if (j == tfInclude)
                tbTask->SetAsBoolean(j, piece == "1");
            else
                tbTask->SetAsString(j, piece);
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

        // The file is read some records ahead of the calls, a batch at a time while a call is
        // out (one stretch of file work runs faster than the same spread between calls); a
        // record that cannot be read stops the reading, and its failure is raised once the
        // records before it are done, as if read in turn.
        const QByteArray client = Set.tbTasks->AsString(TdmSet::tkClient);
        std::exception_ptr readError;
        struct TAhead
        {
            int Number;
            QByteArray Text;
        };
        std::deque<TAhead> ahead;
        constexpr size_t ReadBatch = 32;
        const auto readAhead = [&] {
            while (ahead.size() < ReadBatch && !readError && !File.tbDBF.Bof()) {
                try {
                    const int live = File.tbDBF.RecNo() - 1;
                    if (taken(live))
                        ahead.push_back({place(live), DbfRecordText(Set.Link, File.tbDBF)});
                    File.tbDBF.Prior();
                } catch (...) {
                    readError = std::current_exception();
                }
            }
        };
        TRecordCall call(Set.Link);
        const auto startNext = [&] {
            if (ahead.empty())
                return;
            call.Start(ahead.front().Number, {Routines::PDVelm, client, set, ahead.front().Text});
            ahead.pop_front();
            if (ahead.empty())
                readAhead();
        };
        readAhead();
        startNext();
        bool asked = false; // Esc asks once per import
        bool stopped = false;
        QByteArray reply;
        QList<QByteArray> pieces; // kept from record to record, with its storage
        while (call.Out() && !stopped) {
            const int number = call.Take(reply);
            startNext(); // the server works on the next record while this one's reply is handled
            SplitReply(reply, pieces);
            TRecordResult &r = Records[number - 1];
            r.Sent = true;
            r.Document = pieces.value(8);
            if (pieces.value(0).isEmpty()) { // no diagnosis: the record is a document
                InsertTaskRow(pieces);
            } else {
                r.Outcome = TRecordOutcome::Refused;
                r.Text = pieces.value(0);
            }
            TUi &ui = Ui();
            ui.ProgressStep();
            // Pending input is handled between records, so that Esc reaches the progress
            // window; an interrupted import keeps the rows it has, like a failed one.
            ui.ProcessEvents();
            if (!asked && ui.EscapePressed()) {
                asked = true;
                stopped = ui.AskYesNo(QStringLiteral("Прервать задачу?"), TAnswer::No,
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
    lines.reserve(Records.size());
    for (const TRecordResult &r : Records) {
        if (!r.Sent)
            continue;
        const bool refused = r.Outcome == TRecordOutcome::Refused;
        QByteArray line;
        line.reserve(16 + r.Document.size() + (refused ? r.Text.size() : 0));
        char number[16];
        const auto n = std::to_chars(number, number + sizeof number, r.Record);
        line.append(number, n.ptr - number).append(": \t\t").append(r.Document).append('\t');
        if (refused)
            line.append(r.Text);
        lines.append(std::move(line));
    }
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
