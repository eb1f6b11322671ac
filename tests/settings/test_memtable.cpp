// The memory table: typed fields and their refusals, the cursor with its flags, inserting
// before the current row, edits, remembered positions, and the row storage under long
// random sequences of operations.
#include "memtable.h"

#include "codepage.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Counts the emissions of a signal.
struct SignalCount
{
    template <typename Signal>
    SignalCount(const TMemTable *t, Signal signal)
    {
        QObject::connect(t, signal, [this] { ++n; });
    }
    int count() const { return n; }
    int n = 0;
};

// Refusal text of a call, or empty when it was not refused.
template <typename F>
QString Refusal(F &&f)
{
    try {
        f();
    } catch (const EMemTableError &e) {
        return e.Text;
    }
    return {};
}

// A table of the shape of the setting fields: text, ranged and free integers, logical.
struct Fields : ::testing::Test
{
    TMemTable t;
    int name = t.AddTextField(QStringLiteral("Name"), 5);
    int length = t.AddIntegerField(QStringLiteral("Length"), 0, 256);
    int id = t.AddIntegerField(QStringLiteral("Id"));
    int on = t.AddLogicalField(QStringLiteral("Include"));
    void SetUp() override { t.Open(); }

    void AddNamed(const QByteArray &value, bool insert = false)
    {
        insert ? t.Insert() : t.Append();
        t.SetAsString(name, value);
        t.Post();
    }
    QList<QByteArray> Names() const
    {
        QList<QByteArray> out;
        for (int r = 0; r < t.RecordCount(); ++r)
            out << t.StringAt(r, name);
        return out;
    }
};

} // namespace

TEST_F(Fields, IntegerFieldsConvertRefuseAndKeepTheFormerValue)
{
    t.Append();
    t.SetAsString(length, "12");
    EXPECT_EQ(t.AsInteger(length), 12);
    EXPECT_EQ(t.AsString(length), "12");

    EXPECT_EQ(Refusal([&] { t.SetAsString(length, "12a"); }),
              QStringLiteral("'12a' is not a valid integer value for field 'Length'"));
    EXPECT_EQ(Refusal([&] { t.SetAsString(length, " "); }),
              QStringLiteral("' ' is not a valid integer value for field 'Length'"));
    EXPECT_EQ(Refusal([&] { t.SetAsString(length, "257"); }),
              QStringLiteral("257 is not a valid value for field 'Length'. "
                             "The allowed range is 0 to 256"));
    EXPECT_EQ(Refusal([&] { t.SetAsInteger(length, -1); }),
              QStringLiteral("-1 is not a valid value for field 'Length'. "
                             "The allowed range is 0 to 256"));
    EXPECT_EQ(t.AsInteger(length), 12) << "a refused value leaves the former one";

    // Without a range any integer goes, including the extremes; one past them is no integer.
    t.SetAsString(id, "-9223372036854775808");
    EXPECT_EQ(t.AsInteger(id), std::numeric_limits<qint64>::min());
    EXPECT_FALSE(Refusal([&] { t.SetAsString(id, "9223372036854775808"); }).isEmpty());
    t.SetAsString(id, "+7");
    EXPECT_EQ(t.AsInteger(id), 7);

    // The empty string makes the field empty, not zero.
    t.SetAsString(length, "");
    EXPECT_TRUE(t.IsNull(length));
    EXPECT_EQ(t.AsString(length), "");
    t.SetAsInteger(length, 0);
    EXPECT_FALSE(t.IsNull(length));
    t.Post();
    EXPECT_EQ(t.StringAt(0, length), "0");
}

