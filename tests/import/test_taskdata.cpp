// The intermediate table: its columns from the server's column list and the grid's column list
// over them, the import of a client-bank file with one PDVelm call per record, the diagnosis
// lines of the protocol, and what each failure leaves.
#include "importtest.h"

#include "Routines.h"
#include "starttask.h"
#include "taskrun.h"

namespace {

const QString Building = QStringLiteral("Создание промежуточной таблицы");
const QString Importing = QStringLiteral("Импорт записей из файла данных");
const QByteArray Heading1 = W(QStringLiteral("Диагностика записей файла данных."));
const QByteArray Heading2 = W(QStringLiteral("№ записи \t№ док.    Диагноз  "));

// The demo's order of columns: the fifth is the document number.
QByteArray Columns()
{
    return List(
        {Rec({"DATADOC", W(QStringLiteral("Дата")), ""}), Rec({"SUMMA", W(QStringLiteral("Сумма")), "2"}),
         Rec({"PLAT", W(QStringLiteral("Плательщик")), "1"}), Rec({"POL", W(QStringLiteral("Получатель"))}),
         Rec({"NUMDOC", W(QStringLiteral("Номер док.")), ""})});
}

// The setting's fields for Sample(): LoadSetRecs records.
QByteArray SettingFields()
{
    return List({Rec({"1", "NUMDOC", "STRING", "6", "0", "", "", "", "", "1"}),
                 Rec({"2", "DATEDOC", "DATE", "8", "0", "", "", "", "", "9"}),
                 Rec({"3", "SUMMA", "FLOAT", "15", "2", "", "", "", "", "6"}),
                 Rec({"4", "PLATNAME", "STRING", "20", "0", "", "", "", "", "1"})});
}

const QList<TestField> SampleFields = {
    {"NUMDOC", 'C', 6}, {"DATEDOC", 'D', 8}, {"SUMMA", 'N', 15, 2}, {"PLATNAME", 'C', 20}};

// A PDVelm reply: diagnosis, Exist, Open, Include, the five columns, Transact.
QByteArray Reply(const QByteArray &ok, const QByteArray &exist, const QByteArray &open,
                 const QByteArray &include, const QByteArray &number, const QByteArray &sum = "1.00")
{
    return Rec({ok, exist, open, include, "04.03.2024", sum, "PLAT", "POL", number, ""});
}

class TaskData : public ImportTest
{
protected:
    void Build()
    {
        peer.QueueCall(Columns());
        engine.BuildTaskTable(1);
        ASSERT_TRUE(engine.tbTask->Active());
    }
    QString Sample(const QList<TestRecord> &records, const char *name = "clb.dbf")
    {
        const QString path = Path(name);
        EXPECT_TRUE(WriteDbf(path, SampleFields, records));
        return path;
    }
    static TestRecord Order(const char *number, const char *date, const char *sum)
    {
        return {{number, date, sum, ToCp866(QStringLiteral("ООО Ромашка"))}};
    }
    static QByteArray OrderText(const char *number, const char *date, const char *sum)
    {
        return Rec({number, date, sum, ToCp866(QStringLiteral("ООО Ромашка"))});
    }
    QList<Elements> ImportCalls() const { return Calls().mid(1); }
    // The events from the start of the walk over a file of that many records on.
    QStringList WalkEvents(int records) const
    {
        const qsizetype at = ui.Events.indexOf(Progress(Importing, records));
        return at < 0 ? QStringList() : ui.Events.mid(at);
    }
};

TEST_F(TaskData, ColumnsComeFromTheServerAndTheGridShowsTransactFourth)
{
    Build();
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::GetFields, "1"}}));
    EXPECT_EQ(ui.Events,
              (QStringList{Progress(Building, 1), Progress(Building, 7), At(1, 7), At(1, 7), At(2, 7),
                           At(3, 7), At(4, 7), At(5, 7), QStringLiteral("progress finish")}));

    TMemTable *t = engine.tbTask;
    QStringList names;
    for (int f = 0; f < t->FieldCount(); ++f)
        names << t->FieldDef(f).Name;
    EXPECT_EQ(names.join(u','),
              QStringLiteral("Ok,Exist,Open,Include,DATADOC,SUMMA,PLAT,POL,NUMDOC,Transact"));
    EXPECT_EQ(t->FieldDef(TdmTask::tfInclude).Kind, TMemFieldKind::Logical);
    for (int f : {0, 1, 2, 4, 8, 9}) {
        EXPECT_EQ(t->FieldDef(f).Kind, TMemFieldKind::Text);
        EXPECT_EQ(t->FieldDef(f).Size, 256);
    }
    EXPECT_EQ(engine.TaskColumnCount(), 5);
    EXPECT_EQ(engine.TransactField(), 9);

    // Left to right as the grid shows them; Ok is there but hidden.
    const QList<TGridColumn> &cols = engine.dsTask->Columns();
    QStringList captions;
    QList<int> fields, widths;
    for (const TGridColumn &c : cols) {
        captions << c.Caption;
        fields << c.Field;
        widths << c.Width;
    }
    EXPECT_EQ(captions, (QStringList{QStringLiteral("ОК статус"), QStringLiteral("Похожие док-ты в БД"),
                                     QStringLiteral("Незакрытые док-ты в БД"), QStringLiteral("Транзакция"),
                                     QStringLiteral("Включить в обработку"), QStringLiteral("Дата"),
                                     QStringLiteral("Сумма"), QStringLiteral("Плательщик"),
                                     QStringLiteral("Получатель"), QStringLiteral("Номер док.")}));
    EXPECT_EQ(fields, (QList<int>{0, 1, 2, 9, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(widths, (QList<int>{60, 60, 60, 90, 60, 60, 60, 60, 60, 60}));
    EXPECT_FALSE(cols[0].Visible);
    for (int p = 1; p < cols.size(); ++p)
        EXPECT_TRUE(cols[p].Visible) << p;
    EXPECT_EQ(engine.dsTask->PositionOf(engine.TransactColumnId), 3);

    // Only the column flagged "2" is right-aligned, in the model the grid reads too.
    for (const TGridColumn &c : cols)
        EXPECT_EQ(bool(c.Alignment & Qt::AlignRight), c.Caption == QStringLiteral("Сумма"))
            << c.Caption.toStdString();
    EXPECT_EQ(engine.dsTask->headerData(9, Qt::Horizontal).toString(), QStringLiteral("Транзакция"));
    EXPECT_EQ(engine.dsTask->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Сумма"));
}

TEST_F(TaskData, ColumnListEndsAtItsFirstEmptyEntry)
{
    peer.QueueCall(B("A\x02"
                     "a\x01\x01"
                     "B\x02"
                     "b\x01"));
    engine.BuildTaskTable(2);
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::GetFields, "2"}}));
    EXPECT_EQ(engine.TaskColumnCount(), 1);
    EXPECT_EQ(engine.tbTask->FieldDef(4).Name, QStringLiteral("A"));

    // A rebuild replaces everything, alignment included.
    ui.Clear();
    Build();
    peer.QueueCall(B("X\x02x\x02"
                     "2\x01"));
    engine.BuildTaskTable(1);
    EXPECT_EQ(engine.tbTask->FieldCount(), 6);
    EXPECT_EQ(engine.dsTask->Columns().size(), 6);
    engine.tbTask->Append();
    engine.tbTask->Post();
    EXPECT_FALSE(engine.dsTask->data(engine.dsTask->index(0, 5), Qt::TextAlignmentRole).isValid())
        << "Transact is not right-aligned: the earlier build's flag must not linger";
    EXPECT_EQ(engine.dsTask->data(engine.dsTask->index(0, 4), Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
              Qt::AlignRight);

    // No columns of the task at all.
    peer.QueueCall(QByteArray());
    engine.BuildTaskTable(1);
    EXPECT_EQ(engine.TaskColumnCount(), 0);
    EXPECT_EQ(engine.dsTask->PositionOf(engine.TransactColumnId), 3);
}

