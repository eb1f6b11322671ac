#include "progress.h"

#include "Access.h"
#include "Ui.h"
#include "fone.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <cmath>

namespace velmsetup {

// ---- the clips ------------------------------------------------------------------------------

namespace {

constexpr int Frames = 24;

void DrawFolder(QPainter &p, const QRectF &r)
{
    QPainterPath tab;
    tab.addRoundedRect(QRectF(r.left(), r.top(), r.width() * 0.45, r.height() * 0.3), 2, 2);
    p.setPen(QPen(QColor(150, 110, 0), 1));
    p.setBrush(QColor(230, 190, 60));
    p.drawPath(tab);
    p.setBrush(QColor(250, 215, 90));
    p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.18, r.width(), r.height() * 0.82), 2, 2);
}

void DrawSheet(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(QPen(QColor(120, 120, 200), 1));
    for (int i = 1; i <= 3; ++i) {
        const qreal y = r.top() + r.height() * i / 4.5;
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
    }
}

void DrawComputer(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(r.left(), r.top(), r.width(), r.height() * 0.75));
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(QRectF(r.left() + 3, r.top() + 3, r.width() - 6, r.height() * 0.75 - 6));
    p.setBrush(QColor(170, 170, 170));
    p.drawRect(QRectF(r.center().x() - r.width() * 0.3, r.top() + r.height() * 0.8, r.width() * 0.6,
                      r.height() * 0.2));
}

void DrawMagnifier(QPainter &p, const QPointF &c, qreal radius)
{
    p.setPen(QPen(QColor(80, 50, 20), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(radius * 0.7, radius * 0.7), c + QPointF(radius * 1.6, radius * 1.6));
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(200, 230, 255, 160));
    p.drawEllipse(c, radius, radius);
}

} // namespace

TClipView::TClipView(QWidget *parent, bool small) : QWidget(parent), FSmall(small), FTimer(new QTimer(this))
{
    FTimer->setInterval(small ? 90 : 70);
    connect(FTimer, &QTimer::timeout, this, [this] {
        FFrame = (FFrame + 1) % Frames;
        update();
    });
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TClipView::SetClip(TSetupClip clip)
{
    FClip = clip;
    SetRunning(clip != TSetupClip::None);
    update();
}

void TClipView::SetRunning(bool running)
{
    if (running)
        FTimer->start();
    else
        FTimer->stop();
    update();
}

bool TClipView::Running() const { return FTimer->isActive(); }

void TClipView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal t = qreal(FFrame) / Frames;
    if (FSmall) {
        // A ring of eight dots, the brightest one going round.
        const QPointF c = rect().center() + QPointF(0.5, 0.5);
        const qreal r = qMin(width(), height()) / 2.0 - 4;
        for (int i = 0; i < 8; ++i) {
            const qreal a = 2 * M_PI * i / 8;
            const int lead = (FFrame / 3) % 8;
            const int age = (lead - i + 8) % 8;
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 90, 160, Running() ? 255 - age * 28 : 120));
            p.drawEllipse(c + QPointF(r * std::cos(a), r * std::sin(a)), 3, 3);
        }
        return;
    }
    const qreal h = height() - 4;
    const qreal w = h * 1.2;
    switch (FClip) {
    case TSetupClip::None: return;
    case TSetupClip::CopyFiles: {
        const QRectF from(width() / 2.0 - 110, 4, w, h);
        const QRectF to(width() / 2.0 + 110 - w, 4, w, h);
        DrawFolder(p, from);
        DrawFolder(p, to);
        // The sheet flies in an arc from one folder to the other.
        const qreal x = from.center().x() + (to.center().x() - from.center().x()) * t;
        const qreal y = 4 + h * 0.5 - std::sin(M_PI * t) * h * 0.45;
        DrawSheet(p, QRectF(x - h * 0.3, y - h * 0.35, h * 0.6, h * 0.7));
        return;
    }
    case TSetupClip::FindFolder:
    case TSetupClip::FindComputer: {
        const QRectF thing(width() / 2.0 - w / 2, 4, w, h);
        if (FClip == TSetupClip::FindFolder)
            DrawFolder(p, thing);
        else
            DrawComputer(p, thing);
        const qreal a = 2 * M_PI * t;
        DrawMagnifier(p, thing.center() + QPointF(w * 0.55 * std::cos(a), h * 0.25 * std::sin(a)), h * 0.28);
        return;
    }
    }
}

