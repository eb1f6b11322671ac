// The settings store's own rules: the type catalogue, remembered task rows, the checks and
// normalisation of setting fields, the next setting number, the keys of unsaved settings and
// the change flag.
#include "data.h"

#include "ScriptedUi.h"
#include "ansitext.h"
#include "codepage.h"

#include <gtest/gtest.h>

namespace {

QByteArray W(const QString &s) { return ToWin1251(s); }

struct Store : ::testing::Test
{
    ScriptedUi ui;
    TdmSet dm;
    void SetUp() override
    {
        dm.FillTypeNames();
        dm.Characteristics = {W(QStringLiteral("ПП[PL SUMMA] Сумма")),
                              W(QStringLiteral("ПП[PL NOMER] Номер"))};
    }

    // A tbSet row as the editor leaves it.
    void AddField(const QByteArray &name, const QByteArray &type, const QByteArray &length,
                  const QByteArray &mapx = {}, const QByteArray &func = {})
    {
        dm.tbSet->Append();
        dm.tbSet->SetAsString(TdmSet::sfName, name);
        dm.tbSet->SetAsString(TdmSet::sfType, type);
        dm.tbSet->SetAsString(TdmSet::sfLength, length);
        dm.tbSet->SetAsString(TdmSet::sfMAPX, mapx);
        dm.tbSet->SetAsString(TdmSet::sfFunc, func);
        dm.tbSet->Post();
    }
    // ValidateSetField on the current row: the message shown and the field index, or "ok".
    QString Check()
    {
        ui.Clear();
        int field = -1;
        if (dm.ValidateSetField(field)) {
            EXPECT_TRUE(ui.Events.isEmpty());
            return QStringLiteral("ok");
        }
        return QStringLiteral("%1: %2").arg(field).arg(ui.Messages().join(QStringLiteral(" | ")));
    }
    void AddSetting(qint64 id, const QByteArray &name = "s")
    {
        dm.tbSets->Append();
        dm.tbSets->SetAsInteger(TdmSet::stId, id);
        dm.tbSets->SetAsString(TdmSet::stName, name);
        dm.tbSets->Post();
    }
};

} // namespace

TEST_F(Store, TypeCatalogueAndCaseFolding)
{
    ASSERT_EQ(dm.TypeNames.size(), 36);
    EXPECT_EQ(dm.TypeNames[0], "NOTYPE");
    EXPECT_EQ(dm.TypeNames[1], "STRING");
    EXPECT_EQ(dm.TypeNames[9], "DATE");
    EXPECT_EQ(dm.TypeNames[23], "FIXEDCHAR");
    EXPECT_EQ(dm.TypeNames[35], "GUID");
    EXPECT_EQ(AnsiIndexOfText(dm.TypeNames, "Currency"), 7);

    // Cyrillic folds too (Ё included); bytes without a capital in the code page stay.
    EXPECT_TRUE(AnsiSameText(W(QStringLiteral("ёлка Сумма")), W(QStringLiteral("ЁЛКА сУММА"))));
    EXPECT_FALSE(AnsiSameText(W(QStringLiteral("сумма")), W(QStringLiteral("сумме"))));
    EXPECT_EQ(AnsiUpperCase(W(QStringLiteral("abc-яё µ"))), W(QStringLiteral("ABC-ЯЁ µ")));
}

