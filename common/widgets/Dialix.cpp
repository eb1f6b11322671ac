#include "Dialix.h"

#include "Access.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int ClientHeight = 85;
constexpr int ButtonHeight = 25;
constexpr int IconPanelWidth = 50;
constexpr int IconExtraHeight = 15;

// The n-th caption (from 1) of a separated list; empty past the end.
QString PieceText(const QString &text, QChar sep, int n) { return text.section(sep, n - 1, n - 1); }
} // namespace

TfmBox::TfmBox(QWidget *parent) : QDialog(parent)
{
    // A dialog border without a system menu or close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Сообщение"));
    pnTop = new QWidget(this);
    pnImages = new QWidget(pnTop);
    imIcon = new QLabel(pnImages);
    imIcon->setAlignment(Qt::AlignCenter);
    pnMes = new QWidget(pnTop);
    lbMes = new QLabel(pnMes);
    lbMes->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    lbMes->setTextFormat(Qt::PlainText);
    setFixedSize(FOuterWidth, ClientHeight);
    LayOutTop();
}

void TfmBox::Configure(const TChoiceArgs &args)
{
    lbMes->setText(args.Message);
    if (!args.Caption.isEmpty())
        setWindowTitle(args.Caption);
    Buttons = args.Buttons;
    DefaultButton = args.DefaultButton;
    EscapeResult = args.EscapeResult;
    if (args.ButtonWidth > 0) {
        AutoButtonWidth = false;
        ButtonWidth = args.ButtonWidth;
    }
    IconFile = args.IconFile;
    // An empty Buttons is one button with an empty caption.
    ButtonCount = int(Buttons.count(Separator)) + 1;
}

void TfmBox::ArrangeSize()
{
    const QFontMetrics fm(font());
    int extraHeight = 0;
    if (!IconFile.isEmpty() && QFileInfo(IconFile).isFile()) {
        TextLeftMargin += IconPanelWidth;
        imIcon->setPixmap(QPixmap(IconFile));
        pnImages->setFixedWidth(IconPanelWidth);
        FTopHeight += IconExtraHeight;
    } else {
        pnImages->setFixedWidth(0);
    }
    // A message of several lines grows the box downwards by its extra lines; its width is
    // that of its widest line.
    const QStringList lines = lbMes->text().split(QLatin1Char('\n'));
    int textWidth = 0;
    for (const QString &line : lines)
        textWidth = qMax(textWidth, fm.horizontalAdvance(line));
    if (lines.size() > 1) {
        extraHeight = fm.lineSpacing() * int(lines.size() - 1);
        FTopHeight += extraHeight;
        ButtonTop += extraHeight;
    }
    textWidth += TextLeftMargin + TextRightMargin;

    if (AutoButtonWidth) {
        int w = MinButtonWidth;
        for (int i = 1; i <= ButtonCount; ++i)
            w = qMax(w, fm.horizontalAdvance(PieceText(Buttons, Separator, i)));
        ButtonWidth = w + 10;
    } else if (ButtonWidth < MinButtonWidth) {
        ButtonWidth = MinButtonWidth;
    }
    ButtonsWidth = (ButtonWidth + ButtonGap) * ButtonCount - ButtonGap + LeftMargin + RightMargin;
    FOuterWidth = qMax(textWidth, ButtonsWidth);
    setFixedSize(FOuterWidth, ClientHeight + extraHeight);
    LayOutTop();
}

void TfmBox::LayOutTop()
{
    pnTop->setGeometry(0, 0, FOuterWidth, FTopHeight);
    const int iw = pnImages->maximumWidth() < QWIDGETSIZE_MAX ? pnImages->maximumWidth() : 0;
    pnImages->setGeometry(0, 0, iw, FTopHeight);
    imIcon->setGeometry(0, 0, iw, FTopHeight);
    pnMes->setGeometry(iw, 0, FOuterWidth - iw, FTopHeight);
    // lbMes sits at the bottom of pnMes over its full width; the margins keep it off the edges.
    const int left = TextLeftMargin - iw;
    lbMes->setGeometry(left, 0, qMax(0, FOuterWidth - iw - left - TextRightMargin), FTopHeight);
}

void TfmBox::CreateButtons()
{
    const int offset = (FOuterWidth - ButtonsWidth) / 2 + LeftMargin;
    for (int i = 0; i < ButtonCount; ++i) {
        auto *b = new QPushButton(PieceText(Buttons, Separator, i + 1), this);
        b->setGeometry(offset + (ButtonWidth + ButtonGap) * i, ButtonTop, ButtonWidth, ButtonHeight);
        b->setAutoDefault(false);
        const int result = i + 1;
        connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
        if (result == DefaultButton) {
            b->setDefault(true);
            b->setFocus();
        }
        ButtonList << b;
    }
    GiveAccessibleNames(this);
}

void TfmBox::keyPressEvent(QKeyEvent *e)
{
    // Enter presses the button that has the focus (the default one until Tab moves it).
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (auto *b = qobject_cast<QPushButton *>(focusWidget())) {
            b->click();
            return;
        }
    }
    QDialog::keyPressEvent(e);
}

void TfmBox::reject()
{
    // Esc, and the platform's close shortcut, answer EscapeResult; with 0 they do nothing.
    if (EscapeResult > 0)
        done(EscapeResult);
}

int ShowChoiceBox(const TChoiceArgs &args, QWidget *parent)
{
    QPointer<TfmBox> box;
    int result = 0;
    try {
        box = new TfmBox(parent);
        box->Configure(args);
        box->ArrangeSize();
        box->CreateButtons();
        // Centred on the screen.
        if (const QScreen *screen = box->screen())
            box->move(screen->availableGeometry().center() - box->rect().center());
        result = box->exec();
    } catch (...) {
        result = 0;
    }
    if (box)
        box->deleteLater();
    return result;
}
