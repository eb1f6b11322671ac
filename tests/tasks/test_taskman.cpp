// The task manager window: its toolbar, the rights, the task menus and their stored form.
#include "Access.h"
#include "Connect.h"
#include "GuiDriver.h"
#include "Routines.h"
#include "ScriptedUi.h"
#include "TaskForm.h"
#include "XapiPeer.h"
#include "clientman.h"
#include "codepage.h"
#include "data.h"
#include "taskdata.h"
#include "taskpar.h"
#include "taskunit.h"

#include <QComboBox>
#include <QListWidget>

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace velmbank;

namespace {

QByteArray Entry(const char *client, int set, const char *name)
{
    return ToWin1251(QString::fromUtf8(client)) + '\x04' + QByteArray::number(set) + '\x04'
           + ToWin1251(QString::fromUtf8(name));
}

// A server error as the link receives it.
XapiPeer::Reply ErrorReply(const char *text)
{
    return {{QByteArray("\x1b\x1b") + text + QByteArray(1, '\0'), 0}};
}

QStringList Captions(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

// The window over a settings store whose three task rows the test fills, and a scripted
// server that answers the rights.
class TaskMan : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        dmSet = new TdmSet;
        TLink &link = dmSet->Link;
        link.ProfileFileName = dir.filePath(QStringLiteral("velmbank.ini"));
        ASSERT_TRUE(peer.WriteProfile(link.ProfileFileName));
        ASSERT_TRUE(link.OpenConnection());
        link.UserNumber = 7;
    }
    void TearDown() override
    {
        delete window; // the task windows go with it
        delete dmTask;
        dmTask = nullptr;
        delete dmSet;
    }
    // Client-banks A and B; A has money-out setting 1, money-in setting 2 "Приход", and money-out
    // setting 3 renamed "Приход" too.
    void ContextWindows()
    {
        dmSet->ClientBanks = {"A", "B"};
        Tasks({});
        Open("1", "11", "11");
        dmTask = new TdmTask(*dmSet);
        CreateTaskWindows(window);
    }
    static QByteArray SettingsOfA()
    {
        const QByteArray in = ToWin1251(QStringLiteral("Приход"));
        return QByteArray("1\x02Out\x02"
                          "A\x02"
                          "1\x01"
                          "2\x02")
               + in
               + "\x02"
                 "A\x02"
                 "2\x01"
                 "3\x02"
               + in
               + "\x02"
                 "A\x02"
                 "1\x01";
    }
    static QStringList Items(QComboBox *c)
    {
        QStringList out;
        for (int i = 0; i < c->count(); ++i)
            out << c->itemText(i);
        return out;
    }
    void Tasks(const QList<QByteArray> &menus)
    {
        TMemTable *tb = dmSet->tbTasks;
        for (int t = 0; t < 3; ++t) {
            tb->Append();
            tb->SetAsInteger(TdmSet::tkId, t);
            tb->SetAsString(TdmSet::tkName, t == 1 ? QByteArray("Money out") : QByteArray("Task"));
            tb->SetAsString(TdmSet::tkMenus, menus.value(t));
            tb->Post();
        }
        dmSet->RememberTaskRows();
    }
    // Rights of settings editing, money out, money in.
    void Open(const char *setup, const char *out, const char *in)
    {
        peer.QueueCall(QByteArray(setup));
        peer.QueueCall(QByteArray(out));
        peer.QueueCall(QByteArray(in));
        window = new TfmTaskMan;
        fmTaskMan = window;
    }
    QByteArray Menus(int task)
    {
        dmSet->tbTasks->SetRecNo(task + 1);
        return dmSet->tbTasks->AsString(TdmSet::tkMenus);
    }

    QTemporaryDir dir;
    ScriptedUi ui;
    XapiPeer peer;
    TfmTaskMan *window = nullptr;
};

} // namespace

