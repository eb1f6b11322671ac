// The demo's sample files imported from the main window and written into Вельм through the
// document grid: the money-out orders closed through the choice box and without asking, the
// other records created, a second import that finds them all, Esc during a run, and the
// server's session process killed in the middle of a run.
#include "taske2e.h"

#include "clbgen.h"
#include "taskrun.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QToolButton>

#include <QElapsedTimer>
#include <QFile>

#include <csignal>

namespace {

const QString MoneyOut = QStringLiteral("Деньги: Расход");
const QString MoneyIn = QStringLiteral("Деньги: Приход");
const QString Orders = QStringLiteral("В базе данных уже есть похожий НЕЗАКРЫТЫЙ документ. Ваши действия?");
const QString Similar = QStringLiteral("В базе данных уже есть похожий документ. Ваши действия?");

class TaskRunE2E : public TaskE2E
{
protected:
    // The mark and text of every row's Транзакция cell, as the grid draws them.
    QStringList Looks() const
    {
        QStringList out;
        const int field = dmTask->TransactField();
        const int width = fmTaskForm->dbgEx->horizontalHeader()->sectionSize(field);
        for (int r = 0; r < dmTask->tbTask->RecordCount(); ++r) {
            const TTaskCellLook l = fmTaskForm->Delegate->Look(dmTask->dsTask->index(r, field), false, width);
            out << (!l.Custom                       ? QStringLiteral("-")
                    : l.Picture == TTaskPicture::Ok ? QStringLiteral("ok ") + l.Text
                                                    : QStringLiteral("fail ") + l.Text);
        }
        return out;
    }
    void Run() { ClickButton(fmTaskForm, QStringLiteral("Запись")); }
    int ChoicesAsked(const QString &message) const
    {
        return int(ui.Events.filter(QStringLiteral("choice: ") + message).size());
    }
};

} // namespace

