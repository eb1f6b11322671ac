// The document grid over an intermediate table built from a scripted server's column list: the
// marks and texts its cells draw, toggling rows, the bulk commands with one reset that keep the
// cursor, the hover hint from the import's copy, and the options stored only by "Выход".
#include "GuiDriver.h"
#include "TaskForm.h"
#include "UBHint.h"
#include "importtest.h"
#include "taskrun.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace velmbank;

namespace {

// Dates, sums, payers, payees and numbers: the demo's order of columns.
QByteArray Columns()
{
    return List(
        {Rec({"DATADOC", W(QStringLiteral("Дата")), ""}), Rec({"SUMMA", W(QStringLiteral("Сумма")), "2"}),
         Rec({"PLAT", W(QStringLiteral("Плательщик")), "1"}), Rec({"POL", W(QStringLiteral("Получатель"))}),
         Rec({"NUMDOC", W(QStringLiteral("Номер док.")), ""})});
}

constexpr int Plat = 6;
constexpr int NumDoc = 8;
constexpr int Transact = 9;

class TaskForm : public ImportTest
{
protected:
    void SetUp() override
    {
        ImportTest::SetUp();
        ASSERT_TRUE(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        peer.QueueCall(Columns());
        engine.BuildTaskTable(1);
        ASSERT_EQ(engine.TransactField(), Transact);
        form = std::make_unique<TfmTaskForm>(&engine);
    }
    void TearDown() override
    {
        form.reset();
        ImportTest::TearDown();
    }
    // A row as the import leaves it, then the run's result.
    void AddRow(const char *include, const QByteArray &transact, const QByteArray &payer = "PLAT")
    {
        TMemTable *t = engine.tbTask;
        t->Append();
        t->SetAsString(TdmTask::tfInclude, include);
        t->SetAsString(NumDoc, QByteArray::number(t->RecordCount()));
        t->SetAsString(Plat, payer);
        t->SetAsString(Transact, transact);
        t->Post();
    }
    void Show()
    {
        engine.SnapshotTaskTable();
        engine.tbTask->First();
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    QRect Cell(int row, int field) const { return form->dbgEx->visualRect(engine.dsTask->index(row, field)); }
    void Click(int row, int field)
    {
        form->dbgEx->scrollTo(engine.dsTask->index(row, field));
        QTest::mouseClick(form->dbgEx->viewport(), Qt::LeftButton, {}, Cell(row, field).center());
    }
    QByteArray Include(int row) const { return engine.tbTask->StringAt(row, TdmTask::tfInclude); }
    TTaskCellLook Look(int row, int field, int width, bool focused = false) const
    {
        return form->Delegate->Look(engine.dsTask->index(row, field), focused, width);
    }

    QTemporaryDir settingsDir;
    std::unique_ptr<TfmTaskForm> form;
};

} // namespace

TEST_F(TaskForm, CellsShowMarksAndResultsAndToggleByClickAndKeys)
{
    AddRow("True", "1");
    AddRow("True", "2");
    AddRow("True", W(QStringLiteral("Документ пропущен")));
    AddRow("False", W(QStringLiteral("Документ пропущен"))); // excluded: its result undecorated
    AddRow("", "");                                          // no Include value
    Show();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Настройка входной формы клиент банка"));
    EXPECT_EQ(form->gbMain->title(), QStringLiteral("Поля dbf файла"));
    // The grid as the engine ordered it: Ok hidden, Transact fourth and 90 wide.
    const QHeaderView *h = form->dbgEx->horizontalHeader();
    EXPECT_TRUE(h->isSectionHidden(TdmTask::tfOk));
    EXPECT_EQ(h->visualIndex(Transact), 3);
    EXPECT_EQ(h->sectionSize(Transact), 90);
    EXPECT_EQ(h->sectionSize(NumDoc), 60);

    const auto look = [&](int row, int field, int width, bool focused = false) {
        const TTaskCellLook l = Look(row, field, width, focused);
        return std::make_tuple(l.Custom, l.Picture, l.Text);
    };
    using P = TTaskPicture;
    EXPECT_EQ(look(0, Transact, 90), std::make_tuple(true, P::Ok, QStringLiteral("Документ создан")));
    EXPECT_EQ(look(1, Transact, 90), std::make_tuple(true, P::Ok, QStringLiteral("Документ закрыт")));
    EXPECT_EQ(look(2, Transact, 90), std::make_tuple(true, P::Fail, QStringLiteral("Документ пропущен")));
    EXPECT_FALSE(Look(3, Transact, 90).Custom);
    EXPECT_EQ(look(0, TdmTask::tfInclude, 60), std::make_tuple(true, P::Include, QStringLiteral("Включить")));
    EXPECT_EQ(look(3, TdmTask::tfInclude, 60), std::make_tuple(true, P::Exclude, QStringLiteral("Отменить")));
    EXPECT_EQ(look(0, TdmTask::tfInclude, 60, true),
              std::make_tuple(true, P::Includei, QStringLiteral("Включить")));
    EXPECT_EQ(look(3, TdmTask::tfInclude, 60, true),
              std::make_tuple(true, P::Excludei, QStringLiteral("Отменить")));
    EXPECT_FALSE(Look(4, TdmTask::tfInclude, 60).Custom);
    // A text only where the picture and 5 pixels leave room: 16 + 5 must be less than the width.
    EXPECT_EQ(look(0, Transact, 21), std::make_tuple(true, P::Ok, QString()));
    EXPECT_EQ(look(0, Transact, 22), std::make_tuple(true, P::Ok, QStringLiteral("Документ создан")));
    EXPECT_EQ(look(3, TdmTask::tfInclude, 21), std::make_tuple(true, P::Exclude, QString()));

    // A click on an Include cell inverts it, twice returns it; other cells and an empty Include
    // are left alone.
    Click(3, TdmTask::tfInclude);
    EXPECT_EQ(Include(3), "True");
    Click(3, TdmTask::tfInclude);
    EXPECT_EQ(Include(3), "False");
    Click(4, TdmTask::tfInclude);
    EXPECT_EQ(Include(4), "");
    Click(3, NumDoc);
    EXPECT_EQ(Include(3), "False");
    EXPECT_EQ(engine.tbTask->CurrentRow(), 3) << "the table follows the grid's cursor";

    // Enter and Space on the Include column do the same; elsewhere nothing.
    form->dbgEx->setFocus();
    form->dbgEx->setCurrentIndex(engine.dsTask->index(0, TdmTask::tfInclude));
    QTest::keyClick(form->dbgEx, Qt::Key_Space);
    EXPECT_EQ(Include(0), "False");
    QTest::keyClick(form->dbgEx, Qt::Key_Return);
    EXPECT_EQ(Include(0), "True");
    form->dbgEx->setCurrentIndex(engine.dsTask->index(0, NumDoc));
    QTest::keyClick(form->dbgEx, Qt::Key_Space);
    QTest::keyClick(form->dbgEx, Qt::Key_Enter);
    EXPECT_EQ(Include(0), "True");
}

TEST_F(TaskForm, BulkCommandsResetTheViewOnceAndKeepTheCursor)
{
    for (int r = 0; r < 3000; ++r)
        AddRow(r % 3 ? "True" : "False", "");
    Show();
    form->dbgEx->setFocus();
    form->dbgEx->setCurrentIndex(engine.dsTask->index(2500, NumDoc));
    form->dbgEx->scrollTo(engine.dsTask->index(2500, NumDoc));
    const int scrolled = form->dbgEx->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);

