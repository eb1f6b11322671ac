// The task context dialog and the client-bank chooser against `velmd demo`: what the dialog
// preselects and lists, "Старт" without a setting, a client-bank created, a duplicate refused,
// one deleted, and the name dialog lent to the surname question.
#include "taske2e.h"

#include "Routines.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

namespace {

class ContextE2E : public TaskE2E
{
protected:
    static QStringList Items(const QComboBox *c)
    {
        QStringList out;
        for (int i = 0; i < c->count(); ++i)
            out << c->itemText(i);
        return out;
    }
    static QStringList Items(const QListWidget *l)
    {
        QStringList out;
        for (int i = 0; i < l->count(); ++i)
            out << l->item(i)->text();
        return out;
    }
    // The client-bank names the server lists.
    static QStringList ServerClients()
    {
        QStringList out;
        for (const QByteArray &name : CallServer({Routines::Clist}).split('\x01'))
            if (!name.isEmpty())
                out << FromWin1251(name);
        return out;
    }
    // Types name into the name dialog and presses "ОК".
    static void TypeName(const QString &name)
    {
        WhenModal([name](QWidget *w) {
            ASSERT_EQ(w, fmPass);
            EXPECT_EQ(w->windowTitle(), QStringLiteral("Создание нового КБ"));
            EXPECT_EQ(fmPass->focusWidget(), fmPass->edPass);
            fmPass->edPass->setText(name);
            ClickButton(w, QStringLiteral("ОК"));
        });
    }
};

const QString Demo = QStringLiteral("Клиент-Банк Демо");
// The demo's client-bank for 1C exchange files; it sorts first.
const QString Demo1C = QStringLiteral("Банк 1С Демо");

} // namespace

TEST_F(ContextE2E, TheDialogPreselectsTheTasksPairAndStartsOnlyWithASetting)
{
    // Task 1 names the demo client-bank and its money-out setting: both preselected, and only
    // settings of type 1 listed; the small buttons are for the settings editor only.
    ASSERT_TRUE(fmTaskPar->PrepareTaskContext(1));
    EXPECT_EQ(fmTaskPar->windowTitle(), QStringLiteral("Деньги: Расход"));
    EXPECT_EQ(Items(fmTaskPar->cbClients), (QStringList{Demo1C, Demo}));
    EXPECT_EQ(fmTaskPar->cbClients->currentText(), Demo);
    EXPECT_EQ(Items(fmTaskPar->cbSets), QStringList{QStringLiteral("Расход (демо)")});
    EXPECT_EQ(fmTaskPar->cbSets->currentText(), QStringLiteral("Расход (демо)"));
    EXPECT_TRUE(fmTaskPar->btClients->isHidden());
    ASSERT_TRUE(fmTaskPar->PrepareTaskContext(0));
    EXPECT_EQ(Items(fmTaskPar->cbSets),
              (QStringList{QStringLiteral("Расход (демо)"), QStringLiteral("Приход (демо)")}));
    EXPECT_FALSE(fmTaskPar->btClients->isHidden());

    // Task 2 without a client-bank: the first one, its type-2 settings, none chosen; the operator
    // picks the demo client-bank. "Старт" then says what is missing and the dialog stays open
    // until a setting is chosen.
    ASSERT_TRUE(dmSet->tbTasks->BookmarkValid(dmSet->TaskRowMoneyIn));
    dmSet->tbTasks->GotoBookmark(dmSet->TaskRowMoneyIn);
    dmSet->tbTasks->Edit();
    dmSet->tbTasks->Clear(TdmSet::tkClient);
    dmSet->tbTasks->Clear(TdmSet::tkSet);
    dmSet->tbTasks->Post();
    WhenModal([this](QWidget *w) {
        ASSERT_EQ(w, fmTaskPar);
        EXPECT_EQ(fmTaskPar->cbClients->currentText(), Demo1C);
        EXPECT_EQ(Items(fmTaskPar->cbSets), QStringList{QStringLiteral("Приход 1С (демо)")});
        QTest::keyClick(fmTaskPar->cbClients, Qt::Key_Down); // as the operator picks it
        EXPECT_EQ(Items(fmTaskPar->cbSets), QStringList{QStringLiteral("Приход (демо)")});
        EXPECT_EQ(fmTaskPar->cbSets->currentIndex(), -1);
        ClickButton(w, QStringLiteral("Старт"));
        EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Сначала нужно выбрать настройку")});
        EXPECT_TRUE(w->isVisible());
        fmTaskPar->cbSets->setCurrentIndex(0);
        SaveScreen(w, QStringLiteral("taskpar"));
        ClickButton(w, QStringLiteral("Старт"));
    });
    QByteArray entry;
    ASSERT_TRUE(fmTaskPar->ChooseTaskSetting(2, entry));
    EXPECT_EQ(entry, W(Demo)
                         + "\x04"
                           "2\x04"
                         + W(QStringLiteral("Приход (демо)")));
    EXPECT_EQ(dmSet->tbTasks->AsString(TdmSet::tkClient), W(Demo));
    EXPECT_EQ(dmSet->tbTasks->AsInteger(TdmSet::tkSet), 2);
    EXPECT_EQ(dmSet->tbSets->AsInteger(TdmSet::stId), 2) << "the task's setting is the current row";

    // Cancelled: nothing is stored.
    WhenModal([](QWidget *w) { ClickButton(w, QStringLiteral("Отмена")); });
    EXPECT_FALSE(fmTaskPar->ChooseTaskSetting(1, entry));
}

