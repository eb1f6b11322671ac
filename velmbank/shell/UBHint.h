#pragma once
// The cell hint: shows, next to the mouse pointer, the hint text of a control for one cell of it
// (a grid shows there the full text of a cell too narrow for its column). The caller sets the
// control's toolTip to the text (empty: nothing to show) and calls ActivateHint whenever the
// pointer enters another cell; the hint follows after a pause and goes after a while.

#include <QColor>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>

class QLabel;
class QTimer;
class QWidget;

namespace velmbank {

// Sent to the control just before its hint is shown: it may change Text or refuse the hint.
class TBHintShowEvent : public QEvent
{
public:
    static QEvent::Type EventType();
    explicit TBHintShowEvent(const QString &text) : QEvent(EventType()), Text(text) {}
    QString Text;
    bool Refused = false;
};

class TBHint : public QObject
{
    Q_OBJECT
public:
    explicit TBHint(QObject *parent = nullptr);
    ~TBHint() override;

    // With no control the hint is hidden. Otherwise a hint is scheduled for that cell, unless
    // the same cell of the same control is already pending or shown.
    void ActivateHint(QWidget *control, int col, int row);
    // Hides the hint window, forgets the control and stops the timer.
    void HideHint();

    bool HintShown = false;
    QColor HintColor;
    QPointer<QWidget> HintControl;
    int HintPause = 100;    // ms before a hint when none is shown; 0 while one is shown
    int HideTimeout = 9500; // ms a hint stays
    QLabel *HintWindow = nullptr;
    int TimerMode = 0; // 0: the timer shows the hint; 1: it hides it
    int LastCol = -1;
    int LastRow = -1;

    QTimer *Timer() const { return FTimer; }

private:
    void StartTimer(int elapse, int mode);
    void TimerProc();
    void ShowAtPointer();

    QTimer *FTimer;
};

// The one instance, owned by the document grid's window.
extern TBHint *BHint;

} // namespace velmbank