TEST_F(TaskData, FailedColumnListLeavesATableTheImportRefuses)
{
    Build();
    engine.tbTask->Append();
    engine.tbTask->Post();
    peer.QueueCall(XapiPeer::Reply{{B("\x1b\x1b<UNDEFINED>GetFields+1^ZZ001b\0"), 0}});
    ui.Clear();
    engine.BuildTaskTable(1);
    EXPECT_EQ(ui.Events, (QStringList{Progress(Building, 1), QStringLiteral("progress finish"),
                                      QStringLiteral("error caption: ") + Title,
                                      QStringLiteral("error: <UNDEFINED>GetFields+1^ZZ001b")}));
    EXPECT_FALSE(engine.tbTask->Active());
    EXPECT_EQ(engine.tbTask->FieldCount(), 4) << "left as far as it was built";
    EXPECT_EQ(engine.TransactColumnId, 0);

    // The import that follows fails, although the file and the setting are good.
    const QString path = Sample({Order("101", "20240304", "15000.00")});
    peer.QueueCall(SettingFields());
    ui.Clear();
    EXPECT_FALSE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(ui.Messages().size(), 1);
    EXPECT_FALSE(ui.ProgressShown());
    EXPECT_EQ(Calls().size(), 3) << "no record was sent";

    // A duplicate column name from the server is a failure too.
    peer.QueueCall(List({Rec({"SUMMA", "a"}), Rec({"summa", "b"})}));
    ui.Clear();
    engine.BuildTaskTable(1);
    EXPECT_EQ(ui.Messages().size(), 1);
    EXPECT_FALSE(engine.tbTask->Active());
}