TEST_F(Fields, TextIsKeptWholeAndEmptyReadsAsAbsent)
{
    // Longer than the width and with every kind of byte: what comes in goes out unchanged.
    const QByteArray long1251 = ToWin1251(QStringLiteral("Платёжное поручение")) + "\x7f\xff";
    t.Append();
    t.SetAsString(name, long1251);
    t.Post();
    EXPECT_EQ(t.AsString(name), long1251);
    EXPECT_EQ(t.TextAt(0, name), long1251);
    EXPECT_EQ(t.FieldDef(name).Size, 5);

    t.Edit();
    t.SetAsString(name, "");
    t.Post();
    EXPECT_TRUE(t.IsNull(name));
    EXPECT_TRUE(t.IsNullAt(0, name));

    // Logical fields read True/False, 1/0 and leading parts of the words, nothing else.
    t.Edit();
    t.SetAsString(on, "t");
    EXPECT_TRUE(t.AsBoolean(on));
    t.SetAsString(on, "0");
    EXPECT_FALSE(t.AsBoolean(on));
    EXPECT_FALSE(t.IsNull(on));
    EXPECT_EQ(t.AsString(on), "False");
    EXPECT_EQ(Refusal([&] { t.SetAsString(on, "yes"); }),
              QStringLiteral("'yes' is not a valid boolean value for field 'Include'"));
    t.SetAsString(on, "");
    EXPECT_TRUE(t.IsNull(on));
    t.Post();

    // Values are written only in Edit or Insert state.
    EXPECT_EQ(Refusal([&] { t.SetAsString(name, "x"); }),
              QStringLiteral("Dataset not in edit or insert mode"));
    EXPECT_EQ(Refusal([&] { t.Post(); }), QStringLiteral("Dataset not in edit or insert mode"));
}

TEST_F(Fields, CursorFlagsOnEmptyOneAndThreeRows)
{
    EXPECT_TRUE(t.Bof());
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.RecNo(), 0);
    t.First();
    t.Next();
    EXPECT_TRUE(t.Bof() && t.Eof());
    EXPECT_TRUE(t.IsNull(name));

    AddNamed("a");
    t.First();
    EXPECT_TRUE(t.Bof());
    EXPECT_FALSE(t.Eof());
    t.Next();
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.RecNo(), 1);

    AddNamed("b");
    AddNamed("c");
    // The usual walk sees every row once, in order.
    QList<QByteArray> seen;
    for (t.First(); !t.Eof(); t.Next())
        seen << t.AsString(name);
    EXPECT_EQ(seen, (QList<QByteArray>{"a", "b", "c"}));
    EXPECT_EQ(t.RecNo(), 3);

    t.Last();
    EXPECT_TRUE(t.Eof());
    EXPECT_FALSE(t.Bof());
    t.Prior();
    EXPECT_FALSE(t.Eof());
    EXPECT_FALSE(t.Bof());
    EXPECT_EQ(t.AsString(name), "b");
    t.Prior();
    EXPECT_FALSE(t.Bof()) << "Bof only after trying to move before the first row";
    t.Prior();
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_EQ(t.MoveBy(10), 2);
    EXPECT_TRUE(t.Eof());
}

TEST_F(Fields, InsertGoesBeforeTheCurrentRow)
{
    AddNamed("first", true); // into an empty table: the first row
    EXPECT_EQ(Names(), QList<QByteArray>{"first"});
    AddNamed("x", true);
    AddNamed("y", true);
    AddNamed("z", true);
    // Each before the one inserted just before it: the walk of an import from a file's end.
    EXPECT_EQ(Names(), (QList<QByteArray>{"z", "y", "x", "first"}));
    EXPECT_EQ(t.RecNo(), 1);

    t.SetRecNo(3);
    AddNamed("m", true);
    EXPECT_EQ(Names(), (QList<QByteArray>{"z", "y", "m", "x", "first"}));
    EXPECT_EQ(t.RecNo(), 3);
    AddNamed("end");
    EXPECT_EQ(t.RecNo(), 6);
    EXPECT_EQ(Names().back(), "end");
}

TEST_F(Fields, DeleteAndEmpty)
{
    EXPECT_EQ(Refusal([&] { t.Delete(); }),
              QStringLiteral("Cannot perform this operation on an empty dataset"));
    for (const char *n : {"a", "b", "c", "d"})
        AddNamed(n);
    t.SetRecNo(2);
    t.Delete();
    EXPECT_EQ(Names(), (QList<QByteArray>{"a", "c", "d"}));
    EXPECT_EQ(t.AsString(name), "c") << "the next row becomes current";
    t.Last();
    t.Delete();
    EXPECT_EQ(t.AsString(name), "c") << "deleting the last row makes the new last current";
    EXPECT_TRUE(t.Eof());
    t.EmptyTable();
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_TRUE(t.Bof() && t.Eof());
    AddNamed("again");
    EXPECT_EQ(Names(), QList<QByteArray>{"again"});
}