TEST_F(TaskMan, MenusFromTheStoredTextsAndButtonsByRights)
{
    QList<QByteArray> seven;
    for (int i = 1; i <= 7; ++i)
        seven << Entry("Банк", i, "Н");
    Tasks({QByteArray(), Entry("A", 1, "S1") + '\x03' + Entry("B&C", 2, "S2"), seven.join('\x03')});
    Open("1", "11", "00");
    // The rights were asked for this user: settings level 2, money out, money in.
    const auto calls = peer.Calls();
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0], (QList<QByteArray>{Routines::RightEditSettings, "7", "NL", "2"}));
    EXPECT_EQ(calls[1], (QList<QByteArray>{Routines::RightRunTask, "7", "YB"}));
    EXPECT_EQ(calls[2], (QList<QByteArray>{Routines::RightRunTask, "7", "YA"}));

    EXPECT_EQ(window->windowTitle(), QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\" Диспетчер задач"));
    EXPECT_GE(window->width(), 460);
    for (QToolButton *b : {window->tb0, window->tb1, window->tb2, window->tbAbout})
        EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text())) << b->text().toStdString();
    EXPECT_EQ(FindByAccessibleName(window, QStringLiteral("Деньги: расход")), window->tb1);
    EXPECT_EQ(FindByAccessibleName(window, QStringLiteral("О программе")), window->tbAbout);

    // Entries in the stored order above the separator; the first is the default; "&" stays.
    EXPECT_EQ(Captions(window->mn1), (QStringList{QStringLiteral("A:S1"), QStringLiteral("B&&C:S2"),
                                                  QStringLiteral("-"), QStringLiteral("Выбрать настройку")}));
    EXPECT_EQ(window->mn1->defaultAction()->text(), QStringLiteral("A:S1"));
    EXPECT_EQ(Captions(window->mn0), (QStringList{QStringLiteral("-"), QStringLiteral("Выбрать настройку")}));
    EXPECT_EQ(window->mn0->defaultAction(), window->actSetupPrp);
    EXPECT_EQ(window->EntryItems(2).size(), 7); // a longer stored list is shown whole

    // The hints follow the default items when the window is activated.
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(window->tb1->toolTip(), QStringLiteral("A:S1"));
    EXPECT_EQ(window->tb0->toolTip(), QStringLiteral("Выбрать настройку"));
    SaveScreen(window, QStringLiteral("taskman-toolbar"));

    // No right for money in: its button can neither be clicked nor open its menu.
    EXPECT_TRUE(window->tb0->isEnabled());
    EXPECT_TRUE(window->tb1->isEnabled());
    EXPECT_FALSE(window->tb2->isEnabled());
    QTest::mouseClick(window->tb2, Qt::LeftButton);
    QTest::mouseClick(window->tb2, Qt::LeftButton, {},
                      QPoint(window->tb2->width() - 4, window->tb2->height() / 2));
    EXPECT_FALSE(window->mn2->isVisible());
    EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(QLatin1Char('\n')).toStdString();

    // The first start: a button without entries runs "Выбрать настройку" (its own handler is
    // the task context dialog's business, so only the routing is looked at here).
    int chosen = 0;
    QObject counter; // the window outlives the count: the connection goes with it
    QObject::disconnect(window->actSetupPrp, &QAction::triggered, window, nullptr);
    QObject::connect(window->actSetupPrp, &QAction::triggered, &counter, [&chosen] { ++chosen; });
    QTest::mouseClick(window->tb0, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(chosen, 1);
}

