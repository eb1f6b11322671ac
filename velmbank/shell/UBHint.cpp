#include "UBHint.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

namespace velmbank {

TBHint *BHint = nullptr;

namespace {
// Used when the pointer's shape cannot be measured (the platform draws its own).
constexpr int DefaultPointerHeight = 20;
} // namespace

QEvent::Type TBHintShowEvent::EventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

TBHint::TBHint(QObject *parent) : QObject(parent), FTimer(new QTimer(this))
{
    HintColor = QToolTip::palette().color(QPalette::ToolTipBase);
    FTimer->setSingleShot(true);
    connect(FTimer, &QTimer::timeout, this, &TBHint::TimerProc);
}

TBHint::~TBHint()
{
    delete HintWindow;
    if (BHint == this)
        BHint = nullptr;
}

void TBHint::ActivateHint(QWidget *control, int col, int row)
{
    if (!control) {
        HideHint();
        return;
    }
    if (control == HintControl && col == LastCol && row == LastRow)
        return;
    LastRow = row;
    LastCol = col;
    // While a hint is shown the next one follows at once: the operator is reading along.
    const int delay = HintShown ? 0 : HintPause;
    const bool shown = HintShown;
    HideHint();
    HintShown = shown;
    HintControl = control;
    StartTimer(delay, 0);
}

void TBHint::HideHint()
{
    // Also when the control has gone meanwhile: its hint must not outlive it.
    if (HintWindow && HintWindow->isVisible())
        HintWindow->hide();
    HintControl = nullptr;
    HintShown = false;
    FTimer->stop();
}

void TBHint::StartTimer(int elapse, int mode)
{
    FTimer->stop();
    TimerMode = mode;
    FTimer->start(elapse);
}

void TBHint::TimerProc()
{
    FTimer->stop();
    if (TimerMode == 0)
        ShowAtPointer();
    else if (HintWindow)
        HintWindow->hide(); // the control stays remembered: the same cell does not hint again
}

void TBHint::ShowAtPointer()
{
    HintShown = false;
    const QPoint pointer = QCursor::pos();
    QWidget *under = QApplication::widgetAt(pointer);
    // The pointer is over the control itself or a part of it (a grid's viewport).
    const bool over = HintControl && under && (under == HintControl || HintControl->isAncestorOf(under));
    if (!over || QGuiApplication::applicationState() != Qt::ApplicationActive) {
        HideHint();
        return;
    }
    QString text;
    for (QWidget *w = HintControl; w && text.isEmpty(); w = w->parentWidget())
        text = w->toolTip();
    text = text.section(QLatin1Char('|'), 0, 0);
    TBHintShowEvent offer(text);
    QCoreApplication::sendEvent(HintControl, &offer);
    if (offer.Refused || offer.Text.isEmpty()) {
        HideHint();
        return;
    }
    if (!HintWindow) {
        HintWindow = new QLabel(nullptr, Qt::ToolTip);
        HintWindow->setObjectName(QStringLiteral("HintWindow"));
        HintWindow->setWordWrap(true);
        HintWindow->setMargin(2);
        HintWindow->setFrameStyle(QFrame::Box | QFrame::Plain);
        HintWindow->setAutoFillBackground(true);
    }
    QPalette pal = QToolTip::palette();
    pal.setColor(QPalette::Window, HintColor);
    HintWindow->setPalette(pal);
    HintWindow->setText(offer.Text);
    const QScreen *screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const int maxWidth = screen ? screen->geometry().width() : 1024;
    HintWindow->setMaximumWidth(maxWidth);
    HintWindow->adjustSize();
    const QCursor cursor = HintControl->cursor();
    const int pointerHeight = cursor.pixmap().isNull() ? DefaultPointerHeight : cursor.pixmap().height();
    HintWindow->move(pointer + QPoint(0, pointerHeight));
    HintWindow->show();
    HintShown = true;
    StartTimer(HideTimeout, 1);
}

} // namespace velmbank