TEST_F(Store, TaskRowsAreRememberedByPosition)
{
    for (int i = 0; i < 2; ++i) {
        dm.tbTasks->Append();
        dm.tbTasks->SetAsInteger(TdmSet::tkId, i);
        dm.tbTasks->Post();
    }
    dm.RememberTaskRows();
    EXPECT_EQ(dm.TaskRowSetup.Ordinal, 1);
    EXPECT_EQ(dm.TaskRowMoneyOut.Ordinal, 2);
    EXPECT_EQ(dm.TaskRowMoneyIn.Ordinal, 2) << "a missing third row names the last";

    // The positions survive a reload of the list, as ordinals.
    dm.tbTasks->EmptyTable();
    for (int i = 10; i < 13; ++i) {
        dm.tbTasks->Append();
        dm.tbTasks->SetAsInteger(TdmSet::tkId, i);
        dm.tbTasks->Post();
    }
    dm.tbTasks->GotoBookmark(dm.TaskRowMoneyOut);
    EXPECT_EQ(dm.tbTasks->AsInteger(TdmSet::tkId), 11);
    dm.RememberTaskRows();
    EXPECT_EQ(dm.TaskRowMoneyIn.Ordinal, 3);

    dm.ForgetTaskRows();
    EXPECT_FALSE(dm.TaskRowSetup.IsValid());
    EXPECT_FALSE(dm.TaskRowMoneyIn.IsValid());
}

TEST_F(Store, ValidationRunsItsChecksInOrder)
{
    // Every fault at once: the first check in order is the one reported.
    AddField(W(QStringLiteral("Сумма#")), "", "", "bogus", W(QStringLiteral("ф")));
    EXPECT_EQ(Check(), QStringLiteral("1: Название должно состоять только из латинских букв"));
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfName, "ab#c");
    dm.tbSet->Post();
    EXPECT_EQ(Check(), QStringLiteral("3: Укажите длину поля"));
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfLength, "256");
    dm.tbSet->Post();
    EXPECT_EQ(Check(), QStringLiteral("8: Название функции не может содержать русских букв"));
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfFunc, "f^X 1+2");
    dm.tbSet->Post();
    EXPECT_EQ(Check(), QStringLiteral("2: Указан некорректный тип данных")) << "empty type";
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfType, "notype");
    dm.tbSet->Post();
    EXPECT_EQ(Check(), QStringLiteral("2: Укажите тип данных"));
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfType, "string");
    dm.tbSet->Post();
    EXPECT_EQ(Check(), QStringLiteral("5: Указана несуществующая характеристика объекта Вельм"));
    EXPECT_TRUE(dm.CheckedMapx.isEmpty());
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfMAPX, W(QStringLiteral("пп[PL summa] СУММА")));
    dm.tbSet->Post();
    EXPECT_EQ(Check(), QStringLiteral("1: Символ \"#\" запрещен"));
    EXPECT_EQ(dm.CheckedMapx.size(), 1) << "the characteristic counts once it passed its checks";

    // A row that passes: digits, blanks and signs in the name, an empty name too.
    dm.CheckedMapx.clear();
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfName, "SUM 1-2");
    dm.tbSet->Post();
    EXPECT_EQ(Check(), QStringLiteral("ok"));
    dm.tbSet->Edit();
    dm.tbSet->SetAsString(TdmSet::sfName, "");
    dm.tbSet->SetAsString(TdmSet::sfMAPX, "");
    dm.tbSet->Post();
    EXPECT_EQ(Check(), QStringLiteral("ok"));
    EXPECT_EQ(dm.tbSet->AsString(TdmSet::sfType), "string") << "the row is left as typed";
}

TEST_F(Store, SecondUseOfACharacteristicIsTheOneReported)
{
    AddField("A", "STRING", "10", W(QStringLiteral("ПП[PL SUMMA] Сумма")));
    AddField("B", "STRING", "10", W(QStringLiteral("ПП[PL NOMER] Номер")));
    AddField("C", "STRING", "10", W(QStringLiteral("пп[pl summa] сумма"))); // case differs
    dm.CheckedMapx.clear();
    QStringList results;
    for (dm.tbSet->First(); !dm.tbSet->Eof(); dm.tbSet->Next())
        results << Check();
    EXPECT_EQ(results, (QStringList{QStringLiteral("ok"), QStringLiteral("ok"),
                                    QStringLiteral("5: Эта характеристика уже указана выше")}));
}