TEST_F(Fields, EditPostCancelAndTheAfterPostNotification)
{
    SignalCount posts(&t, &TMemTable::AfterPost);
    AddNamed("a");
    AddNamed("b");
    EXPECT_EQ(posts.count(), 2);

    t.First();
    t.Edit();
    t.SetAsString(name, "changed");
    t.SetAsInteger(length, 5);
    t.Cancel();
    EXPECT_EQ(t.AsString(name), "a");
    EXPECT_TRUE(t.IsNull(length));
    EXPECT_EQ(posts.count(), 2);

    // A pending edit is posted by moving on, as by Post.
    t.Edit();
    t.SetAsString(name, "kept");
    t.Next();
    EXPECT_EQ(t.State(), TMemTableState::Browse);
    EXPECT_EQ(t.StringAt(0, name), "kept");
    EXPECT_EQ(posts.count(), 3);

    // A new row that is cancelled disappears and the cursor returns to where it was.
    t.First();
    t.Insert();
    t.SetAsString(name, "gone");
    EXPECT_EQ(t.RecordCount(), 3);
    t.Cancel();
    EXPECT_EQ(Names(), (QList<QByteArray>{"kept", "b"}));
    EXPECT_EQ(t.AsString(name), "kept");
    t.Last();
    t.Append();
    t.Cancel();
    EXPECT_EQ(t.AsString(name), "b");

    // Edit on an empty table appends, as the data sets do.
    t.EmptyTable();
    t.Edit();
    EXPECT_EQ(t.State(), TMemTableState::Insert);
    EXPECT_EQ(t.RecordCount(), 1);
}

TEST_F(Fields, RememberedPositionsAreOrdinals)
{
    for (const char *n : {"a", "b", "c"})
        AddNamed(n);
    t.SetRecNo(3);
    const TBookmark third = t.GetBookmark();
    t.SetRecNo(2);
    const TBookmark second = t.GetBookmark();

    t.EmptyTable();
    AddNamed("x");
    AddNamed("y");
    t.GotoBookmark(second);
    EXPECT_EQ(t.AsString(name), "y");
    t.First();
    t.GotoBookmark(third); // there is no third row now: the cursor stays
    EXPECT_EQ(t.AsString(name), "x");
    t.GotoBookmark(TBookmark{});
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_EQ(TMemTable().GetBookmark().IsValid(), false);
}

TEST_F(Fields, StructureIsFixedWhileOpenAndCopiesAreIndependent)
{
    EXPECT_EQ(t.FieldIndex(QStringLiteral("LENGTH")), length);
    EXPECT_EQ(t.FieldByName(QStringLiteral("include")).Index(), on);
    EXPECT_EQ(Refusal([&] { t.FieldByName(QStringLiteral("Nope")); }),
              QStringLiteral("Field 'Nope' not found"));
    EXPECT_EQ(Refusal([&] { t.AddTextField(QStringLiteral("More"), 1); }),
              QStringLiteral("Cannot perform this operation on an open dataset"));
    t.Close();
    EXPECT_EQ(Refusal([&] { t.AddTextField(QStringLiteral("name"), 1); }),
              QStringLiteral("Duplicate field name 'name'"));
    EXPECT_EQ(Refusal([&] { t.First(); }),
              QStringLiteral("Cannot perform this operation on a closed dataset"));
    t.Open();

    AddNamed("a");
    t.Edit();
    t.SetAsBoolean(on, true);
    t.Post();
    AddNamed("b");
    TMemTable copy;
    copy.CopyFrom(t);
    EXPECT_EQ(copy.FieldCount(), 4);
    EXPECT_EQ(copy.RecordCount(), 2);
    EXPECT_EQ(copy.RecNo(), 1);
    EXPECT_TRUE(copy.AsBoolean(on));

    // Later changes of either side stay on that side.
    t.First();
    t.Edit();
    t.SetAsBoolean(on, false);
    t.Post();
    t.Delete();
    EXPECT_TRUE(copy.AsBoolean(on));
    EXPECT_EQ(copy.StringAt(0, name), "a");
    EXPECT_EQ(copy.RecordCount(), 2);
    copy.Edit();
    copy.SetAsString(name, "copy");
    copy.Post();
    EXPECT_EQ(t.StringAt(0, name), "b");
}

