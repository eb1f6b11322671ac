// The DBF layer's operations on the settings store: a setting's fields read from a file, the
// structure check against a setting, positioning on a setting, and copying a named setting's
// fields from the server.
#include "importtest.h"

#include "Routines.h"
#include "dbfsettings.h"

#include <functional>

namespace {

class DbfSettings : public ImportTest
{
protected:
    // A tbSet row as the editor or the server leaves it.
    void AddSetField(const QByteArray &name, qint64 typeId, qint64 length)
    {
        dm.tbSet->Append();
        dm.tbSet->SetAsString(TdmSet::sfName, name);
        dm.tbSet->SetAsString(TdmSet::sfType, dm.TypeNames.value(int(typeId)));
        dm.tbSet->SetAsInteger(TdmSet::sfLength, length);
        dm.tbSet->SetAsInteger(TdmSet::sfTypeId, typeId);
        dm.tbSet->Post();
    }
    void AddSetting(qint64 id, const QByteArray &name)
    {
        dm.tbSets->Append();
        dm.tbSets->SetAsInteger(TdmSet::stId, id);
        dm.tbSets->SetAsString(TdmSet::stName, name);
        dm.tbSets->Post();
    }
    QString WriteSample()
    {
        const QString path = Path("sample.dbf");
        EXPECT_TRUE(WriteDbf(path,
                             {{"NUMDOC", 'C', 10},
                              {"SUMMA", 'N', 15, 2},
                              {"RATE", 'F', 19, 18},
                              {"PAID", 'L', 1},
                              {"DATEDOC", 'D', 8},
                              {"NOTE", 'M', 10}},
                             {}));
        // The memo file beside it: a dBASE III header alone.
        QByteArray dbt(512, '\0');
        dbt[0] = 1;
        dbt[16] = 3;
        QFile memo(Path("sample.dbt"));
        EXPECT_TRUE(memo.open(QIODevice::WriteOnly) && memo.write(dbt) == dbt.size());
        return path;
    }
    static const QString Aborted;
};

const QString DbfSettings::Aborted = QStringLiteral("error: Operation aborted");

TEST_F(DbfSettings, StructureOfAFileBecomesSettingFieldsInFileOrder)
{
    const QString path = WriteSample();
    // The rows go before the current one: an existing row stays after them.
    AddSetField("OLD", 1, 3);
    dm.tbSet->First();
    dm.SetModified = false;

    LoadDbfStructure(path);
    EXPECT_FALSE(tbDBF.Active()) << "the file is closed afterwards";
    EXPECT_TRUE(dm.SetModified) << "every post marks the setting changed";
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfName),
              (QList<QByteArray>{"NUMDOC", "SUMMA", "RATE", "PAID", "DATEDOC", "NOTE", "OLD"}));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfTypeId), (QList<QByteArray>{"1", "6", "6", "5", "9", "16", "1"}));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfType),
              (QList<QByteArray>{"STRING", "FLOAT", "FLOAT", "BOOLEAN", "DATE", "MEMO", "STRING"}));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfLength), (QList<QByteArray>{"10", "15", "19", "1", "8", "10", "3"}));
    // Floating fields keep their decimals, capped at 15; the others have none.
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfPrecision), (QList<QByteArray>{"0", "2", "15", "0", "0", "0", ""}));
    EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(u'\n').toStdString();
}

TEST_F(DbfSettings, FileThatCannotBeOpenedAddsNoFields)
{
    const QString missing = Path("missing.dbf");
    EXPECT_FALSE(LoadDbfStructure(missing));
    EXPECT_EQ(dm.tbSet->RecordCount(), 0);
    ASSERT_EQ(ui.Messages().size(), 1);
    EXPECT_TRUE(ui.Messages()[0].contains(missing)) << ui.Messages()[0].toStdString();

    const QString junk = Path("junk.dbf");
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100, 'x'));
    f.close();
    ui.Clear();
    EXPECT_FALSE(LoadDbfStructure(junk));
    EXPECT_EQ(dm.tbSet->RecordCount(), 0);
    EXPECT_EQ(ui.Messages().size(), 1);
}

TEST_F(DbfSettings, StructureCheckComparesNamesTypesAndLengths)
{
    const QString path = WriteSample();
    ASSERT_TRUE(OpenDbfFile(path));
    const QString checking = Progress(QStringLiteral("Проверка соответствия полей"), 2);

    // Lower-case names match, fields the setting does not name and the order do not matter.
    AddSetField("summa", 6, 15);
    AddSetField("numdoc", 1, 10);
    dm.tbSet->Last();
    EXPECT_TRUE(CheckDbfStructure(dm, engine.File.tbDBF));
    EXPECT_EQ(dm.tbSet->RecNo(), 1) << "the check leaves tbSet on its first row";
    EXPECT_EQ(ui.Events, (QStringList{checking, At(1, 2), At(2, 2), QStringLiteral("progress finish")}));

    // Each case changes the second row (the check itself moves tbSet to its first row).
    const auto second = [this](const std::function<void()> &change) {
        dm.tbSet->SetRecNo(2);
        dm.tbSet->Edit();
        change();
        dm.tbSet->Post();
        ui.Clear();
    };
    // A character field of width 12 against 10 in the file.
    second([this] { dm.tbSet->SetAsInteger(TdmSet::sfLength, 12); });
    EXPECT_FALSE(CheckDbfStructure(dm, engine.File.tbDBF));
    EXPECT_EQ(ui.Events, (QStringList{checking, At(1, 2), QStringLiteral("error caption: ") + Title, Aborted,
                                      QStringLiteral("progress finish")}));

    // Another type number.
    second([this] {
        dm.tbSet->SetAsInteger(TdmSet::sfLength, 10);
        dm.tbSet->SetAsInteger(TdmSet::sfTypeId, 6);
    });
    EXPECT_FALSE(CheckDbfStructure(dm, engine.File.tbDBF));
    EXPECT_TRUE(ui.Events.contains(Aborted));

    // A field the file lacks.
    second([this] {
        dm.tbSet->SetAsInteger(TdmSet::sfTypeId, 1);
        dm.tbSet->SetAsString(TdmSet::sfName, "NUMDOK");
    });
    EXPECT_FALSE(CheckDbfStructure(dm, engine.File.tbDBF));
    EXPECT_TRUE(ui.Events.contains(Aborted));

    second([this] { dm.tbSet->SetAsString(TdmSet::sfName, "NumDoc"); });
    EXPECT_TRUE(CheckDbfStructure(dm, engine.File.tbDBF));

    // No fields at all: false, and nothing is shown.
    dm.tbSet->EmptyTable();
    ui.Clear();
    EXPECT_FALSE(CheckDbfStructure(dm, engine.File.tbDBF));
    EXPECT_TRUE(ui.Events.isEmpty());
}