TEST_F(TaskData, ImportKeepsAcceptedRecordsInFileOrderAndDiagnosesEveryOne)
{
    Build();
    const QString path = Sample({Order("101", "20240304", "15000.00"), Order("102", "20240305", "2350.50"),
                                 Order("103", "20240306", "98765.43")});
    KeepProtocol = true;
    Protocol.append("earlier line");
    peer.QueueCall(SettingFields());
    // The file is walked from its end: the replies are for records 3, 2, 1.
    peer.QueueCall(Reply("", "", "", "1", "103"));
    peer.QueueCall(Reply(W(QStringLiteral("Неверная сумма")), "", "", "0", "102"));
    peer.QueueCall(Reply("", "5,6", "6", "0", "101"));
    ui.Clear();
    int inserted = 0, reset = 0;
    QObject counters; // the engine outlives the test's counters: their connections go first
    QObject::connect(engine.dsTask, &QAbstractItemModel::rowsInserted, &counters,
                     [&inserted] { ++inserted; });
    QObject::connect(engine.dsTask, &QAbstractItemModel::modelReset, &counters, [&reset] { ++reset; });

    ASSERT_TRUE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(ImportCalls(),
              (QList<Elements>{{Routines::LoadSetRecs, Client, "7"},
                               {Routines::PDVelm, Client, "7", OrderText("103", "06.03.2024", "98765.43")},
                               {Routines::PDVelm, Client, "7", OrderText("102", "05.03.2024", "2350.5")},
                               {Routines::PDVelm, Client, "7", OrderText("101", "04.03.2024", "15000")}}));
    EXPECT_EQ(Column(engine.tbTask, 8), (QList<QByteArray>{"101", "103"}));
    EXPECT_EQ(Column(engine.tbTask, TdmTask::tfExist), (QList<QByteArray>{"5,6", ""}));
    EXPECT_EQ(Column(engine.tbTask, TdmTask::tfOpen), (QList<QByteArray>{"6", ""}));
    EXPECT_EQ(Column(engine.tbTask, TdmTask::tfInclude), (QList<QByteArray>{"False", "True"}));
    EXPECT_EQ(Column(engine.tbTask, TdmTask::tfOk), (QList<QByteArray>{"", ""}));
    EXPECT_EQ(Column(engine.tbTask, 4), (QList<QByteArray>{"04.03.2024", "04.03.2024"}));
    EXPECT_EQ(Protocol,
              (QList<QByteArray>{"earlier line", Heading1, Heading2, "1: \t\t101\t",
                                 "2: \t\t102\t" + W(QStringLiteral("Неверная сумма")), "3: \t\t103\t"}));
    // Each record's outcome so far, in file order: the rows wait for the run.
    ASSERT_EQ(engine.Records.size(), 3);
    EXPECT_EQ(engine.Records[0].Document, "101");
    EXPECT_EQ(engine.Records[0].Row, 0);
    EXPECT_EQ(engine.Records[1].Outcome, TRecordOutcome::Refused);
    EXPECT_EQ(engine.Records[1].Text, W(QStringLiteral("Неверная сумма")));
    EXPECT_EQ(engine.Records[1].Row, -1);
    EXPECT_EQ(engine.Records[2].Row, 1);
    EXPECT_EQ(engine.RecordOfRow(1), &engine.Records[2]);
    EXPECT_EQ(engine.OutcomeCount(TRecordOutcome::NotProcessed), 2);
    EXPECT_TRUE(tbDBF.Active()) << "the file stays open";
    EXPECT_EQ(WalkEvents(3), (QStringList{Progress(Importing, 3), At(1, 3), At(2, 3), At(3, 3),
                                          QStringLiteral("progress finish")}));
    EXPECT_TRUE(ui.Messages().isEmpty());
    // The grid is told once, not row by row.
    EXPECT_EQ(inserted, 0);
    EXPECT_GE(reset, 1);
    EXPECT_EQ(engine.dsTask->rowCount(), 2);
}

