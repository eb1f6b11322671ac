// The Ui that never asks, under the real document run against the scripted peer: the surname
// prompt, a signal as Esc, the run's failure kept for its caller, every message said once on
// stderr with the time and once in the protocol.
#include "batchimport.h"
#include "batchui.h"
#include "importtest.h"

#include "Routines.h"
#include "taskrun.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <chrono>
#include <thread>

namespace {

// The batch Ui as the program-wide seam for a scope, its stderr lines gathered.
struct BatchSeam
{
    explicit BatchSeam(TLink *link = nullptr, bool progress = false)
        : Ui([this](const QByteArray &utf8) { Err += QString::fromUtf8(utf8); }, progress), Previous(&::Ui())
    {
        Ui.Link = link;
        Ui.Surname = QStringLiteral("Иванова");
        Ui.Stamp = [] { return QStringLiteral("T "); };
        SetUi(&Ui);
    }
    ~BatchSeam() { SetUi(Previous); }
    // stderr's lines without the time before each.
    QStringList Lines() const
    {
        QStringList out;
        for (const QString &l : Err.split(u'\n', Qt::SkipEmptyParts)) {
            EXPECT_TRUE(l.startsWith(QLatin1String("T ")) || l.startsWith(u'\r')) << l.toStdString();
            out << (l.startsWith(QLatin1String("T ")) ? l.mid(2) : l);
        }
        return out;
    }

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
        BatchInterrupted = false;
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
    int base = 0;
};

TEST_F(BatchRun, SignalStopsTheRunAfterTheRowInHand)
{
    Table();
    BatchSeam seam(&link);
    BatchInterrupted = true;
    TTaskRun run(&engine);
    run.Similar = TSimilarPolicy::Create;
    run.actRunExecute();
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "", "", ""}));
    EXPECT_EQ(seam.Lines(),
              QStringList{QStringLiteral("Прервать задачу? [Деньги: Расход] — ответ: Да (получен сигнал)")});
}

TEST_F(BatchRun, FailureThatEndsTheRunIsKeptForTheCaller)
{
    Table();
    BatchSeam seam(&link);
    peer.QueueCall(QByteArray()); // SaveTask
    peer.QueueCall(QByteArray());
    peer.QueueCall(XapiPeer::Reply{{B("\x1b\x1b<UNDEFINED>RecYB+3^ZZ001c\0"), 0}});
    TTaskRun run(&engine);
    run.Similar = TSimilarPolicy::Create;
    run.actRunExecute();
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "", "", ""}));
    EXPECT_EQ(run.RunFailure, "<UNDEFINED>RecYB+3^ZZ001c");
    EXPECT_EQ(seam.Lines(), QStringList{}) << "the run itself says nothing of its failure";

    // A run that goes through clears what the last one left.
    Table();
    TTaskRun again(&engine);
    again.Similar = TSimilarPolicy::Create;
    again.RunFailure = "old";
    again.actRunExecute();
    EXPECT_EQ(again.RunFailure, "");
    EXPECT_EQ(Results(), (QList<QByteArray>{"1", "1", "1", "1"}));
}