TEST_F(Store, PreparationNormalisesAndPostsTheRow)
{
    AddField("x", "STRING", "5");
    AddField("ab", "string", "10", "ABC[PL SUMMA]");
    dm.tbSet->Edit();
    dm.tbSet->SetAsInteger(TdmSet::sfPrecision, 15);
    dm.tbSet->SetAsInteger(TdmSet::sfId, 77);
    dm.tbSet->Post();
    dm.SetModified = false;

    dm.PrepareSetField();
    EXPECT_TRUE(dm.SetModified);
    EXPECT_EQ(dm.tbSet->State(), TMemTableState::Browse);
    EXPECT_EQ(dm.tbSet->AsInteger(TdmSet::sfId), 2);
    EXPECT_EQ(dm.tbSet->AsString(TdmSet::sfName), "AB");
    EXPECT_EQ(dm.tbSet->AsString(TdmSet::sfType), "string");
    EXPECT_EQ(dm.tbSet->AsInteger(TdmSet::sfTypeId), 1);
    EXPECT_EQ(dm.tbSet->AsInteger(TdmSet::sfPrecision), 15);
    EXPECT_EQ(dm.tbSet->AsString(TdmSet::sfOb), "PL");
    EXPECT_EQ(dm.tbSet->AsString(TdmSet::sfIh), "SUMMA");

    const auto obIh = [this](const QByteArray &mapx) {
        dm.tbSet->Edit();
        dm.tbSet->SetAsString(TdmSet::sfMAPX, mapx);
        dm.tbSet->Post();
        dm.PrepareSetField();
        return dm.tbSet->AsString(TdmSet::sfOb) + "|" + dm.tbSet->AsString(TdmSet::sfIh);
    };
    EXPECT_EQ(obIh("ABC[PL]"), "PL]|");
    EXPECT_EQ(obIh("A B[PL SUMMA]"), "|B[PL");
    EXPECT_EQ(obIh("A[B[C D]E]"), "B|D");
    EXPECT_EQ(obIh(""), "|");
    EXPECT_TRUE(dm.tbSet->IsNull(TdmSet::sfOb));
}

TEST_F(Store, NextSettingIdAndNames)
{
    EXPECT_EQ(dm.NextSettingId(), 1);
    EXPECT_FALSE(dm.SettingNameExists("s"));
    const auto ids = [this](std::initializer_list<qint64> list) {
        dm.tbSets->EmptyTable();
        for (qint64 id : list)
            AddSetting(id);
        return dm.NextSettingId();
    };
    EXPECT_EQ(ids({1, 2, 5}), 3);
    EXPECT_EQ(dm.tbSets->RecNo(), 3) << "left on the row the new setting goes before";
    EXPECT_EQ(ids({2, 3}), 1);
    EXPECT_EQ(ids({1, 2, 3}), 4);

    dm.tbSets->EmptyTable();
    AddSetting(1, W(QStringLiteral("Выписка")));
    EXPECT_TRUE(dm.SettingNameExists(W(QStringLiteral("Выписка"))));
    EXPECT_FALSE(dm.SettingNameExists(W(QStringLiteral("выписка")))) << "exact comparison";
}

TEST_F(Store, KeysOfUnsavedSettings)
{
    const QByteArray key = TdmSet::NewSettingKey(W(QStringLiteral("Сбербанк")), 12);
    EXPECT_EQ(key, W(QStringLiteral("Сбербанк"))
                       + "\x02"
                         "12");
    EXPECT_FALSE(dm.IsNewSettingKey(key));
    dm.AddNewSettingKey(key);
    EXPECT_TRUE(dm.IsNewSettingKey(TdmSet::NewSettingKey(W(QStringLiteral("СБЕРБАНК")), 12)));
    EXPECT_FALSE(dm.IsNewSettingKey(TdmSet::NewSettingKey(W(QStringLiteral("Сбербанк")), 1)));
    dm.RemoveNewSettingKey(TdmSet::NewSettingKey(W(QStringLiteral("сбербанк")), 12));
    EXPECT_TRUE(dm.NewSettings.isEmpty());
}