TEST_F(TaskData, LongFileKeepsRecordOrderInCallsRowsAndLines)
{
    // More records than the import reads ahead of the replies.
    Build();
    constexpr int N = 700;
    QList<TestRecord> records;
    for (int i = 1; i <= N; ++i)
        records << Order(QByteArray::number(i).constData(), "20240101", "1");
    const QString path = Sample(records);
    KeepProtocol = true;
    peer.QueueCall(SettingFields());
    for (int i = N; i >= 1; --i)
        peer.QueueCall(Reply(i % 7 ? QByteArray() : "no", "", "", "1", QByteArray::number(i)));
    ASSERT_TRUE(engine.ImportDbfFile(path, 7));

    const QList<Elements> calls = ImportCalls();
    ASSERT_EQ(calls.size(), N + 1);
    QList<QByteArray> kept;
    for (int i = 1; i <= N; ++i) {
        ASSERT_EQ(calls[N + 1 - i].value(3), OrderText(QByteArray::number(i).constData(), "01.01.2024", "1"));
        ASSERT_EQ(Protocol[i + 1],
                  QByteArray::number(i) + ": \t\t" + QByteArray::number(i) + '\t' + (i % 7 ? "" : "no"));
        if (i % 7)
            kept << QByteArray::number(i);
    }
    EXPECT_EQ(Column(engine.tbTask, 8), kept);
    EXPECT_EQ(ui.ProgressPosition(), N);
}

TEST_F(TaskData, IncludeIsTrueOnlyForOneAndShortRepliesLeaveColumnsEmpty)
{
    Build();
    const QString path = Sample({Order("1", "20240101", "1"), Order("2", "20240101", "1"),
                                 Order("3", "20240101", "1"), Order("4", "20240101", "1")});
    peer.QueueCall(SettingFields());
    peer.QueueCall(B("\x02\x02\x02"
                     "1"));
    peer.QueueCall(B("\x02\x02\x02"));
    peer.QueueCall(B("\x02\x02\x02"
                     "yes\x02"
                     "d\x02s\x02p\x02q\x02n\x02t\x02"
                     "extra"));
    peer.QueueCall(B("\x02\x02\x02"
                     "0\x02"
                     "d"));
    ASSERT_TRUE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(Column(engine.tbTask, TdmTask::tfInclude),
              (QList<QByteArray>{"False", "False", "False", "True"}));
    EXPECT_EQ(Column(engine.tbTask, 4), (QList<QByteArray>{"d", "d", "", ""}));
    EXPECT_EQ(Column(engine.tbTask, 9), (QList<QByteArray>{"", "t", "", ""}))
        << "Transact takes its piece; pieces beyond the table are ignored";
}

TEST_F(TaskData, EmptyFileGivesHeadingsOnly)
{
    Build();
    const QString path = Sample({});
    KeepProtocol = true;
    peer.QueueCall(SettingFields());
    ui.Clear();
    ASSERT_TRUE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(engine.tbTask->RecordCount(), 0);
    EXPECT_EQ(Protocol, (QList<QByteArray>{Heading1, Heading2}));
    EXPECT_EQ(ImportCalls().size(), 1);
    EXPECT_EQ(WalkEvents(0), (QStringList{Progress(Importing, 0), QStringLiteral("progress finish")}));
}

TEST_F(TaskData, DeletedRecordsAreNeitherSentNorNumbered)
{
    Build();
    TestRecord gone = Order("999", "20240101", "1");
    gone.Deleted = true;
    const QString path = Sample({gone, Order("1", "20240101", "1"), gone, Order("2", "20240101", "1")});
    KeepProtocol = true;
    peer.QueueCall(SettingFields());
    peer.QueueCall(Reply("", "", "", "1", "2"));
    peer.QueueCall(Reply("", "", "", "1", "1"));
    ASSERT_TRUE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(ImportCalls().size(), 3);
    EXPECT_EQ(Protocol.mid(2), (QList<QByteArray>{"1: \t\t1\t", "2: \t\t2\t"}));
}

