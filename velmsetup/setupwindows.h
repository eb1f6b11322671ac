#pragma once
// What the installation stages show in the progress window (TfmProgress) and the background
// window (TfmFone), and the clock they time themselves by. The stages change the state through
// the setters and read it back; the windows redraw from the state in Changed. Esc in either
// window calls Ui().SetEscapePressed(true), which the stages poll after Ui().ProcessEvents().

#include <QDateTime>
#include <QDir>
#include <QString>

enum class TSetupClip { None, CopyFiles, FindFolder, FindComputer };

// The progress window's layouts: heights, placement and which controls show.
enum class TProgressLayout {
    Created,     // 80 pixels: message and clip
    Connect,     // as created, find-folder clip
    Stages,      // 117 pixels: gauge, element line, time line in the program stage
    PostActions, // 245 x 600: time line at the element line's place, message panel, small animation
    Exit,        // 80 pixels, no clip, empty element line
};

enum class TSetupPart {
    Layout,
    Message,
    Element,
    Time,
    TimeVisible,
    Clip,
    SmallAnimation,
    Gauge,
    GaugeVisible,
    Panel,
    PanelScroll,
    Shown,
    Repaint,
    BelowSlides,
    Slide,
};

class TSetupWindows
{
public:
    virtual ~TSetupWindows() = default;

    void SetLayout(TProgressLayout layout);
    void SetMessage(const QString &text); // lbMes
    void SetElement(const QString &text); // lbElement
    void SetTime(const QString &text);    // lbTime
    void SetTimeVisible(bool visible);
    void SetClip(TSetupClip clip);   // the large clip; None stops it
    void SetSmallAnimation(bool on); // ani2, in the post-action layout
    void StopAnimation();            // whichever runs

    // The gauge gaP; its percent is position * 100 div maximum.
    void SetMaximum(int maximum);
    void SetPosition(int position); // kept within 0 .. maximum
    void Step() { SetPosition(FPosition + 1); }
    int Position() const { return FPosition; }
    int Maximum() const { return FMaximum; }
    int Percent() const { return FMaximum > 0 ? FPosition * 100 / FMaximum : 0; }
    void SetGaugeVisible(bool visible);

    // The message panel lbAfter of the post-action layout.
    const QString &PanelText() const { return FPanel; }
    void SetPanelText(const QString &text);
    void ScrollPanelToEnd(); // shows its scroll bar, scrolled to the last line

    void Show();
    void Hide();
    void Repaint();

    // The background window: places the progress window below the slide panel, and shows slide
    // k ("IMAGES/velm<k>.jpg"). A slide that cannot be loaded throws std::exception.
    void PlaceBelowSlides();
    void ShowSlide(int k);

    TProgressLayout Layout() const { return FLayout; }
    const QString &Message() const { return FMessage; }
    const QString &Element() const { return FElement; }
    const QString &Time() const { return FTime; }
    bool TimeVisible() const { return FTimeVisible; }
    TSetupClip Clip() const { return FClip; }
    bool SmallAnimation() const { return FSmall; }
    bool GaugeVisible() const { return FGaugeVisible; }
    bool Shown() const { return FShown; }
    int Slide() const { return FSlide; }

protected:
    virtual void Changed(TSetupPart part);
    virtual void LoadSlide(int k); // the widget loads the picture here (and may throw)

private:
    TProgressLayout FLayout = TProgressLayout::Created;
    QString FMessage;
    QString FElement;
    QString FTime;
    bool FTimeVisible = false;
    TSetupClip FClip = TSetupClip::None;
    bool FSmall = false;
    int FPosition = 0;
    int FMaximum = 100;
    bool FGaugeVisible = true;
    QString FPanel;
    bool FShown = false;
    int FSlide = 0;
};

// The number of slide images in dir: the largest n such that "velm1.*" to "velm<n>.*" all exist;
// 0 when the folder does not exist.
int CountSlides(const QDir &dir);

// Time as the stages see it.
class TSetupClock
{
public:
    virtual ~TSetupClock() = default;
    virtual QDateTime Now() const; // wall clock, for "Начало: " and the durations
    virtual qint64 Ticks() const;  // milliseconds, monotonic
    virtual void Sleep(int ms);
    // The system's long time format, without a time zone.
    virtual QString TimeText(const QTime &time) const;
    // A duration written as a time of day.
    QString Duration(qint64 ms) const;
};