// ---- the window -----------------------------------------------------------------------------

namespace {
// Design positions in the 350-pixel window.
constexpr int Margin = 10;
constexpr int LineWidth = TfmProgress::DesignWidth - 2 * Margin;
constexpr int AniTop = 6;
constexpr int AniHeight = 36;
constexpr int MesTop = 48;
constexpr int GaugeTop = 70;
constexpr int GaugeHeight = 16;
constexpr int ElementTop = 92;
constexpr int LineHeight = 18;
constexpr int TimeWidth = 150;
constexpr int Ani2Left = 310;
constexpr int Ani2Top = 10;
constexpr int PanelHeight = 124;
constexpr int PostExtra = TfmProgress::PostWidth - TfmProgress::DesignWidth;
} // namespace

TfmProgress::TfmProgress(TfmFone *fone) : QWidget(nullptr), FFone(fone)
{
    setObjectName(QStringLiteral("fmProgress"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);

    pnMain = new QFrame(this);
    pnMain->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnMain->setLineWidth(2);
    pnMain->setAutoFillBackground(true);
    pnMain->setCursor(Qt::WaitCursor);

    Ani = new TClipView(pnMain);
    lbMes = new QLabel(pnMain);
    gaP = new QProgressBar(pnMain);
    gaP->setTextVisible(false);
    gaP->setRange(0, Maximum());
    gaP->setAccessibleName(QStringLiteral("Ход установки"));
    {
        QPalette p = gaP->palette();
        p.setColor(QPalette::Highlight, QColor(0, 0, 200));
        gaP->setPalette(p);
    }
    lbElement = new QLabel(pnMain);
    lbTime = new QLabel(pnMain);
    lbTime->hide();
    ani2 = new TClipView(pnMain, true);
    ani2->hide();

    pnAfter = new QFrame(pnMain);
    pnAfter->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnAfter->hide();
    sbAfter = new QScrollArea(pnAfter);
    sbAfter->setWidgetResizable(true);
    sbAfter->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sbAfter->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lbAfter = new QLabel;
    lbAfter->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbAfter->setTextFormat(Qt::PlainText);
    lbAfter->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sbAfter->setWidget(lbAfter);
    sbAfter->setAccessibleName(QStringLiteral("Сообщения последействий"));

    SetLine(lbMes, QString());
    SetLine(lbElement, QStringLiteral("Элемент"));
    SetLine(lbTime, QStringLiteral("Время"));
    ApplyLayout();
    GiveAccessibleNames(this);
}

void TfmProgress::SetLine(QLabel *lb, const QString &text)
{
    lb->setText(text);
    // The lines change all the time: their accessible names follow what they show.
    lb->setAccessibleName(text);
}

void TfmProgress::CentreOnMain()
{
    const QRect main = FFone && FFone->isVisible() ? FFone->frameGeometry() : QRect();
    if (main.isValid())
        move(main.center() - rect().center());
}

void TfmProgress::ApplyLayout()
{
    const TProgressLayout layout = Layout();
    const bool post = layout == TProgressLayout::PostActions;
    const bool stages = layout == TProgressLayout::Stages;
    const int w = post ? PostWidth : DesignWidth;
    const int h = post ? PostHeight : stages ? StagesHeight : CreatedHeight;
    setFixedSize(w, h);
    pnMain->setGeometry(0, 0, w, h);

    Ani->setGeometry(Margin, AniTop, LineWidth, AniHeight);
    Ani->setVisible(!post);
    lbMes->setGeometry(Margin, MesTop, post ? LineWidth + PostExtra : LineWidth, LineHeight);
    gaP->setGeometry(Margin, GaugeTop, post ? LineWidth + PostExtra : LineWidth, GaugeHeight);
    gaP->setVisible((stages || post) && GaugeVisible());
    lbElement->setGeometry(Margin, ElementTop, LineWidth - TimeWidth, LineHeight);
    lbElement->setVisible(stages);
    if (post) {
        // The time line takes the element line's place, left-aligned.
        lbTime->setGeometry(Margin, ElementTop, LineWidth, LineHeight);
        lbTime->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    } else {
        lbTime->setGeometry(Margin + LineWidth - TimeWidth, ElementTop, TimeWidth, LineHeight);
        lbTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    lbTime->setVisible((stages || post) && TimeVisible());
    ani2->setGeometry(Ani2Left + (post ? PostExtra : 0), Ani2Top, 30, 30);
    ani2->setVisible(post);
    pnAfter->setGeometry(0, h - PanelHeight, w, PanelHeight);
    pnAfter->setVisible(post);
    sbAfter->setGeometry(Margin / 2, Margin / 2, w - Margin, PanelHeight - Margin);
}

void TfmProgress::Changed(TSetupPart part)
{
    switch (part) {
    case TSetupPart::Layout:
        Ani->SetClip(Clip());
        ani2->SetRunning(SmallAnimation());
        SetLine(lbTime, Time());
        SetLine(lbElement, Element());
        if (Layout() == TProgressLayout::PostActions)
            lbAfter->setText(PanelText());
        ApplyLayout();
        // Centred on the main window when a layout begins; the stages may then move it below
        // the slides, and a line shown or hidden later leaves it where it is.
        CentreOnMain();
        break;
    case TSetupPart::Message: SetLine(lbMes, Message()); break;
    case TSetupPart::Element: SetLine(lbElement, Element()); break;
    case TSetupPart::Time: SetLine(lbTime, Time()); break;
    case TSetupPart::TimeVisible: ApplyLayout(); break;
    case TSetupPart::Clip: Ani->SetClip(Clip()); break;
    case TSetupPart::SmallAnimation: ani2->SetRunning(SmallAnimation()); break;
    case TSetupPart::Gauge:
        gaP->setMaximum(qMax(1, Maximum()));
        gaP->setValue(Maximum() > 0 ? Position() : 0);
        break;
    case TSetupPart::GaugeVisible: ApplyLayout(); break;
    case TSetupPart::Panel:
        lbAfter->setText(PanelText());
        lbAfter->setAccessibleName(PanelText().section(QLatin1Char('\n'), -1).trimmed());
        break;
    case TSetupPart::PanelScroll:
        sbAfter->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        lbAfter->adjustSize();
        sbAfter->widget()->adjustSize();
        sbAfter->verticalScrollBar()->setValue(sbAfter->verticalScrollBar()->maximum());
        break;
    case TSetupPart::Shown:
        if (Shown()) {
            show();
            raise();
            activateWindow();
        } else {
            hide();
        }
        break;
    case TSetupPart::Repaint: repaint(); break;
    case TSetupPart::BelowSlides:
        if (FFone) {
            const QRect bevel = FFone->pnBevel->geometry();
            move(FFone->mapToGlobal(QPoint(FFone->width() - width(), bevel.bottom() + 1 + 20)));
        }
        break;
    case TSetupPart::Slide: break; // shown by LoadSlide
    }
}

void TfmProgress::LoadSlide(int k)
{
    if (FFone)
        FFone->ShowSlide(k);
}

void TfmProgress::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape) {
        Ui().SetEscapePressed(true);
        return;
    }
    QWidget::keyPressEvent(e);
}

void TfmProgress::ProgressShow(const QString &message, int maximum)
{
    SetMessage(message);
    SetMaximum(maximum);
    SetPosition(0);
    Show();
    Repaint();
}

void TfmProgress::ProgressHide() { Hide(); }

void TfmProgress::ProgressMessage(const QString &message) { SetMessage(message); }

void TfmProgress::ProgressPosition(int position, int maximum)
{
    SetMaximum(maximum);
    SetPosition(position);
}

} // namespace velmsetup
