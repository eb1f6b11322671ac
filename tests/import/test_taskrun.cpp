// The document run: which rows reach the server and with which elements, both choice boxes and
// every answer, the surname prompt, stopping and Escape, and what a failure leaves.
#include "importtest.h"

#include "Routines.h"
#include "taskrun.h"

namespace {

const QString OutCaption = QStringLiteral("Создание(закрытие) документов \"Деньги-Расход\"");
const QString InCaption = QStringLiteral("Создание документов \"Деньги-Приход\"");
const QString UnclosedBox = QStringLiteral(
    "choice: В базе данных уже есть похожий НЕЗАКРЫТЫЙ документ. Ваши действия? | Деньги: Расход | "
    "Закрыть_Создать новый_Пропустить_Прервать | default 3 | esc 3");
const QString SimilarBox =
    QStringLiteral("choice: В базе данных уже есть похожий документ. Ваши действия? | Деньги: Расход | "
                   "Создать новый_Пропустить_Прервать | default 2 | esc 2");
const QString Interrupt = QStringLiteral("yes/no [no]: Прервать задачу?");
const QByteArray Skipped = W(QStringLiteral("Документ пропущен"));
const QByteArray Stopped = W(QStringLiteral("Прервано пользователем"));
const QByteArray Fam = W(QStringLiteral("Иванова"));

class TaskRun : public ImportTest
{
protected:
    void SetUp() override
    {
        ImportTest::SetUp();
        peer.QueueCall(List({Rec({"NUMDOC", "N"}), Rec({"SUMMA", "S", "2"})}));
        engine.BuildTaskTable(1);
        ASSERT_TRUE(engine.tbTask->Active());
        run.Surname = Fam;
        baseCalls = int(Calls().size());
        ui.Clear();
    }
    // A row as the import leaves it; its document number is also its row text's first value.
    void AddRow(const QByteArray &number, const QByteArray &exist = {}, const QByteArray &open = {},
                bool include = true, const QByteArray &ok = {})
    {
        TMemTable *t = engine.tbTask;
        t->Append();
        t->SetAsString(TdmTask::tfOk, ok);
        t->SetAsString(TdmTask::tfExist, exist);
        t->SetAsString(TdmTask::tfOpen, open);
        t->SetAsBoolean(TdmTask::tfInclude, include);
        t->SetAsString(4, number);
        t->SetAsString(5, number + ".00");
        t->Post();
    }
    static QByteArray Row(const QByteArray &number) { return number + '\x02' + number + ".00"; }
    QList<QByteArray> Results() const { return Column(engine.tbTask, engine.TransactField()); }
    // The calls of the run after SaveTask.
    QList<Elements> DocumentCalls() const
    {
        const QList<Elements> all = Calls().mid(baseCalls);
        EXPECT_FALSE(all.isEmpty());
        if (!all.isEmpty())
            EXPECT_EQ(all[0].value(0), QByteArray(Routines::SaveTask));
        return all.mid(1);
    }
    void Run(const QString &surname = QStringLiteral("Иванова"))
    {
        ui.ExpectName(surname);
        run.actRunExecute();
    }
    QStringList Questions() const
    {
        QStringList out;
        for (const QString &e : ui.Events)
            if (e.startsWith(QLatin1String("choice: ")) || e.startsWith(QLatin1String("yes/no")))
                out << e;
        return out;
    }

