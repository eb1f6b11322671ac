#include "GuiDriver.h"

#include "Access.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

void WhenModal(const std::function<void(QWidget *)> &act, int timeoutMs)
{
    auto *timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QWidget *before = QApplication::activeModalWidget();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, before, act, timeoutMs] {
        QWidget *w = QApplication::activeModalWidget();
        if (w && w != before && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(w);
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal dialog appeared";
            if (w)
                w->close();
        }
    });
    timer->start();
}

void SaveScreen(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("VELM_SCREENS_DIR");
    if (dir.isEmpty() || !widget)
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void ClickButton(QWidget *root, const QString &text)
{
    const auto buttons = root->findChildren<QAbstractButton *>();
    for (QAbstractButton *b : buttons) {
        if (b->isVisible() && (PlainCaption(b->text()) == text || b->accessibleName() == text)) {
            b->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
}