TEST_F(BatchRun, SurnamePromptIsAnsweredUnderItsOwnCheck)
{
    dm.ClientBanks = {Client};
    Table();
    BatchSeam seam(&link);
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
    TLink link;
    link.KeepProtocol = true;
    ScriptedUi before;
    BatchSeam seam(&link);
    const QByteArray lost = W(QStringLiteral("Нет связи с сервером"));

    link.StandardErrorReport(lost); // the error box, then the protocol line: one of each
    seam.Ui.ShowMessage(QStringLiteral("Такой сеанс работы уже есть\nвторая строка"));
    seam.Ui.ShowError(FromWin1251(lost)); // as a login failure shows it: never in the protocol
    EXPECT_EQ(seam.Lines(), (QStringList{FromWin1251(lost), QStringLiteral("Такой сеанс работы уже есть"),
                                         QStringLiteral("вторая строка"), FromWin1251(lost)}))
        << "each line after the time";
    EXPECT_EQ(link.Protocol,
              (QList<QByteArray>{lost, W(QStringLiteral("Такой сеанс работы уже есть\nвторая строка"))}));

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

    // Without a stamp of the test's own, the line starts with the date and time.
    TBatchUi plain([&seam](const QByteArray &utf8) { seam.Err = QString::fromUtf8(utf8); });
    plain.Write(QStringLiteral("x"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d x\\n$"))
                    .match(seam.Err)
                    .hasMatch())
        << seam.Err.toStdString();
}

TEST(BatchUi, ProgressLineOnlyOnATerminalAndClearedForMessages)
{
    ScriptedUi before;
    {
        BatchSeam quiet(nullptr, false);
        Ui().ProgressStart(QStringLiteral("Импорт записей из файла данных"), 2);
        Ui().ProgressStep();
        Ui().ProgressFinish();
        EXPECT_EQ(quiet.Err, QString());
    }
    BatchSeam tty(nullptr, true);
    Ui().ProgressStart(QStringLiteral("Импорт записей из файла данных"), 4);
    Ui().ProgressStep(); // within 100 ms of the last line: not drawn
    Ui().ProgressSetPosition(4);
    tty.Ui.Say(QStringLiteral("сообщение"));
    Ui().ProgressFinish();
    EXPECT_EQ(tty.Err, QStringLiteral("\r\x1b[KИмпорт записей из файла данных: 0/4 (0%)"
                                      "\r\x1b[KИмпорт записей из файла данных: 4/4 (100%)"
                                      "\r\x1b[KT сообщение\n"));
}

} // namespace

namespace {

TEST(BatchWork, ASignalEndsAWaitOnASilentServerAndTheWorkEndsAsASignalsDoes)
{
    ScriptedUi before;
    QTemporaryDir dir;
    XapiPeer peer;
    const QString profile = dir.filePath(QStringLiteral("velmbank.ini"));
    ASSERT_TRUE(peer.WriteProfile(profile));
    const QString file = dir.filePath(QStringLiteral("clb.dbf"));
    ASSERT_TRUE(WriteDbf(file, {{"NUMDOC", 'C', 6}}, {}));
    peer.QueueCall(QByteArray());                                   // login
    peer.QueueCall("1");                                            // LockTO
    peer.QueueCall(XapiPeer::Reply{{QByteArray(1, '\x1b'), 4000}}); // TOinGL: the server falls silent
    QString parseError;
    const std::optional<TBatchOptions> o = ParseBatchArguments(
        {QStringLiteral("--profile"), profile, QStringLiteral("--task"), QStringLiteral("1"),
         QStringLiteral("--surname"), QStringLiteral("Иванова"), file},
        parseError);
    ASSERT_TRUE(o) << parseError.toStdString();
    BatchSeam seam;
    TBatchImport work(*o, TCredentials{"1", "velm1", "lich1"}, seam.Ui);
    QString out;
    work.Out = [&out](const QByteArray &utf8) { out += QString::fromUtf8(utf8); };
    std::thread signal([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        BatchInterrupted = true;
    });
    QElapsedTimer clock;
    clock.start();
    const int code = work.Run();
    const qint64 took = clock.elapsed();
    signal.join();
    BatchInterrupted = false;

    EXPECT_EQ(code, 1);
    EXPECT_LT(took, 2500) << "the wait ended at the signal, not at the server's reply";
    const QStringList said = seam.Lines();
    EXPECT_TRUE(said.contains(QStringLiteral("Ожидание ответа сервера прервано")))
        << said.join(u'\n').toStdString();
    // Unlock and logout were still tried: they fail at once, the link being gone.
    EXPECT_GE(said.count(QStringLiteral("Нет связи с сервером")), 3) << said.join(u'\n').toStdString();
    QList<QByteArray> calls;
    for (const Elements &c : peer.Calls())
        calls << c.value(0);
    EXPECT_EQ(calls, (QList<QByteArray>{Routines::Login, Routines::LockTO, Routines::TOinGL}));
}

} // namespace