    TTaskRun run{&engine};
    int baseCalls = 0;
};

TEST_F(TaskRun, RowTextIsTheTaskColumnsOfTheCurrentRow)
{
    AddRow("7");
    AddRow("8");
    engine.tbTask->First();
    EXPECT_EQ(run.TaskRowText(), B("7\x02"
                                   "7.00"));
    engine.tbTask->Next();
    EXPECT_EQ(run.TaskRowText(), B("8\x02"
                                   "8.00"));

    peer.QueueCall(QByteArray());
    engine.BuildTaskTable(1);
    engine.tbTask->Append();
    engine.tbTask->SetAsString(TdmTask::tfExist, "x");
    engine.tbTask->Post();
    EXPECT_EQ(run.TaskRowText(), QByteArray()) << "without task columns";
}

TEST_F(TaskRun, TableWithoutIncludedRowsMakesNoCallAndIsRunOnce)
{
    AddRow("1", {}, {}, false);
    AddRow("2", "5", "5", false);
    engine.tbTask->Last();
    engine.tbTask->Edit();
    engine.tbTask->SetAsString(engine.TransactField(), "stale");
    engine.tbTask->Post();
    QList<bool> changes;
    QObject counter; // the fixture's run outlives the list: the connection goes with it
    QObject::connect(&run, &TTaskRun::RunEnabledChanged, &counter, [&changes](bool on) { changes << on; });

    Run();
    EXPECT_EQ(Results(), (QList<QByteArray>{"", ""}));
    EXPECT_TRUE(DocumentCalls().isEmpty());
    EXPECT_FALSE(run.RunEnabled());
    EXPECT_EQ(changes, QList<bool>{false});
    EXPECT_EQ(ui.Events,
              (QStringList{QStringLiteral("name: Импорт платежных документов | Фамилия [Иванова]"),
                           Progress(OutCaption, 2), At(1, 2), At(2, 2), QStringLiteral("progress finish")}));
    EXPECT_EQ(ui.ProcessEventsCount, 2);
    EXPECT_EQ(engine.tbTask->RecNo(), 1) << "back on the first row";
    EXPECT_EQ(engine.dsTask->SelectedColumnId(), engine.TransactColumnId);

    // A second run of the same table does nothing at all.
    ui.Clear();
    const qsizetype calls = Calls().size();
    run.actRunExecute();
    EXPECT_TRUE(ui.Events.isEmpty());
    EXPECT_EQ(Calls().size(), calls);
}

TEST_F(TaskRun, NewDocumentsAreCreatedAndRefusalsKept)
{
    AddRow("1");
    AddRow("2");
    AddRow("3");
    peer.QueueCall(QByteArray()); // SaveTask
    peer.QueueCall(QByteArray());
    peer.QueueCall(W(QStringLiteral("Неверная дата документа")));
    peer.QueueCall(QByteArray());
    Run();
    EXPECT_EQ(DocumentCalls(), (QList<Elements>{{Routines::RecYB, Row("1"), Fam},
                                                {Routines::RecYB, Row("2"), Fam},
                                                {Routines::RecYB, Row("3"), Fam}}));
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", W(QStringLiteral("Неверная дата документа")), "1"}));
    EXPECT_TRUE(Questions().isEmpty());
    EXPECT_TRUE(ui.Messages().isEmpty());
}

TEST_F(TaskRun, UnclosedDocumentIsClosedWithoutAskingWhenTheOptionIsSet)
{
    run.CloseDoc = true;
    AddRow("1", "5,6", "6,7");
    AddRow("2", "5,6", "6,7");
    peer.QueueCall(QByteArray());
    peer.QueueCall(QByteArray());
    peer.QueueCall(W(QStringLiteral("Документ 6 уже закрыт")));
    Run();
    EXPECT_EQ(DocumentCalls(), (QList<Elements>{{Routines::RecYB, Row("1"), Fam, "6"},
                                                {Routines::RecYB, Row("2"), Fam, "6"}}));
    EXPECT_EQ(Results(), (QList<QByteArray>{"2", W(QStringLiteral("Документ 6 уже закрыт"))}));
    EXPECT_TRUE(Questions().isEmpty());
}

TEST_F(TaskRun, UnclosedDocumentAsksAndActsOnEveryButton)
{
    for (const char *n : {"1", "2", "3", "4", "5", "6"})
        AddRow(n, "9", "9,8");
    ui.ExpectName(QStringLiteral("Иванова"));
    ui.ExpectChoice(1); // close
    ui.ExpectChoice(2); // create anyway
    ui.ExpectChoice(3); // skip
    ui.ExpectChoice(0); // the box failed
    ui.ExpectChoice(4); // stop
    peer.QueueCall(QByteArray());
    peer.QueueCall(QByteArray());
    peer.QueueCall(QByteArray());
    run.actRunExecute();
    EXPECT_EQ(DocumentCalls(),
              (QList<Elements>{{Routines::RecYB, Row("1"), Fam, "9"}, {Routines::RecYB, Row("2"), Fam}}));
    EXPECT_EQ(Results(), (QList<QByteArray>{"2", "1", Skipped, "", Stopped, ""}));
    EXPECT_EQ(Questions(), QStringList(5, UnclosedBox));
    EXPECT_EQ(ui.Events.last(), QStringLiteral("progress finish"));
}

TEST_F(TaskRun, ClosedSimilarDocumentAsksAndActsOnEveryButton)
{
    for (const char *n : {"1", "2", "3", "4", "5"})
        AddRow(n, "9");
    run.CloseDoc = true; // has no say where nothing is unclosed
    ui.ExpectName(QStringLiteral("Иванова"));
    ui.ExpectChoice(1);
    ui.ExpectChoice(2);
    ui.ExpectChoice(0);
    ui.ExpectChoice(3);
    peer.QueueCall(QByteArray());
    peer.QueueCall(W(QStringLiteral("Нет права на задачу")));
    run.actRunExecute();
    EXPECT_EQ(DocumentCalls(), (QList<Elements>{{Routines::RecYB, Row("1"), Fam}}));
    EXPECT_EQ(Results(),
              (QList<QByteArray>{W(QStringLiteral("Нет права на задачу")), Skipped, "", Stopped, ""}));
    EXPECT_EQ(Questions(), QStringList(4, SimilarBox));
}

TEST_F(TaskRun, PoliciesAnswerBothBoxesBeforehandAndNothingIsAsked)
{
    // A new document, one with unclosed similar ones (5 and 6), one whose similar document is
    // closed (7), another new one; all included, as a policy other than skip leaves them.
    const struct
    {
        TSimilarPolicy Policy;
        QList<QByteArray> Results;
        QList<Elements> Documents;
    } cases[] = {
        {TSimilarPolicy::Close,
         {"1", "2", Skipped, "1"},
         {{Routines::RecYB, Row("1"), Fam},
          {Routines::RecYB, Row("2"), Fam, "5"},
          {Routines::RecYB, Row("4"), Fam}}},
        {TSimilarPolicy::Create,
         {"1", "1", "1", "1"},
         {{Routines::RecYB, Row("1"), Fam},
          {Routines::RecYB, Row("2"), Fam},
          {Routines::RecYB, Row("3"), Fam},
          {Routines::RecYB, Row("4"), Fam}}},
        {TSimilarPolicy::Skip,
         {"1", Skipped, Skipped, "1"},
         {{Routines::RecYB, Row("1"), Fam}, {Routines::RecYB, Row("4"), Fam}}},
        {TSimilarPolicy::Stop, {"1", Stopped, "", ""}, {{Routines::RecYB, Row("1"), Fam}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.Policy));
        peer.QueueCall(List({Rec({"NUMDOC", "N"}), Rec({"SUMMA", "S", "2"})}));
        engine.BuildTaskTable(1);
        AddRow("1");
        AddRow("2", "5,6", "5,6");
        AddRow("3", "7");
        AddRow("4");
        baseCalls = int(Calls().size());
        TTaskRun policed(&engine);
        policed.Surname = Fam;
        policed.Similar = c.Policy;
        ui.ExpectName(QStringLiteral("Иванова"));
        policed.actRunExecute();
        EXPECT_EQ(Results(), c.Results);
        EXPECT_EQ(DocumentCalls(), c.Documents);
        EXPECT_TRUE(Questions().isEmpty());
        EXPECT_TRUE(policed.RunFailure.isEmpty());
        ui.Clear();
    }
}

TEST_F(TaskRun, StopOnTheThirdOfFiveRowsLeavesTheRestUnprocessed)
{
    AddRow("1");
    AddRow("2");
    AddRow("3", "4");
    AddRow("4");
    AddRow("5");
    ui.ExpectName(QStringLiteral("Иванова"));
    ui.ExpectChoice(3);
    run.actRunExecute();
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "1", Stopped, "", ""}));
    EXPECT_EQ(DocumentCalls().size(), 2);
    EXPECT_EQ(ui.ProcessEventsCount, 3);
    EXPECT_EQ(engine.tbTask->RecNo(), 1);
    EXPECT_FALSE(ui.ProgressShown());
}