TEST_F(TaskData, WithoutProtocolNothingIsWritten)
{
    Build();
    const QString path = Sample({Order("1", "20240101", "1")});
    peer.QueueCall(SettingFields());
    peer.QueueCall(Reply("bad", "", "", "0", "1"));
    ASSERT_TRUE(engine.ImportDbfFile(path, 7));
    EXPECT_TRUE(Protocol.isEmpty());
    EXPECT_EQ(engine.tbTask->RecordCount(), 0);
}

TEST_F(TaskData, LostConnectionKeepsTheRowsAndLinesSoFar)
{
    Build();
    const QString path =
        Sample({Order("101", "20240304", "1"), Order("102", "20240305", "1"), Order("103", "20240306", "1")});
    KeepProtocol = true;
    peer.QueueCall(SettingFields());
    peer.QueueCall(Reply("", "", "", "1", "103"));
    peer.QueueCallThenHangUp(B("\x02\x02"));
    ui.Clear();
    EXPECT_FALSE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(Column(engine.tbTask, 8), QList<QByteArray>{"103"});
    ASSERT_EQ(engine.Records.size(), 3);
    EXPECT_FALSE(engine.Records[0].Sent) << "not reached: the file is walked from its end";
    EXPECT_EQ(engine.Records[1].Outcome, TRecordOutcome::NotProcessed);
    EXPECT_EQ(engine.RecordOfRow(0), &engine.Records[2]);
    ASSERT_EQ(Protocol.size(), 4);
    EXPECT_EQ(Protocol.mid(0, 3), (QList<QByteArray>{Heading1, Heading2, "3: \t\t103\t"}));
    EXPECT_FALSE(Protocol[3].isEmpty()) << "the failure's own line follows the diagnoses";
    ASSERT_EQ(ui.Messages().size(), 1);
    EXPECT_EQ(W(ui.Messages()[0]), Protocol[3]);
    EXPECT_FALSE(ui.ProgressShown());
    EXPECT_EQ(ui.Events.last(), QStringLiteral("error: ") + ui.Messages()[0])
        << "the progress window is gone before the error box";
    EXPECT_EQ(engine.tbTask->State(), TMemTableState::Browse);
}

TEST_F(TaskData, EscapeStopsTheImportWithTheRowsSoFarAndTheLinkAnswersTheNextCallRight)
{
    Build();
    const QString path = Sample({Order("1", "20240101", "1"), Order("2", "20240101", "1"),
                                 Order("3", "20240101", "1"), Order("4", "20240101", "1")});
    peer.QueueCall(SettingFields());
    for (const char *n : {"4", "3", "2"})
        peer.QueueCall(Reply("", "", "", "1", n));
    peer.QueueCall(QByteArray("mine"));
    ui.OnProcessEvents = [](ScriptedUi &u) {
        if (u.ProcessEventsCount == 2)
            u.SetEscapePressed(true);
    };
    ui.ExpectYesNo(TAnswer::Yes);
    EXPECT_FALSE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(Column(engine.tbTask, 8), (QList<QByteArray>{"3", "4"}));
    EXPECT_EQ(ui.Events.count(QStringLiteral("yes/no [no]: Прервать задачу?")), 1);
    EXPECT_FALSE(engine.Records[1].Sent) << "the record whose call was out when the import stopped";
    EXPECT_FALSE(engine.Records[0].Sent);
    // The stopped import's last call was answered and dropped, not left for the next one.
    EXPECT_EQ(engine.Set.Link.CallServer({"a^b"}), "mine");
    EXPECT_EQ(ImportCalls().size(), 5);
}

TEST_F(TaskData, DamagedRecordStopsTheImportWithItsReason)
{
    Build();
    const QString path =
        Sample({Order("1", "20240101", "1"), Order("2", "20240101", "12abc"), Order("3", "20240101", "1")});
    peer.QueueCall(SettingFields());
    peer.QueueCall(Reply("", "", "", "1", "3"));
    EXPECT_FALSE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(Column(engine.tbTask, 8), QList<QByteArray>{"3"});
    ASSERT_EQ(ui.Messages().size(), 1);
    EXPECT_TRUE(ui.Messages()[0].contains(QStringLiteral("12abc"))) << ui.Messages()[0].toStdString();
    EXPECT_EQ(ImportCalls().size(), 2) << "the damaged record is not sent";
}

