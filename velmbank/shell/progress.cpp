#include "progress.h"

#include "Access.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace velmbank {

TfmProgress *fmProgress = nullptr;

namespace {
constexpr int BaseWidth = 331;
constexpr int Height = 46;
constexpr int AniSize = 30;
constexpr int Dots = 8;
} // namespace

TActivity::TActivity(QWidget *parent) : QWidget(parent), FTimer(new QTimer(this))
{
    setFixedSize(AniSize, AniSize);
    FTimer->setInterval(90);
    connect(FTimer, &QTimer::timeout, this, [this] {
        FStep = (FStep + 1) % Dots;
        update();
    });
}

void TActivity::SetActive(bool active)
{
    if (active)
        FTimer->start();
    else
        FTimer->stop();
    update();
}

bool TActivity::Active() const { return FTimer->isActive(); }

void TActivity::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF c(width() / 2.0, height() / 2.0);
    for (int i = 0; i < Dots; ++i) {
        // The dot at the step is darkest; the ones behind it fade.
        const int age = (FStep - i + Dots) % Dots;
        QColor color(0x1f, 0x4e, 0x9a);
        color.setAlphaF(Active() ? 1.0F - float(age) * 0.11F : 0.25F);
        p.setBrush(color);
        const double a = 2 * M_PI * i / Dots;
        p.drawEllipse(c + QPointF(std::cos(a), std::sin(a)) * 9.5, 2.6, 2.6);
    }
}

TfmProgress::TfmProgress(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fmProgress"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFocusPolicy(Qt::StrongFocus);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setCursor(Qt::WaitCursor);

    lbMes = new QLabel(Panel1);
    lbMes->setObjectName(QStringLiteral("lbMes"));

    gaP = new QProgressBar(Panel1);
    gaP->setObjectName(QStringLiteral("gaP"));
    gaP->setTextVisible(false);
    gaP->setAccessibleName(QStringLiteral("Ход выполнения"));
    gaP->setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid #808080; background: white; }"
                                      "QProgressBar::chunk { background: red; }"));

    ani = new TActivity(Panel1);
    ani->setObjectName(QStringLiteral("ani"));
    ani->setAccessibleName(QStringLiteral("Идёт работа"));

    SetMessage(QString());
}

void TfmProgress::SetMessage(const QString &message)
{
    lbMes->setText(message);
    lbMes->setAccessibleName(message);
    // The window keeps its size unless a message would be cut: then it widens to show it whole.
    const int textWidth = lbMes->fontMetrics().horizontalAdvance(message);
    const int width = qMax(BaseWidth, 14 + textWidth + 10 + AniSize + 14);
    setFixedSize(width, Height);
    Panel1->setGeometry(0, 0, width, Height);
    lbMes->setGeometry(14, 10, width - 14 - AniSize - 18, 19);
    gaP->setGeometry(12, 31, width - 18, 10);
    ani->move(width - 14 - AniSize, 0);
}

void TfmProgress::ProgressShow(const QString &message, int maximum)
{
    ani->SetActive(true);
    gaP->setRange(0, qMax(0, maximum));
    gaP->setValue(0);
    SetMessage(message);
    if (const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());
    show();
    raise();
    // Esc must reach this window, whichever was active before.
    activateWindow();
    setFocus();
    repaint();
}

void TfmProgress::ProgressHide()
{
    hide();
    ani->SetActive(false);
}

void TfmProgress::ProgressMessage(const QString &message)
{
    SetMessage(message);
    repaint();
}

void TfmProgress::ProgressPosition(int position, int maximum)
{
    gaP->setMaximum(qMax(0, maximum));
    gaP->setValue(qBound(0, position, qMax(0, maximum)));
    gaP->repaint();
}

void TfmProgress::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape)
        Ui().SetEscapePressed(true);
}

} // namespace velmbank
