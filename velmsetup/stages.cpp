// The check stage, the program stage and the routine restore they share.

#include "stages.h"

#include "Ui.h"
#include "VisM.h"
#include "codepage.h"
#include "distrib.h"
#include "setuplog.h"

#include <QRegularExpression>

namespace {

QByteArray W(const QString &text) { return ToWin1251(text); }

// Closes the distribution on every way out of a stage; Close keeps where reading stands.
struct TKeepReading
{
    explicit TKeepReading(TDistrib &d) : Distrib(d) {}
    ~TKeepReading()
    {
        if (Distrib.IsOpen())
            Distrib.Close();
    }
    TKeepReading(const TKeepReading &) = delete;
    TKeepReading &operator=(const TKeepReading &) = delete;
    TDistrib &Distrib;
};

} // namespace

void ReportDistribError(const EDistribError &e, TSetupLog &log)
{
    Ui().ShowError(FromWin1251(e.Message));
    log.Add(W(QStringLiteral("Ошибка GUI приложения: ")) + e.Message);
}

bool IsMRoutineName(const QByteArray &name)
{
    static const QRegularExpression re(QStringLiteral("^[%A-Za-z][A-Za-z0-9]{0,30}$"));
    return re.match(QString::fromLatin1(name)).hasMatch();
}

QList<TTransfer> CutTransfers(const QList<QByteArray> &sourceLines, int limit)
{
    QList<TTransfer> transfers;
    qsizetype i = 0;
    while (i < sourceLines.size()) {
        TTransfer t{int(i + 1), sourceLines[i]};
        ++i;
        // A line is appended while the text is still shorter than the limit, so a transfer may
        // pass it by one line and its CR LF.
        while (t.Text.size() < limit && i < sourceLines.size()) {
            t.Text.append("\r\n");
            t.Text.append(sourceLines[i]);
            ++i;
        }
        transfers.append(std::move(t));
    }
    return transfers;
}

QByteArray SaveBufferCode(const QByteArray &routine)
{
    return "ZR  X \"s i=\"\"\"\",q=$C(13,10) f  s i=$o(text(i)) Q:i=\"\"\"\"  s s=\"\"\"\" f "
           "k=1:1:$l(text(i),q) s s=$p(text(i),q,k) ZI s\" ZS "
           + routine;
}

QByteArray RestoreCode(const QByteArray &routine)
{
    return "k ^rMAC(\"" + routine + "\") " + SaveBufferCode(routine);
}

TSetupStages::TSetupStages(TDistrib &distrib, TVisM &vism, TSetupLog &log, TSetupWindows &windows,
                           TSetupClock &clock)
    : FDistrib(distrib), FVisM(vism), FLog(log), FWindows(windows), FClock(clock)
{}

void TSetupStages::Log(const QString &line) { FLog.Add(line); }

void TSetupStages::LogError(const std::exception &e)
{
    // Our own exceptions carry Windows-1251 text.
    FLog.Add(W(QStringLiteral("Ошибка GUI приложения: ")) + QByteArray(e.what()));
}

bool TSetupStages::Failed(const std::exception &e)
{
    if (const auto *unread = dynamic_cast<const EDistribError *>(&e)) {
        FWindows.StopAnimation();
        ReportDistribError(*unread, FLog);
    } else {
        LogError(e);
    }
    return false;
}

QString TSetupStages::Product() const
{
    return FromWin1251(FDistrib.ProductName) + QLatin1Char(' ') + FromWin1251(FDistrib.Version);
}

void TSetupStages::SetStageTitle(const QString &what)
{
    Ui().SetTitle(QStringLiteral("Установка ") + Product() + QStringLiteral(". ") + what
                  + QString::number(FWindows.Percent()) + QLatin1Char('%'));
}

bool TSetupStages::AskWizard(const QString &question)
{
    // The questions of these stages carry the wizard's caption, whatever the title says now.
    return Ui().AskYesNo(question, TAnswer::Yes, QString::fromLatin1(WizardCaption)) == TAnswer::Yes;
}

bool TSetupStages::AskStop() { return AskWizard(QStringLiteral("Прервать установку?")); }

void TSetupStages::JournalOff()
{
    FVisM.SetCode("d DISABLE^%NOJRN");
    FVisM.SetExecFlag(1);
}

void TSetupStages::JournalOn()
{
    FVisM.SetCode("d ENABLE^%NOJRN");
    FVisM.SetExecFlag(1);
}

void TSetupStages::RestoreFailed(const QByteArray &errorName)
{
    FWindows.StopAnimation();
    Ui().ShowError(QStringLiteral("Ошибка при восстановлении программы в Cache")
                   + QStringLiteral("Код ошибки: ") + FromWin1251(errorName));
    FLog.Add(errorName);
}