TEST_F(TaskMan, FiveEntriesPromotionRemovalAndTheStoredText)
{
    Tasks({Entry("A", 1, "S1"), Entry("A", 1, "S1") + '\x03' + Entry("B", 2, "S2"), QByteArray()});
    Open("1", "11", "11");
    window->show();
    for (int i = 3; i <= 6; ++i)
        window->AddMenuEntry(1, Entry("C", i, "S"));
    ASSERT_EQ(window->EntryItems(1).size(), 5);
    // A sixth pair: the lowest goes, the new one is on top and the default.
    window->AddMenuEntry(1, Entry("D", 7, "S7"));
    EXPECT_EQ(Captions(window->mn1).mid(0, 5),
              (QStringList{QStringLiteral("D:S7"), QStringLiteral("C:S"), QStringLiteral("C:S"),
                           QStringLiteral("C:S"), QStringLiteral("C:S")}));
    EXPECT_EQ(window->mn1->actions().size(), 7);
    EXPECT_EQ(window->EntryItems(1).last()->EntryText, Entry("C", 3, "S"));
    // A pair already there moves up, without a second copy.
    window->AddMenuEntry(1, Entry("C", 4, "S"));
    EXPECT_EQ(window->EntryItems(1).first()->EntryText, Entry("C", 4, "S"));
    EXPECT_EQ(window->mn1->defaultAction(), window->EntryItems(1).first());
    EXPECT_EQ(window->EntryItems(1).size(), 5);

    // A click on a lower entry: it becomes the default on top, the task row takes its pair, the
    // task starts; the hint shows it after the next activation.
    TTaskMenuItem *lower = window->EntryItems(1)[3];
    const QByteArray lowerText = lower->EntryText;
    lower->trigger();
    EXPECT_EQ(window->EntryItems(1).first(), lower);
    EXPECT_EQ(window->mn1->defaultAction(), lower);
    dmSet->tbTasks->SetRecNo(2);
    EXPECT_EQ(dmSet->tbTasks->AsString(TdmSet::tkClient), QByteArray("C"));
    EXPECT_EQ(dmSet->tbTasks->AsInteger(TdmSet::tkSet), lowerText.split('\x04')[1].toLongLong());
    EXPECT_EQ(dmSet->tbTasks->AsString(TdmSet::tkSName), QByteArray("S"));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(window->tb1->toolTip(), QStringLiteral("C:S"));

    // The button repeats the default entry: its pair goes into the task row again.
    dmSet->tbTasks->SetRecNo(2);
    dmSet->tbTasks->Edit();
    dmSet->tbTasks->SetAsString(TdmSet::tkClient, "X");
    dmSet->tbTasks->Post();
    window->tb1->click();
    dmSet->tbTasks->SetRecNo(2);
    EXPECT_EQ(dmSet->tbTasks->AsString(TdmSet::tkClient), QByteArray("C"));
    EXPECT_EQ(dmSet->tbTasks->AsInteger(TdmSet::tkSet), lowerText.split('\x04')[1].toLongLong());

    // Removing a setting takes its entries out of every menu; the next entry becomes default.
    window->RemoveMenuEntry(Entry("A", 1, "S1"));
    EXPECT_TRUE(window->EntryItems(0).isEmpty());
    EXPECT_EQ(window->mn0->defaultAction(), window->actSetupPrp);
    window->RemoveMenuEntry(lowerText);
    EXPECT_EQ(window->mn1->defaultAction(), window->EntryItems(1).first());
    EXPECT_EQ(window->EntryItems(1).size(), 4);

    // The stored text: entry texts top to bottom joined by chr(3).
    window->SaveTaskMenu(1);
    QList<QByteArray> texts;
    for (auto *item : window->EntryItems(1))
        texts << item->EntryText;
    EXPECT_EQ(Menus(1), texts.join('\x03'));
    // Longer than the column's 254 characters: whole entries go from the bottom, none is cut.
    for (int i = 1; i <= 5; ++i)
        window->AddMenuEntry(2,
                             Entry("Клиент-банк с очень длинным названием", i, "Настройка с длинным именем"));
    window->SaveTaskMenu(2);
    const QByteArray stored = Menus(2);
    EXPECT_LE(stored.size(), 254);
    const QList<QByteArray> kept = stored.split('\x03');
    EXPECT_EQ(kept.size(), 3);
    for (int i = 0; i < kept.size(); ++i)
        EXPECT_EQ(kept[i], window->EntryItems(2)[i]->EntryText);
    // Empty menus store an empty text.
    for (auto *item : window->EntryItems(1))
        window->RemoveMenuEntry(item->EntryText);
    EXPECT_EQ(window->mn1->defaultAction(), window->actProp1);
    window->SaveTaskMenu(1);
    EXPECT_EQ(Menus(1), QByteArray());

    // An entry of the settings editor opens the editor and stores the menu.
    window->AddMenuEntry(0, Entry("E", 9, "S9"));
    window->tb0->click();
    EXPECT_EQ(Menus(0), Entry("E", 9, "S9"));
}