TEST_F(ContextE2E, AClientBankIsCreatedADuplicateInAnyCaseRefusedAndOneDeleted)
{
    ASSERT_TRUE(fmTaskPar->PrepareTaskContext(0));
    ui.ExpectYesNo(TAnswer::Yes);
    const QString bank = QStringLiteral("Банк Север");
    WhenModal([&](QWidget *w) {
        ASSERT_EQ(w, fmClients);
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Выбор клиент-банка"));
        EXPECT_EQ(Items(fmClients->liClients), (QStringList{Demo1C, Demo}));

        // "Новый": appended to both lists and selected.
        TypeName(bank);
        ClickButton(w, QStringLiteral("Новый"));
        EXPECT_EQ(Items(fmClients->liClients), (QStringList{Demo1C, Demo, bank}));
        EXPECT_EQ(fmClients->SelectedIndex(), 2);
        EXPECT_EQ(dmSet->ClientBanks, (QList<QByteArray>{W(Demo1C), W(Demo), W(bank)}));
        SaveScreen(w, QStringLiteral("clients"));

        // The same name in other letters is refused in the dialog, which stays open.
        WhenModal([&](QWidget *d) {
            fmPass->edPass->setText(bank.toUpper());
            ClickButton(d, QStringLiteral("ОК"));
            EXPECT_EQ(ui.Messages(),
                      QStringList{QStringLiteral("Клиент-банк с таким именем уже существует.")});
            EXPECT_TRUE(d->isVisible());
            ClickButton(d, QStringLiteral("Отмена"));
        });
        ClickButton(w, QStringLiteral("Новый"));
        EXPECT_EQ(Items(fmClients->liClients).size(), 3);

        // "Удалить" the new one: asked, deleted on the server and from both lists, the first
        // selected. Then the demo client-bank is chosen.
        ClickButton(w, QStringLiteral("Удалить"));
        EXPECT_EQ(Items(fmClients->liClients), (QStringList{Demo1C, Demo}));
        EXPECT_EQ(fmClients->SelectedIndex(), 0);
        EXPECT_EQ(dmSet->ClientBanks, (QList<QByteArray>{W(Demo1C), W(Demo)}));
        fmClients->liClients->setCurrentRow(1);
        ClickButton(w, QStringLiteral("Выбрать"));
    });
    fmTaskPar->btClients->click();
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("question caption: Выбор клиент-банка")));
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("yes/no [no]: Удалить клиент-банк %1?").arg(bank)));
    EXPECT_EQ(Items(fmTaskPar->cbClients), (QStringList{Demo1C, Demo}));
    EXPECT_EQ(fmTaskPar->cbClients->currentText(), Demo);
    EXPECT_EQ(ServerClients(), (QStringList{Demo1C, Demo}));

    // The demo client-bank has settings: the server's refusal is shown and the lists stay.
    ui.Clear();
    ui.ExpectYesNo(TAnswer::Yes);
    WhenModal([](QWidget *w) {
        fmClients->liClients->setCurrentRow(1);
        ClickButton(w, QStringLiteral("Удалить"));
        EXPECT_EQ(Items(fmClients->liClients), (QStringList{Demo1C, Demo}));
        ClickButton(w, QStringLiteral("Выход"));
    });
    fmTaskPar->btClients->click();
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("Клиент-банк %1 нельзя удалить: у него есть настройки").arg(Demo)});

    // The name dialog lent to the surname question: its captions for that use, then its own.
    WhenModal([](QWidget *w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Импорт платежных документов"));
        EXPECT_EQ(fmPass->gbName->title(), QStringLiteral("Фамилия"));
        EXPECT_EQ(fmPass->edPass->text(), QStringLiteral("Иванова"));
        ClickButton(w, QStringLiteral("ОК"));
    });
    EXPECT_EQ(fmPass->AskName(QStringLiteral("Импорт платежных документов"), QStringLiteral("Фамилия"),
                              QStringLiteral("Иванова"), {}),
              QStringLiteral("Иванова"));
    EXPECT_EQ(fmPass->windowTitle(), QStringLiteral("Создание нового КБ"));
    EXPECT_EQ(fmPass->gbName->title(), QStringLiteral("Введите имя"));
}

TEST_F(ContextE2E, ATaskStartsWithTheSettingOfItsOwnClientBank)
{
    // Setting Ids are numbered per client-bank: another bank's setting 1 names its own folder
    // and no file.
    const QByteArray south = W(QStringLiteral("Банк Юг"));
    ASSERT_EQ(CallServer({Routines::AddCLB, south}), "");
    ASSERT_EQ(CallServer({Routines::SaveSetPar, south, "1",
                          W(QStringLiteral("Юг расход"))
                              + "\x02"
                                "1\x02/srv/yug\x02\x02\x02\x02"}),
              "");
    // The settings list in memory is the demo client-bank's, as another task left it.
    ASSERT_TRUE(dmSet->LoadSettings(W(Demo)));
    dmSet->tbTasks->GotoBookmark(dmSet->TaskRowMoneyOut);
    dmSet->tbTasks->Edit();
    dmSet->tbTasks->SetAsString(TdmSet::tkClient, south);
    dmSet->tbTasks->SetAsInteger(TdmSet::tkSet, 1);
    dmSet->tbTasks->SetAsString(TdmSet::tkSName, W(QStringLiteral("Юг расход")));
    dmSet->tbTasks->Post();
    ui.ExpectFile(std::nullopt);
    fmTaskMan->StartTask(1);
    EXPECT_EQ(
        ui.Events.filter(QStringLiteral("file: ")),
        QStringList{QStringLiteral("file: Укажите файл данных для задачи \"Деньги: Расход\" | /srv/yug | "
                                   "dbf (*.dbf);;Файлы обмена 1С (*.txt);;Все файлы (*.*)")});
    EXPECT_EQ(dmSet->tbSets->AsString(TdmSet::stClient), south);
    EXPECT_FALSE(fmTaskForm->isVisible());
}
