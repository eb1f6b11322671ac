#include "PassForm.h"

#include "Access.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace velmbank {

TXApiPassWord::TXApiPassWord(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("XApiPassWord"));
    setWindowTitle(QStringLiteral("Введите пароль"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setEchoMode(QLineEdit::Password);
    Edit1->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    // The edit has no label of its own: the caption says what it wants.
    Edit1->setAccessibleName(QStringLiteral("Введите пароль"));

    // "ОК" in Cyrillic letters, as the operator has always seen it.
    Button1 = new QPushButton(QStringLiteral("ОК"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Отмена"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject); // Esc rejects as well

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *l = new QVBoxLayout(this);
    l->addWidget(Edit1);
    l->addLayout(buttons);

    GiveAccessibleNames(this);
    setFixedSize(QSize(260, sizeHint().height()));
    // Centred on the screen, wherever the window that asked is.
    const QScreen *s = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (s)
        move(s->availableGeometry().center() - rect().center());
    Edit1->setFocus();
}

std::optional<QString> ShowXApiPassWord(QWidget *parent)
{
    TXApiPassWord prompt(parent);
    if (prompt.exec() != QDialog::Accepted)
        return std::nullopt;
    return prompt.Edit1->text();
}

} // namespace velmbank
