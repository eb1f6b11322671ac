// The Ui that never asks, under the real document run against the scripted peer: each policy's
// answers to both similar-document boxes and what reaches the server, the surname prompt, a
// signal as Esc, the run's failure kept for its caller, and every message said once on stderr
// and once in the protocol.
#include "batchui.h"
#include "importtest.h"

#include "Routines.h"
#include "taskrun.h"

namespace {

const QByteArray Skipped = W(QStringLiteral("Документ пропущен"));
const QByteArray Stopped = W(QStringLiteral("Прервано пользователем"));

// The batch Ui as the program-wide seam for a scope, its stderr lines gathered.
struct BatchSeam
{
    explicit BatchSeam(TSimilarPolicy policy, bool progress = false)
        : Ui(
            policy, [this](const QByteArray &utf8) { Err += QString::fromUtf8(utf8); }, progress),
          Previous(&::Ui())
    {
        Ui.Surname = QStringLiteral("Иванова");
        SetUi(&Ui);
    }
    ~BatchSeam() { SetUi(Previous); }
    QStringList Lines() const { return Err.split(u'\n', Qt::SkipEmptyParts); }

    QString Err;
    TBatchUi Ui;
    TUi *Previous;
};

class BatchRun : public ImportTest
{
protected:
    void SetUp() override
    {
        ImportTest::SetUp();
        KeepProtocol = true;
    }
    void TearDown() override
    {
        BatchInterrupted = 0;
        ImportTest::TearDown();
    }
    // A fresh table: a new document, one with unclosed similar ones (5 and 6), one whose
    // similar document is closed (7), another new one; all included, as the policies leave them.
    void Table()
    {
        peer.QueueCall(List({Rec({"NUMDOC", "N"})}));
        engine.BuildTaskTable(1);
        ASSERT_TRUE(engine.tbTask->Active());
        const QList<QList<QByteArray>> rows{
            {"1", "", ""}, {"2", "5,6", "5,6"}, {"3", "7", ""}, {"4", "", ""}};
        for (const auto &r : rows) {
            TMemTable *t = engine.tbTask;
            t->Append();
            t->SetAsString(TdmTask::tfExist, r[1]);
            t->SetAsString(TdmTask::tfOpen, r[2]);
            t->SetAsBoolean(TdmTask::tfInclude, true);
            t->SetAsString(4, r[0]);
            t->Post();
        }
        base = int(Calls().size());
    }
    QList<QByteArray> Results() const { return Column(engine.tbTask, engine.TransactField()); }
    // The document calls of the run (after its SaveTask), as "number" or "number>doc".
    QList<QByteArray> Documents() const
    {
        QList<QByteArray> out;
        const QList<Elements> calls = Calls().mid(base);
        for (int i = 1; i < calls.size(); ++i) {
            const Elements &e = calls[i];
            EXPECT_EQ(e.value(0), QByteArray(Routines::RecYB));
            EXPECT_EQ(e.value(2), W(QStringLiteral("Иванова")));
            out << e.value(1) + (e.size() > 3 ? ">" + e.value(3) : QByteArray());
        }
        return out;
    }
    int base = 0;
};

TEST_F(BatchRun, EveryPolicyAnswersBothBoxesOfTheRun)
{
    const QString unclosed = QStringLiteral(
        "В базе данных уже есть похожий НЕЗАКРЫТЫЙ документ. Ваши действия? [Деньги: Расход] — ответ: ");
    const QString closed =
        QStringLiteral("В базе данных уже есть похожий документ. Ваши действия? [Деньги: Расход] — ответ: ");
    const struct
    {
        TSimilarPolicy Policy;
        QList<QByteArray> Results;
        QList<QByteArray> Documents;
        QStringList Said;
    } cases[] = {
        {TSimilarPolicy::Close,
         {"1", "2", Skipped, "1"},
         {"1", "2>5", "4"},
         {unclosed + QStringLiteral("Закрыть (--similar close)"),
          closed + QStringLiteral("Пропустить (--similar close)")}},
        {TSimilarPolicy::Create,
         {"1", "1", "1", "1"},
         {"1", "2", "3", "4"},
         {unclosed + QStringLiteral("Создать новый (--similar create)"),
          closed + QStringLiteral("Создать новый (--similar create)")}},
        {TSimilarPolicy::Skip,
         {"1", Skipped, Skipped, "1"},
         {"1", "4"},
         {unclosed + QStringLiteral("Пропустить (--similar skip)"),
          closed + QStringLiteral("Пропустить (--similar skip)")}},
        {TSimilarPolicy::Stop,
         {"1", Stopped, "", ""},
         {"1"},
         {unclosed + QStringLiteral("Прервать (--similar stop)")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(PolicyName(c.Policy).toStdString());
        Table();
        BatchSeam seam(c.Policy);
        TTaskRun run(&engine);
        run.actRunExecute();
        EXPECT_EQ(Results(), c.Results);
        EXPECT_EQ(Documents(), c.Documents);
        EXPECT_EQ(seam.Lines(), c.Said) << "no progress line: stderr is no terminal";
        EXPECT_TRUE(run.RunFailure.isEmpty());
        EXPECT_EQ(Protocol.mid(Protocol.size() - c.Said.size()), W(c.Said.join(u'\n')).split('\n'));
    }
}

TEST_F(BatchRun, SignalStopsTheRunAfterTheRowInHand)
{
    Table();
    BatchSeam seam(TSimilarPolicy::Create);
    BatchInterrupted = 1;
    TTaskRun run(&engine);
    run.actRunExecute();
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "", "", ""}));
    EXPECT_EQ(seam.Lines(),
              QStringList{QStringLiteral("Прервать задачу? [Деньги: Расход] — ответ: Да (получен сигнал)")});
}