TEST_F(DbfSettings, StructureCheckWithoutAnOpenFileFails)
{
    AddSetField("NUMDOC", 1, 10);
    EXPECT_FALSE(CheckDbfStructure(dm, engine.File.tbDBF));
    EXPECT_TRUE(ui.Events.contains(Aborted));
    EXPECT_FALSE(ui.ProgressShown());
}

TEST_F(DbfSettings, LocateFindsIdsAsDecimalsAndNamesWithoutLatinCase)
{
    dm.tbSets->EmptyTable();
    AddSetting(1, "First");
    AddSetting(3, W(QStringLiteral("Второй")));
    AddSetting(12, "third");
    dm.tbSets->SetRecNo(2);

    EXPECT_FALSE(LocateRecord(*dm.tbSets, QStringLiteral("Id"), "2"));
    EXPECT_EQ(dm.tbSets->RecNo(), 2) << "not found: back on the row it stood on";
    EXPECT_FALSE(LocateRecord(*dm.tbSets, QStringLiteral("Id"), "012"));
    EXPECT_EQ(dm.tbSets->RecNo(), 2);
    EXPECT_TRUE(LocateRecord(*dm.tbSets, QStringLiteral("Id"), "12"));
    EXPECT_EQ(dm.tbSets->RecNo(), 3);
    EXPECT_TRUE(LocateRecord(*dm.tbSets, QStringLiteral("id"), "1"));
    EXPECT_EQ(dm.tbSets->RecNo(), 1);

    EXPECT_TRUE(LocateRecord(*dm.tbSets, QStringLiteral("Name"), "THIRD"));
    EXPECT_EQ(dm.tbSets->RecNo(), 3);
    EXPECT_TRUE(LocateRecord(*dm.tbSets, QStringLiteral("Name"), "fIRST"));
    EXPECT_EQ(dm.tbSets->RecNo(), 1);
    EXPECT_TRUE(LocateRecord(*dm.tbSets, QStringLiteral("Name"), W(QStringLiteral("Второй"))));
    EXPECT_EQ(dm.tbSets->RecNo(), 2);
    dm.tbSets->First();
    EXPECT_FALSE(LocateRecord(*dm.tbSets, QStringLiteral("Name"), W(QStringLiteral("ВТОРОЙ"))))
        << "only the letters a to z are folded";
    EXPECT_EQ(dm.tbSets->RecNo(), 1);

    dm.tbSets->EmptyTable();
    EXPECT_FALSE(LocateRecord(*dm.tbSets, QStringLiteral("Id"), "1"));
}

TEST_F(DbfSettings, SettingFieldsComeFromTheServerForTheSettingsId)
{
    AddSetting(11, "Copy me");
    AddSetting(12, "Copy me");
    dm.tbSets->First();
    AddSetField("STALE", 1, 1);
    peer.QueueCall(List({Rec({"1", "NUMDOC", "STRING", "6", "0", "", "", "", "", "1"}),
                         Rec({"2", "SUMMA", "FLOAT", "15", "2", "", "", "", "", "6"})}));

    EXPECT_TRUE(LoadSettingFieldsOf(dm, 12)) << "not the first of its name";
    EXPECT_EQ(Calls(), (QList<Elements>{{Routines::LoadSetRecs, Client, "12"}}));
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfName), (QList<QByteArray>{"NUMDOC", "SUMMA"}));
    EXPECT_EQ(dm.tbSets->RecNo(), 1) << "tbSets goes back to its row";
    EXPECT_TRUE(ui.Messages().isEmpty());
}

TEST_F(DbfSettings, UnknownSettingLeavesTheFields)
{
    AddSetting(12, "Copy me");
    dm.tbSets->Last();
    AddSetField("KEPT", 1, 1);

    EXPECT_FALSE(LoadSettingFieldsOf(dm, 99));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Operation aborted")});
    EXPECT_EQ(Column(dm.tbSet, TdmSet::sfName), QList<QByteArray>{"KEPT"});
    EXPECT_EQ(dm.tbSets->RecNo(), 2);
    EXPECT_TRUE(Calls().isEmpty());
}

TEST_F(DbfSettings, FailedLoadOfNamedSettingIsReported)
{
    peer.QueueCall(XapiPeer::Reply{{B("\x1b\x1b<UNDEFINED>LoadSetRecs+3^ZZ001a\0"), 0}});
    EXPECT_FALSE(LoadSettingFieldsOf(dm, 7));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("<UNDEFINED>LoadSetRecs+3^ZZ001a")});
    EXPECT_EQ(dm.tbSets->RecNo(), 1);
    EXPECT_FALSE(ui.ProgressShown());
}

} // namespace
