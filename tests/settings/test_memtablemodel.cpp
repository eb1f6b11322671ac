// The item model over a memory table: cells read in place, the row notifications a view
// needs for inserts, deletes, posts and refills, and edits that go through the table.
#include "memtablemodel.h"

#include "ScriptedUi.h"
#include "codepage.h"

#ifdef VELM_HAVE_QTTEST
#include <QAbstractItemModelTester>
#endif

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Model : ::testing::Test
{
    TMemTable t;
    int name = t.AddTextField(QStringLiteral("Name"), 40);
    int sum = t.AddIntegerField(QStringLiteral("Sum"));
    int on = t.AddLogicalField(QStringLiteral("Include"));
    TMemTableModel m{&t};
    QStringList log; // what a view was told
#ifdef VELM_HAVE_QTTEST
    // Checks every notification against what the model reports before and after it.
    std::unique_ptr<QAbstractItemModelTester> tester;
#endif

    void SetUp() override
    {
        t.Open();
#ifdef VELM_HAVE_QTTEST
        tester = std::make_unique<QAbstractItemModelTester>(
            &m, QAbstractItemModelTester::FailureReportingMode::Fatal);
#endif
        QObject::connect(&m, &QAbstractItemModel::rowsInserted, [this](auto &, int a, int b) {
            log << QStringLiteral("inserted %1-%2").arg(a).arg(b);
        });
        QObject::connect(&m, &QAbstractItemModel::rowsRemoved, [this](auto &, int a, int b) {
            log << QStringLiteral("removed %1-%2").arg(a).arg(b);
        });
        QObject::connect(&m, &QAbstractItemModel::dataChanged,
                         [this](const QModelIndex &a, const QModelIndex &b) {
                             log << QStringLiteral("changed %1,%2-%3,%4")
                                        .arg(a.row())
                                        .arg(a.column())
                                        .arg(b.row())
                                        .arg(b.column());
                         });
        QObject::connect(&m, &QAbstractItemModel::modelReset, [this] { log << QStringLiteral("reset"); });
    }

    void Add(const QString &text, qint64 value, bool insert = false)
    {
        insert ? t.Insert() : t.Append();
        t.SetAsString(name, ToWin1251(text));
        t.SetAsInteger(sum, value);
        t.SetAsBoolean(on, value > 0);
        t.Post();
    }
    QVariant At(int row, int col, int role = Qt::DisplayRole) const
    {
        return m.data(m.index(row, col), role);
    }
};

} // namespace

