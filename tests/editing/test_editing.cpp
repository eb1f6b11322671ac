// The settings wizard and the input-form editor over a settings store the test fills, with a
// scripted server: the wizard's pages, checks, copy menu, keys and methods; the editor's grid,
// pick lists, help texts, row commands and properties; the save's checks and closing.
#include "editing.h"

#include "Connect.h"
#include "Routines.h"
#include "ScriptedUi.h"
#include "XapiPeer.h"
#include "dbfwriter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray W(const QString &s) { return ToWin1251(s); }

const QString OutDescription =
    QStringLiteral("Создание экземпляров  \nДеньги-Расход на основе записей из \nвнешнего файла");
const QString InDescription =
    QStringLiteral("Создание экземпляров  \nДеньги-Приход на основе записей из \nвнешнего файла");

class Editing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        dmSet = new TdmSet;
        dmSet->Link.ProfileFileName = dir.filePath(QStringLiteral("velmbank.ini"));
        ASSERT_TRUE(peer.WriteProfile(dmSet->Link.ProfileFileName));
        ASSERT_TRUE(dmSet->Link.OpenConnection());
        dmSet->FillTypeNames();
        TMemTable *tasks = dmSet->tbTasks;
        const QStringList names{QStringLiteral("Редактор настроек"), QStringLiteral("Деньги: Расход"),
                                QStringLiteral("Деньги: Приход")};
        for (int t = 0; t < 3; ++t) {
            tasks->Append();
            tasks->SetAsInteger(TdmSet::tkId, t);
            tasks->SetAsString(TdmSet::tkName, W(names[t]));
            tasks->SetAsString(TdmSet::tkDefFindEx, t ? QByteArray("NUMDOC,DATADOC,SUMMA") : QByteArray());
            tasks->Post();
        }
        dmSet->RememberTaskRows();
        tasks->GotoBookmark(dmSet->TaskRowSetup);
        tasks->Edit();
        tasks->SetAsString(TdmSet::tkClient, Bank);
        tasks->SetAsInteger(TdmSet::tkSet, 1);
        tasks->SetAsString(TdmSet::tkSName, W(QStringLiteral("Расход А")));
        tasks->Post();
        AddSetting(1, QStringLiteral("Расход А"), 1);
        AddSetting(2, QStringLiteral("Приход Б"), 2);
        AddSetting(4, QStringLiteral("Расход В"), 1);
        dmSet->tbSets->First();
        dmSet->SetsClient = Bank;
        dmSet->Characteristics = {W(QStringLiteral("Номер[PP NUMDOC]")), W(QStringLiteral("Сумма[PP SUMMA]")),
                                  W(QStringLiteral("Дата[PP DATADOC]"))};
    }
    void TearDown() override
    {
        delete fmInform;
        delete fmNew;
        delete mainWindow;
        delete dmSet;
    }
    void AddSetting(int id, const QString &name, int type)
    {
        TMemTable *sets = dmSet->tbSets;
        sets->Append();
        sets->SetAsInteger(TdmSet::stId, id);
        sets->SetAsString(TdmSet::stName, W(name));
        sets->SetAsString(TdmSet::stClient, Bank);
        sets->SetAsInteger(TdmSet::stType, type);
        sets->SetAsString(TdmSet::stFunc, "DOS");
        sets->Post();
    }
    void AddField(const char *name, const char *type, int length, const QString &mapx = {})
    {
        TMemTable *set = dmSet->tbSet;
        set->Append();
        set->SetAsString(TdmSet::sfName, name);
        set->SetAsString(TdmSet::sfType, type);
        set->SetAsInteger(TdmSet::sfLength, length);
        set->SetAsString(TdmSet::sfMAPX, W(mapx));
        set->Post();
    }
    // The editor opened on the first setting as the task manager opens it.
    void OpenEditor()
    {
        mainWindow = new QWidget;
        fmInform = new TfmInform;
        fmInform->MainWindow = mainWindow;
        dmSet->tbSets->First();
        fmInform->FillFromSetting();
        fmInform->show();
        dmSet->SetModified = false;
    }

    const QByteArray Bank = W(QStringLiteral("Банк"));
    QTemporaryDir dir;
    ScriptedUi ui;
    XapiPeer peer;
    QWidget *mainWindow = nullptr;
};

} // namespace