bool TSetupStages::RestoreRoutine()
{
    try {
        const QList<QByteArray> lines = FDistrib.SplitRoutine();
        const QByteArray name = lines.value(0);
        FWindows.SetElement(FromWin1251(ServerToDisplay(name)));
        if (Options.RestorePrograms)
            FLog.Add(name);
        FWindows.Repaint();
        // The name goes into M code below: from a damaged or hostile file it would run as code.
        if (!IsMRoutineName(name)) {
            Ui().ShowMessage(QStringLiteral("Недопустимое имя программы в дистрибутиве: \"%1\"")
                                 .arg(FromWin1251(ServerToDisplay(name))));
            FLog.Add(W(QStringLiteral("Ошибка! Недопустимое имя программы: ")) + ServerToDisplay(name));
            return false;
        }

        FVisM.SetError(0);
        FVisM.Execute("n text,i,k,q");
        if (!Options.RestorePrograms)
            return true;

        FVisM.SetCode("s text(P1)=P2");
        for (const TTransfer &t : CutTransfers(lines.mid(1), Options.JoinLimit)) {
            FVisM.SetP1(t.FirstLine);
            FVisM.SetP2(t.Text);
            FVisM.SetExecFlag(1);
            if (FVisM.Error()) {
                RestoreFailed(FVisM.ErrorName());
                throw EAbort();
            }
        }
        FVisM.Execute(RestoreCode(name));
        // A failed save must not be hidden by the clean-up run that follows it.
        const int saveError = FVisM.Error();
        const QByteArray saveErrorName = FVisM.ErrorName();
        FVisM.Execute("k text");
        if (saveError || FVisM.Error()) {
            RestoreFailed(saveError ? saveErrorName : FVisM.ErrorName());
            throw EAbort();
        }
        if (!Options.KeepSources) {
            FVisM.SetP1(name);
            FVisM.SetCode("k ^ROUTINE(P1)");
            FVisM.SetExecFlag(1);
        }
        return true;
    } catch (const std::exception &e) {
        LogError(e);
        return false;
    }
}

bool TSetupStages::RunCheckLabel()
{
    FWindows.SetMessage(QStringLiteral("Анализ области установки..."));
    FWindows.SetElement(QString());
    FWindows.SetClip(TSetupClip::FindComputer);
    FWindows.Show();
    FWindows.Repaint();
    Log(QString());
    Log(QStringLiteral("Выполнение метки проверки:"));

    FVisM.SetError(0);
    FVisM.SetValue(QByteArray());
    JournalOn();
    int error = 0;
    QByteArray errorName;
    QByteArray value;
    try {
        FVisM.Execute("$$" + FDistrib.CheckLabel);
        // Taken before journaling goes off again: that run sets Error anew and would otherwise
        // report a failed check label as a success.
        error = FVisM.Error();
        errorName = FVisM.ErrorName();
        value = FVisM.Value();
    } catch (...) {
        JournalOff();
        throw;
    }
    JournalOff();

    const QString prefix = QStringLiteral("Не выполнилось преддействие. ");
    if (error) {
        FWindows.StopAnimation();
        FLog.Add(errorName);
        if (Options.HardPreAction) {
            LastFailure = prefix + QStringLiteral("Код ошибки: ") + FromWin1251(errorName);
            Ui().ShowError(LastFailure);
            throw EAbort();
        }
        LastFailure = FromWin1251(errorName);
        if (AskWizard(prefix + QStringLiteral(" ") + FromWin1251(errorName)
                      + QStringLiteral(". Прервать установку?")))
            throw EAbort();
    }
    if (!value.isEmpty()) {
        const QByteArray refusal = ServerToDisplay(value);
        FWindows.StopAnimation();
        LastFailure = prefix + QStringLiteral(" ") + FromWin1251(refusal);
        if (Options.HardPreAction) {
            Ui().ShowError(LastFailure);
            throw EAbort();
        }
        if (AskWizard(LastFailure + QStringLiteral(". Прервать установку?")))
            throw EAbort();
        FLog.Add(W(QStringLiteral("Неуспех. ")) + refusal);
    }

    FWindows.Step();
    Ui().ProcessEvents();
    if (Ui().EscapePressed()) {
        if (AskStop())
            return false;
        Ui().SetEscapePressed(false);
    }
    Log(QStringLiteral("Успех."));
    return true;
}

