#pragma once
// The progress window: every long step of the installer reports here. It draws the state the
// stages keep in TSetupWindows (message, gauge, element and time lines, clips, the message panel
// of the post-actions) in one of its layouts, passes slides to the background window, and is
// the progress window of the Ui seam as well. Esc in it sets the installer's Esc flag.

#include "QtUi.h"
#include "setupwindows.h"

#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;
class QScrollArea;
class QTimer;

namespace velmsetup {

class TfmFone;

// An activity indicator standing in for the system's animation clips: a sheet flying from
// folder to folder (copy files), a magnifier over a folder (find folder) or over a computer
// (find computer); the small one is a ring of dots.
class TClipView : public QWidget
{
    Q_OBJECT
public:
    explicit TClipView(QWidget *parent, bool small = false);
    void SetClip(TSetupClip clip);
    TSetupClip Clip() const { return FClip; }
    void SetRunning(bool running);
    bool Running() const;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    TSetupClip FClip = TSetupClip::None;
    bool FSmall;
    int FFrame = 0;
    QTimer *FTimer;
};

class TfmProgress : public QWidget, public TSetupWindows, public TProgressView
{
    Q_OBJECT
public:
    explicit TfmProgress(TfmFone *fone);

    // Design sizes: the window is 350 wide; the layouts give the heights.
    static constexpr int DesignWidth = 350;
    static constexpr int CreatedHeight = 80;
    static constexpr int StagesHeight = 117;
    static constexpr int PostHeight = 245;
    static constexpr int PostWidth = 600;

    QFrame *pnMain;
    TClipView *Ani;
    QLabel *lbMes;
    QProgressBar *gaP;
    QLabel *lbElement;
    QLabel *lbTime;
    TClipView *ani2;
    QFrame *pnAfter;
    QScrollArea *sbAfter;
    QLabel *lbAfter;

    // TProgressView: the seam's own progress calls.
    void ProgressShow(const QString &message, int maximum) override;
    void ProgressHide() override;
    void ProgressMessage(const QString &message) override;
    void ProgressPosition(int position, int maximum) override;

    // Centres the window on the background window.
    void CentreOnMain();

protected:
    void Changed(TSetupPart part) override;
    void LoadSlide(int k) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void ApplyLayout();
    void SetLine(QLabel *lb, const QString &text);

    TfmFone *FFone;
};

} // namespace velmsetup