TEST_F(Editing, TheWizardGoesPageByPageWithItsChecksCopyMenuKeysAndLeavingQuestion)
{
    fmNew = new TfmNew;
    ui.ExpectYesNo(TAnswer::No); // Esc on the task page
    WhenModal([this](QWidget *w) {
        ASSERT_EQ(w, fmNew);
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Клиент-банк Банк. Создание новой настройки"));
        EXPECT_EQ(fmNew->pcPages->currentWidget(), fmNew->tsTask);
        EXPECT_EQ(fmNew->mmDescript->toPlainText(), OutDescription);
        QTest::mouseClick(fmNew->liTask->viewport(), Qt::LeftButton, {},
                          fmNew->liTask->visualItemRect(fmNew->liTask->item(1)).center());
        EXPECT_EQ(fmNew->mmDescript->toPlainText(), InDescription);
        fmNew->liTask->setCurrentRow(0);
        QTest::keyClick(fmNew->liTask, Qt::Key_Escape); // asked, answered No: it stays
        EXPECT_TRUE(w->isVisible());

        // The parameters take the task's name and characteristics for similar documents.
        ClickButton(w, QStringLiteral("Далее"));
        ASSERT_EQ(fmNew->pcPages->currentWidget(), fmNew->tsParams);
        EXPECT_EQ(fmNew->edName->text(), QStringLiteral("Деньги: Расход"));
        EXPECT_EQ(fmNew->edFindEx->text(), QStringLiteral("NUMDOC,DATADOC,SUMMA"));
        EXPECT_EQ(dmSet->tbTasks->RecNo(), dmSet->TaskRowSetup.Ordinal) << "back on the editor's row";
        fmNew->edName->clear();
        ClickButton(w, QStringLiteral("Далее"));
        fmNew->edName->setText(QStringLiteral("Расход А"));
        ClickButton(w, QStringLiteral("Далее"));
        EXPECT_EQ(ui.Messages(), (QStringList{QStringLiteral("Имя настройки должно быть указано"),
                                              QStringLiteral("Настройка с таким именем уже существует")}));
        EXPECT_EQ(fmNew->pcPages->currentWidget(), fmNew->tsParams);

        // Another letter case is another name; the copy menu has the settings of the task type.
        fmNew->edName->setText(QStringLiteral("расход а"));
        fmNew->edDir->setText(QStringLiteral("/srv/bank"));
        fmNew->edFile->setText(QStringLiteral("vyp.dbf"));
        fmNew->edFunc->setText(QStringLiteral("DOS"));
        fmNew->edVFunc->setText(QStringLiteral("INN,KEY"));
        ClickButton(w, QStringLiteral("Далее"));
        ASSERT_EQ(fmNew->pcPages->currentWidget(), fmNew->tsNS);
        EXPECT_EQ(MenuCaptions(fmNew->pmSets),
                  (QStringList{QStringLiteral("Расход А"), QStringLiteral("Расход В")}));
        QTest::keyClick(w, Qt::Key_Escape); // nothing on the method page

        // Back twice, the other task: its name again, the menu rebuilt; the boxes kept.
        ClickButton(w, QStringLiteral("Назад"));
        EXPECT_EQ(fmNew->edName->text(), QStringLiteral("расход а"));
        ClickButton(w, QStringLiteral("Назад"));
        fmNew->liTask->setCurrentRow(1);
        ClickButton(w, QStringLiteral("Далее"));
        EXPECT_EQ(fmNew->edName->text(), QStringLiteral("Деньги: Приход"));
        EXPECT_EQ(fmNew->edDir->text(), QStringLiteral("/srv/bank"));
        fmNew->edName->setText(QStringLiteral("Приход Север"));
        ClickButton(w, QStringLiteral("Далее"));
        EXPECT_EQ(MenuCaptions(fmNew->pmSets), QStringList{QStringLiteral("Приход Б")});

        // F2: the file dialog cancelled, then a name that is no file; "Выход" answered No.
        ui.Clear();
        ui.ExpectFile(std::nullopt);
        QTest::keyClick(w, Qt::Key_F2);
        ui.ExpectFile(QStringLiteral("/nowhere/vyp.dbf"));
        QTest::keyClick(w, Qt::Key_F2);
        EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Файл, выбранный Вами, не найден")});
        EXPECT_EQ(ui.Events.first(),
                  QStringLiteral("file: Открыть | %1 | dbf (*.dbf);;Файлы обмена 1С (*.txt);;"
                                 "Все файлы (*.*)")
                      .arg(QDir::currentPath()));
        ui.ExpectYesNo(TAnswer::No);
        ClickButton(w, QStringLiteral("Выход"));
        EXPECT_TRUE(w->isVisible());
        // F5, the constructor: the setting without fields.
        QTest::keyClick(w, Qt::Key_F5);
    });
    dmSet->SetModified = false;
    ASSERT_TRUE(fmNew->Execute());
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("question caption: Создание настройки")));
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("yes/no [no]: Отказаться от создания настройки?")));
    // The smallest free Id, inserted where the Ids go out of step; current; nothing else changed.
    TMemTable *sets = dmSet->tbSets;
    EXPECT_EQ(Values(sets, TdmSet::stId), (QList<QByteArray>{"1", "2", "3", "4"}));
    EXPECT_EQ(sets->AsInteger(TdmSet::stId), 3);
    EXPECT_EQ(sets->AsString(TdmSet::stName), W(QStringLiteral("Приход Север")));
    EXPECT_EQ(sets->AsString(TdmSet::stClient), Bank);
    EXPECT_EQ(sets->AsInteger(TdmSet::stType), 2);
    EXPECT_EQ(sets->AsString(TdmSet::stPath), "/srv/bank");
    EXPECT_EQ(sets->AsString(TdmSet::stFile), "vyp.dbf");
    EXPECT_EQ(sets->AsString(TdmSet::stFunc), "DOS");
    EXPECT_EQ(sets->AsString(TdmSet::stVFunc), "INN,KEY");
    EXPECT_EQ(sets->AsString(TdmSet::stFindEx), "NUMDOC,DATADOC,SUMMA");
    EXPECT_TRUE(dmSet->tbSet->IsEmpty());
    EXPECT_FALSE(dmSet->SetModified) << "the constructor leaves it";
    EXPECT_EQ(peer.Calls().size(), 0u);

    // "Отмена" confirmed, and the close box without a question: nothing is created.
    ui.ExpectYesNo(TAnswer::Yes);
    WhenModal([](QWidget *w) { ClickButton(w, QStringLiteral("Отмена")); });
    EXPECT_FALSE(fmNew->Execute());
    WhenModal([](QWidget *w) { w->close(); });
    EXPECT_FALSE(fmNew->Execute());
    EXPECT_EQ(sets->RecordCount(), 4);
}

