#pragma once
// Test doubles of the installer core: a VisM layer that records every member set and every run
// and answers from a script, progress and background windows that record what they were told,
// and a clock that only moves when the stages sleep or a test says so.

#include "VisM.h"
#include "setupwindows.h"

#include <QByteArrayList>
#include <QMap>
#include <QStringList>

#include <functional>
#include <optional>

class TVisMDouble : public TVisM
{
public:
    struct TRun
    {
        QByteArray Code;
        QByteArray NameSpace;
        QByteArray P1;
        QByteArray P2;
        bool ByExecFlag = false; // false: the run method
    };

    // Every member set as "Member=value" and every run of the run method as "Execute(code)",
    // in order. A run by ExecFlag shows as "ExecFlag=1".
    QByteArrayList Events;
    QList<TRun> Runs;
    QByteArrayList Codes() const; // the code of every run, in order

    // Runs of exactly code take the replies in order; the last one repeats.
    void Answer(const QByteArray &code, QList<TVisMReply> replies);
    void AnswerValue(const QByteArray &code, const QByteArrayList &values);
    void Fail(const QByteArray &code, const QByteArray &errorName);
    // Asked before the scripted answers; nullopt passes the run on to them.
    std::function<std::optional<TVisMReply>(const TRun &)> Handler;
    // Runs nobody scripted get this.
    TVisMReply Default;

protected:
    TVisMReply Run(const QByteArray &code, bool byExecFlag) override;
    void MemberSet(TVisMMember member, const QByteArray &value) override;

private:
    QMap<QByteArray, QList<TVisMReply>> FScript;
};

class TRecordingWindows : public TSetupWindows
{
public:
    QStringList Events;    // "message: ...", "gauge: 3/10", "slide 2", ...
    QList<int> FailSlides; // slides whose picture cannot be loaded

protected:
    void Changed(TSetupPart part) override;
    void LoadSlide(int k) override;
};

class TFakeClock : public TSetupClock
{
public:
    TFakeClock();
    QDateTime Now() const override { return FNow; }
    qint64 Ticks() const override { return FTicks; }
    void Sleep(int ms) override;
    QString TimeText(const QTime &time) const override;
    void Advance(qint64 ms);

    QList<int> Sleeps;
    std::function<void(int)> OnSleep; // runs after the clock moved

private:
    QDateTime FNow;
    qint64 FTicks = 0;
};