// In order: each test goes on from the server's documents the one before left.
TEST_F(TaskRunE2E, MoneyOutOrdersAreClosedThroughTheBoxAndWithoutAskingTheRestCreated)
{
    // "Выбрать настройку" of task 1: the demo client-bank and setting, confirmed.
    ConfirmContext();
    fmTaskMan->actProp1Execute();
    ASSERT_TRUE(fmTaskForm->isVisible()) << ui.Messages().join(u'\n').toStdString();
    EXPECT_FALSE(fmTaskMan->isVisible());
    const QString file = QDir::cleanPath(Server->DataDir() + QStringLiteral("/clbout.dbf"));
    EXPECT_EQ(fmTaskForm->windowTitle(), MoneyOut + QStringLiteral(" Файл: ") + file);
    EXPECT_EQ(fmTaskForm->gbMain->title(), QStringLiteral("Промежуточная таблица: 200 документов"));
    EXPECT_FALSE(ui.Events.join(u'\n').contains(QStringLiteral("file: "))) << "the setting names the file";
    EXPECT_EQ(ui.Messages(), QStringList());
    // The three demo orders have unclosed similar documents and are left out.
    EXPECT_EQ(Column(TdmTask::tfInclude).mid(0, 4), (QList<QByteArray>{"False", "False", "False", "True"}));
    SaveScreen(fmTaskForm, QStringLiteral("taskform-before-run"));

    // The operator includes the orders; the box closes the first, the second stops the run.
    for (int r = 0; r < 3; ++r)
        ClickCell(r, TdmTask::tfInclude);
    ASSERT_EQ(Column(TdmTask::tfInclude).mid(0, 3), (QList<QByteArray>{"True", "True", "True"}));
    ui.Clear();
    ui.ExpectName(QStringLiteral("Иванова"));
    ui.ExpectChoice(1); // Закрыть
    ui.ExpectChoice(4); // Прервать
    Run();
    EXPECT_TRUE(
        ui.Events.contains(QStringLiteral("choice: %1 | %2 | Закрыть_Создать новый_Пропустить_Прервать | "
                                          "default 3 | esc 3")
                               .arg(Orders, MoneyOut)));
    QList<QByteArray> results = Results();
    EXPECT_EQ(results.mid(0, 3), (QList<QByteArray>{"2", W(QStringLiteral("Прервано пользователем")), ""}));
    EXPECT_EQ(results.mid(3), QList<QByteArray>(197));
    EXPECT_FALSE(fmTaskForm->actRun->isEnabled()) << "a table is run once";
    fmTaskForm->chCloseDoc->setChecked(true);
    ClickButton(fmTaskForm, QStringLiteral("Выход"));
    EXPECT_FALSE(fmTaskForm->isVisible());

    // The button of task 1 starts the same pair again; the option comes back; the closed
    // order now has a similar closed document, the other two are still open.
    ui.Clear();
    fmTaskMan->tb1->click();
    ASSERT_TRUE(fmTaskForm->isVisible()) << ui.Messages().join(u'\n').toStdString();
    EXPECT_TRUE(fmTaskForm->chCloseDoc->isChecked());
    EXPECT_TRUE(fmTaskForm->actRun->isEnabled());
    EXPECT_EQ(Column(TdmTask::tfOpen)[0], "");
    ClickCell(1, TdmTask::tfInclude);
    ClickCell(2, TdmTask::tfInclude);
    ui.Clear();
    ui.ExpectName(QStringLiteral("Иванова"));
    Run();
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("name: Импорт платежных документов | Фамилия [Иванова]")))
        << "the surname of the last run is offered";
    EXPECT_EQ(ChoicesAsked(Orders), 0) << "with the option set the orders are closed without asking";
    results = Results();
    EXPECT_EQ(results.mid(0, 3), (QList<QByteArray>{"", "2", "2"}));
    EXPECT_EQ(results.mid(3), QList<QByteArray>(197, "1"));
    const QStringList looks = Looks();
    EXPECT_EQ(looks.mid(0, 3), (QStringList{QStringLiteral("-"), QStringLiteral("ok Документ закрыт"),
                                            QStringLiteral("ok Документ закрыт")}));
    EXPECT_EQ(looks.mid(3), QStringList(197, QStringLiteral("ok Документ создан")));
    EXPECT_EQ(ui.Messages(), QStringList());
    SaveScreen(fmTaskForm, QStringLiteral("taskform-after-run"));
    ClickButton(fmTaskForm, QStringLiteral("Выход"));
    EXPECT_TRUE(fmTaskMan->isVisible()) << "the main window comes back";

    // The summary shown at the end counts them.
    ui.Clear();
    DataModuleDestroy();
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("За время работы создано документов: 197, закрыто документов: 3")});
}