TEST_F(TaskData, FileSettingAndStructureFailuresEachHaveTheirMessage)
{
    Build();
    // The file cannot be opened: the layer's report, then the engine's message.
    const QString missing = Path("none.dbf");
    ui.Clear();
    EXPECT_FALSE(engine.ImportDbfFile(missing, 7));
    ASSERT_EQ(ui.Messages().size(), 2);
    EXPECT_EQ(ui.Messages()[1], QStringLiteral("Не удалось подключиться к ") + missing);
    EXPECT_EQ(Calls().size(), 1) << "nothing is asked of the server";

    // The setting's fields cannot be loaded: that text as a plain message.
    const QString path = Sample({Order("1", "20240101", "1")});
    peer.QueueCall(XapiPeer::Reply{{B("\x1b\x1b<NOLINE>LoadSetRecs^ZZ001a\0"), 0}});
    ui.Clear();
    EXPECT_FALSE(engine.ImportDbfFile(path, 7));
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("message: <NOLINE>LoadSetRecs^ZZ001a")))
        << ui.Events.join(u'\n').toStdString();
    EXPECT_EQ(ui.Messages().size(), 1);

    // The file does not match the setting.
    peer.QueueCall(List({Rec({"1", "NUMDOC", "STRING", "7", "0", "", "", "", "", "1"})}));
    ui.Clear();
    EXPECT_FALSE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(ui.Messages(),
              (QStringList{
                  QStringLiteral("Operation aborted"),
                  QStringLiteral("Файл %1 не соответствует описанию в настройке Расход (тест)").arg(path)}));

    // A setting without fields: the same message, with no report before it.
    peer.QueueCall(QByteArray());
    ui.Clear();
    EXPECT_FALSE(engine.ImportDbfFile(path, 7));
    EXPECT_EQ(ui.Messages().size(), 1);
    EXPECT_EQ(Calls().size(), 4);
    EXPECT_EQ(engine.tbTask->RecordCount(), 0);
    EXPECT_FALSE(ui.ProgressShown());
}

