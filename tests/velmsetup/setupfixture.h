#pragma once
// One installation against the recording VisM double: a distribution file in a temporary
// folder, its header read, the stages wired to the double, recording windows, a fake clock and
// a scripted Ui.

#include "ScriptedUi.h"
#include "VisMDouble.h"
#include "codepage.h"
#include "distrib.h"
#include "distwriter.h"
#include "setuplog.h"
#include "stages.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable failure output for byte strings and texts.
inline void PrintTo(const QByteArray &bytes, std::ostream *os) { *os << '"' << bytes.toStdString() << '"'; }
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

inline QByteArray W(const char16_t *text) { return ToWin1251(QString::fromUtf16(text)); }
inline QByteArray Cp(const char16_t *text) { return ToCp866(QString::fromUtf16(text)); }
inline QString U(const char16_t *text) { return QString::fromUtf16(text); }

// A routine of count lines "name ;" then " s x=<i>".
inline TDistRoutine Routine(const QByteArray &name, int count = 2)
{
    TDistRoutine r{name, {name + " ;"}};
    for (int i = 1; i < count; ++i)
        r.Lines << " s x=" + QByteArray::number(i);
    return r;
}

inline TDistContent BasicContent()
{
    TDistContent c;
    c.Product = "Prod";
    c.Version = "2.8";
    c.BuildDate = "09.12.2024";
    c.Key = 77;
    c.SourcePass = "pw";
    return c;
}

// A file the writer would refuse: plain body bytes after a plain header, scrambled with key.
inline QByteArray RawDistribution(int key, const QByteArray &plainBody)
{
    QByteArray file = QByteArray("V") + char(key) + "Prod\r2.8\r09.12.2024\r";
    for (char c : plainBody) {
        const int p = static_cast<unsigned char>(c);
        file.append(static_cast<char>(p >= key ? p - key : p - key + 255));
    }
    return file;
}

class SetupTest : public ::testing::Test
{
protected:
    void Load(const TDistContent &content) { LoadBytes(WriteDistribution(content)); }
    void LoadBytes(const QByteArray &bytes)
    {
        const QString path = Dir.filePath(QStringLiteral("velminstal.dat"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        Distrib = std::make_unique<TDistrib>(path);
        ASSERT_TRUE(Distrib->ReadHeader(Log));
        Log.Lines.clear();
        Stages = std::make_unique<TSetupStages>(*Distrib, VisM, Log, Windows, Clock);
    }
    // The log as text, from the first line on.
    QStringList LogText() const
    {
        QStringList out;
        for (const QByteArray &l : Log.Lines)
            out << FromWin1251(l);
        return out;
    }
    // Runs check and program stage as the install page does.
    bool RunRestoreStages() { return Stages->RunCheckStage() && Stages->RunProgramStage(); }

    QTemporaryDir Dir;
    TSetupLog Log;
    std::unique_ptr<TDistrib> Distrib;
    TVisMDouble VisM;
    TRecordingWindows Windows;
    TFakeClock Clock;
    ScriptedUi Operator; // the seam for this test
    std::unique_ptr<TSetupStages> Stages;
};