TEST_F(Editing, TheWizardsMethodsFillTheFieldsFromAFileTheServerOrAnotherSetting)
{
    fmNew = new TfmNew;
    // From a file: one row per field in file order, with the type's catalogue name.
    const QString file = dir.filePath(QStringLiteral("vyp.dbf"));
    ASSERT_TRUE(WriteDbf(file, {{"ND", 'C', 6}, {"DT", 'D', 8}, {"SM", 'N', 15, 2}, {"OK", 'L', 1}}, {}));
    ui.ExpectFile(file);
    WhenModal([](QWidget *w) {
        WizardToMethods(0, QStringLiteral("Из файла"));
        ClickButton(w, QStringLiteral("Взять поля из DBF файла"));
    });
    ASSERT_TRUE(fmNew->Execute());
    TMemTable *set = dmSet->tbSet;
    EXPECT_EQ(Values(set, TdmSet::sfName), (QList<QByteArray>{"ND", "DT", "SM", "OK"}));
    EXPECT_EQ(Values(set, TdmSet::sfType), (QList<QByteArray>{"STRING", "DATE", "FLOAT", "BOOLEAN"}));
    EXPECT_EQ(Values(set, TdmSet::sfTypeId), (QList<QByteArray>{"1", "9", "6", "5"}));
    EXPECT_EQ(Values(set, TdmSet::sfLength), (QList<QByteArray>{"6", "8", "15", "1"}));
    EXPECT_EQ(Values(set, TdmSet::sfPrecision), (QList<QByteArray>{"0", "0", "2", "0"}));
    EXPECT_TRUE(dmSet->SetModified);
    EXPECT_EQ(dmSet->tbSets->AsString(TdmSet::stName), W(QStringLiteral("Из файла")));

    // A file whose fields cannot be read: no setting of none of them is made, and the wizard
    // stays on its method page.
    const QString bad = dir.filePath(QStringLiteral("bad.dbf"));
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(40, '\x03'));
    }
    const int settings = dmSet->tbSets->RecordCount();
    ui.ExpectFile(bad);
    ui.ExpectYesNo(TAnswer::Yes);
    WhenModal([](QWidget *w) {
        WizardToMethods(0, QStringLiteral("Плохой файл"));
        ClickButton(w, QStringLiteral("Взять поля из DBF файла"));
        EXPECT_EQ(fmNew->pcPages->currentWidget(), fmNew->tsNS);
        EXPECT_TRUE(w->isVisible());
        ClickButton(w, QStringLiteral("Выход"));
    });
    EXPECT_FALSE(fmNew->Execute());
    EXPECT_EQ(dmSet->tbSets->RecordCount(), settings);
    EXPECT_TRUE(dmSet->tbSet->IsEmpty());
    ASSERT_EQ(ui.Messages().size(), 1);
    EXPECT_TRUE(ui.Messages()[0].contains(QStringLiteral("bad.dbf"))) << ui.Messages()[0].toStdString();
    ui.Clear();

    // Without the client-bank's list loaded no setting is made: it would take Id 1 unchecked.
    dmSet->SetsClient.clear();
    WhenModal([](QWidget *w) {
        WizardToMethods(0, QStringLiteral("Без списка"));
        QTest::keyClick(w, Qt::Key_F5);
    });
    EXPECT_FALSE(fmNew->Execute());
    EXPECT_EQ(dmSet->tbSets->RecordCount(), settings);
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral(
                                 "Список настроек клиент-банка Банк не загружен: настройка не создана")});
    dmSet->SetsClient = Bank;
    ui.Clear();

    // Automatically: the server's fields, last first; the fields of the file are gone.
    peer.QueueCall(QByteArray("A\x01"
                              "1\x01"
                              "10\x01"
                              "0\x01"
                              "M1\x02"
                              "B\x01"
                              "6\x01"
                              "15\x01"
                              "2\x01"
                              "M2\x02"));
    WhenModal([](QWidget *w) {
        WizardToMethods(1, QStringLiteral("Авто"));
        QTest::keyClick(w, Qt::Key_F4);
    });
    ASSERT_TRUE(fmNew->Execute());
    EXPECT_EQ(Values(set, TdmSet::sfName), (QList<QByteArray>{"B", "A"}));
    EXPECT_EQ(Values(set, TdmSet::sfMAPX), (QList<QByteArray>{"M2", "M1"}));
    ASSERT_EQ(peer.Calls().size(), 1u);
    EXPECT_EQ(peer.Calls()[0], (QList<QByteArray>{Routines::AutoSet, "2"}));
    EXPECT_EQ(dmSet->tbSets->AsInteger(TdmSet::stType), 2);

    // From an existing setting: chosen in the menu under the button, loaded by its Id.
    peer.QueueCall(QByteArray("1\x02X\x02STRING\x02"
                              "5\x02"
                              "0\x02\x02\x02\x02\x02"
                              "1\x01"));
    dmSet->SetModified = false;
    WhenModal([](QWidget *w) {
        WizardToMethods(0, QStringLiteral("Копия"));
        QTest::keyClick(w, Qt::Key_F3);
        ASSERT_TRUE(fmNew->pmSets->isVisible());
        EXPECT_EQ(MenuCaptions(fmNew->pmSets),
                  (QStringList{QStringLiteral("Расход А"), QStringLiteral("Из файла"),
                               QStringLiteral("Расход В")}));
        fmNew->pmSets->actions().at(2)->trigger();
    });
    ASSERT_TRUE(fmNew->Execute());
    ASSERT_EQ(peer.Calls().size(), 2u);
    EXPECT_EQ(peer.Calls()[1], (QList<QByteArray>{Routines::LoadSetRecs, Bank, "4"}));
    EXPECT_EQ(Values(set, TdmSet::sfName), QList<QByteArray>{"X"});
    EXPECT_TRUE(dmSet->SetModified);
    EXPECT_EQ(ui.Messages(), QStringList());
}

