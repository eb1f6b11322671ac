#include "ScriptedUi.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <stdexcept>

TEST(UiSeam, ProgressStartClearsTheFlagsAndRecordsSteps)
{
    ScriptedUi ui;
    EXPECT_EQ(&Ui(), &ui);
    ui.SetEscapePressed(true);
    ui.SetStopRequested(true);
    Ui().ProgressStart(QStringLiteral("Загрузка"), 3);
    EXPECT_FALSE(ui.EscapePressed());
    EXPECT_FALSE(ui.StopRequested());
    Ui().ProgressStep();
    Ui().ProgressStep();
    Ui().ProgressFinish();
    Ui().ProgressFinish(); // hiding twice shows nothing more
    EXPECT_EQ(ui.Events,
              (QStringList{QStringLiteral("progress start: Загрузка [3]"), QStringLiteral("progress: 1/3"),
                           QStringLiteral("progress: 2/3"), QStringLiteral("progress finish")}));
}

TEST(UiSeam, ScriptedUiAnswersInOrderAndFailsOnSurprises)
{
    {
        ScriptedUi ui;
        ui.ExpectChoice(3);
        ui.ExpectPassword(std::nullopt);
        EXPECT_EQ(Ui().ChoiceBox({QStringLiteral("?"), {}, QStringLiteral("А_Б_В"), 3, 3, 0, {}}), 3);
        EXPECT_FALSE(Ui().AskPassword(QStringLiteral("Введите пароль")).has_value());
        EXPECT_EQ(ui.PendingAnswers(), 0);
    }
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedUi ui;
            Ui().AskYesNo(QStringLiteral("Прервать задачу?"), TAnswer::No);
        },
        "unexpected yes/no question");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedUi ui;
            ui.ExpectText(QStringLiteral("x"));
        },
        "never asked");
}

TEST(UiSeam, NameCheckKeepsTheDialogFromAcceptingARefusedName)
{
    ScriptedUi ui;
    ui.ExpectName(QStringLiteral("Сбербанк"));
    const auto r =
        Ui().AskName(QStringLiteral("Клиент-банк"), QStringLiteral("Имя"), {}, [](const QString &n) {
            return n == QStringLiteral("Сбербанк") ? QStringLiteral("Такое имя уже есть") : QString();
        });
    EXPECT_FALSE(r.has_value());
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Такое имя уже есть")});

    // After the refusal the operator retypes; the prompt returns the accepted name.
    ui.Clear();
    ui.ExpectName(QStringLiteral("Сбербанк"));
    ui.ExpectName(QStringLiteral("Альфа"));
    const auto retyped =
        Ui().AskName(QStringLiteral("Клиент-банк"), QStringLiteral("Имя"), {}, [](const QString &n) {
            return n == QStringLiteral("Сбербанк") ? QStringLiteral("Такое имя уже есть") : QString();
        });
    EXPECT_EQ(retyped, QStringLiteral("Альфа"));
    EXPECT_EQ(ui.Messages(), QStringList{QStringLiteral("Такое имя уже есть")});
}

TEST(UiSeam, ProgressGuardHidesTheWindowOnEveryPathAndTitleChangesAreHeard)
{
    ScriptedUi ui;
    try {
        TProgressGuard progress(QStringLiteral("Загрузка"), 3);
        EXPECT_TRUE(ui.ProgressShown());
        throw std::runtime_error("server gone");
    } catch (const std::runtime_error &) {}
    EXPECT_FALSE(ui.ProgressShown());

    struct TitleUi : ScriptedUi
    {
        QStringList Heard;
        void OnTitleChanged(const QString &t) override { Heard << t; }
    } titled;
    titled.SetTitle(QStringLiteral("Установка"));
    EXPECT_EQ(titled.Heard, QStringList{QStringLiteral("Установка")});
}
