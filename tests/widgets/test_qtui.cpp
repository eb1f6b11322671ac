#include "GuiDriver.h"
#include "QtUi.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QStringList Captions(QWidget *w)
{
    QStringList out;
    for (auto *b : w->findChildren<QAbstractButton *>())
        if (b->isVisible())
            out << b->text();
    return out;
}

struct Seam
{
    Seam()
    {
        SetUi(&ui);
        ui.SetTitle(QStringLiteral("ВЕЛЬМ - Банк"));
    }
    ~Seam() { SetUi(nullptr); }
    QtUi ui;
};

// Counts what the progress window is asked to draw.
struct CountingView : TProgressView
{
    void ProgressShow(const QString &, int) override { ++Shows; }
    void ProgressHide() override { ++Hides; }
    void ProgressMessage(const QString &) override {}
    void ProgressPosition(int position, int) override
    {
        ++Paints;
        Last = position;
    }
    int Shows = 0, Hides = 0, Paints = 0, Last = -1;
};

} // namespace

TEST(QtUiSeam, BoxesSpeakRussianWithTheTitleAndTheirDefaults)
{
    Seam s;
    WhenModal([](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("ВЕЛЬМ - Банк"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->text(), QStringLiteral("Нет связи с сервером"));
        EXPECT_EQ(Captions(w), QStringList{QStringLiteral("OK")});
        QTest::keyClick(w, Qt::Key_Return);
    });
    Ui().ShowError(QStringLiteral("Нет связи с сервером"));

    // Yes/No: Russian captions, the default button, Esc answers No; the caption given wins.
    WhenModal([](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Деньги: Расход"));
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("Нет"));
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(Ui().AskYesNo(QStringLiteral("Прервать задачу?"), TAnswer::No, QStringLiteral("Деньги: Расход"),
                            TQuestionIcon::None),
              TAnswer::No);
    WhenModal([](QWidget *w) {
        EXPECT_EQ(Captions(w),
                  (QStringList{QStringLiteral("Да"), QStringLiteral("Нет"), QStringLiteral("Отмена")}));
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(Ui().AskYesNoCancel(QStringLiteral("Сохранить настройку?"), TAnswer::Yes), TAnswer::Cancel);
    WhenModal([](QWidget *w) { QTest::keyClick(w, Qt::Key_Return); });
    EXPECT_EQ(Ui().AskYesNoCancel(QStringLiteral("Сохранить настройку?"), TAnswer::Yes), TAnswer::Yes);
}

TEST(QtUiSeam, ARefusedNameKeepsThePromptOpenWithTheText)
{
    Seam s;
    WhenModal([](QWidget *w) {
        auto *edit = w->findChild<QLineEdit *>();
        ASSERT_TRUE(edit);
        EXPECT_EQ(edit->accessibleName(), QStringLiteral("Наименование"));
        edit->setText(QStringLiteral("Сбербанк"));
        // The refusal box comes first; answer it, then correct the name.
        WhenModal([w, edit](QWidget *refusal) {
            EXPECT_TRUE(refusal->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))
                            ->text()
                            .contains(QStringLiteral("уже есть")));
            QTest::keyClick(refusal, Qt::Key_Return);
            QTimer::singleShot(0, w, [w, edit] {
                EXPECT_TRUE(w->isVisible());
                EXPECT_EQ(edit->text(), QStringLiteral("Сбербанк"));
                edit->setText(QStringLiteral("Альфа"));
                ClickButton(w, QStringLiteral("OK"));
            });
        });
        ClickButton(w, QStringLiteral("OK"));
    });
    const auto name = Ui().AskName(
        QStringLiteral("Клиент-банк"), QStringLiteral("Наименование:"), {}, [](const QString &n) {
            return n == QStringLiteral("Сбербанк") ? QStringLiteral("Такой клиент-банк уже есть") : QString();
        });
    EXPECT_EQ(name, QStringLiteral("Альфа"));
}

TEST(QtUiSeam, ProgressRepaintsAFewDozenTimesASecondAtMost)
{
    Seam s;
    CountingView view;
    s.ui.SetProgressView(&view);
    {
        TProgressGuard guard(QStringLiteral("Импорт"), 100000);
        for (int i = 1; i <= 100000; ++i)
            Ui().ProgressSetPosition(i);
    }
    EXPECT_EQ(view.Shows, 1);
    EXPECT_EQ(view.Hides, 1);
    EXPECT_EQ(view.Last, 100000); // the last step is always drawn
    EXPECT_LT(view.Paints, 100);
}
