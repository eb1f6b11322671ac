#include "fone.h"

#include "Access.h"
#include "Ui.h"
#include "codepage.h"

#include <QCloseEvent>
#include <QFrame>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>

#include <exception>

namespace velmsetup {

namespace {

// A slide that cannot be read; the stages log the message (Windows-1251).
class ESlideError : public std::exception
{
public:
    explicit ESlideError(const QString &message) : Message(ToWin1251(message)) {}
    const char *what() const noexcept override { return Message.constData(); }
    QByteArray Message;
};

} // namespace

bool IsOnTop(const QWidget *w) { return w->windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

void SetOnTop(QWidget *w, bool onTop)
{
    if (IsOnTop(w) == onTop)
        return;
    // Changing the flags hides a window; it comes back where it was.
    const bool shown = w->isVisible();
    w->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (shown)
        w->show();
}

TfmFone::TfmFone(const QString &imagesDir) : FImagesDir(imagesDir)
{
    setObjectName(QStringLiteral("fmFone"));
    setWindowTitle(QStringLiteral("Remart Installation Wizard"));
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0, 128, 128));
    setPalette(p);
    setAutoFillBackground(true);

    QFont title(QStringLiteral("Times New Roman"));
    title.setStyleHint(QFont::Serif);
    title.setPixelSize(37);
    title.setBold(true);
    title.setItalic(true);
    lbShadow = new QLabel(this);
    lbTitle = new QLabel(this);
    for (QLabel *lb : {lbShadow, lbTitle}) {
        lb->setFont(title);
        lb->setAttribute(Qt::WA_TranslucentBackground);
        lb->setTextFormat(Qt::PlainText);
    }
    lbShadow->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
    lbTitle->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    // The shadow is only the title's look: screen readers hear the title once.
    lbShadow->setAccessibleName(QString());
    lbShadow->setAccessibleDescription(QString());

    pnBevel = new QFrame(this);
    pnBevel->setObjectName(QStringLiteral("pnBevel"));
    pnBevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnBevel->setLineWidth(3);
    pnBevel->hide();
    imSlide = new QLabel(pnBevel);
    imSlide->setScaledContents(true);
    imSlide->setAccessibleName(QStringLiteral("Слайд"));
    GiveAccessibleNames(this);
}

void TfmFone::SetTitle(const QString &text)
{
    for (QLabel *lb : {lbShadow, lbTitle}) {
        lb->setText(text);
        lb->adjustSize();
    }
    lbTitle->setAccessibleName(text);
    lbShadow->move(6, 2);
    lbTitle->move(2, -2);
    lbTitle->raise();
}

QString TfmFone::SlideFile(int k) const { return FImagesDir + QStringLiteral("/velm%1.jpg").arg(k); }

void TfmFone::ShowSlide(int k)
{
    QImageReader reader(SlideFile(k));
    QImage image;
    if (!reader.read(&image))
        throw ESlideError(
            QStringLiteral("Не удается загрузить рисунок %1: %2").arg(SlideFile(k), reader.errorString()));
    imSlide->setPixmap(QPixmap::fromImage(image));
    pnBevel->show();
    pnBevel->repaint();
}

bool TfmFone::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate) {
        if (!FActivated && fmSetup) {
            FActivated = true;
            fmSetup->show();
        }
        // While connecting the wizard and the progress window are ordinary windows: bring them
        // back in front of this one.
        for (QWidget *w : {fmSetup, fmProgress})
            if (w && w->isVisible() && !IsOnTop(w))
                w->raise();
    }
    return QWidget::event(e);
}

void TfmFone::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape) {
        Ui().SetEscapePressed(true);
        return;
    }
    QWidget::keyPressEvent(e);
}

void TfmFone::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    const int w = width();
    const int h = height();
    pnBevel->setGeometry(w / 10, (h / 20) * 2, (w / 10) * 8, (h / 20) * 14);
    const int b = pnBevel->lineWidth();
    imSlide->setGeometry(b, b, pnBevel->width() - 2 * b, pnBevel->height() - 2 * b);
}

void TfmFone::closeEvent(QCloseEvent *e)
{
    e->accept();
    if (OnClose)
        OnClose();
}

} // namespace velmsetup