bool TSetupStages::RunCheckStage()
{
    Ui().SetEscapePressed(false);
    try {
        FWindows.SetLayout(TProgressLayout::Stages);
        SlidesShown = 0;
        if (Slides > 0) {
            FWindows.PlaceBelowSlides();
            FWindows.ShowSlide(1);
            SlidesShown = 1;
            FWindows.Repaint();
        }

        TKeepReading reading(FDistrib);
        FDistrib.Open();
        const QByteArray label = FDistrib.Descramble(FDistrib.ReadField(FDistrib.SepCR));
        FDistrib.ReadRecord();
        if (!FDistrib.ParsePostActions()) {
            Ui().ShowMessage(QStringLiteral("Ошибка в структуре дистрибутива"));
            return false;
        }
        FDistrib.CheckLabel = label;
        Log(QString());
        if (label.isEmpty())
            Log(QStringLiteral("Метки проверки нет."));
        else
            FLog.Add(W(QStringLiteral("Метка проверки: ")) + label);

        FDistrib.ReadRecord();
        if (label.isEmpty() && !FDistrib.Record.isEmpty()) {
            Ui().ShowMessage(QStringLiteral("Файл данных испорчен"));
            Log(QStringLiteral("Ошибка! Есть программы проверки и нет метки проверки."));
            return false;
        }
        if (!label.isEmpty() && FDistrib.Record.isEmpty()) {
            Ui().ShowMessage(QStringLiteral("Файл данных испорчен"));
            Log(QStringLiteral("Ошибка! Есть метка проверки и нет программ проверки."));
            return false;
        }
        Log(QString());

        if (label.isEmpty()) {
            FDistrib.ReadRecord(); // the spare record
            return true;
        }

        Log(QStringLiteral("Восстановление программ проверки."));
        FWindows.SetMaximum(FDistrib.CountRecords() + 1);
        FWindows.SetPosition(0);
        FWindows.SetMessage(QStringLiteral("Восстановление программ ..."));
        FWindows.SetClip(TSetupClip::CopyFiles);
        FWindows.Show();
        FWindows.Repaint();
        while (!FDistrib.Record.isEmpty()) {
            if (!RestoreRoutine()) {
                FWindows.StopAnimation();
                Ui().ShowMessage(QStringLiteral("Файл данных испорчен"));
                return false;
            }
            FWindows.Step();
            SetStageTitle(QStringLiteral("Восстановление программ "));
            Ui().ProcessEvents();
            if (Ui().EscapePressed()) {
                if (AskStop())
                    return false;
                Ui().SetEscapePressed(false);
            }
            FDistrib.ReadRecord();
        }
        FWindows.Hide();

        if (Options.RunPreActions) {
            try {
                if (!RunCheckLabel())
                    return false;
            } catch (const EAbort &) {
                FLog.Add(W(QStringLiteral("Сбой программы. ") + LastFailure));
                return false;
            }
        }
        return true;
    } catch (const std::exception &e) {
        return Failed(e);
    }
}

bool TSetupStages::RunProgramStage()
{
    if (!Options.RestorePrograms)
        return true;
    Ui().SetEscapePressed(false);
    try {
        const int slideStep = Slides >= 2 ? 100 / Slides : 1;
        SlidesShown = Slides > 0 ? 1 : 0; // the check stage showed image 1
        FWindows.SetPosition(0);
        FWindows.SetMessage(QStringLiteral("Восстановление программ ..."));
        FWindows.SetClip(TSetupClip::CopyFiles);
        FWindows.Show();
        FWindows.Repaint();

        TKeepReading reading(FDistrib);
        FDistrib.Open();
        Log(QString());
        Log(QStringLiteral("Восстановление программ дистрибутива."));
        FDistrib.ReadRecord();
        Total = FDistrib.CountRecords();
        Log(QStringLiteral("В дистрибутиве %1программ.").arg(Total));
        Done = 0;
        StartTicks = FClock.Ticks();
        FWindows.SetMaximum(Total);
        FWindows.SetTime(QString());
        FWindows.SetTimeVisible(true);

        while (!FDistrib.Record.isEmpty()) {
            if (Slides > 0 && SlidesShown < Slides && FWindows.Percent() >= SlidesShown * slideStep) {
                FWindows.ShowSlide(SlidesShown + 1);
                ++SlidesShown;
            }
            if (!RestoreRoutine()) {
                FWindows.StopAnimation();
                Ui().ShowMessage(QStringLiteral("Файл данных испорчен"));
                Log(QStringLiteral("Файл данных испорчен"));
                return false;
            }
            ++Done;
            if (Done % 20 == 0) {
                const qint64 perRoutine = (FClock.Ticks() - StartTicks) / Done;
                FWindows.SetTime(QStringLiteral("Осталось ")
                                 + FClock.Duration(qint64(Total - Done) * perRoutine));
            }
            FWindows.Step();
            SetStageTitle(QStringLiteral("Восстановление программ "));
            Ui().ProcessEvents();
            if (Ui().EscapePressed()) {
                if (AskStop()) {
                    Log(QStringLiteral("Установка прервана пользователем."));
                    return false;
                }
                Ui().SetEscapePressed(false);
            }
            FDistrib.ReadRecord();
        }
        Log(QStringLiteral("Программы успешно восстановлены."));
        return true;
    } catch (const std::exception &e) {
        return Failed(e);
    }
}