TEST_F(TaskMan, TheContextDialogChoosesTheSettingByItsIdForItsOwnTaskAndMakesNoneWithoutTheList)
{
    ContextWindows();
    // Money out: only its own settings, and the chosen item's Id, not the first of its name.
    peer.QueueCall(SettingsOfA());
    WhenModal([](QWidget *w) {
        ASSERT_EQ(w, fmTaskPar);
        EXPECT_EQ(Items(fmTaskPar->cbSets), (QStringList{QStringLiteral("Out"), QStringLiteral("Приход")}));
        fmTaskPar->cbSets->setCurrentIndex(1);
        ClickButton(w, QStringLiteral("Старт"));
    });
    QByteArray entry;
    ASSERT_TRUE(fmTaskPar->ChooseTaskSetting(1, entry));
    EXPECT_EQ(entry, Entry("A", 3, "Приход"));
    dmSet->tbTasks->SetRecNo(2);
    EXPECT_EQ(dmSet->tbTasks->AsInteger(TdmSet::tkSet), 3);

    // The settings editor's dialog lists all of a client-bank's settings, also after the
    // client-bank manager deleted another bank (which walks every task row).
    peer.QueueCall(SettingsOfA());
    peer.QueueCall(QByteArray());  // $$DelCLB
    peer.QueueCall(SettingsOfA()); // A chosen in the manager
    ui.ExpectYesNo(TAnswer::Yes);
    WhenModal([](QWidget *w) {
        WhenModal([](QWidget *manager) {
            ASSERT_EQ(manager, fmClients);
            fmClients->liClients->setCurrentRow(1);
            ClickButton(manager, QStringLiteral("Удалить"));
            fmClients->liClients->setCurrentRow(0);
            ClickButton(manager, QStringLiteral("Выбрать"));
        });
        fmTaskPar->cbClients->setCurrentIndex(1); // B, as if chosen before; A comes back from the manager
        fmTaskPar->ChosenClient = "B";
        fmTaskPar->btClients->click();
        EXPECT_EQ(Items(fmTaskPar->cbClients), QStringList{QStringLiteral("A")});
        EXPECT_EQ(Items(fmTaskPar->cbSets),
                  (QStringList{QStringLiteral("Out"), QStringLiteral("Приход"), QStringLiteral("Приход")}));
        ClickButton(w, QStringLiteral("Отмена"));
    });
    EXPECT_FALSE(fmTaskPar->ChooseTaskSetting(0, entry));

    // A list that failed to load: "+" makes no setting, which would take Id 1 unchecked.
    dmSet->ClientBanks = {"A", "C"};
    peer.QueueCall(SettingsOfA());
    peer.QueueCall(ErrorReply("<UNDEFINED>Slist+2^ZZ001a"));
    peer.QueueCall(ErrorReply("<UNDEFINED>Slist+2^ZZ001a"));
    int wizards = 0;
    fmTaskPar->SettingsWizard = [&wizards] { return ++wizards > 0; };
    ui.Clear();
    WhenModal([](QWidget *w) {
        QTest::keyClick(fmTaskPar->cbClients, Qt::Key_Down); // C, whose list fails
        EXPECT_TRUE(Items(fmTaskPar->cbSets).isEmpty());
        fmTaskPar->btNewSet->click();
        EXPECT_TRUE(w->isVisible());
        ClickButton(w, QStringLiteral("Отмена"));
    });
    EXPECT_FALSE(fmTaskPar->ChooseTaskSetting(0, entry));
    EXPECT_EQ(wizards, 0);
    EXPECT_EQ(ui.Messages().last(),
              QStringLiteral("Список настроек клиент-банка не загружен: новую настройку создать нельзя"));
    EXPECT_TRUE(dmSet->tbSets->IsEmpty());
}