TEST_F(TaskRun, EscapeAsksAgainAfterEveryRowUntilYes)
{
    for (const char *n : {"1", "2", "3", "4", "5"})
        AddRow(n);
    ui.OnProcessEvents = [](ScriptedUi &u) {
        if (u.ProcessEventsCount == 1)
            u.SetEscapePressed(true);
    };
    ui.ExpectName(QStringLiteral("Иванова"));
    ui.ExpectYesNo(TAnswer::No);
    ui.ExpectYesNo(TAnswer::No);
    ui.ExpectYesNo(TAnswer::Yes);
    run.actRunExecute();
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "1", "1", "", ""}));
    EXPECT_EQ(Questions(), QStringList(3, Interrupt));
    // The task name as caption, and no icon.
    const qsizetype at = ui.Events.indexOf(Interrupt);
    ASSERT_GE(at, 2);
    EXPECT_EQ(ui.Events[at - 2], QStringLiteral("question caption: Деньги: Расход"));
    EXPECT_EQ(ui.Events[at - 1], QStringLiteral("question icon: none"));
    EXPECT_EQ(DocumentCalls().size(), 3);
}

TEST_F(TaskRun, EscapeAnsweredNoEveryTimeLetsTheRunFinish)
{
    AddRow("1");
    AddRow("2");
    ui.OnProcessEvents = [](ScriptedUi &u) { u.SetEscapePressed(true); };
    ui.ExpectName(QStringLiteral("Иванова"));
    ui.ExpectYesNo(TAnswer::No);
    ui.ExpectYesNo(TAnswer::No);
    run.actRunExecute();
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "1"}));
    EXPECT_EQ(Questions().size(), 2);
}