TEST_F(Model, CellsHeadersAndRoles)
{
    Add(QStringLiteral("Иванов"), 5);
    Add(QStringLiteral("Петров"), 0);
    EXPECT_EQ(m.rowCount(), 2);
    EXPECT_EQ(m.columnCount(), 3);
    EXPECT_EQ(At(0, name).toString(), QStringLiteral("Иванов"));
    EXPECT_EQ(At(1, sum).toString(), QStringLiteral("0"));
    EXPECT_EQ(At(0, on, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    EXPECT_EQ(At(1, on, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    EXPECT_FALSE(At(0, name, Qt::CheckStateRole).isValid());
    EXPECT_EQ(At(0, name, TMemTableModel::MaxLengthRole).toInt(), 40);
    EXPECT_FALSE(At(0, sum, TMemTableModel::MaxLengthRole).isValid());
    EXPECT_FALSE(At(2, name).isValid());
    EXPECT_FALSE(At(0, 3).isValid());

    EXPECT_EQ(m.headerData(sum, Qt::Horizontal).toString(), QStringLiteral("Sum"));
    m.SetCaption(sum, QStringLiteral("Сумма"));
    EXPECT_EQ(m.headerData(sum, Qt::Horizontal).toString(), QStringLiteral("Сумма"));
    EXPECT_EQ(m.headerData(sum, Qt::Horizontal, TMemTableModel::FieldNameRole).toString(),
              QStringLiteral("Sum"));
    m.SetAlignment(sum, Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_EQ(At(1, sum, Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_FALSE(At(1, name, Qt::TextAlignmentRole).isValid());
    EXPECT_FALSE(m.flags(m.index(0, name)).testFlag(Qt::ItemIsEditable));
}

TEST_F(Model, ViewsAreToldWhichRowsChanged)
{
    Add(QStringLiteral("a"), 1);
    Add(QStringLiteral("b"), 2);
    t.First();
    t.Next();
    log.clear();
    Add(QStringLiteral("between"), 3, true);
    EXPECT_EQ(log, (QStringList{QStringLiteral("inserted 1-1"), QStringLiteral("changed 1,0-1,2")}));
    EXPECT_EQ(At(1, name).toString(), QStringLiteral("between"));

    log.clear();
    t.First();
    t.Delete();
    EXPECT_EQ(log, QStringList{QStringLiteral("removed 0-0")});

    log.clear();
    t.Edit();
    t.SetAsInteger(sum, 9);
    t.Cancel();
    t.EmptyTable();
    EXPECT_EQ(log, (QStringList{QStringLiteral("changed 0,0-0,2"), QStringLiteral("reset")}));
    EXPECT_EQ(m.rowCount(), 0);

    // A fill with controls disabled reaches the view as one reset.
    log.clear();
    t.DisableControls();
    for (int i = 0; i < 50; ++i)
        Add(QStringLiteral("r"), i, true);
    t.EnableControls();
    EXPECT_EQ(log, QStringList{QStringLiteral("reset")});
    EXPECT_EQ(m.rowCount(), 50);

    // A new structure, while closed, resets the columns.
    log.clear();
    t.Close();
    t.ClearFields();
    t.AddTextField(QStringLiteral("Only"), 1);
    t.Open();
    EXPECT_EQ(m.columnCount(), 1);
    EXPECT_EQ(m.rowCount(), 0);
    EXPECT_EQ(log.count(QStringLiteral("reset")), 4);
}

TEST_F(Model, EditsGoThroughTheTableAndRefusalsKeepTheValue)
{
    QStringList refusals;
    QObject counters; // the fixture's model and table outlive the counts: the connections go first
    QObject::connect(&m, &TMemTableModel::EditRefused, &counters,
                     [&refusals](const QString &r) { refusals << r; });
    Add(QStringLiteral("a"), 1);
    Add(QStringLiteral("b"), 2);
    EXPECT_FALSE(m.setData(m.index(0, sum), QStringLiteral("7"))) << "read-only until allowed";
    m.SetEditable(true);
    EXPECT_TRUE(m.flags(m.index(0, sum)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(m.flags(m.index(0, on)).testFlag(Qt::ItemIsUserCheckable));

    int posts = 0;
    QObject::connect(&t, &TMemTable::AfterPost, &counters, [&posts] { ++posts; });
    EXPECT_TRUE(m.setData(m.index(0, sum), QStringLiteral("7")));
    EXPECT_EQ(t.IntegerAt(0, sum), 7);
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_TRUE(m.setData(m.index(1, name), QStringLiteral("Сидоров")));
    EXPECT_EQ(t.TextAt(1, name), ToWin1251(QStringLiteral("Сидоров")));
    EXPECT_TRUE(m.setData(m.index(1, on), int(Qt::Unchecked), Qt::CheckStateRole));
    EXPECT_FALSE(t.IntegerAt(1, on));
    EXPECT_EQ(posts, 3);

    EXPECT_FALSE(m.setData(m.index(0, sum), QStringLiteral("семь")));
    EXPECT_EQ(t.IntegerAt(0, sum), 7);
    EXPECT_EQ(t.State(), TMemTableState::Browse);
    EXPECT_EQ(refusals, QStringList{QStringLiteral("'семь' is not a valid integer value for field 'Sum'")});
}
