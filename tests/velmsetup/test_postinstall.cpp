// The post-action stage against the recording VisM double: the generated routine byte for byte,
// how it is saved, and the job protocol with its messages, questions, timings and failures.

#include "setupfixture.h"

#include <QRegularExpression>

namespace {

// The server's side of the job protocol, as the generated routine answers it.
struct FakeJob
{
    QByteArrayList Messages;   // written by the job, in order (server code page)
    QList<int> WrittenAtPoll;  // message i exists once jalive was asked this often (default 0)
    int AlivePolls = 0;        // jalive answers "1" this many times
    QByteArray JobValue = "1"; // what $$job answers
    QByteArray Status;         // ^R("velmsetup") at the end
    int AnswerTakesMs = 0;
    TFakeClock *Clock = nullptr;
    int Polls = 0;
    QByteArrayList Answers;

    std::optional<TVisMReply> operator()(const TVisMDouble::TRun &r)
    {
        static const QRegularExpression read(
            QStringLiteral("^\\$g\\(\\^R\\(\"velmsetup\",\"(\\d+)\"\\)\\)$"));
        if (r.Code == "$$job^velmsetup")
            return TVisMReply{0, {}, JobValue};
        if (r.Code == "$$jalive^velmsetup")
            return TVisMReply{0, {}, ++Polls <= AlivePolls ? "1" : "0"};
        if (r.Code == "$g(^R(\"velmsetup\"))" || r.Code == "$$stf^velmsetup")
            return TVisMReply{0, {}, Status};
        if (r.Code.startsWith("$$SetAnswer^velmsetup(")) {
            Answers << r.Code;
            if (Clock)
                Clock->Advance(AnswerTakesMs);
            return TVisMReply{0, {}, {}};
        }
        const QRegularExpressionMatch m = read.match(QString::fromLatin1(r.Code));
        if (m.hasMatch()) {
            const int i = m.captured(1).toInt() - 1;
            if (i < Messages.size() && WrittenAtPoll.value(i, 0) <= Polls)
                return TVisMReply{0, {}, Messages[i]};
            return TVisMReply{0, {}, {}};
        }
        return std::nullopt;
    }
};

TDistContent PostContent()
{
    TDistContent c = BasicContent();
    c.Product = Cp(u"Шлюз ВЕЛЬМ-Банк");
    c.PostActions = {{Cp(u"Перенос настроек"), "post1^ZZ001"}, {Cp(u"Второй \"шаг\""), "post2^ZZ001(\"a\")"}};
    c.Programs = {Routine("ZZ001")};
    return c;
}

QByteArray GoldenRoutine()
{
    QFile f(QStringLiteral(VELMSETUP_GOLDEN_DIR "/velmsetup.txt"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
    return ToCp866(QString::fromUtf8(f.readAll()));
}

// The codes run after the generated routine was saved.
QByteArrayList CodesAfterSave(const TVisMDouble &vism)
{
    const QByteArrayList codes = vism.Codes();
    const qsizetype at = codes.lastIndexOf("k text");
    return at < 0 ? QByteArrayList() : codes.mid(at + 1);
}

QByteArray ReadCode(int n) { return "$g(^R(\"velmsetup\",\"" + QByteArray::number(n) + "\"))"; }

} // namespace

TEST_F(SetupTest, GeneratedRoutineMatchesTheGoldenTextAndIsSavedLineByLine)
{
    Load(PostContent());
    ASSERT_TRUE(RunRestoreStages());
    const QList<QByteArray> lines =
        GenerateSetupRoutine(Distrib->PostLabels, Distrib->PostDescs, Distrib->ProductName, Distrib->Version);
    ASSERT_EQ(lines.value(0), "velmsetup");
    const QByteArray golden = GoldenRoutine();
    EXPECT_EQ(QByteArrayList(lines.mid(1)).join('\n') + '\n', golden);
    // Texts written in the code really are in the server code page: no Windows-1251 letters.
    EXPECT_TRUE(golden.contains(Cp(u"метка обработки ошибок")));

    VisM.Events.clear();
    VisM.Runs.clear();
    FakeJob job;
    VisM.Handler = std::ref(job);
    ASSERT_TRUE(Stages->RunPostActionStage()) << LogText().join(QLatin1Char('\n')).toStdString();
    // One run per line, nothing deleted beforehand, the source kept.
    QByteArrayList expected{"Code=s text(P1)=P2"};
    for (qsizetype i = 1; i < lines.size(); ++i)
        expected << "P1=" + QByteArray::number(i) << "P2=" + lines[i] << "ExecFlag=1";
    expected
        << R"(Execute(ZR  X "s i="""",q=$C(13,10) f  s i=$o(text(i)) Q:i=""""  s s="""" f k=1:1:$l(text(i),q) s s=$p(text(i),q,k) ZI s" ZS velmsetup))"
        << "Execute(k text)";
    ASSERT_GE(VisM.Events.size(), expected.size());
    EXPECT_EQ(VisM.Events.mid(0, expected.size()), expected);
    EXPECT_FALSE(VisM.Codes().contains("k ^ROUTINE(P1)"));
}

TEST_F(SetupTest, JobMessagesAndQuestionsReachTheOperator)
{
    Load(PostContent());
    ASSERT_TRUE(RunRestoreStages());
    Log.Lines.clear();
    FakeJob job;
    job.Clock = &Clock;
    job.AnswerTakesMs = 10000;
    job.AlivePolls = 4;
    job.Messages = {Cp(u"Копирование")
                        + "\x01"
                          "10",
                    Cp(u"Копирование")
                        + "\x01"
                          "20",
                    "\x02" + Cp(u"1#Продолжить?#1"),
                    "\x02" + Cp(u"2#Имя?#Иван"),
                    Cp(u"Готово")
                        + "\x01"
                          "100",
                    Cp(u"Хвост")};
    job.WrittenAtPoll = {1, 2, 3, 4, 5, 5};
    VisM.Handler = std::ref(job);
    Operator.ExpectChoice(1);
    Operator.ExpectText(U(u"Иван \"Грозный\""));

    ASSERT_TRUE(Stages->RunPostActionStage()) << LogText().join(QLatin1Char('\n')).toStdString();

    EXPECT_EQ(CodesAfterSave(VisM),
              (QByteArrayList{"$$job^velmsetup", "$$jalive^velmsetup", ReadCode(1), "$$jalive^velmsetup",
                              ReadCode(2), "$$jalive^velmsetup", ReadCode(3), "$$SetAnswer^velmsetup(\"1\")",
                              "$$jalive^velmsetup", ReadCode(4),
                              "$$SetAnswer^velmsetup(\"" + Cp(u"Иван \"\"Грозный\"\"") + "\")",
                              "$$jalive^velmsetup", ReadCode(5), ReadCode(6), ReadCode(7),
                              "$g(^R(\"velmsetup\"))", "k ^R(\"velmsetup\")"}));
    EXPECT_EQ(Clock.Sleeps, (QList<int>{2000, 500, 500, 500, 500}));

    // Each logged text ends with how long it stood; the repeated text is logged once.
    EXPECT_EQ(
        LogText(),
        (QStringList{U(u""), U(u"Выполнение меток последействия."), U(u"Начало: 10:00:00"), U(u"Копирование"),
                     U(u"  Запрос параметра у пользователя."), U(u"  Параметры запроса: 1#Продолжить?#1"),
                     U(u"  Ответ пользователя: 1"), U(u" "), U(u"  Запрос параметра у пользователя."),
                     U(u"  Параметры запроса: 2#Имя?#Иван"), U(u"  Ответ пользователя: Иван \"Грозный\""),
                     U(u"  - 00:00:22"), U(u"Готово - 00:00:00"), U(u"Хвост - 00:00:00"),
                     U(u"Последействия упешно выполнены."),
                     U(u"Продолжительность выполнения последействий 00:00:24"), U(u"")}));
    EXPECT_EQ(Windows.PanelText(), U(u"  Копирование\n  Готово\n  Хвост"));
    EXPECT_TRUE(Operator.Events.contains(U(u"choice: Продолжить? | Установка Шлюз ВЕЛЬМ-Банк 2.8  Выполнение "
                                           u"последействий: 20% | Да_Нет | default 1 | esc 2")));
    EXPECT_TRUE(Operator.Events.contains(
        U(u"text: Установка Шлюз ВЕЛЬМ-Банк 2.8  Выполнение последействий: 20% | Имя? [Иван]")));
    EXPECT_EQ(Operator.Title(), U(u"Установка Шлюз ВЕЛЬМ-Банк 2.8  Выполнение последействий: 100%"));
    // The message without a percentage kept the gauge at 100.
    EXPECT_EQ(Windows.Position(), 100);
    EXPECT_TRUE(Windows.Events.contains(U(u"time: Прошло: 00:00:13")));
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("layout: post-actions")));
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("small animation on")));
    EXPECT_TRUE(Operator.Messages().isEmpty());
}

TEST_F(SetupTest, AnswersForOddQuestions)
{
    Load(PostContent());
    ASSERT_TRUE(RunRestoreStages());
    FakeJob job;
    job.AlivePolls = 3;
    // A default that is not a number: no box, the answer is 0. A cancelled text: empty.
    // An answer typed with quotes cannot leave its string literal.
    job.Messages = {"\x02"
                    "1#Q1#yes",
                    "\x02"
                    "2#Q2#",
                    "\x02"
                    "2#Q3#x"};
    job.WrittenAtPoll = {1, 2, 3};
    VisM.Handler = std::ref(job);
    Operator.ExpectText(std::nullopt);
    Operator.ExpectText(QStringLiteral("\") k ^ALL s x=(\""));
    ASSERT_TRUE(Stages->RunPostActionStage());
    EXPECT_EQ(job.Answers, (QByteArrayList{"$$SetAnswer^velmsetup(\"0\")", "$$SetAnswer^velmsetup(\"\")",
                                           R"($$SetAnswer^velmsetup(""") k ^ALL s x=("""))"}));
    EXPECT_FALSE(Operator.Events.join(QLatin1Char('\n')).contains(QStringLiteral("choice:")));
}

TEST_F(SetupTest, RepeatedTextsAndPercentages)
{
    Load(PostContent());
    ASSERT_TRUE(RunRestoreStages());
    Log.Lines.clear();
    FakeJob job; // it ended before the first poll: everything comes by the drain
    job.Messages = {"A\x01"
                    "50",
                    "A",
                    "A\x01"
                    "70",
                    "B"};
    VisM.Handler = std::ref(job);
    ASSERT_TRUE(Stages->RunPostActionStage());
    const QStringList log = LogText();
    EXPECT_EQ(log.mid(3, 2), (QStringList{U(u"A - 00:00:00"), U(u"B - 00:00:00")}));
    EXPECT_EQ(Windows.PanelText(), QStringLiteral("  A\n  B"));
    QStringList gauges;
    for (const QString &e : Windows.Events.mid(Windows.Events.lastIndexOf(QStringLiteral("gauge: 0/100"))))
        if (e.startsWith(QStringLiteral("gauge: ")))
            gauges << e;
    EXPECT_EQ(gauges, (QStringList{U(u"gauge: 0/100"), U(u"gauge: 50/100"), U(u"gauge: 50/100"),
                                   U(u"gauge: 70/100"), U(u"gauge: 70/100")}));

    // A percentage that is not a whole number ends the stage.
    Log.Lines.clear();
    job = FakeJob();
    job.Messages = {"A\x01"
                    "x5"};
    EXPECT_FALSE(Stages->RunPostActionStage());
    EXPECT_TRUE(LogText().constLast().startsWith(U(u"Ошибка GUI приложения: \"x5\"")))
        << LogText().constLast().toStdString();
}

TEST_F(SetupTest, JobThatCannotStartRunsThePostActionsInTheInstallersProcess)
{
    Load(PostContent());
    ASSERT_TRUE(RunRestoreStages());
    Log.Lines.clear();
    FakeJob job;
    job.JobValue = "0";
    VisM.Handler = std::ref(job);
    ASSERT_TRUE(Stages->RunPostActionStage());
    EXPECT_EQ(CodesAfterSave(VisM), (QByteArrayList{"$$job^velmsetup", "$$stf^velmsetup",
                                                    "$g(^R(\"velmsetup\"))", "k ^R(\"velmsetup\")"}));
    EXPECT_EQ(LogText().mid(3, 3),
              (QStringList{U(u"Не удалось стартовать фоновое задаение для выполнения последействий."),
                           U(u"Выполнение последействий пойдет без вывода сообщений о прогрессе"),
                           U(u"$$stf^velmsetup")}));
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("gauge hidden")));
    EXPECT_TRUE(Clock.Sleeps.isEmpty());
}

TEST_F(SetupTest, PostActionFailures)
{
    Load(PostContent());
    ASSERT_TRUE(RunRestoreStages());

    // A label's refusal (or the already-running status) in CP866.
    Log.Lines.clear();
    FakeJob job;
    job.Status = Cp(u"Уже выполняется установка продукта в данный момент");
    VisM.Handler = std::ref(job);
    EXPECT_FALSE(Stages->RunPostActionStage());
    EXPECT_EQ(Operator.Messages(), QStringList{U(u"Уже выполняется установка продукта в данный момент")});
    QStringList log = LogText();
    EXPECT_EQ(log.mid(log.size() - 2),
              (QStringList{U(u"Неуспех. Уже выполняется установка продукта в данный момент"),
                           U(u"Ошибка GUI приложения: Operation aborted")}));
    EXPECT_FALSE(VisM.Codes().contains("k ^R(\"velmsetup\")"));

    // A failed server call.
    Log.Lines.clear();
    Operator.Clear();
    VisM.Runs.clear();
    VisM.Handler = nullptr;
    VisM.Fail("$$job^velmsetup", "<NOLINE>job^velmsetup");
    EXPECT_FALSE(Stages->RunPostActionStage());
    EXPECT_EQ(Operator.Messages(), QStringList{U(u"Ошибка! <NOLINE>job^velmsetup")});
    log = LogText();
    EXPECT_EQ(log.mid(log.size() - 2),
              (QStringList{U(u"<NOLINE>job^velmsetup"), U(u"Ошибка GUI приложения: Operation aborted")}));
    EXPECT_EQ(VisM.Codes().constLast(), "$$job^velmsetup");

    // Saving the routine fails: the job is never started.
    Log.Lines.clear();
    Operator.Clear();
    VisM.Runs.clear();
    VisM.Handler = [](const TVisMDouble::TRun &r) -> std::optional<TVisMReply> {
        if (r.Code == "s text(P1)=P2" && r.P1 == "5")
            return TVisMReply{1, "<MAXSTRING>", {}};
        return std::nullopt;
    };
    EXPECT_FALSE(Stages->RunPostActionStage());
    EXPECT_EQ(Operator.Messages(),
              QStringList{U(u"Ошибка при восстановлении программы в CacheКод ошибки: <MAXSTRING>")});
    EXPECT_EQ(VisM.Runs.size(), 5);
    log = LogText();
    EXPECT_EQ(log.mid(log.size() - 2),
              (QStringList{U(u"<MAXSTRING>"), U(u"Ошибка GUI приложения: Operation aborted")}));
}

TEST_F(SetupTest, NoPostActionsMeansNoRoutine)
{
    TDistContent c = PostContent();
    Load(c);
    ASSERT_TRUE(RunRestoreStages());
    Stages->Options.RunPostActions = false;
    Log.Lines.clear();
    VisM.Runs.clear();
    ASSERT_TRUE(Stages->RunPostActionStage());
    EXPECT_EQ(LogText(), (QStringList{U(u""), U(u"Метки последействия не выполнялись")}));
    EXPECT_TRUE(VisM.Runs.isEmpty());

    c.PostActions.clear();
    Load(c);
    ASSERT_TRUE(RunRestoreStages());
    Log.Lines.clear();
    VisM.Runs.clear();
    ASSERT_TRUE(Stages->RunPostActionStage());
    EXPECT_EQ(LogText(),
              (QStringList{U(u""), U(u"Выполнение меток последействия."), U(u"Начало: 10:00:00")}));
    EXPECT_TRUE(VisM.Runs.isEmpty());
}