    QSignalSpy resets(engine.dsTask, &QAbstractItemModel::modelReset);
    QSignalSpy changes(engine.dsTask, &QAbstractItemModel::dataChanged);
    QTest::keyClick(form.get(), Qt::Key_K, Qt::ControlModifier); // "Очистить"
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(changes.count(), 0);
    for (int r = 0; r < 3000; ++r)
        ASSERT_EQ(Include(r), "False") << r;
    const auto cursorKept = [&] {
        EXPECT_EQ(engine.tbTask->CurrentRow(), 2500);
        EXPECT_EQ(form->dbgEx->currentIndex(), engine.dsTask->index(2500, NumDoc));
        EXPECT_EQ(form->dbgEx->verticalScrollBar()->value(), scrolled);
    };
    cursorKept();

    engine.tbTask->SetRecNo(2);
    engine.tbTask->Edit();
    engine.tbTask->SetAsBoolean(TdmTask::tfInclude, true);
    engine.tbTask->Post();
    engine.tbTask->SetRecNo(2501);
    form->actInverse->trigger();
    EXPECT_EQ(Include(1), "False");
    EXPECT_EQ(Include(2), "True");
    cursorKept();
    form->actIncAll->trigger();
    EXPECT_EQ(engine.tbTask->RecordCount(), 3000);
    EXPECT_EQ(Include(1), "True");
    EXPECT_EQ(resets.count(), 3);
    cursorKept();
}

TEST_F(TaskForm, HoverHintShowsTheImportsValueOfACellTooNarrowForIt)
{
    const QByteArray longPayer = W(QStringLiteral("Общество с ограниченной ответственностью «Ромашка»"));
    AddRow("True", "", longPayer);
    AddRow("True", "", W(QStringLiteral("ИП")));
    Show();
    // Changes after the import are not the hint's.
    engine.tbTask->First();
    engine.tbTask->Edit();
    engine.tbTask->SetAsString(Plat, "changed");
    engine.tbTask->Post();

    QWidget *viewport = form->dbgEx->viewport();
    QTest::mouseMove(viewport, Cell(0, Plat).center());
    EXPECT_EQ(viewport->toolTip(), FromWin1251(longPayer));
    ASSERT_TRUE(BHint);
    EXPECT_EQ(BHint->HintControl, viewport);
    // Grid columns as the grid counts them: indicator 0, Exist 1, Open 2, Транзакция 3, ...
    EXPECT_EQ(BHint->LastCol, 7);
    EXPECT_EQ(BHint->LastRow, 1);

    QTest::mouseMove(viewport, Cell(1, Plat).center());
    EXPECT_EQ(viewport->toolTip(), QString()) << "a text that fits has no hint";
    EXPECT_EQ(BHint->LastRow, 2);
    // The Exist column is left out: the hint stays where it was.
    QTest::mouseMove(viewport, Cell(0, TdmTask::tfExist).center());
    EXPECT_EQ(BHint->LastCol, 7);
    EXPECT_EQ(BHint->LastRow, 2);

    form->close();
    EXPECT_EQ(BHint->HintControl, nullptr) << "closing the window hides the hint";
}

TEST_F(TaskForm, OptionsAreKeptPerUserAndTaskAndStoredOnlyByExit)
{
    AddRow("True", "");
    QWidget main;
    form->MainWindow = &main;
    link.UserNumber = 7;
    form->LoadTaskOptions(1, 7);
    EXPECT_FALSE(form->chCloseDoc->isChecked());
    EXPECT_EQ(form->Run->Surname, "");
    Show();

    form->chCloseDoc->setChecked(true);
    form->Run->Surname = W(QStringLiteral("Петрова"));
    form->dbgEx->horizontalHeader()->resizeSection(Plat, 150);
    dm.tbSet->Append();
    dm.tbSet->SetAsString(TdmSet::sfName, "NUMDOC");
    dm.tbSet->Post();
    form->actClose->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(main.isVisible()) << "the main window comes back";
    EXPECT_TRUE(dm.tbSet->IsEmpty()) << "the setting's fields go with the window";

    // The next start of the same task by the same user: the options and the widths are back.
    peer.QueueCall(Columns());
    engine.BuildTaskTable(1);
    form->chCloseDoc->setChecked(false);
    form->Run->Surname.clear();
    form->LoadTaskOptions(1, 7);
    EXPECT_TRUE(form->chCloseDoc->isChecked());
    EXPECT_EQ(FromWin1251(form->Run->Surname), QStringLiteral("Петрова"));
    EXPECT_EQ(form->dbgEx->horizontalHeader()->sectionSize(Plat), 150);
    EXPECT_EQ(form->dbgEx->horizontalHeader()->sectionSize(NumDoc), 60);

    // Another user, another task: their own (default) options.
    form->LoadTaskOptions(1, 8);
    EXPECT_FALSE(form->chCloseDoc->isChecked());
    form->LoadTaskOptions(2, 7);
    EXPECT_FALSE(form->chCloseDoc->isChecked());

    // Closing by the window frame forgets a change.
    form->LoadTaskOptions(1, 7);
    Show();
    form->chCloseDoc->setChecked(false);
    form->close();
    form->LoadTaskOptions(1, 7);
    EXPECT_TRUE(form->chCloseDoc->isChecked());
}
