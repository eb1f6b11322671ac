// The check and program stages against the recording VisM double: the exact M texts, the log,
// the windows, Esc and the failures; and the installation that runs them, with its log.

#include "setupfixture.h"

#include "installation.h"

namespace {

const QByteArray SaveLine =
    R"(ZR  X "s i="""",q=$C(13,10) f  s i=$o(text(i)) Q:i=""""  s s="""" f k=1:1:$l(text(i),q) s s=$p(text(i),q,k) ZI s" ZS )";

QByteArrayList RestoreEvents(const QByteArray &name, const QByteArray &p2, bool keep = false)
{
    QByteArrayList e{"Error=0",
                     "Execute(n text,i,k,q)",
                     "Code=s text(P1)=P2",
                     "P1=1",
                     "P2=" + p2,
                     "ExecFlag=1",
                     "Execute(k ^rMAC(\"" + name + "\") " + SaveLine + name + ")",
                     "Execute(k text)"};
    if (!keep)
        e << "P1=" + name << "Code=k ^ROUTINE(P1)"
          << "ExecFlag=1";
    return e;
}

TDistContent WithCheck(int programs = 2)
{
    TDistContent c = BasicContent();
    c.CheckLabel = "chk^ZZCHK";
    c.CheckPrograms = {{"ZZCHK", {"ZZCHK ;", "chk() q \"\""}}};
    c.PostActions = {{"Desc", "post1^ZZ001"}};
    for (int i = 1; i <= programs; ++i)
        c.Programs << Routine("PRG" + QByteArray::number(i));
    return c;
}

} // namespace

TEST_F(SetupTest, RestoreSendsEachRoutineWithTheExactTexts)
{
    TDistContent c = BasicContent();
    c.Programs = {{"ABC", {"ABC ; first", " w \"" + Cp(u"Привет") + "\"", " q"}}, {"%ZZ1", {"%ZZ1"}}};
    Load(c);
    ASSERT_TRUE(RunRestoreStages()) << LogText().join(QLatin1Char('\n')).toStdString();

    // The check stage without a check label sends nothing; the source goes in CP866, unchanged.
    QByteArrayList expected = RestoreEvents("ABC", "ABC ; first\r\n w \"" + Cp(u"Привет") + "\"\r\n q");
    expected += RestoreEvents("%ZZ1", "%ZZ1");
    EXPECT_EQ(VisM.Events, expected);

    EXPECT_EQ(LogText(),
              (QStringList{U(u""), U(u"Метки проверки нет."), U(u""), U(u""),
                           U(u"Восстановление программ дистрибутива."), U(u"В дистрибутиве 2программ."),
                           U(u"ABC"), U(u"%ZZ1"), U(u"Программы успешно восстановлены.")}));
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("element: %ZZ1")));
    EXPECT_EQ(Operator.Title(), U(u"Установка Prod 2.8. Восстановление программ 100%"));

    // Kept sources: no delete of the source after the save.
    VisM.Events.clear();
    c.Programs = {{"ABC", {"ABC"}}};
    Load(c);
    Stages->Options.KeepSources = true;
    ASSERT_TRUE(RunRestoreStages());
    EXPECT_EQ(VisM.Events, RestoreEvents("ABC", "ABC", true));
}

TEST_F(SetupTest, TransfersJoinLinesUpToTheJoinLimit)
{
    QList<QByteArray> hundred;
    for (int i = 0; i < 400; ++i)
        hundred << QByteArray(100, char('a' + i % 26));
    // 321 lines make 32,740 bytes: a line is added while the text is shorter than 32,700.
    QList<TTransfer> t = CutTransfers(hundred, DefaultJoinLimit);
    ASSERT_EQ(t.size(), 2);
    EXPECT_EQ(t[0].FirstLine, 1);
    EXPECT_EQ(t[0].Text.size(), 32740);
    EXPECT_EQ(t[0].Text.count("\r\n"), 320);
    EXPECT_TRUE(t[0].Text.endsWith("\r\n" + hundred[320]));
    EXPECT_EQ(t[1].FirstLine, 322);
    EXPECT_EQ(t[1].Text.count("\r\n"), 78);

    // A line at or past the limit travels alone; so does the last line.
    t = CutTransfers({QByteArray(40000, 'x'), "a", QByteArray(10, 'y')}, DefaultJoinLimit);
    ASSERT_EQ(t.size(), 2);
    EXPECT_EQ(t[0].Text.size(), 40000);
    EXPECT_EQ(t[1].FirstLine, 2);
    EXPECT_EQ(t[1].Text, "a\r\n" + QByteArray(10, 'y'));
    // Exactly at the limit nothing more is added.
    t = CutTransfers({QByteArray(100, 'a'), QByteArray(100, 'b'), QByteArray(100, 'c')}, 202);
    ASSERT_EQ(t.size(), 2);
    EXPECT_EQ(t[0].Text.size(), 202);
    EXPECT_EQ(t[1].FirstLine, 3);
    t = CutTransfers({"only"}, 1);
    ASSERT_EQ(t.size(), 1);
    EXPECT_EQ(t[0].Text, "only");

    // Through a restore: P1 numbers each transfer by its first source line; the limit is an option.
    TDistContent c = BasicContent();
    c.Programs = {{"BIG", hundred.mid(0, 7)}};
    Load(c);
    Stages->Options.JoinLimit = 250;
    ASSERT_TRUE(RunRestoreStages());
    QByteArrayList p1;
    QList<qsizetype> sizes;
    for (const TVisMDouble::TRun &r : VisM.Runs)
        if (r.Code == "s text(P1)=P2") {
            p1 << r.P1;
            sizes << r.P2.size();
        }
    EXPECT_EQ(p1, (QByteArrayList{"1", "4", "7"}));
    EXPECT_EQ(sizes, (QList<qsizetype>{304, 304, 100}));
}

TEST_F(SetupTest, CheckStageRestoresCheckProgramsAndRunsTheLabelWithJournaling)
{
    Load(WithCheck());
    ASSERT_TRUE(Stages->RunCheckStage()) << LogText().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Distrib->CheckLabel, "chk^ZZCHK");
    EXPECT_EQ(Distrib->PostLabels, QList<QByteArray>{"post1^ZZ001"});
    QByteArrayList expected = RestoreEvents("ZZCHK", "ZZCHK ;\r\nchk() q \"\"");
    expected << "Error=0"
             << "Value="
             << "Code=d ENABLE^%NOJRN"
             << "ExecFlag=1"
             << "Execute($$chk^ZZCHK)"
             << "Code=d DISABLE^%NOJRN"
             << "ExecFlag=1";
    EXPECT_EQ(VisM.Events, expected);
    EXPECT_EQ(LogText(), (QStringList{U(u""), U(u"Метка проверки: chk^ZZCHK"), U(u""),
                                      U(u"Восстановление программ проверки."), U(u"ZZCHK"), U(u""),
                                      U(u"Выполнение метки проверки:"), U(u"Успех.")}));
    // One check program plus the label call: the gauge ends at 2 of 2.
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("gauge: 0/2")));
    EXPECT_EQ(Windows.Position(), 2);
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("message: Анализ области установки...")));
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("clip: find-computer")));
    EXPECT_TRUE(Operator.Messages().isEmpty());

    // The program stage continues where the check stage stopped.
    VisM.Events.clear();
    ASSERT_TRUE(Stages->RunProgramStage());
    EXPECT_EQ(VisM.Events,
              RestoreEvents("PRG1", "PRG1 ;\r\n s x=1") + RestoreEvents("PRG2", "PRG2 ;\r\n s x=1"));
}

TEST_F(SetupTest, HardCheckLabelFailuresStopTheInstallation)
{
    // A refusal in CP866, shown and logged in Windows-1251.
    Load(WithCheck());
    VisM.AnswerValue("$$chk^ZZCHK", {Cp(u"Нет лицензии")});
    EXPECT_FALSE(Stages->RunCheckStage());
    const QString refusal = U(u"Не выполнилось преддействие.  Нет лицензии");
    EXPECT_EQ(Operator.Messages(), QStringList{refusal});
    EXPECT_EQ(LogText().constLast(), U(u"Сбой программы. ") + refusal);
    // Journaling is switched off again after the label.
    EXPECT_EQ(VisM.Codes().constLast(), "d DISABLE^%NOJRN");

    // An M error of the label is not hidden by the journaling run that follows it.
    Log.Lines.clear();
    Operator.Clear();
    Load(WithCheck());
    VisM.Fail("$$chk^ZZCHK", "<UNDEFINED>chk+1^ZZCHK");
    EXPECT_FALSE(Stages->RunCheckStage());
    EXPECT_EQ(Operator.Messages(),
              QStringList{U(u"Не выполнилось преддействие. Код ошибки: <UNDEFINED>chk+1^ZZCHK")});
    const QStringList log = LogText();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[log.size() - 2], QStringLiteral("<UNDEFINED>chk+1^ZZCHK"));
    EXPECT_EQ(log.constLast(),
              U(u"Сбой программы. Не выполнилось преддействие. Код ошибки: <UNDEFINED>chk+1^ZZCHK"));
}

TEST_F(SetupTest, SoftCheckLabelLetsTheOperatorDecide)
{
    // Refusal, the operator goes on: "Неуспех." and still "Успех.".
    Load(WithCheck());
    Stages->Options.HardPreAction = false;
    VisM.AnswerValue("$$chk^ZZCHK", {Cp(u"Мало места")});
    Operator.ExpectYesNo(TAnswer::No);
    ASSERT_TRUE(Stages->RunCheckStage());
    const qsizetype at = Operator.Events.indexOf(
        U(u"yes/no [yes]: Не выполнилось преддействие.  Мало места. Прервать установку?"));
    ASSERT_GE(at, 1);
    EXPECT_EQ(Operator.Events[at - 1], QStringLiteral("question caption: Remart Installation Wizard"));
    QStringList log = LogText();
    EXPECT_EQ(log.mid(log.size() - 2), (QStringList{U(u"Неуспех. Мало места"), U(u"Успех.")}));
    // The question carries the wizard's caption; the title is back afterwards.
    EXPECT_EQ(Operator.Title(), U(u"Установка Prod 2.8. Восстановление программ 50%"));

    // An error, the operator stops: the failure text is the error name.
    Log.Lines.clear();
    Load(WithCheck());
    Stages->Options.HardPreAction = false;
    VisM.Fail("$$chk^ZZCHK", "<DIVIDE>chk+1^ZZCHK");
    Operator.ExpectYesNo(TAnswer::Yes);
    EXPECT_FALSE(Stages->RunCheckStage());
    EXPECT_TRUE(Operator.Events.contains(
        U(u"yes/no [yes]: Не выполнилось преддействие.  <DIVIDE>chk+1^ZZCHK. Прервать установку?")));
    EXPECT_EQ(LogText().constLast(), U(u"Сбой программы. <DIVIDE>chk+1^ZZCHK"));

    // An error, the operator goes on.
    Log.Lines.clear();
    Load(WithCheck());
    Stages->Options.HardPreAction = false;
    VisM.Fail("$$chk^ZZCHK", "<DIVIDE>chk+1^ZZCHK");
    Operator.ExpectYesNo(TAnswer::No);
    EXPECT_TRUE(Stages->RunCheckStage());
    EXPECT_EQ(LogText().constLast(), U(u"Успех."));
}

TEST_F(SetupTest, PreActionsOffAndRestoreOff)
{
    // Pre-actions off: the check programs are restored, the label is not run nor logged.
    Load(WithCheck());
    Stages->Options.RunPreActions = false;
    ASSERT_TRUE(Stages->RunCheckStage());
    EXPECT_FALSE(VisM.Codes().contains("$$chk^ZZCHK"));
    EXPECT_FALSE(LogText().contains(U(u"Выполнение метки проверки:")));
    EXPECT_TRUE(VisM.Codes().contains("k ^rMAC(\"ZZCHK\") " + SaveLine + "ZZCHK"));

    // Restore off: names still in the element line, not in the log; nothing but the
    // local declaration reaches the server; the program list is not read.
    Log.Lines.clear();
    VisM.Runs.clear();
    Load(WithCheck());
    Stages->Options.RestorePrograms = false;
    ASSERT_TRUE(Stages->RunCheckStage());
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("element: ZZCHK")));
    EXPECT_FALSE(LogText().contains(QStringLiteral("ZZCHK")));
    EXPECT_EQ(VisM.Codes(),
              (QByteArrayList{"n text,i,k,q", "d ENABLE^%NOJRN", "$$chk^ZZCHK", "d DISABLE^%NOJRN"}));
    const TDistribState kept = Distrib->State;
    const int logged = int(Log.Lines.size());
    EXPECT_TRUE(Stages->RunProgramStage());
    EXPECT_EQ(Distrib->State.FilePos, kept.FilePos);
    EXPECT_EQ(Distrib->State.Cursor, kept.Cursor);
    EXPECT_EQ(Log.Lines.size(), logged);
}

TEST_F(SetupTest, DamagedStructureIsRefused)
{
    struct Case
    {
        QByteArray body;
        QString message;
        QString log;
    } cases[] = {
        {"pw\r\rdesc-without-number-sign@\r\r\rA\n\r\r", U(u"Ошибка в структуре дистрибутива"), QString()},
        {"pw\r\r\rCHK\n\r\r\rA\n\r\r", U(u"Файл данных испорчен"),
         U(u"Ошибка! Есть программы проверки и нет метки проверки.")},
        {"pw\rchk^C\r\r\rA\n\r\r", U(u"Файл данных испорчен"),
         U(u"Ошибка! Есть метка проверки и нет программ проверки.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body.constData());
        Log.Lines.clear();
        Operator.Clear();
        VisM.Runs.clear();
        LoadBytes(RawDistribution(9, c.body));
        EXPECT_FALSE(Stages->RunCheckStage());
        EXPECT_EQ(Operator.Messages(), QStringList{c.message});
        if (!c.log.isEmpty())
            EXPECT_EQ(LogText().constLast(), c.log);
        EXPECT_TRUE(VisM.Runs.isEmpty());
    }
}

TEST_F(SetupTest, AnInvalidRoutineNameNeverReachesTheServer)
{
    // Without the check the name would be run: k ^rMAC("X") s ^P=1 ;") ...
    const QByteArray evil = "X\") s ^P=1 ;";
    LoadBytes(RawDistribution(9, "pw\r\r\r\r\rGOOD\n q\n\r" + evil + "\n q\n\rLAST\n q\n\r\r"));
    ASSERT_TRUE(Stages->RunCheckStage());
    EXPECT_FALSE(Stages->RunProgramStage());
    for (const TVisMDouble::TRun &r : VisM.Runs)
        EXPECT_FALSE(r.Code.contains("^P=1")) << r.Code.constData();
    EXPECT_TRUE(VisM.Codes().contains("k ^rMAC(\"GOOD\") " + SaveLine + "GOOD"));
    EXPECT_FALSE(VisM.Codes().contains("k ^rMAC(\"LAST\") " + SaveLine + "LAST"));
    EXPECT_EQ(Operator.Messages(),
              (QStringList{U(u"Недопустимое имя программы в дистрибутиве: \"X\") s ^P=1 ;\""),
                           U(u"Файл данных испорчен")}));
    const QStringList log = LogText();
    EXPECT_TRUE(log.contains(U(u"Ошибка! Недопустимое имя программы: X\") s ^P=1 ;")));
    EXPECT_EQ(log.constLast(), U(u"Файл данных испорчен"));

    for (const char *bad : {"", "9ABC", "A_B", "ABCDEFGHIJKLMNOPQRSTUVWXYZ123456", "A B", "A\")"})
        EXPECT_FALSE(IsMRoutineName(bad)) << bad;
    for (const char *good : {"A", "%cplogG", "ZZ001a", "ABCDEFGHIJKLMNOPQRSTUVWXYZ12345"})
        EXPECT_TRUE(IsMRoutineName(good)) << good;
}

TEST_F(SetupTest, RestoreErrorsAreReportedTwiceAndStopTheStage)
{
    TDistContent c = BasicContent();
    c.Programs = {Routine("ONE"), Routine("TWO"), Routine("THREE")};

    // A transfer refused by the server.
    Load(c);
    VisM.Handler = [](const TVisMDouble::TRun &r) -> std::optional<TVisMReply> {
        if (r.Code == "s text(P1)=P2" && r.P2.startsWith("TWO"))
            return TVisMReply{1, "<STORE>", {}};
        return std::nullopt;
    };
    EXPECT_FALSE(RunRestoreStages());
    EXPECT_EQ(Operator.Messages(),
              (QStringList{U(u"Ошибка при восстановлении программы в CacheКод ошибки: <STORE>"),
                           U(u"Файл данных испорчен")}));
    QStringList log = LogText();
    EXPECT_EQ(log.mid(log.size() - 4),
              (QStringList{U(u"TWO"), U(u"<STORE>"), U(u"Ошибка GUI приложения: Operation aborted"),
                           U(u"Файл данных испорчен")}));
    EXPECT_FALSE(VisM.Codes().contains("k ^rMAC(\"TWO\") " + SaveLine + "TWO"));
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("clip: none")));

    // A failed save is not hidden by the "k text" that follows it.
    Log.Lines.clear();
    Operator.Clear();
    Load(c);
    VisM.Fail("k ^rMAC(\"ONE\") " + SaveLine + "ONE", "<NOPGM>");
    EXPECT_FALSE(RunRestoreStages());
    EXPECT_EQ(Operator.Messages().value(0),
              U(u"Ошибка при восстановлении программы в CacheКод ошибки: <NOPGM>"));
    EXPECT_EQ(VisM.Codes().constLast(), "k text");
}

TEST_F(SetupTest, ProgramStageShowsRemainingTimeAndSlides)
{
    TDistContent c = BasicContent();
    for (int i = 1; i <= 45; ++i)
        c.Programs << Routine("P" + QByteArray::number(i));
    Load(c);
    Stages->Slides = 3;
    // Each restore takes 100 ms.
    VisM.Handler = [this](const TVisMDouble::TRun &r) -> std::optional<TVisMReply> {
        if (r.Code == "k text")
            Clock.Advance(100);
        return std::nullopt;
    };
    ASSERT_TRUE(RunRestoreStages());
    EXPECT_TRUE(LogText().contains(U(u"В дистрибутиве 45программ.")));
    // At 20 done: 25 left at 100 ms each; at 40 done: 5 left.
    QStringList times;
    for (const QString &e : Windows.Events)
        if (e.startsWith(QStringLiteral("time: ")))
            times << e;
    EXPECT_EQ(times,
              (QStringList{U(u"time: "), U(u"time: Осталось 00:00:02"), U(u"time: Осталось 00:00:00")}));

    // Slide 1 by the check stage, 2 at 33 % (before the 16th routine), 3 at 66 % (before the 31st).
    const QStringList &ev = Windows.Events;
    EXPECT_EQ(ev.count(QStringLiteral("slide 1")), 1);
    const qsizetype s2 = ev.indexOf(QStringLiteral("slide 2"));
    const qsizetype s3 = ev.indexOf(QStringLiteral("slide 3"));
    ASSERT_GT(s2, 0);
    ASSERT_GT(s3, s2);
    EXPECT_GT(ev.indexOf(QStringLiteral("element: P16")), s2);
    EXPECT_LT(ev.indexOf(QStringLiteral("element: P15")), s2);
    EXPECT_GT(ev.indexOf(QStringLiteral("element: P31")), s3);
    EXPECT_LT(ev.indexOf(QStringLiteral("element: P30")), s3);
    EXPECT_TRUE(ev.contains(QStringLiteral("placed below slides")));

    // A slide that cannot be loaded ends the stage with the exception's text.
    Log.Lines.clear();
    Windows.FailSlides = {2};
    Load(c);
    Stages->Slides = 2;
    ASSERT_TRUE(Stages->RunCheckStage());
    EXPECT_FALSE(Stages->RunProgramStage());
    EXPECT_EQ(LogText().constLast(), U(u"Ошибка GUI приложения: cannot load IMAGES/velm2.jpg"));
}

TEST_F(SetupTest, EscAsksWhetherToStop)
{
    TDistContent c = BasicContent();
    for (int i = 1; i <= 6; ++i)
        c.Programs << Routine("P" + QByteArray::number(i));
    Load(c);
    // Esc after the 2nd routine: No, the stage goes on; after the 4th: Yes.
    Operator.OnProcessEvents = [](ScriptedUi &ui) {
        if (ui.ProcessEventsCount == 2 || ui.ProcessEventsCount == 4)
            ui.SetEscapePressed(true);
    };
    Operator.ExpectYesNo(TAnswer::No);
    Operator.ExpectYesNo(TAnswer::Yes);
    ASSERT_TRUE(Stages->RunCheckStage());
    EXPECT_FALSE(Stages->RunProgramStage());
    EXPECT_EQ(Operator.Events.count(QStringLiteral("yes/no [yes]: Прервать установку?")), 2);
    EXPECT_EQ(LogText().constLast(), U(u"Установка прервана пользователем."));
    EXPECT_TRUE(VisM.Codes().contains("k ^rMAC(\"P4\") " + SaveLine + "P4"));
    EXPECT_FALSE(VisM.Codes().contains("k ^rMAC(\"P5\") " + SaveLine + "P5"));
    EXPECT_TRUE(Windows.Events.contains(QStringLiteral("element: P4")));
    EXPECT_FALSE(Windows.Events.contains(QStringLiteral("element: P5")));
}

TEST(SetupSlides, CountStopsAtTheFirstGap)
{
    QTemporaryDir dir;
    const QDir images(dir.filePath(QStringLiteral("IMAGES")));
    EXPECT_EQ(CountSlides(images), 0);
    ASSERT_TRUE(QDir().mkpath(images.path()));
    for (const char *name : {"velm1.jpg", "velm2.png", "velm4.jpg", "velm10.jpg"}) {
        QFile f(images.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // velm2 counts with another extension; velm3 is missing.
    EXPECT_EQ(CountSlides(images), 2);
}

// ---- the installation as a whole ----------------------------------------------------------

namespace {

// A server listing %SYS and USER.
void ServeNameSpaces(TVisMDouble &vism)
{
    vism.AnswerValue("$zu(90,0)", {"2"});
    vism.Handler = [](const TVisMDouble::TRun &run) -> std::optional<TVisMReply> {
        if (run.Code == "$zu(90,2,0,P1)")
            return TVisMReply{0, {}, run.P1 == "1" ? "%SYS" : "USER"};
        return std::nullopt;
    };
}

QStringList Text(const TSetupLog &log)
{
    QStringList out;
    for (const QByteArray &l : log.Lines)
        out << FromWin1251(l);
    return out;
}

} // namespace

TEST_F(SetupTest, AnInstallationLogsEveryStepInTheWizardsOrder)
{
    TDistContent c = BasicContent();
    c.Programs = {Routine("A")};
    Load(c);
    TInstallation in(Dir.path(), VisM, Clock);
    in.SetWindows(Windows);
    in.LogStart();
    ASSERT_TRUE(in.ReadHeader());
    ServeNameSpaces(VisM);
    ASSERT_TRUE(in.ConnectSystem(" 127. 0.0.1", "1972"));
    EXPECT_EQ(in.NameSpaces, (QList<QByteArray>{"%SYS", "USER"}));
    EXPECT_EQ(in.Proposed(), 1);
    EXPECT_FALSE(Windows.Shown());
    ASSERT_TRUE(in.ConnectNameSpace("USER"));
    ASSERT_TRUE(in.Install());
    EXPECT_FALSE(Windows.Shown());

    const QStringList log = Text(in.Log);
    EXPECT_TRUE(log.value(0).startsWith(U(u"Протокол установки дистрибутива. ")))
        << log.value(0).toStdString();
    const QStringList connection{U(u"Параметры соединения:"), U(u"IP адрес:127.0.0.1"), U(u"Порт:1972")};
    QStringList expected{QString(),
                         U(u"Продукт: Prod"),
                         U(u"Версия: 2.8"),
                         U(u"Дата сборки: 09.12.2024"),
                         QString(),
                         QString(),
                         U(u"Подключение к системной области.")};
    expected << connection << U(u"Область:%SYS") << QString() << U(u"Успешное соединение с областью %SYS")
             << QString() << U(u"Подключение к выбранной области.") << connection << U(u"Область:USER")
             << QString() << U(u"Успешное соединение с областью USER") << QString()
             << U(u"Параметры работы установщика:") << U(u"Выполнять метки преддействия;")
             << U(u"Установка с \"жестким\" преддействием;") << U(u"Восстанавливать программы;")
             << U(u"Выполнять метки последействия.") << QString() << U(u"Старт процесса установки: 10:00:00")
             << QString() << QString() << U(u"Метки проверки нет.") << QString() << QString()
             << U(u"Восстановление программ дистрибутива.") << U(u"В дистрибутиве 1программ.") << U(u"A")
             << U(u"Программы успешно восстановлены.") << QString() << U(u"Выполнение меток последействия.")
             << U(u"Начало: 10:00:00") << U(u"Время окончания установки: 10:00:00")
             << U(u"Продолжительность установки: 00:00:00");
    EXPECT_EQ(log.mid(1), expected);
    // An installation runs once.
    const qsizetype runs = VisM.Runs.size();
    EXPECT_TRUE(in.Install());
    EXPECT_EQ(VisM.Runs.size(), runs);
    EXPECT_EQ(in.WriteLog(), Dir.filePath(QStringLiteral("velmsetup.txt")));
}

TEST_F(SetupTest, ADistributionThatCannotBeReadIsAMessageAndALogLineAtAnyStep)
{
    // Library detection examines the first program: a record over the limit there, or in a later
    // program; the file gone after the header was read, with and without library detection.
    const QByteArray big = "BIG\n" + QByteArray(" s x=1\n").repeated(25000) + "\r";
    const QString tooLong = U(u"Запись дистрибутива длиннее 153599 байт");
    const QString gone =
        U(u"Не удается открыть файл дистрибутива ") + Dir.filePath(QStringLiteral("velminstal.dat"));
    struct Case
    {
        QByteArray body;
        bool remove;
        bool detect;
        QString message;
        bool connects; // the failure comes in the stages
    } cases[] = {
        {"pw\r\r\r\r\r" + big, false, true, tooLong, false},
        {"pw\r\r\r\r\rA\n q\n\r" + big, false, true, tooLong, true},
        {"pw\r\r\r\r\rA\n q\n\r", true, true, gone, false},
        {"pw\r\r\r\r\rA\n q\n\r", true, false, gone, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        Operator.Clear();
        LoadBytes(RawDistribution(9, c.body));
        TInstallation in(Dir.path(), VisM, Clock);
        in.SetWindows(Windows);
        in.Options.LibraryDetection = c.detect;
        ASSERT_TRUE(in.ReadHeader());
        if (c.remove)
            ASSERT_TRUE(QFile::remove(in.Distrib.FileName));
        ServeNameSpaces(VisM);
        const bool connected = in.ConnectSystem("127.0.0.1", "1972");
        EXPECT_EQ(connected, c.connects);
        if (connected) {
            ASSERT_TRUE(in.ConnectNameSpace("USER"));
            EXPECT_FALSE(in.Install());
            EXPECT_EQ(Text(in.Log).constLast(), U(u"Продолжительность установки: 00:00:00"));
        }
        ASSERT_EQ(Operator.Messages().size(), 1);
        EXPECT_TRUE(Operator.Messages()[0].startsWith(c.message)) << Operator.Messages()[0].toStdString();
        EXPECT_TRUE(Operator.Events.contains(QStringLiteral("error: ") + Operator.Messages()[0]));
        EXPECT_TRUE(Text(in.Log).contains(U(u"Ошибка GUI приложения: ") + Operator.Messages()[0]));
        EXPECT_FALSE(Windows.Shown());
        // The log is written all the same.
        QFile written(in.WriteLog());
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), in.Log.Lines.join("\r\n") + "\r\n");
    }
}
