#include "Access.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

QString PlainCaption(const QString &caption)
{
    QString s = caption;
    // "&&" is a literal ampersand; a single "&" marks the mnemonic.
    s.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    s.remove(QLatin1Char('&'));
    s.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return s;
}

void GiveAccessibleNames(QWidget *root)
{
    if (!root)
        return;
    QList<QWidget *> all = root->findChildren<QWidget *>();
    all.prepend(root);
    // Labels first, so that an edit takes its label's text.
    for (QWidget *w : std::as_const(all)) {
        auto *lb = qobject_cast<QLabel *>(w);
        if (!lb)
            continue;
        const QString text = PlainCaption(lb->text()).trimmed();
        if (lb->accessibleName().isEmpty() && !text.isEmpty())
            lb->setAccessibleName(text);
        if (QWidget *buddy = lb->buddy(); buddy && buddy->accessibleName().isEmpty() && !text.isEmpty()) {
            QString name = text;
            if (name.endsWith(QLatin1Char(':')))
                name.chop(1);
            buddy->setAccessibleName(name);
        }
    }
    for (QWidget *w : std::as_const(all)) {
        if (!w->accessibleName().isEmpty())
            continue;
        if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            const QString text = PlainCaption(b->text());
            w->setAccessibleName(!text.isEmpty() ? text : b->toolTip());
        } else if (auto *g = qobject_cast<QGroupBox *>(w)) {
            w->setAccessibleName(PlainCaption(g->title()));
        }
    }
}

QWidget *FindByAccessibleName(QWidget *root, const QString &name)
{
    if (!root)
        return nullptr;
    const auto all = root->findChildren<QWidget *>();
    for (QWidget *w : all)
        if (w->accessibleName() == name && !w->isHidden())
            return w;
    for (QWidget *w : all)
        if (w->accessibleName() == name)
            return w;
    return nullptr;
}