TEST_F(TaskRunE2E, ASecondImportShowsTheSimilarDocumentsAndSkippingCreatesNothing)
{
    // A setting that names only its folder: the file is asked for there. Cancelled, nothing
    // starts; a file that is not there is said so; a name typed without extension is a .dbf.
    ASSERT_TRUE(dmSet->LoadSettings(W(QStringLiteral("Клиент-Банк Демо"))));
    dmSet->tbSets->First();
    dmSet->tbSets->Edit();
    dmSet->tbSets->Clear(TdmSet::stFile);
    dmSet->tbSets->Post();
    const QString dir = FromWin1251(dmSet->tbSets->AsString(TdmSet::stPath));
    ui.ExpectFile(std::nullopt);
    fmTaskMan->tb1->click();
    EXPECT_EQ(ui.Events.filter(QStringLiteral("file: ")),
              QStringList{QStringLiteral("file: Укажите файл данных для задачи \"%1\" | %2 | dbf "
                                         "(*.dbf);;Файлы обмена 1С (*.txt);;Все файлы (*.*)")
                              .arg(MoneyOut, dir)});
    EXPECT_FALSE(fmTaskForm->isVisible());
    ui.ExpectFile(dir + QStringLiteral("/nothere.dbf"));
    fmTaskMan->tb1->click();
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Невозможно открыть файл %1/nothere.dbf").arg(dir)});
    ui.ExpectFile(dir + QStringLiteral("/clbout"));
    fmTaskMan->tb1->click();
    ASSERT_TRUE(fmTaskForm->isVisible()) << ui.Messages().join(u'\n').toStdString();
    EXPECT_TRUE(fmTaskForm->windowTitle().endsWith(QStringLiteral("/clbout.dbf")));
    ASSERT_EQ(dmTask->tbTask->RecordCount(), 200);
    for (int r = 0; r < 200; ++r) {
        ASSERT_FALSE(dmTask->tbTask->StringAt(r, TdmTask::tfExist).isEmpty()) << r;
        ASSERT_TRUE(dmTask->tbTask->StringAt(r, TdmTask::tfOpen).isEmpty()) << r;
    }
    EXPECT_EQ(Column(TdmTask::tfInclude), QList<QByteArray>(200, "False"));
    ClickButton(fmTaskForm, QStringLiteral("Выделить"));
    ui.Clear();
    ui.ExpectName(QStringLiteral("Иванова"));
    for (int r = 0; r < 200; ++r)
        ui.ExpectChoice(2); // Пропустить
    Run();
    EXPECT_EQ(ChoicesAsked(Similar + QStringLiteral(" | ") + MoneyOut
                           + QStringLiteral(" | Создать новый_Пропустить_Прервать")),
              200);
    EXPECT_EQ(Results(), QList<QByteArray>(200, W(QStringLiteral("Документ пропущен"))));
    EXPECT_EQ(Looks(), QStringList(200, QStringLiteral("fail Документ пропущен")));
    ui.Clear();
    DataModuleDestroy();
    EXPECT_EQ(ui.Messages(), QStringList()) << "nothing was made or closed";
}

TEST_F(TaskRunE2E, EscDuringARunAsksAgainAfterEveryRowUntilYes)
{
    ConfirmContext();
    fmTaskMan->actProp2Execute();
    ASSERT_TRUE(fmTaskForm->isVisible()) << ui.Messages().join(u'\n').toStdString();
    ASSERT_EQ(dmTask->tbTask->RecordCount(), 100);
    ui.Clear();
    ui.ExpectName(QStringLiteral("Петров"));
    ui.ExpectYesNo(TAnswer::No);
    ui.ExpectYesNo(TAnswer::Yes);
    const int from = ui.ProcessEventsCount;
    ui.OnProcessEvents = [from](ScriptedUi &u) {
        if (u.ProcessEventsCount == from + 5) // after the fifth row
            u.SetEscapePressed(true);
    };
    Run();
    ui.OnProcessEvents = nullptr;
    const QString question = QStringLiteral("yes/no [no]: Прервать задачу?");
    EXPECT_EQ(ui.Events.count(question), 2);
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("question caption: ") + MoneyIn));
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("question icon: none")));
    EXPECT_EQ(Results(), QList<QByteArray>(6, "1") + QList<QByteArray>(94));
    EXPECT_FALSE(fmTaskForm->actRun->isEnabled());
    Run(); // disabled: nothing is asked
    EXPECT_EQ(ui.PendingAnswers(), 0);
}

