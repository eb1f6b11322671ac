#pragma once
// Client-bank files for the tests, written with shapelib: each record as its raw bytes, so that
// any value (NUL bytes, separators, damaged numbers) and the deletion flag can be put in; and
// dBASE III and IV memo files written by hand, since shapelib does not write them.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <shapefil.h>

#include <gtest/gtest.h>

struct TestField
{
    const char *Name;
    char Type;
    int Width;
    int Decimals = 0;
};

struct TestRecord
{
    QList<QByteArray> Values; // numbers are right-aligned in their width, the rest left-aligned
    bool Deleted = false;
};

// Writes FILE with the fields and records; false (with a test failure) when shapelib refuses.
inline bool WriteDbf(const QString &path, const QList<TestField> &fields, const QList<TestRecord> &records,
                     const char *codePage = "LDID/38")
{
    DBFHandle h = DBFCreateEx(QFile::encodeName(path).constData(), codePage);
    if (!h) {
        ADD_FAILURE() << "shapelib cannot create " << path.toStdString();
        return false;
    }
    for (const TestField &f : fields)
        if (DBFAddNativeFieldType(h, f.Name, f.Type, f.Width, f.Decimals) < 0) {
            ADD_FAILURE() << "shapelib refuses the field " << f.Name;
            DBFClose(h);
            return false;
        }
    for (int r = 0; r < records.size(); ++r) {
        QByteArray tuple(1, records[r].Deleted ? '*' : ' ');
        for (int i = 0; i < fields.size(); ++i) {
            QByteArray v = records[r].Values.value(i).left(fields[i].Width);
            const QByteArray pad(fields[i].Width - v.size(), ' ');
            tuple += fields[i].Type == 'N' || fields[i].Type == 'F' ? pad + v : v + pad;
        }
        if (!DBFWriteTuple(h, r, tuple.data())) {
            ADD_FAILURE() << "shapelib cannot write record " << r + 1;
            DBFClose(h);
            return false;
        }
    }
    DBFClose(h);
    return true;
}

// A dBASE III memo file: a 512-byte header, then each text from its own block, ended by
// 0x1A 0x1A. blocks receives each text's block number as the M field holds it.
inline QByteArray Dbt3(const QList<QByteArray> &texts, QList<QByteArray> &blocks)
{
    QByteArray body;
    int next = 1;
    blocks.clear();
    for (const QByteArray &t : texts) {
        blocks << QByteArray::number(next);
        QByteArray block = t + "\x1A\x1A";
        block += QByteArray((512 - block.size() % 512) % 512, '\0');
        body += block;
        next += int(block.size() / 512);
    }
    QByteArray head(512, '\0');
    head[0] = char(next & 0xFF);
    head[1] = char((next >> 8) & 0xFF);
    head[16] = 0x03;
    return head + body;
}

inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