TEST_F(BatchRun, FailureThatEndsTheRunIsKeptForTheCaller)
{
    Table();
    BatchSeam seam(TSimilarPolicy::Create);
    peer.QueueCall(QByteArray()); // SaveTask
    peer.QueueCall(QByteArray());
    peer.QueueCall(XapiPeer::Reply{{B("\x1b\x1b<UNDEFINED>RecYB+3^ZZ001c\0"), 0}});
    TTaskRun run(&engine);
    run.actRunExecute();
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "", "", ""}));
    EXPECT_EQ(run.RunFailure, "<UNDEFINED>RecYB+3^ZZ001c");
    EXPECT_EQ(seam.Lines(),
              QStringList{QStringLiteral("В базе данных уже есть похожий НЕЗАКРЫТЫЙ документ. Ваши "
                                         "действия? [Деньги: Расход] — ответ: Создать новый "
                                         "(--similar create)")})
        << "the run itself says nothing of its failure";

    // A run that goes through clears what the last one left.
    Table();
    TTaskRun again(&engine);
    again.RunFailure = "old";
    again.actRunExecute();
    EXPECT_EQ(again.RunFailure, "");
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "1", "1", "1"}));
}

TEST_F(BatchRun, SurnamePromptIsAnsweredUnderItsOwnCheck)
{
    dm.ClientBanks = {Client};
    Table();
    BatchSeam seam(TSimilarPolicy::Skip);
    seam.Ui.Surname = FromWin1251(Client).toLower();
    TTaskRun run(&engine);
    run.actRunExecute();
    EXPECT_TRUE(run.RunEnabled()) << "refused like the dialog: the run did not start";
    EXPECT_EQ(Calls().size() - base, 1) << "SaveTask only";
    EXPECT_EQ(seam.Lines(),
              QStringList{QStringLiteral("Импорт платежных документов: Фамилия — ответ: отмена: "
                                         "«клиент-банк тест»: Клиент-банк с таким именем уже существует.")});

    seam.Ui.Surname.clear();
    EXPECT_EQ(seam.Ui.AskName(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("Иванова"), {}),
              std::nullopt)
        << "no surname given: the offered one is not taken";
    seam.Ui.Surname = QStringLiteral("Петров");
    EXPECT_EQ(seam.Ui.AskName(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("Иванова"), {}),
              QStringLiteral("Петров"));
}

TEST(BatchUi, EveryMessageGoesOnceToStderrAndOnceIntoTheProtocol)
{
    ResetLinkGlobals();
    KeepProtocol = true;
    ShowErrors = true;
    ScriptedUi before;
    BatchSeam seam(TSimilarPolicy::Skip);
    const QByteArray lost = W(QStringLiteral("Нет связи с сервером"));

    StandardErrorReport(lost); // the error box, then the protocol line: one of each
    seam.Ui.ShowMessage(QStringLiteral("Такой сеанс работы уже есть"));
    seam.Ui.ShowError(FromWin1251(lost)); // as a login failure shows it: no protocol line of its own
    seam.Ui.Sync();
    StandardErrorReport(lost);
    seam.Ui.Sync();
    const QStringList said{FromWin1251(lost), QStringLiteral("Такой сеанс работы уже есть"),
                           FromWin1251(lost), FromWin1251(lost)};
    EXPECT_EQ(seam.Lines(), said);
    EXPECT_EQ(Protocol, W(said.join(u'\n')).split('\n'));

    // Questions that no policy covers get their safe answer, and are said.
    EXPECT_EQ(seam.Ui.AskPassword(QStringLiteral("Введите пароль")), std::nullopt);
    EXPECT_EQ(seam.Ui.AskYesNoCancel(QStringLiteral("Сохранить?"), TAnswer::Yes), TAnswer::Cancel);
    TChoiceArgs other;
    other.Message = QStringLiteral("Что делать?");
    other.Buttons = QStringLiteral("Да_Нет");
    other.EscapeResult = 2;
    EXPECT_EQ(seam.Ui.ChoiceBox(other), 2);
    EXPECT_EQ(
        seam.Lines().mid(4),
        (QStringList{
            QStringLiteral("Введите пароль — ответ: отмена: пароль здесь не вводится, его берут из профиля"),
            QStringLiteral("Сохранить? — ответ: Отмена"),
            QStringLiteral("Что делать? — ответ: Нет (Esc: no policy for this question)")}));
    ResetLinkGlobals();
}

TEST(BatchUi, ProgressLineOnlyOnATerminalAndClearedForMessages)
{
    ResetLinkGlobals();
    ScriptedUi before;
    {
        BatchSeam quiet(TSimilarPolicy::Skip, false);
        Ui().ProgressStart(QStringLiteral("Импорт записей из файла данных"), 2);
        Ui().ProgressStep();
        Ui().ProgressFinish();
        EXPECT_EQ(quiet.Err, QString());
    }
    BatchSeam tty(TSimilarPolicy::Skip, true);
    Ui().ProgressStart(QStringLiteral("Импорт записей из файла данных"), 4);
    Ui().ProgressStep(); // within 100 ms of the last line: not drawn
    Ui().ProgressSetPosition(4);
    tty.Ui.Say(QStringLiteral("сообщение"));
    Ui().ProgressFinish();
    EXPECT_EQ(tty.Err, QStringLiteral("\r\x1b[KИмпорт записей из файла данных: 0/4 (0%)"
                                      "\r\x1b[KИмпорт записей из файла данных: 4/4 (100%)"
                                      "\r\x1b[Kсообщение\n"));
    ResetLinkGlobals();
}

} // namespace
