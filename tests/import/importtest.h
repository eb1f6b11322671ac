#pragma once
// What the import engine's tests against the scripted XAPI peer share: the settings store with
// its link opened through the profile, the engine over it, a task and a setting to import for,
// client-bank files written with shapelib, and the calls as they reached the peer.

#include "Connect.h"
#include "ScriptedUi.h"
#include "XapiPeer.h"
#include "codepage.h"
#include "data.h"
#include "dbfops.h"
#include "dbfsettings.h"
#include "taskdata.h"

#include <QFile>
#include <QTemporaryDir>

#include <shapefil.h>

#include <gtest/gtest.h>

template <size_t N>
inline QByteArray B(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}
inline QByteArray W(const QString &s) { return ToWin1251(s); }
using Elements = QList<QByteArray>;

inline QByteArray Rec(const QList<QByteArray> &fields, char sep = '\x02') { return fields.join(sep); }
// Records each ended by chr(1), as the server lists them.
inline QByteArray List(const QList<QByteArray> &items)
{
    QByteArray out;
    for (const QByteArray &i : items)
        out += i + '\x01';
    return out;
}

struct TestField
{
    const char *Name;
    char Type;
    int Width;
    int Decimals = 0;
};

struct TestRecord
{
    QList<QByteArray> Values; // raw: numbers right-aligned in their width, the rest left-aligned
    bool Deleted = false;
};

// A dBASE III file written by shapelib; false (with a test failure) when it refuses.
inline bool WriteDbf(const QString &path, const QList<TestField> &fields, const QList<TestRecord> &records)
{
    DBFHandle h = DBFCreateEx(QFile::encodeName(path).constData(), "LDID/38");
    if (!h) {
        ADD_FAILURE() << "shapelib cannot create " << path.toStdString();
        return false;
    }
    bool ok = true;
    for (const TestField &f : fields)
        ok = ok && DBFAddNativeFieldType(h, f.Name, f.Type, f.Width, f.Decimals) >= 0;
    for (int r = 0; ok && r < records.size(); ++r) {
        QByteArray tuple(1, records[r].Deleted ? '*' : ' ');
        for (int i = 0; i < fields.size(); ++i) {
            const QByteArray v = records[r].Values.value(i).left(fields[i].Width);
            const QByteArray pad(fields[i].Width - v.size(), ' ');
            tuple += fields[i].Type == 'N' || fields[i].Type == 'F' ? pad + v : v + pad;
        }
        ok = DBFWriteTuple(h, r, tuple.data()) != 0;
    }
    DBFClose(h);
    if (!ok)
        ADD_FAILURE() << "shapelib cannot write " << path.toStdString();
    return ok;
}

inline const QString Title = QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\"");

class ImportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ui.SetTitle(Title);
        ASSERT_TRUE(dir.isValid());
        ProfileFileName = dir.filePath(QStringLiteral("velmbank.ini"));
        QFile f(ProfileFileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[XAPI]\nServerType=MSM\nVersion=1\nUserName=gw\nPassWord=pw\nNameSpace=VELM\n"
                "Server=127.0.0.1\nPort="
                + QByteArray::number(peer.Port()) + "\n");
        f.close();
        ASSERT_TRUE(dm.Link.OpenConnection());
        dm.FillTypeNames();

        dm.tbTasks->Append();
        dm.tbTasks->SetAsInteger(TdmSet::tkId, 1);
        dm.tbTasks->SetAsString(TdmSet::tkName, TaskName);
        dm.tbTasks->SetAsString(TdmSet::tkClient, Client);
        dm.tbTasks->SetAsInteger(TdmSet::tkSet, 7);
        dm.tbTasks->SetAsString(TdmSet::tkSName, SetName);
        dm.tbTasks->Post();

        dm.tbSets->Append();
        dm.tbSets->SetAsInteger(TdmSet::stId, 7);
        dm.tbSets->SetAsString(TdmSet::stName, SetName);
        dm.tbSets->SetAsString(TdmSet::stClient, Client);
        dm.tbSets->SetAsInteger(TdmSet::stType, 1);
        dm.tbSets->Post();
    }
    QString Path(const char *name) const { return dir.filePath(QString::fromUtf8(name)); }
    // The DBF operations on the engine's own file and the store.
    bool OpenDbfFile(const QString &path) { return ::OpenDbfFile(link, engine.File, path); }
    QByteArray DbfRecordText() const { return ::DbfRecordText(link, tbDBF); }
    bool LoadDbfStructure(const QString &path) { return ::LoadDbfStructure(dm, path); }

    // Every call the peer received so far, as element lists.
    QList<Elements> Calls() const { return peer.Calls(); }
    QList<QByteArray> Column(TMemTable *t, int field) const
    {
        QList<QByteArray> out;
        for (int r = 0; r < t->RecordCount(); ++r)
            out << t->StringAt(r, field);
        return out;
    }
    static QString Progress(const QString &caption, int max)
    {
        return ScriptedUi::ProgressStartText(caption, max);
    }
    static QString At(int pos, int max) { return ScriptedUi::ProgressText(pos, max); }

    const QByteArray Client = W(QStringLiteral("Клиент-Банк Тест"));
    const QByteArray TaskName = W(QStringLiteral("Деньги: Расход"));
    const QByteArray SetName = W(QStringLiteral("Расход (тест)"));

    QTemporaryDir dir;
    ScriptedUi ui;
    XapiPeer peer;
    TdmSet dm;
    TdmTask engine{dm};
    // The store's link and the engine's file, under the names the engine gives them.
    TLink &link = dm.Link;
    QString &ProfileFileName = dm.Link.ProfileFileName;
    bool &KeepProtocol = dm.Link.KeepProtocol;
    bool &ShowErrors = dm.Link.ShowErrors;
    QList<QByteArray> &Protocol = dm.Link.Protocol;
    TDbfTable &tbDBF = engine.File.tbDBF;
};