TEST_F(TaskData, TaskStartFindsItsSettingByIdAndTypeAndTheRunTellsEachRecordsOutcome)
{
    dm.RememberTaskRows();
    TMemTable *tasks = dm.tbTasks;
    const auto setTask = [tasks](const QByteArray &client, const QByteArray &set) {
        tasks->Edit();
        tasks->SetAsString(TdmSet::tkClient, client);
        tasks->SetAsString(TdmSet::tkSet, set);
        tasks->Post();
    };
    TTaskStart start(engine, 1);
    setTask({}, "8");
    EXPECT_FALSE(start.Prepare());
    setTask(Client, {});
    EXPECT_FALSE(start.Prepare());
    EXPECT_EQ(ui.Messages(), (QStringList{QStringLiteral("Для этой задачи необходимо выбрать клиент-банк"),
                                          QStringLiteral("Сначала нужно выбрать настройку")}));
    EXPECT_TRUE(Calls().isEmpty());

    // The list in memory is no client-bank's loaded list: it is loaded. Id 7 there is a
    // setting of money in, which money out does not take whatever its name.
    setTask(Client, "7");
    const QByteArray list = List({Rec({"7", SetName, Client, "2"}), Rec({"8", "Out", Client, "1"})});
    peer.QueueCall(list);
    ui.Clear();
    EXPECT_FALSE(start.Prepare());
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::Slist, Client}}));
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("Настройка %1 не найдена").arg(FromWin1251(SetName))});
    setTask(Client, "8");
    peer.QueueCall(Columns());
    ASSERT_TRUE(start.Prepare());
    EXPECT_EQ(Calls().size(), 2) << "the list of the task's client-bank is not loaded again";
    EXPECT_EQ(dm.tbSets->AsInteger(TdmSet::stId), 8);

    ui.Clear();
    EXPECT_EQ(start.Import(Path("none.dbf")), TImportEnd::Missing);
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Невозможно открыть файл ") + Path("none.dbf")});

    QList<TestRecord> records;
    for (const char *n : {"101", "102", "103", "104", "105", "106", "107"})
        records << Order(n, "20240304", "1");
    const QString path = Sample(records);
    KeepProtocol = true;
    peer.QueueCall(SettingFields());
    peer.QueueCall(Reply(W(QStringLiteral("Неверная сумма")), "", "", "0", "107"));
    peer.QueueCall(Reply("", "", "", "1", "106"));
    peer.QueueCall(Reply("", "8", "8", "0", "105"));
    peer.QueueCall(Reply("", "5,6", "6", "0", "104"));
    peer.QueueCall(Reply("", "9", "", "0", "103"));
    peer.QueueCall(Reply("", "", "", "1", "102"));
    peer.QueueCall(Reply("", "", "", "1", "101"));
    ui.Clear();
    ASSERT_EQ(start.Import(path), TImportEnd::Complete);
    EXPECT_EQ(Protocol.value(0), W(QStringLiteral("Старт задачи ")) + TaskName);
    EXPECT_EQ(Calls()[2], (Elements{Routines::LoadSetRecs, Client, "8"}));
    EXPECT_EQ(engine.tbTask2->RecordCount(), 6) << "the rows as the import left them";

    // The operator includes the two with unclosed similar documents; the run closes the first
    // and stops at the second.
    for (int row : {3, 4}) {
        engine.tbTask->SetRecNo(row + 1);
        engine.tbTask->Edit();
        engine.tbTask->SetAsBoolean(TdmTask::tfInclude, true);
        engine.tbTask->Post();
    }
    peer.QueueCall(QByteArray()); // SaveTask
    peer.QueueCall(QByteArray());
    peer.QueueCall(W(QStringLiteral("Нет счёта")));
    peer.QueueCall(QByteArray());
    TTaskRun run(&engine);
    ui.ExpectName(QStringLiteral("Иванова"));
    ui.ExpectChoice(UnclosedClose);
    ui.ExpectChoice(UnclosedStop);
    run.actRunExecute();
    const struct
    {
        TRecordOutcome Outcome;
        QByteArray Text;
    } told[] = {{TRecordOutcome::Created, {}},
                {TRecordOutcome::Refused, W(QStringLiteral("Нет счёта"))},
                {TRecordOutcome::Skipped, {}},
                {TRecordOutcome::Closed, "6"},
                {TRecordOutcome::Stopped, {}},
                {TRecordOutcome::NotProcessed, {}},
                {TRecordOutcome::Refused, W(QStringLiteral("Неверная сумма"))}};
    ASSERT_EQ(engine.Records.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(engine.Records[i].Outcome, told[i].Outcome) << i;
        EXPECT_EQ(engine.Records[i].Text, told[i].Text) << i;
        EXPECT_EQ(engine.Records[i].Document, QByteArray::number(101 + i)) << i;
    }
}

TEST_F(TaskData, SnapshotCopiesTheImportNotLaterChanges)
{
    Build();
    const QString path = Sample({Order("1", "20240101", "1"), Order("2", "20240101", "1")});
    peer.QueueCall(SettingFields());
    peer.QueueCall(Reply("", "", "", "1", "2"));
    peer.QueueCall(Reply("", "", "", "0", "1"));
    ASSERT_TRUE(engine.ImportDbfFile(path, 7));
    engine.SnapshotTaskTable();
    EXPECT_EQ(engine.tbTask2->FieldCount(), engine.tbTask->FieldCount());
    EXPECT_EQ(engine.tbTask2->FieldDef(8).Name, QStringLiteral("NUMDOC"));
    EXPECT_EQ(Column(engine.tbTask2, 8), (QList<QByteArray>{"1", "2"}));
    EXPECT_EQ(engine.tbTask2->RecNo(), 1);

    engine.tbTask->First();
    engine.tbTask->Edit();
    engine.tbTask->SetAsBoolean(TdmTask::tfInclude, true);
    engine.tbTask->SetAsString(engine.TransactField(), "1");
    engine.tbTask->Post();
    EXPECT_EQ(Column(engine.tbTask2, TdmTask::tfInclude), (QList<QByteArray>{"False", "True"}));
    EXPECT_EQ(Column(engine.tbTask2, 9), (QList<QByteArray>{"", ""}));
}

} // namespace
