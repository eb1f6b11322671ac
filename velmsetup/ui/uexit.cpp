#include "uexit.h"

#include "Access.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmsetup {

TfmExit::TfmExit(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmExit"));
    setWindowTitle(QStringLiteral("Выход из установки"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);

    const QStringList lines{QStringLiteral("Установка не была завершена. Если вы выйдете "),
                            QStringLiteral("сейчас, дистрибутив не будет установлен."), QString(),
                            QStringLiteral("Для продолжения установки нажмите Продолжить"),
                            QStringLiteral("Для выхода нажмите Выход.")};
    meText = new QPlainTextEdit(this);
    meText->setReadOnly(true);
    meText->setPlainText(lines.join(QLatin1Char('\n')));
    meText->setLineWrapMode(QPlainTextEdit::NoWrap);
    meText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    meText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    meText->setFocusPolicy(Qt::NoFocus);
    meText->setAccessibleName(lines[0].trimmed());
    meText->setAccessibleDescription(meText->toPlainText());
    // Sized to show all five lines without scrolling.
    const QFontMetrics fm(meText->font());
    int widest = 0;
    for (const QString &l : lines)
        widest = qMax(widest, fm.horizontalAdvance(l));
    meText->setFixedSize(widest + 24, fm.lineSpacing() * int(lines.size()) + 16);

    btContinue = new QPushButton(QStringLiteral("Продолжить"), this);
    btExit = new QPushButton(QStringLiteral("Выход"), this);
    btContinue->setDefault(true);
    btContinue->setAutoDefault(true);
    btExit->setAutoDefault(false);
    connect(btContinue, &QPushButton::clicked, this, &QDialog::accept);
    connect(btExit, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btContinue);
    buttons->addWidget(btExit);
    buttons->addStretch();
    auto *l = new QVBoxLayout(this);
    l->addWidget(meText);
    l->addLayout(buttons);
    l->setSizeConstraint(QLayout::SetFixedSize);
    GiveAccessibleNames(this);
}

void TfmExit::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    btContinue->setFocus();
}

void TfmExit::reject() { accept(); }

} // namespace velmsetup
