#include "askuser.h"

#include "Access.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace velmsetup {

namespace {
// The design: client 177 x 79, the label at (8, 8) 161 wide and one line high, the edit at
// (7, 24), both buttons at top 48. A font taller than 13 pixels moves what is below the label.
constexpr int ClientWidth = 177;
constexpr int LabelLeft = 8;
constexpr int LabelTop = 8;
constexpr int LabelWidth = 161;
constexpr int EditLeft = 7;
constexpr int EditWidth = 163;
constexpr int ButtonWidth = 75;
constexpr int Gap = 3;
} // namespace

TfmAskUser::TfmAskUser(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmAskUser"));
    setWindowTitle(QStringLiteral("Введите ответ"));
    // A dialog border with only the system menu.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);

    pnMain = new QFrame(this);
    pnMain->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lbAsk = new QLabel(QStringLiteral("Вопрос"), pnMain);
    lbAsk->setWordWrap(true);
    lbAsk->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbAsk->setTextFormat(Qt::PlainText);
    edAsk = new QLineEdit(QStringLiteral("ответ"), pnMain);
    lbAsk->setBuddy(edAsk);
    btOk = new QPushButton(QStringLiteral("OK"), pnMain);
    btCancel = new QPushButton(QStringLiteral("Отмена"), pnMain);
    btOk->setDefault(true);
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    FLabelHeight = qMax(13, QFontMetrics(lbAsk->font()).height());
    const int editHeight = qMax(21, edAsk->sizeHint().height());
    const int buttonHeight = qMax(25, btOk->sizeHint().height());
    lbAsk->setGeometry(LabelLeft, LabelTop, LabelWidth, FLabelHeight);
    edAsk->setGeometry(EditLeft, LabelTop + FLabelHeight + Gap, EditWidth, editHeight);
    const int buttonTop = edAsk->geometry().bottom() + 1 + Gap;
    btOk->setGeometry(12, buttonTop, ButtonWidth, buttonHeight);
    btCancel->setGeometry(12 + ButtonWidth + Gap, buttonTop, ButtonWidth, buttonHeight);
    FDesignHeight = buttonTop + buttonHeight + 6;
    setFixedSize(ClientWidth, FDesignHeight);
    pnMain->setGeometry(rect());
    edAsk->setFocus();
    GiveAccessibleNames(this);
}

int TfmAskUser::CountLines(const QString &question) const
{
    const QFontMetrics fm(lbAsk->font());
    int lines = 1;
    int sum = 0;
    // The words are the pieces at " ", as many as there are blanks plus one.
    const QStringList words = question.split(QLatin1Char(' '));
    for (const QString &word : words) {
        const int w = fm.horizontalAdvance(word);
        if (w > LabelWidth) {
            ++lines;
            continue;
        }
        sum += w;
        if (sum > LabelWidth) {
            ++lines;
            sum = w;
        }
    }
    return lines;
}

void TfmAskUser::Prepare(const QString &question, const QString &caption, const QString &proposed)
{
    lbAsk->setText(question + QLatin1Char(' '));
    lbAsk->setAccessibleName(question);
    edAsk->setAccessibleName(question);
    if (!caption.isEmpty())
        setWindowTitle(caption);
    if (!proposed.isEmpty())
        edAsk->setText(proposed);
    edAsk->selectAll();

    // The words' count is the rule; where the label's own wrapping needs more lines (it measures
    // the blanks too), those are given, so that no part of the question is cut off.
    const int wrapped = (lbAsk->heightForWidth(LabelWidth) + FLabelHeight - 1) / FLabelHeight;
    const int lines = qMax(CountLines(question), wrapped);
    const int extra = (lines - 1) * FLabelHeight;
    setFixedSize(width(), height() + extra);
    pnMain->setGeometry(rect());
    for (QWidget *w :
         {static_cast<QWidget *>(btOk), static_cast<QWidget *>(btCancel), static_cast<QWidget *>(edAsk)})
        w->move(w->x(), w->y() + extra + 2);
    lbAsk->resize(lbAsk->width(), lines * FLabelHeight);
}

std::optional<QString> AskUser(const QString &question, const QString &caption, const QString &proposed,
                               QWidget *parent)
{
    try {
        TfmAskUser d(parent);
        d.Prepare(question, caption, proposed);
        if (const QScreen *s = QGuiApplication::primaryScreen())
            d.move(s->availableGeometry().center() - d.rect().center());
        if (d.exec() != QDialog::Accepted)
            return std::nullopt;
        return d.edAsk->text();
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace velmsetup