TEST_F(TaskRunE2E, TheSessionKilledInARunIsToldOnceTheRowsDoneKeepTheirResultsAndTheProgramCloses)
{
    fmTaskMan->tb2->click();
    ASSERT_TRUE(fmTaskForm->isVisible()) << ui.Messages().join(u'\n').toStdString();
    // The six documents of the last run are similar now; the other 94 are new.
    EXPECT_EQ(Column(TdmTask::tfInclude), QList<QByteArray>(6, "False") + QList<QByteArray>(94, "True"));
    const int pid = SessionPid();
    ASSERT_GT(pid, 0);
    ui.Clear();
    ui.ExpectName(QStringLiteral("Петров"));
    const int from = ui.ProcessEventsCount;
    ui.OnProcessEvents = [from, pid](ScriptedUi &u) {
        if (u.ProcessEventsCount == from + 10) {
            ::kill(pid, SIGKILL);
            // Gone before the next row's call: nothing left of it but a zombie, or nothing.
            Eventually([pid] {
                QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
                return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
            });
        }
    };
    Run();
    ui.OnProcessEvents = nullptr;
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Нет связи с сервером")}) << "told once";
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("error: Нет связи с сервером")));
    const QList<QByteArray> results = Results();
    EXPECT_EQ(results.mid(0, 10), QList<QByteArray>(6) + QList<QByteArray>(4, "1"));
    EXPECT_EQ(results.mid(11), QList<QByteArray>(89)) << "nothing after the row in hand";
    EXPECT_EQ(Looks().mid(6, 4), QStringList(4, QStringLiteral("ok Документ создан")));
    EXPECT_FALSE(fmTaskForm->actRun->isEnabled());

    // The window still closes, and so does the program: each call of the shutdown reports its
    // failure, none of them waits.
    ClickButton(fmTaskForm, QStringLiteral("Выход"));
    EXPECT_FALSE(fmTaskForm->isVisible());
    ui.Clear();
    QElapsedTimer clock;
    clock.start();
    DataModuleDestroy();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(dmSet->Link.XApiLink, nullptr);
    EXPECT_TRUE(ui.Messages().contains(QStringLiteral("Нет связи с сервером")));
}

TEST_F(TaskRunE2E, AnImportEndedInItsMiddleShowsItsRowsAndIsNotRun)
{
    // A money-in file longer than the engine ever reads ahead of its replies, so that the import
    // is surely in its middle when the session goes.
    clb::Options big;
    big.moneyIn = true;
    big.count = 3000;
    big.seed = 7;
    std::string error;
    ASSERT_TRUE(clb::writeFile(
        QFile::encodeName(Server->DataDir() + QStringLiteral("/clbin.dbf")).toStdString(), big, error))
        << error;

    // Esc in the progress window: asked once with the task's name; Yes ends the import.
    ui.ExpectYesNo(TAnswer::Yes);
    ui.OnProcessEvents = [](ScriptedUi &u) {
        if (u.ProcessEventsCount == 20)
            u.SetEscapePressed(true);
    };
    fmTaskMan->tb2->click();
    ui.OnProcessEvents = nullptr;
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("question caption: ") + MoneyIn));
    EXPECT_EQ(ui.Events.count(QStringLiteral("yes/no [no]: Прервать задачу?")), 1);
    ASSERT_TRUE(fmTaskForm->isVisible());
    EXPECT_EQ(dmTask->tbTask->RecordCount(), 20);
    EXPECT_EQ(fmTaskForm->gbMain->title(),
              QStringLiteral("Промежуточная таблица: 20 документов (импорт не завершён)"));
    EXPECT_FALSE(fmTaskForm->actRun->isEnabled()) << "an incomplete table is not written";
    EXPECT_EQ(ui.Messages(), QStringList());
    ClickButton(fmTaskForm, QStringLiteral("Выход"));

    // The session killed in the middle of the next import: told once, the rows taken shown,
    // and the program still closes.
    const int pid = SessionPid();
    ASSERT_GT(pid, 0);
    ui.Clear();
    const int from = ui.ProcessEventsCount;
    ui.OnProcessEvents = [from, pid](ScriptedUi &u) {
        if (u.ProcessEventsCount == from + 30)
            ::kill(pid, SIGKILL);
    };
    fmTaskMan->tb2->click();
    ui.OnProcessEvents = nullptr;
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Нет связи с сервером")}) << "told once";
    ASSERT_TRUE(fmTaskForm->isVisible());
    const int rows = dmTask->tbTask->RecordCount();
    EXPECT_GE(rows, 30);
    EXPECT_LT(rows, 1000);
    EXPECT_EQ(fmTaskForm->gbMain->title(),
              QStringLiteral("Промежуточная таблица: %1 документов (импорт не завершён)").arg(rows));
    EXPECT_FALSE(fmTaskForm->actRun->isEnabled());
    ClickButton(fmTaskForm, QStringLiteral("Выход"));
    EXPECT_TRUE(fmTaskMan->isVisible());
    QElapsedTimer clock;
    clock.start();
    DataModuleDestroy();
    EXPECT_LT(clock.elapsed(), 5000);
}
