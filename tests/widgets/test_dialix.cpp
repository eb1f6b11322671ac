#include "Dialix.h"
#include "GuiDriver.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TChoiceArgs Args(const QString &buttons, int def = 1, int esc = 0, int width = 0)
{
    TChoiceArgs a;
    a.Message = QStringLiteral("Документ уже существует");
    a.Buttons = buttons;
    a.DefaultButton = def;
    a.EscapeResult = esc;
    a.ButtonWidth = width;
    return a;
}

// The box, built as ShowChoiceBox builds it, without showing it.
struct Built
{
    explicit Built(const TChoiceArgs &a)
    {
        box.Configure(a);
        box.ArrangeSize();
        box.CreateButtons();
    }
    TfmBox box;
};

} // namespace

TEST(ChoiceBox, ButtonsAreSizedFromTheirCaptionsAndCentred)
{
    Built yesNo(Args(QStringLiteral("Да_Нет")));
    ASSERT_EQ(yesNo.box.ButtonList.size(), 2);
    // Short captions: the minimum 40 plus 10.
    EXPECT_EQ(yesNo.box.ButtonWidth, 50);
    EXPECT_EQ(yesNo.box.windowTitle(), QStringLiteral("Сообщение"));

    const QString four = QStringLiteral("Закрыть_Создать новый_Пропустить_Прервать");
    Built wide(Args(four, 3));
    const QFontMetrics fm(wide.box.font());
    EXPECT_EQ(wide.box.ButtonWidth, fm.horizontalAdvance(QStringLiteral("Создать новый")) + 10);
    EXPECT_EQ(wide.box.ButtonsWidth, (wide.box.ButtonWidth + 5) * 4 - 5 + 40);
    // Buttons are laid out left to right, numbered by position, centred in the box.
    const auto &b = wide.box.ButtonList;
    EXPECT_EQ(b[1]->text(), QStringLiteral("Создать новый"));
    EXPECT_EQ(b[1]->x() - b[0]->x(), wide.box.ButtonWidth + 5);
    EXPECT_EQ(b[0]->x(), (wide.box.width() - wide.box.ButtonsWidth) / 2 + 20);
    EXPECT_TRUE(b[2]->isDefault());
    EXPECT_EQ(b[2]->accessibleName(), QStringLiteral("Пропустить"));

    // A fixed width below the minimum is raised to it; empty captions still make buttons.
    Built fixed(Args(QStringLiteral("a__b"), 1, 0, 12));
    EXPECT_EQ(fixed.box.ButtonWidth, 40);
    ASSERT_EQ(fixed.box.ButtonList.size(), 3);
    EXPECT_EQ(fixed.box.ButtonList[1]->text(), QString());

    // A long message widens the box beyond its buttons.
    TChoiceArgs longer = Args(QStringLiteral("OK"));
    longer.Message = QString(120, QLatin1Char('x'));
    Built text(longer);
    EXPECT_EQ(text.box.width(), QFontMetrics(text.box.font()).horizontalAdvance(longer.Message) + 40);
    EXPECT_GT(text.box.width(), text.box.ButtonsWidth);

    // A missing icon file changes nothing.
    TChoiceArgs icon = Args(QStringLiteral("Да_Нет"));
    icon.IconFile = QStringLiteral("/no/such/icon.png");
    Built noIcon(icon);
    EXPECT_EQ(noIcon.box.TextLeftMargin, 20);
}

TEST(ChoiceBox, ResultIsThePressedButtonAndEscFollowsEscapeResult)
{
    // A click answers the button's number.
    WhenModal([](QWidget *w) { ClickButton(w, QStringLiteral("Пропустить")); });
    TChoiceArgs a = Args(QStringLiteral("Закрыть_Создать новый_Пропустить_Прервать"), 3, 3);
    a.Caption = QStringLiteral("Деньги: Расход");
    EXPECT_EQ(ShowChoiceBox(a), 3);

    // Enter presses the default button; Esc answers the Esc result.
    WhenModal([](QWidget *w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Деньги: Расход"));
        QTest::keyClick(w, Qt::Key_Return);
    });
    a.DefaultButton = 2;
    EXPECT_EQ(ShowChoiceBox(a), 2);
    WhenModal([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(ShowChoiceBox(Args(QStringLiteral("Да_Нет"), 1, 2)), 2);

    // With Esc result 0, Esc does nothing: only a button ends the box.
    WhenModal([](QWidget *w) {
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
        ClickButton(w, QStringLiteral("Нет"));
    });
    EXPECT_EQ(ShowChoiceBox(Args(QStringLiteral("Да_Нет"))), 2);
}