TEST_F(Editing, TheEditorsGridPickListsHelpRowCommandsAndProperties)
{
    AddField("numdoc", "STRING", 6, QStringLiteral("Номер[PP NUMDOC]"));
    AddField("summa", "FLOAT", 15);
    OpenEditor();
    EXPECT_EQ(fmInform->windowTitle(),
              QStringLiteral("Редактор настроек. Клиент-банк: Банк, настройка Расход А"));
    QStringList shown;
    for (int c = 0; c < fmInform->dsSet->columnCount(); ++c)
        if (!fmInform->rdbIn->isColumnHidden(c))
            shown << fmInform->dsSet->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Название"), QStringLiteral("Тип данных"),
                                  QStringLiteral("Длина"), QStringLiteral("Поле Вельм")}));
    EXPECT_GE(fmInform->rdbIn->columnWidth(TdmSet::sfMAPX), 210);

    // The pick lists: the catalogue, and the characteristics of the setting's task type.
    fmInform->rdbIn->setCurrentIndex(fmInform->dsSet->index(1, TdmSet::sfType));
    auto *types = qobject_cast<QComboBox *>(fmInform->Delegate->OpenEditor());
    ASSERT_NE(types, nullptr) << "the grid shows the cell's editor";
    EXPECT_EQ(types->count(), 36);
    EXPECT_EQ(types->currentText(), QStringLiteral("FLOAT"));
    EXPECT_EQ(fmInform->mmComment->toPlainText(), QStringLiteral("Тип данных DBF"));
    EnterCell(fmInform, 1, TdmSet::sfMAPX, QStringLiteral("Сумма[PP SUMMA]"));
    EXPECT_EQ(fmInform->mmComment->toPlainText(),
              QStringLiteral("Поле Вельм системы, соответствующее этому полю."));
    auto *picks = qobject_cast<QComboBox *>(fmInform->Delegate->OpenEditor());
    ASSERT_NE(picks, nullptr);
    EXPECT_EQ(picks->count(), 3);
    EXPECT_EQ(dmSet->tbSet->StringAt(1, TdmSet::sfMAPX), W(QStringLiteral("Сумма[PP SUMMA]")));
    EXPECT_TRUE(dmSet->SetModified);
    EnterCell(fmInform, 0, TdmSet::sfLength, QStringLiteral("шесть"));
    EXPECT_EQ(fmInform->mmComment->toPlainText(), QStringLiteral("Длина поля в DBF файле"));
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("'шесть' is not a valid integer value for field 'Length'")});
    EXPECT_EQ(dmSet->tbSet->IntegerAt(0, TdmSet::sfLength), 6) << "the row keeps its value";

    // "Добавить" before the current row; Down on the last row appends one, which goes again
    // when left untouched; "Убрать" asks first. An empty row is no change: closing would not
    // ask to save it.
    dmSet->SetModified = false;
    fmInform->rdbIn->setCurrentIndex(fmInform->dsSet->index(1, TdmSet::sfName));
    ClickButton(fmInform, QStringLiteral("Добавить"));
    EXPECT_EQ(Values(dmSet->tbSet, TdmSet::sfName), (QList<QByteArray>{"numdoc", "", "summa"}));
    EXPECT_EQ(fmInform->rdbIn->currentIndex().row(), 1);
    EXPECT_FALSE(dmSet->SetModified);
    EnterCell(fmInform, 1, TdmSet::sfName, QStringLiteral("datadoc"));
    EXPECT_TRUE(dmSet->SetModified);
    dmSet->SetModified = false;
    fmInform->rdbIn->setCurrentIndex(fmInform->dsSet->index(2, TdmSet::sfName));
    fmInform->rdbIn->EndEdit();
    QTest::keyClick(fmInform->rdbIn, Qt::Key_Down);
    EXPECT_EQ(dmSet->tbSet->RecordCount(), 4);
    EXPECT_EQ(fmInform->rdbIn->currentIndex().row(), 3);
    EXPECT_FALSE(dmSet->SetModified);
    fmInform->rdbIn->setCurrentIndex(fmInform->dsSet->index(0, TdmSet::sfName));
    QApplication::processEvents();
    EXPECT_EQ(Values(dmSet->tbSet, TdmSet::sfName), (QList<QByteArray>{"numdoc", "datadoc", "summa"}));
    ui.Clear();
    ui.ExpectYesNo(TAnswer::No);
    ui.ExpectYesNo(TAnswer::Yes);
    ClickButton(fmInform, QStringLiteral("Убрать"));
    ClickButton(fmInform, QStringLiteral("Убрать"));
    EXPECT_EQ(ui.Events.filter(QStringLiteral("Удалить поле?")).size(), 2);
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("question caption: Настройка входной формы")));
    EXPECT_EQ(Values(dmSet->tbSet, TdmSet::sfName), (QList<QByteArray>{"datadoc", "summa"}));

    // The properties: an empty name refused and the dialog again; "Отмена" leaves the setting
    // but counts as a change; "Ok" stores the boxes.
    dmSet->SetModified = false;
    ui.Clear();
    WhenModal([](QWidget *w) {
        ASSERT_EQ(w, fmSetParams);
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Параметры настройки"));
        EXPECT_EQ(fmSetParams->cbTask->currentText(), QStringLiteral("1 - Деньги: Расход "));
        EXPECT_FALSE(fmSetParams->cbTask->isEnabled());
        EXPECT_EQ(fmSetParams->edFunc->text(), QStringLiteral("DOS"));
        fmSetParams->edName->clear();
        ClickButton(w, QStringLiteral("Ok"));
        WhenModal([](QWidget *again) {
            EXPECT_EQ(again->focusWidget(), fmSetParams->edName);
            ClickButton(again, QStringLiteral("Отмена"));
        });
    });
    ClickButton(fmInform, QStringLiteral("Параметры"));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Имя настройки должно быть определено.")});
    EXPECT_EQ(dmSet->tbSets->AsString(TdmSet::stName), W(QStringLiteral("Расход А")));
    EXPECT_TRUE(dmSet->SetModified);
    // The name of another money-out setting of the bank is refused as the wizard refuses it.
    ui.Clear();
    WhenModal([](QWidget *w) {
        fmSetParams->edName->setText(QStringLiteral("Расход В"));
        ClickButton(w, QStringLiteral("Ok"));
        WhenModal([](QWidget *again) { ClickButton(again, QStringLiteral("Отмена")); });
    });
    ClickButton(fmInform, QStringLiteral("Параметры"));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Настройка с таким именем уже существует")});
    EXPECT_EQ(dmSet->tbSets->AsString(TdmSet::stName), W(QStringLiteral("Расход А")));
    WhenModal([](QWidget *w) {
        fmSetParams->edName->setText(QStringLiteral("Расход Север"));
        fmSetParams->edDir->setText(QStringLiteral("/srv/sever"));
        fmSetParams->edFile->setText(QStringLiteral("sever.dbf"));
        ClickButton(w, QStringLiteral("Ok"));
    });
    ClickButton(fmInform, QStringLiteral("Параметры"));
    EXPECT_EQ(dmSet->tbSets->AsString(TdmSet::stName), W(QStringLiteral("Расход Север")));
    EXPECT_EQ(dmSet->tbSets->AsString(TdmSet::stPath), "/srv/sever");
    EXPECT_EQ(dmSet->tbSets->AsString(TdmSet::stFile), "sever.dbf");
    EXPECT_EQ(peer.Calls().size(), 0u);

    // Every control of the three windows is named for assistive technology.
    fmNew = new TfmNew;
    for (QWidget *window : std::initializer_list<QWidget *>{fmNew, fmInform, fmSetParams})
        for (QWidget *w : window->findChildren<QWidget *>()) {
            // Qt's own parts of a grid, a pick list and the menu bar are not the window's.
            const bool own = qobject_cast<QAbstractItemView *>(w->parentWidget())
                             || qobject_cast<QHeaderView *>(w)
                             || w->objectName().startsWith(QStringLiteral("qt_"));
            const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w)
                                 || qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractItemView *>(w)
                                 || qobject_cast<QPlainTextEdit *>(w);
            if (control && !own && !qobject_cast<QComboBox *>(w->parentWidget()))
                EXPECT_FALSE(w->accessibleName().isEmpty())
                    << window->objectName().toStdString() << ": " << w->metaObject()->className();
        }
}

