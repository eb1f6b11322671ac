#pragma once
// The gateway's progress window: a message, a small animation and a bar while a long operation
// runs. Esc in it asks the running operation to stop; the operation looks at the flag itself.

#include <QWidget>

#include "QtUi.h"

class QFrame;
class QLabel;
class QProgressBar;
class QTimer;

namespace velmbank {

// A small busy animation that turns while the message loop gets a chance to run.
class TActivity : public QWidget
{
    Q_OBJECT
public:
    explicit TActivity(QWidget *parent = nullptr);
    void SetActive(bool active);
    bool Active() const;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QTimer *FTimer;
    int FStep = 0;
};

class TfmProgress : public QWidget, public TProgressView
{
    Q_OBJECT
public:
    explicit TfmProgress(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *lbMes;
    QProgressBar *gaP;
    TActivity *ani;

    // Start: the seam has cleared the flags; animation on, bar at 0 of maximum, the message,
    // shown and painted at once. Finish: hidden, animation off.
    void ProgressShow(const QString &message, int maximum) override;
    void ProgressHide() override;
    void ProgressMessage(const QString &message) override;
    void ProgressPosition(int position, int maximum) override;

protected:
    void keyPressEvent(QKeyEvent *e) override;

private:
    void SetMessage(const QString &message);
};

extern TfmProgress *fmProgress;

} // namespace velmbank