TEST_F(Fields, ViewSignalsAreHeldWhileControlsAreDisabled)
{
    SignalCount inserted(&t, &TMemTable::RowsInserted);
    SignalCount reset(&t, &TMemTable::ResetDone);
    SignalCount posts(&t, &TMemTable::AfterPost);
    t.DisableControls();
    t.DisableControls();
    AddNamed("a");
    AddNamed("b", true);
    t.EnableControls();
    EXPECT_EQ(reset.count(), 0) << "still disabled once";
    t.EnableControls();
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(reset.count(), 1) << "views that missed changes are reset once";
    EXPECT_EQ(posts.count(), 2) << "posts are told regardless";
    AddNamed("c");
    EXPECT_EQ(inserted.count(), 1);
}

// Long random sequences of every row operation against a plain list: the row storage moves
// its free space around, grows and shrinks, and must never lose, duplicate or reorder a row.
TEST(MemTableStorage, RandomOperationsMatchAPlainList)
{
    std::mt19937 rnd(20240611);
    for (int round = 0; round < 20; ++round) {
        TMemTable t;
        const int text = t.AddTextField(QStringLiteral("T"), 10);
        const int num = t.AddIntegerField(QStringLiteral("N"));
        t.Open();
        std::vector<int> ref;
        int cur = 0; // the reference cursor, meaningful when ref is not empty
        int serial = 0;
        for (int step = 0; step < 3000; ++step) {
            const int op = int(rnd() % 10);
            if (op <= 2) { // insert before the current row
                const int at = ref.empty() ? 0 : cur;
                t.Insert();
                t.SetAsInteger(num, serial);
                t.SetAsString(text, QByteArray::number(serial));
                t.Post();
                ref.insert(ref.begin() + at, serial++);
                cur = at;
            } else if (op == 3) {
                t.Append();
                t.SetAsInteger(num, serial);
                t.SetAsString(text, QByteArray::number(serial));
                t.Post();
                ref.push_back(serial++);
                cur = int(ref.size()) - 1;
            } else if (op == 4 && !ref.empty()) {
                t.Delete();
                ref.erase(ref.begin() + cur);
                cur = std::min(cur, std::max(0, int(ref.size()) - 1));
            } else if (op == 5 && !ref.empty()) { // edit in place
                t.Edit();
                t.SetAsInteger(num, -ref[size_t(cur)]);
                t.Post();
                ref[size_t(cur)] = -ref[size_t(cur)];
                t.Edit();
                t.SetAsInteger(num, -ref[size_t(cur)]);
                t.Post();
                ref[size_t(cur)] = -ref[size_t(cur)];
            } else if (!ref.empty()) { // move anywhere
                const int to = int(rnd() % ref.size());
                t.SetRecNo(to + 1);
                cur = to;
            }
            ASSERT_EQ(t.RecordCount(), int(ref.size()));
            if (!ref.empty()) {
                ASSERT_EQ(t.RecNo(), cur + 1);
                ASSERT_EQ(t.AsInteger(num), ref[size_t(cur)]);
            }
            if (rnd() % 1000 == 0)
                t.EmptyTable(), ref.clear(), cur = 0;
        }
        for (int r = 0; r < t.RecordCount(); ++r) {
            ASSERT_EQ(t.IntegerAt(r, num), ref[size_t(r)]) << "row " << r;
            ASSERT_EQ(t.TextAt(r, text), QByteArray::number(std::abs(ref[size_t(r)])));
        }
    }
}