TEST_F(Editing, TheSaveStopsOnAFailingRowSendingNothingAndClosingWithYesKeepsTheEdits)
{
    AddField("numdoc", "STRING", 6, QStringLiteral("Номер[PP NUMDOC]"));
    AddField("summa", "FLOAT", 15, QStringLiteral("Сумма[PP SUMMA]"));
    AddField("sum2", "float", 15, QStringLiteral("сумма[pp summa]"));
    dmSet->AddNewSettingKey(TdmSet::NewSettingKey(Bank, 1));
    OpenEditor();
    EnterCell(fmInform, 0, TdmSet::sfName, QStringLiteral("nomer"));

    // The second row with the same characteristic, in any letter case, stops the save there.
    fmInform->rdbIn->setCurrentIndex(fmInform->dsSet->index(0, TdmSet::sfName));
    ClickButton(fmInform, QStringLiteral("Сохранить"));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Эта характеристика уже указана выше")});
    EXPECT_EQ(fmInform->rdbIn->currentIndex(), fmInform->dsSet->index(2, TdmSet::sfMAPX));
    EXPECT_EQ(dmSet->tbSet->RecNo(), 3);
    EXPECT_EQ(peer.Calls().size(), 0u) << "nothing is sent";
    // A typed characteristic that Вельм does not have is caught the same way.
    ui.Clear();
    EnterCell(fmInform, 2, TdmSet::sfMAPX, QStringLiteral("Сумма прописью"));
    ClickButton(fmInform, QStringLiteral("Сохранить"));
    EXPECT_EQ(ui.Messages(),
              QStringList{QStringLiteral("Указана несуществующая характеристика объекта Вельм")});

    // Closing with Yes while a row fails: the editor stays on it with every edit.
    ui.Clear();
    ui.ExpectYesNoCancel(TAnswer::Yes);
    ClickButton(fmInform, QStringLiteral("Выход"));
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("question caption: Редактор настроек")));
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("yes/no/cancel [yes]: Сохранить настройку?")));
    EXPECT_TRUE(fmInform->isVisible());
    EXPECT_EQ(Values(dmSet->tbSet, TdmSet::sfName), (QList<QByteArray>{"nomer", "summa", "sum2"}));
    EXPECT_EQ(fmInform->rdbIn->currentIndex(), fmInform->dsSet->index(2, TdmSet::sfMAPX));
    EXPECT_EQ(peer.Calls().size(), 0u);
    // So does "Создать" answered Yes.
    ui.ExpectYesNo(TAnswer::Yes);
    fmInform->actNew->trigger();
    EXPECT_TRUE(fmInform->isVisible());
    EXPECT_EQ(dmSet->tbSet->RecordCount(), 3);

    // Mended, closed with Yes: checked, prepared, sent in order, the new key gone, closed.
    EnterCell(fmInform, 2, TdmSet::sfMAPX, QStringLiteral("Дата[PP DATADOC]"));
    ui.Clear();
    ui.ExpectYesNoCancel(TAnswer::Yes);
    fmInform->close();
    EXPECT_EQ(ui.Messages(), QStringList());
    const auto calls = peer.Calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0], (QList<QByteArray>{Routines::SaveSetPar, Bank, "1",
                                           W(QStringLiteral("Расход А"))
                                               + "\x02"
                                                 "1\x02\x02\x02"
                                                 "DOS\x02\x02"}));
    EXPECT_EQ(calls[1],
              (QList<QByteArray>{Routines::SaveSetRec, Bank, "1",
                                 W(QStringLiteral("1\x02NOMER\x02STRING\x02"
                                                  "6\x02\x02Номер[PP NUMDOC]\x02PP\x02NUMDOC\x02\x02"
                                                  "1"))}));
    EXPECT_EQ(calls[3][3], W(QStringLiteral("3\x02SUM2\x02"
                                            "float\x02"
                                            "15\x02\x02Дата[PP DATADOC]\x02PP\x02"
                                            "DATADOC\x02\x02"
                                            "6")));
    EXPECT_EQ(calls[4][0], Routines::SaveTask);
    EXPECT_EQ(calls[5], QList<QByteArray>{Routines::GLinTO});
    EXPECT_TRUE(dmSet->NewSettings.isEmpty());
    EXPECT_FALSE(fmInform->isVisible());
    EXPECT_TRUE(dmSet->tbSet->IsEmpty());
    EXPECT_TRUE(mainWindow->isVisible()) << "the main window comes back";
}
