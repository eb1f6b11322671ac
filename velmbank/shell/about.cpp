#include "about.h"

#include "Access.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmbank {

TfmAbout *fmAbout = nullptr;

TfmAbout::TfmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    lbTitle = new QLabel(QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\""), this);
    QFont bold = lbTitle->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.25);
    lbTitle->setFont(bold);
    lbTitle->setAlignment(Qt::AlignCenter);

    lbVersion = new QLabel(QStringLiteral(" Версия 1.2.1"), this);
    lbVersion->setAlignment(Qt::AlignCenter);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    lbContactsHead = new QLabel(QStringLiteral("Контакты"), this);
    QFont head = lbContactsHead->font();
    head.setBold(true);
    lbContactsHead->setFont(head);
    lbContactsHead->setAlignment(Qt::AlignCenter);

    lbContacts = new QLabel(QStringLiteral("По вопросам работы шлюза обращайтесь\n"
                                           "к администратору системы Вельм\nвашей организации."),
                            this);
    lbContacts->setAlignment(Qt::AlignCenter);

    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setDefault(true);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addStretch();
    auto *l = new QVBoxLayout(this);
    l->setContentsMargins(24, 16, 24, 16);
    l->addWidget(lbTitle);
    l->addWidget(lbVersion);
    l->addSpacing(6);
    l->addWidget(line);
    l->addSpacing(6);
    l->addWidget(lbContactsHead);
    l->addWidget(lbContacts);
    l->addSpacing(10);
    l->addLayout(buttons);

    GiveAccessibleNames(this);
    setFixedSize(qMax(300, sizeHint().width()), sizeHint().height());
}

void TfmAbout::reject() { accept(); }

} // namespace velmbank