TEST_F(TaskMan, MenusFollowTheStoresRenameAndDeletionBySettingId)
{
    Tasks({Entry("A", 2, "S2"), Entry("A", 2, "Old") + '\x03' + Entry("A", 3, "S3"), Entry("B", 2, "X")});
    Open("1", "11", "11");
    dmSet->tbTasks->SetRecNo(1);
    dmSet->tbTasks->Edit();
    dmSet->tbTasks->SetAsString(TdmSet::tkClient, "A");
    dmSet->tbTasks->SetAsInteger(TdmSet::tkSet, 2);
    dmSet->tbTasks->Post();
    dmSet->tbSets->Append();
    dmSet->tbSets->SetAsInteger(TdmSet::stId, 2);
    dmSet->tbSets->SetAsString(TdmSet::stName, "New");
    dmSet->tbSets->Post();

    // Saved under its new name: every entry of the setting shows it.
    int row = -1, field = -1;
    ASSERT_EQ(dmSet->SaveEditedSetting(row, field), TSettingSave::Saved);
    EXPECT_EQ(Captions(window->mn0).first(), QStringLiteral("A:New"));
    EXPECT_EQ(Captions(window->mn1).mid(0, 2),
              (QStringList{QStringLiteral("A:New"), QStringLiteral("A:S3")}));
    EXPECT_EQ(Captions(window->mn2).first(), QStringLiteral("B:X")) << "another bank's setting 2";
    EXPECT_EQ(Menus(1), Entry("A", 2, "New") + '\x03' + Entry("A", 3, "S3"));

    // The server does not delete it: every menu keeps it.
    const qsizetype calls = peer.Calls().size();
    peer.QueueCall(ErrorReply("<UNDEFINED>DelSet+2^ZZ001a"));
    dmSet->tbTasks->SetRecNo(1);
    EXPECT_FALSE(dmSet->DeleteSetting());
    EXPECT_EQ(window->EntryItems(1).size(), 2);
    EXPECT_EQ(peer.Calls().size(), calls + 1);
    // Deleted: its entries go from every menu and from the stored texts.
    dmSet->tbTasks->SetRecNo(1);
    EXPECT_TRUE(dmSet->DeleteSetting());
    EXPECT_TRUE(window->EntryItems(0).isEmpty());
    EXPECT_EQ(window->mn0->defaultAction(), window->actSetupPrp);
    EXPECT_EQ(Captions(window->mn1).first(), QStringLiteral("A:S3"));
    EXPECT_EQ(window->EntryItems(2).size(), 1);
    EXPECT_EQ(Menus(1), Entry("A", 3, "S3"));
    EXPECT_EQ(Menus(0), QByteArray());
}

TEST_F(TaskMan, PlacementIsRememberedAndClosingEndsTheRun)
{
    Tasks({});
    Open("0", "00", "00");
    EXPECT_FALSE(window->tb0->isEnabled());
    EXPECT_TRUE(window->tbAbout->isEnabled());
    window->show();
    window->move(window->pos() + QPoint(37, 23));
    const QPoint placed = window->pos();
    bool closed = false;
    QObject witness; // the window outlives the flag: the connection goes with it
    QObject::connect(window, &TfmTaskMan::Closed, &witness, [&closed] { closed = true; });
    window->close();
    EXPECT_TRUE(closed);
    QSettings settings(QStringLiteral("Remart"), QStringLiteral("VelmBank"));
    EXPECT_EQ(settings.value(QStringLiteral("Forms/TaskMan/Left")).toInt(), placed.x());
    EXPECT_EQ(settings.value(QStringLiteral("Forms/TaskMan/Top")).toInt(), placed.y());
    delete window;
    Open("0", "00", "00");
    EXPECT_EQ(window->pos(), placed);

    // The about button shows the about window.
    WhenModal([](QWidget *w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("О программе"));
        QTest::keyClick(w, Qt::Key_Escape);
    });
    window->tbAbout->click();
}
