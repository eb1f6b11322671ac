// The memory table at the size of an import's intermediate table: rows of sixteen fields
// inserted each before the current row (the import's walk from the file's end), beside plain
// appends measured in the same run, at 1,000 and at 100,000 rows. Nothing quadratic may hide
// in the insert: its time per row at 100,000 rows must stay within 2 x its time at 1,000.
//   bench_memtable [ROWS]

#include "memtable.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct Shape
{
    TMemTable t;
    int include = 0;
    QList<int> texts;
    Shape()
    {
        for (const char *n : {"Ok", "Exist", "Open"})
            texts << t.AddTextField(QString::fromLatin1(n), 256);
        include = t.AddLogicalField(QStringLiteral("Include"));
        for (int c = 1; c <= 11; ++c)
            texts << t.AddTextField(QStringLiteral("C%1").arg(c), 256);
        texts << t.AddTextField(QStringLiteral("Transact"), 256);
        t.Open();
    }
};

// Nanoseconds per row to fill a fresh table with rows, inserting or appending.
double FillOnce(int rows, bool insert)
{
    Shape s;
    const QByteArray values[] = {"",           "",
                                 "",           "1234567",
                                 "2024-06-11", "40702810900000001234",
                                 "12500.00",   "\xce\xce\xce \xd0\xee\xec\xe0\xf8\xea\xe0"};
    QElapsedTimer timer;
    timer.start();
    for (int r = 0; r < rows; ++r) {
        if (insert)
            s.t.Insert();
        else
            s.t.Append();
        for (int f = 0; f < s.texts.size(); ++f)
            s.t.SetAsString(s.texts[f], values[(r + f) % std::size(values)]);
        s.t.SetAsBoolean(s.include, r % 3 != 0);
        s.t.Post();
    }
    const double ns = double(timer.nsecsElapsed()) / rows;
    if (s.t.RecordCount() != rows)
        std::abort();
    return ns;
}

// The best of a few runs, so that one unlucky pause of a shared machine does not count.
double PerRow(int rows, bool insert)
{
    const int runs = rows <= 1000 ? 200 : 5;
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, FillOnce(rows, insert));
    return best;
}

// Reading every cell by index, as a grid's model does.
double ReadPerRow(int rows)
{
    Shape s;
    for (int r = 0; r < rows; ++r) {
        s.t.Insert();
        s.t.SetAsString(s.texts[4], QByteArray::number(r));
        s.t.Post();
    }
    QElapsedTimer timer;
    timer.start();
    qsizetype total = 0;
    for (int r = 0; r < rows; ++r)
        for (int f = 0; f < s.t.FieldCount(); ++f)
            total += s.t.StringAt(r, f).size();
    const double ns = double(timer.nsecsElapsed()) / rows;
    if (total == 0)
        std::abort();
    return ns;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int big = argc > 1 ? std::max(2000, std::atoi(argv[1])) : 100000;
    const int small = 1000;

    const double insSmall = PerRow(small, true), insBig = PerRow(big, true);
    const double appSmall = PerRow(small, false), appBig = PerRow(big, false);
    const double readBig = ReadPerRow(big);

    std::printf("memtable insert before current: %7d rows %8.0f ns/row, %7d rows %8.0f ns/row,"
                " ratio %.2f\n",
                small, insSmall, big, insBig, insBig / insSmall);
    std::printf("memtable append (reference):    %7d rows %8.0f ns/row, %7d rows %8.0f ns/row,"
                " ratio %.2f\n",
                small, appSmall, big, appBig, appBig / appSmall);
    std::printf("memtable insert / append at %d rows: %.2f\n", big, insBig / appBig);
    std::printf("memtable read by index: %d rows %.0f ns/row (16 cells)\n", big, readBig);
    const bool linear = insBig <= 2 * insSmall;
    std::printf("insert walk linear (within 2 x the per-row time at %d rows): %s\n", small,
                linear ? "yes" : "NO");
    return linear ? 0 : 1;
}