TEST_F(TaskRun, MoneyInUsesItsRoutineAndCaption)
{
    dm.tbSets->Edit();
    dm.tbSets->SetAsInteger(TdmSet::stType, 2);
    dm.tbSets->Post();
    AddRow("1");
    AddRow("2", "3", "3");
    ui.ExpectName(QStringLiteral("Петров"));
    ui.ExpectChoice(1);
    run.actRunExecute();
    EXPECT_EQ(DocumentCalls(),
              (QList<Elements>{{Routines::RecYA, Row("1"), W(QStringLiteral("Петров"))},
                               {Routines::RecYA, Row("2"), W(QStringLiteral("Петров")), "3"}}));
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "2"}));
    EXPECT_TRUE(ui.Events.contains(Progress(InCaption, 2)));
    EXPECT_EQ(run.Surname, W(QStringLiteral("Петров")));
}

TEST_F(TaskRun, OtherSettingTypeAsksNoSurnameAndSendsNothing)
{
    dm.tbSets->Edit();
    dm.tbSets->SetAsInteger(TdmSet::stType, 3);
    dm.tbSets->Post();
    AddRow("1");
    AddRow("2", {}, {}, false);
    run.actRunExecute();
    EXPECT_EQ(Results(), (QList<QByteArray>{W(QStringLiteral("Неизвестный тип настройки: 3")), ""}));
    EXPECT_TRUE(DocumentCalls().isEmpty());
    EXPECT_EQ(ui.Events.first(), Progress(QString(), 2));
    EXPECT_FALSE(run.RunEnabled());
}

TEST_F(TaskRun, IncludedRowWithDiagnosisGetsItWithoutACall)
{
    AddRow("1", {}, {}, true, "bad");
    AddRow("2", {}, {}, false, "worse");
    Run();
    EXPECT_EQ(Results(), (QList<QByteArray>{"bad", ""}));
    EXPECT_TRUE(DocumentCalls().isEmpty());
}

TEST_F(TaskRun, CancelledOrRefusedSurnameLeavesEverythingAsItWas)
{
    AddRow("1");
    ui.ExpectName(std::nullopt);
    run.actRunExecute();
    EXPECT_TRUE(run.RunEnabled());
    EXPECT_TRUE(run.Surname.isEmpty()) << "the answer becomes the surname, also when empty";
    EXPECT_EQ(Results(), QList<QByteArray>{""});
    EXPECT_FALSE(ui.Events.contains(Progress(OutCaption, 1)));
    EXPECT_EQ(engine.dsTask->SelectedColumnId(), 0);
    EXPECT_EQ(Calls().size(), baseCalls + 1) << "only the task was saved";

    // The name dialog's own check: a client-bank's name in any letter case, or nothing.
    dm.ClientBanks = {W(QStringLiteral("Клиент-Банк Тест"))};
    ui.Clear();
    Run(QStringLiteral("КЛИЕНТ-БАНК тест"));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Клиент-банк с таким именем уже существует.")});
    ui.Clear();
    Run(QString());
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Имя клиент-банка должно быть определено")});
    EXPECT_TRUE(run.RunEnabled());
    EXPECT_EQ(Results(), QList<QByteArray>{""});

    // Offered again with what was typed last.
    ui.Clear();
    run.Surname = Fam;
    Run(QStringLiteral("Сидоров"));
    EXPECT_EQ(ui.Events.first(), QStringLiteral("name: Импорт платежных документов | Фамилия [Иванова]"));
    EXPECT_EQ(Results(), QList<QByteArray>{"1"});
}

TEST_F(TaskRun, LostConnectionEndsTheRunSilentlyWithResultsKept)
{
    AddRow("1");
    AddRow("2");
    AddRow("3");
    engine.tbTask->SetRecNo(2);
    engine.tbTask->Edit();
    engine.tbTask->SetAsString(engine.TransactField(), "old");
    engine.tbTask->Post();
    peer.QueueCall(QByteArray());
    peer.QueueCall(QByteArray());
    peer.QueueCallThenHangUp(QByteArray());
    Run();
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "old", ""}));
    EXPECT_TRUE(ui.Messages().isEmpty());
    EXPECT_FALSE(ui.ProgressShown());
    EXPECT_FALSE(run.RunEnabled());
    EXPECT_EQ(engine.tbTask->State(), TMemTableState::Browse);
}

} // namespace
