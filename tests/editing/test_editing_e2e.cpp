// Settings editing from the main window against `velmd demo`: a client-bank and a setting made
// for a file the gateway has never seen, saved and read back, and that file imported with
// task 1; the editor opened from task 0's entry; a setting copied from another, saved, and
// deleted from the server and from every task menu.
#include "editing.h"
#include "taske2e.h"

#include "Routines.h"
#include "TaskForm.h"
#include "clbgen.h"
#include "dbfwriter.h"

#include <QDir>
#include <QGroupBox>
#include <QTest>
#include <QToolButton>

namespace {

const QString Demo = QStringLiteral("Клиент-Банк Демо");

// The sample documents as a bank the gateway has never seen sends them: other names, another
// order, and a field of the bank's own that no characteristic carries.
struct TForeignField
{
    const char *Name;
    char Type;
    int Width;
    int Decimals;
    const char *Sample; // the field of the sample file it is taken from
    const char *Characteristic;
};
const TForeignField Foreign[] = {
    {"naznach", 'C', 160, 0, "NAZN", "Назначение_платежа[PP NAZN]"},
    {"summa_r", 'N', 15, 2, "SUMMA", "Сумма[PP SUMMA]"},
    {"nom", 'C', 6, 0, "NUMDOC", "Номер[PP NUMDOC]"},
    {"data_d", 'D', 8, 0, "DATEDOC", "Дата[PP DATADOC]"},
    {"kod", 'C', 2, 0, nullptr, nullptr},
    {"po_name", 'C', 100, 0, "POLNAME", "Получатель[PP POL]"},
    {"po_inn", 'C', 12, 0, "POLINN", "ИНН_получателя[PP POLINN]"},
    {"po_schet", 'C', 20, 0, "POLACC", "Счет_получателя[PP POLSCH]"},
    {"po_bik", 'C', 9, 0, "POLBIC", "БИК_банка_получателя[PP POLBIK]"},
    {"pl_name", 'C', 100, 0, "PLATNAME", "Плательщик[PP PLAT]"},
    {"pl_inn", 'C', 12, 0, "PLATINN", "ИНН_плательщика[PP PLATINN]"},
    {"pl_schet", 'C', 20, 0, "PLATACC", "Счет_плательщика[PP PLATSCH]"},
    {"pl_bik", 'C', 9, 0, "PLATBIC", "БИК_банка_плательщика[PP PLATBIK]"},
};

bool WriteForeignFile(const QString &path, int count)
{
    const QString sample = path + QStringLiteral(".sample.dbf");
    clb::Options options;
    options.count = count;
    options.seed = 77;
    std::string error;
    if (!clb::writeFile(QFile::encodeName(sample).toStdString(), options, error)) {
        ADD_FAILURE() << error;
        return false;
    }
    DBFHandle h = DBFOpen(QFile::encodeName(sample).constData(), "rb");
    if (!h) {
        ADD_FAILURE() << "cannot read the sample";
        return false;
    }
    QList<TestField> fields;
    for (const TForeignField &f : Foreign)
        fields.append({f.Name, f.Type, f.Width, f.Decimals});
    QList<TestRecord> records;
    for (int r = 0; r < DBFGetRecordCount(h); ++r) {
        TestRecord record;
        for (const TForeignField &f : Foreign)
            record.Values << (f.Sample
                                  ? QByteArray(DBFReadStringAttribute(h, r, DBFGetFieldIndex(h, f.Sample)))
                                  : QByteArray("01"));
        records << record;
    }
    DBFClose(h);
    return WriteDbf(path, fields, records);
}

QList<QByteArray> Records(const QByteArray &reply)
{
    QList<QByteArray> out;
    for (const QByteArray &r : reply.split('\x01'))
        if (!r.isEmpty())
            out << r;
    return out;
}

QStringList Items(const QComboBox *c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

QList<QByteArray> Entries(int task)
{
    QList<QByteArray> out;
    for (const TTaskMenuItem *item : fmTaskMan->EntryItems(task))
        out << item->EntryText;
    return out;
}

// Field n of task t's record as the server keeps it.
QByteArray ServerTask(int task, int field)
{
    for (const QByteArray &r : Records(dmSet->Link.CallServer({Routines::Tlist})))
        if (r.split('\x02').value(0) == QByteArray::number(task))
            return r.split('\x02').value(field);
    return {};
}

class EditingE2E : public TaskE2E
{
};

} // namespace

TEST_F(EditingE2E, AClientBankAndASettingForAFileNeverSeenAreMadeSavedAndTheFileImported)
{
    QTemporaryDir files;
    const QString file = QDir(files.path()).filePath(QStringLiteral("vypiska.dbf"));
    ASSERT_TRUE(WriteForeignFile(file, 20));
    const QString bank = QStringLiteral("Банк Север");
    const QString name = QStringLiteral("Выписка Север");

    // "Выбрать настройку" of the settings editor: task 0's pair preselected among all the
    // client-bank's settings; a client-bank made with the first small button and a setting
    // from the file's structure with the second.
    WhenModal([&](QWidget *context) {
        ASSERT_EQ(context, fmTaskPar);
        EXPECT_EQ(context->windowTitle(), QStringLiteral("Редактор настроек"));
        EXPECT_EQ(fmTaskPar->cbClients->currentText(), Demo);
        EXPECT_EQ(Items(fmTaskPar->cbSets),
                  (QStringList{QStringLiteral("Расход (демо)"), QStringLiteral("Приход (демо)")}));
        EXPECT_EQ(fmTaskPar->cbSets->currentText(), QStringLiteral("Расход (демо)"));
        EXPECT_TRUE(fmTaskPar->btClients->isVisible() && fmTaskPar->btNewSet->isVisible());
        WhenModal([&](QWidget *clients) {
            WhenModal([&](QWidget *pass) {
                fmPass->edPass->setText(bank);
                ClickButton(pass, QStringLiteral("ОК"));
            });
            ClickButton(clients, QStringLiteral("Новый"));
            ClickButton(clients, QStringLiteral("Выбрать"));
        });
        fmTaskPar->btClients->click();
        EXPECT_EQ(fmTaskPar->cbClients->currentText(), bank);
        EXPECT_EQ(fmTaskPar->cbSets->count(), 0);

        ui.ExpectFile(file);
        WhenModal([&](QWidget *wizard) {
            ASSERT_EQ(wizard, fmNew);
            EXPECT_EQ(wizard->windowTitle(),
                      QStringLiteral("Клиент-банк Банк Север. Создание новой настройки"));
            SaveScreen(wizard, QStringLiteral("wizard-1-task"));
            ClickButton(wizard, QStringLiteral("Далее"));
            fmNew->edName->setText(name);
            fmNew->edDir->setText(files.path());
            fmNew->edFile->setText(QStringLiteral("vypiska.dbf"));
            fmNew->edFunc->setText(QStringLiteral("DOS"));
            fmNew->edVFunc->setText(QStringLiteral("INN,KEY"));
            SaveScreen(wizard, QStringLiteral("wizard-2-params"));
            ClickButton(wizard, QStringLiteral("Далее"));
            SaveScreen(wizard, QStringLiteral("wizard-3-method"));
            QTest::keyClick(wizard, Qt::Key_F2);
        });
        fmTaskPar->btNewSet->click();
    });
    fmTaskMan->actSetupPrpExecute();

    // The editor opens on the new setting, still in memory, with the file's fields in its order.
    ASSERT_TRUE(fmInform && fmInform->isVisible()) << ui.Messages().join(u'\n').toStdString();
    EXPECT_FALSE(fmTaskMan->isVisible());
    EXPECT_EQ(fmInform->windowTitle(),
              QStringLiteral("Редактор настроек. Клиент-банк: Банк Север, настройка Выписка Север"));
    QList<QByteArray> names;
    for (const TForeignField &f : Foreign)
        names << f.Name;
    EXPECT_EQ(Values(dmSet->tbSet, TdmSet::sfName), names);
    EXPECT_EQ(fmTaskMan->EntryItems(0).first()->text(), QStringLiteral("Банк Север:Выписка Север"));
    EXPECT_TRUE(dmSet->IsNewSettingKey(TdmSet::NewSettingKey(W(bank), 1)));

    // Each field's characteristic picked from the list, then saved.
    for (int r = 0; r < int(std::size(Foreign)); ++r)
        if (Foreign[r].Characteristic)
            EnterCell(fmInform, r, TdmSet::sfMAPX, QString::fromUtf8(Foreign[r].Characteristic));
    ui.Clear();
    ClickButton(fmInform, QStringLiteral("Сохранить"));
    EXPECT_EQ(ui.Messages(), QStringList());
    EXPECT_FALSE(dmSet->IsNewSettingKey(TdmSet::NewSettingKey(W(bank), 1)));

    // Read back from the server: numbered in file order, names in upper case, the object and
    // characteristic codes and the type number filled.
    const QList<QByteArray> rows = Records(CallServer({Routines::LoadSetRecs, W(bank), "1"}));
    ASSERT_EQ(rows.size(), qsizetype(std::size(Foreign)));
    for (int r = 0; r < rows.size(); ++r) {
        const TForeignField &f = Foreign[r];
        const QByteArray type = f.Type == 'C' ? "STRING" : f.Type == 'N' ? "FLOAT" : "DATE";
        const QByteArray typeId = f.Type == 'C' ? "1" : f.Type == 'N' ? "6" : "9";
        const QByteArray mapx = f.Characteristic ? W(QString::fromUtf8(f.Characteristic)) : QByteArray();
        const QByteArray ih = mapx.isEmpty() ? QByteArray() : mapx.mid(mapx.indexOf(' ') + 1).chopped(1);
        const QByteArray expected = QByteArray::number(r + 1) + '\x02' + QByteArray(f.Name).toUpper() + '\x02'
                                    + type + '\x02' + QByteArray::number(f.Width) + '\x02'
                                    + QByteArray::number(f.Decimals) + '\x02' + mapx + '\x02'
                                    + (mapx.isEmpty() ? "" : "PP") + '\x02' + ih + "\x02\x02" + typeId;
        EXPECT_EQ(rows[r], expected) << "row " << r + 1;
    }
    EXPECT_EQ(CallServer({Routines::Slist, W(bank)}), "1\x02" + W(name) + '\x02' + W(bank)
                                                          + "\x02"
                                                            "1\x02"
                                                          + QFile::encodeName(files.path())
                                                          + "\x02vypiska.dbf\x02"
                                                            "DOS\x02"
                                                            "INN,KEY\x02"
                                                            "NUMDOC,DATADOC,SUMMA\x01");
    ClickButton(fmInform, QStringLiteral("Выход"));
    EXPECT_FALSE(fmInform->isVisible());
    EXPECT_TRUE(fmTaskMan->isVisible());
    EXPECT_TRUE(dmSet->tbSet->IsEmpty());

    // Task 1 with the new pair, chosen in its context dialog: the file named by the setting is
    // imported and every document created.
    WhenModal([&](QWidget *context) {
        const int at = fmTaskPar->cbClients->findText(bank);
        fmTaskPar->cbClients->setCurrentIndex(at);
        Q_EMIT fmTaskPar->cbClients->activated(at);
        EXPECT_EQ(Items(fmTaskPar->cbSets), QStringList{name});
        fmTaskPar->cbSets->setCurrentIndex(0);
        ClickButton(context, QStringLiteral("Старт"));
    });
    ui.Clear();
    fmTaskMan->actProp1Execute();
    ASSERT_TRUE(fmTaskForm->isVisible()) << ui.Messages().join(u'\n').toStdString();
    EXPECT_EQ(fmTaskForm->windowTitle(), QStringLiteral("Деньги: Расход Файл: ") + file);
    EXPECT_EQ(fmTaskForm->gbMain->title(), QStringLiteral("Промежуточная таблица: 20 документов"));
    EXPECT_EQ(Column(TdmTask::tfInclude), QList<QByteArray>(20, "True"));
    ui.ExpectName(QStringLiteral("Иванова"));
    ClickButton(fmTaskForm, QStringLiteral("Запись"));
    EXPECT_EQ(Results(), QList<QByteArray>(20, "1")) << ui.Messages().join(u'\n').toStdString();
    ClickButton(fmTaskForm, QStringLiteral("Выход"));
}

TEST_F(EditingE2E, ASettingCopiedFromAnotherIsSavedAndWhenDeletedLeavesTheServerAndEveryMenu)
{
    // An entry of task 0's menu: its setting, loaded from the server, in the editor.
    const QList<TTaskMenuItem *> items = fmTaskMan->EntryItems(0);
    const auto demoOut = std::find_if(items.begin(), items.end(), [](const TTaskMenuItem *item) {
        return item->text() == Demo + QStringLiteral(":Расход (демо)");
    });
    ASSERT_NE(demoOut, items.end());
    (*demoOut)->trigger();
    ASSERT_TRUE(fmInform && fmInform->isVisible()) << ui.Messages().join(u'\n').toStdString();
    EXPECT_EQ(dmSet->tbSet->RecordCount(), 12);
    EXPECT_EQ(dmSet->Characteristics.size(), 12);
    fmInform->rdbIn->setCurrentIndex(fmInform->dsSet->index(2, TdmSet::sfMAPX));
    SaveScreen(fmInform, QStringLiteral("inform"));
    WhenModal([](QWidget *w) {
        EXPECT_EQ(fmSetParams->edName->text(), QStringLiteral("Расход (демо)"));
        SaveScreen(w, QStringLiteral("setparams"));
        ClickButton(w, QStringLiteral("Отмена"));
    });
    ClickButton(fmInform, QStringLiteral("Параметры"));
    ClickButton(fmInform, QStringLiteral("Выход")); // nothing changed: nothing asked
    ASSERT_FALSE(fmInform->isVisible());

    // A setting copied from the demo's money-in setting through the wizard, then saved.
    const QString copy = QStringLiteral("Приход (копия)");
    WhenModal([&](QWidget *) {
        WhenModal([&](QWidget *wizard) {
            WizardToMethods(1, copy);
            QTest::keyClick(wizard, Qt::Key_F3);
            ASSERT_EQ(MenuCaptions(fmNew->pmSets), QStringList{QStringLiteral("Приход (демо)")});
            fmNew->pmSets->actions().first()->trigger();
        });
        fmTaskPar->btNewSet->click();
    });
    fmTaskMan->actSetupPrpExecute();
    ASSERT_TRUE(fmInform->isVisible()) << ui.Messages().join(u'\n').toStdString();
    EXPECT_EQ(dmSet->tbSets->AsInteger(TdmSet::stId), 3);
    ui.Clear();
    ClickButton(fmInform, QStringLiteral("Сохранить"));
    EXPECT_EQ(ui.Messages(), QStringList());
    const QByteArray demo = W(Demo);
    EXPECT_EQ(CallServer({Routines::LoadSetRecs, demo, "3"}), CallServer({Routines::LoadSetRecs, demo, "2"}));

    // Task 2 takes it too, as its pair and in its menu.
    const QByteArray entry = demo
                             + "\x04"
                               "3\x04"
                             + W(copy);
    ASSERT_TRUE(GotoTaskRow(2));
    dmSet->tbTasks->Edit();
    dmSet->tbTasks->SetAsString(TdmSet::tkClient, demo);
    dmSet->tbTasks->SetAsInteger(TdmSet::tkSet, 3);
    dmSet->tbTasks->SetAsString(TdmSet::tkSName, W(copy));
    dmSet->tbTasks->Post();
    fmTaskMan->AddMenuEntry(2, entry);
    fmTaskMan->SaveTaskMenu(2);
    ASSERT_TRUE(dmSet->SaveTask());
    ASSERT_TRUE(ServerTask(2, TdmSet::tkMenus).contains(entry));
    GotoTaskRow(0);

    // Deleted: asked, gone from the server, from every menu and the stored menus, and task 2
    // lets go of it.
    ui.Clear();
    ui.ExpectYesNoCancel(TAnswer::Yes);
    ClickButton(fmInform, QStringLiteral("Удалить"));
    EXPECT_TRUE(ui.Events.contains(QStringLiteral("question caption: Редактор настроек")));
    EXPECT_TRUE(
        ui.Events.contains(QStringLiteral("yes/no/cancel [no]: Вы уверены, что нужно удалить настройку?")));
    EXPECT_FALSE(fmInform->isVisible());
    EXPECT_TRUE(fmTaskMan->isVisible());
    EXPECT_FALSE(CallServer({Routines::Slist, demo}).contains(W(copy)));
    EXPECT_EQ(CallServer({Routines::LoadSetRecs, demo, "3"}), "");
    for (int task = 0; task <= 2; ++task) {
        EXPECT_FALSE(Entries(task).contains(entry)) << "task " << task;
        EXPECT_FALSE(ServerTask(task, TdmSet::tkMenus).contains(W(copy))) << "task " << task;
    }
    EXPECT_EQ(ServerTask(2, TdmSet::tkSet), "");
    EXPECT_EQ(fmTaskMan->mn0->defaultAction(), fmTaskMan->EntryItems(0).first());

    // An entry whose setting is not on the server (another workplace deleted it) is said to
    // be missing; the editor does not open on some other setting's row.
    fmTaskMan->AddMenuEntry(0, entry);
    ui.Clear();
    fmTaskMan->EntryItems(0).first()->trigger();
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Настройка Приход (копия) не найдена")});
    EXPECT_FALSE(fmInform->isVisible());
    EXPECT_TRUE(fmTaskMan->isVisible());
}
