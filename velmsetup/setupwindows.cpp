#include "setupwindows.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QThread>

#include <algorithm>

void TSetupWindows::Changed(TSetupPart) {}
void TSetupWindows::LoadSlide(int) {}

void TSetupWindows::SetLayout(TProgressLayout layout)
{
    FLayout = layout;
    if (layout == TProgressLayout::PostActions) {
        // The time line takes the element line's place; the panel starts empty.
        FTime.clear();
        FTimeVisible = true;
        FPanel.clear();
    } else if (layout == TProgressLayout::Exit) {
        FElement.clear();
        FClip = TSetupClip::None;
        FSmall = false;
    }
    Changed(TSetupPart::Layout);
}

void TSetupWindows::SetMessage(const QString &text)
{
    FMessage = text;
    Changed(TSetupPart::Message);
}

void TSetupWindows::SetElement(const QString &text)
{
    FElement = text;
    Changed(TSetupPart::Element);
}

void TSetupWindows::SetTime(const QString &text)
{
    FTime = text;
    Changed(TSetupPart::Time);
}

void TSetupWindows::SetTimeVisible(bool visible)
{
    FTimeVisible = visible;
    Changed(TSetupPart::TimeVisible);
}

void TSetupWindows::SetClip(TSetupClip clip)
{
    FClip = clip;
    Changed(TSetupPart::Clip);
}

void TSetupWindows::SetSmallAnimation(bool on)
{
    FSmall = on;
    Changed(TSetupPart::SmallAnimation);
}

void TSetupWindows::StopAnimation()
{
    if (FClip != TSetupClip::None)
        SetClip(TSetupClip::None);
    if (FSmall)
        SetSmallAnimation(false);
}

void TSetupWindows::SetMaximum(int maximum)
{
    FMaximum = std::max(maximum, 0);
    FPosition = std::clamp(FPosition, 0, FMaximum);
    Changed(TSetupPart::Gauge);
}

void TSetupWindows::SetPosition(int position)
{
    FPosition = std::clamp(position, 0, FMaximum);
    Changed(TSetupPart::Gauge);
}

void TSetupWindows::SetGaugeVisible(bool visible)
{
    FGaugeVisible = visible;
    Changed(TSetupPart::GaugeVisible);
}

void TSetupWindows::SetPanelText(const QString &text)
{
    FPanel = text;
    Changed(TSetupPart::Panel);
}

void TSetupWindows::ScrollPanelToEnd() { Changed(TSetupPart::PanelScroll); }

void TSetupWindows::Show()
{
    FShown = true;
    Changed(TSetupPart::Shown);
}

void TSetupWindows::Hide()
{
    FShown = false;
    Changed(TSetupPart::Shown);
}

void TSetupWindows::Repaint() { Changed(TSetupPart::Repaint); }

void TSetupWindows::PlaceBelowSlides() { Changed(TSetupPart::BelowSlides); }

void TSetupWindows::ShowSlide(int k)
{
    LoadSlide(k);
    FSlide = k;
    Changed(TSetupPart::Slide);
}

int CountSlides(const QDir &dir)
{
    if (!dir.exists())
        return 0;
    int n = 0;
    while (!dir.entryList({QStringLiteral("velm%1.*").arg(n + 1)}, QDir::Files).isEmpty())
        ++n;
    return n;
}

QDateTime TSetupClock::Now() const { return QDateTime::currentDateTime(); }

qint64 TSetupClock::Ticks() const
{
    static QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed();
}

void TSetupClock::Sleep(int ms) { QThread::msleep(static_cast<unsigned long>(std::max(ms, 0))); }

QString TSetupClock::TimeText(const QTime &time) const
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return QLocale::system().toString(time, format.trimmed());
}

QString TSetupClock::Duration(qint64 ms) const
{
    return TimeText(QTime(0, 0).addMSecs(static_cast<int>(std::clamp<qint64>(ms, 0, 86399999))));
}
