// The installer's dialogs and its progress window on their own: the answer dialog's size for its
// question, the progress window's layouts and Esc, the account prompt, the waits of the
// program's clock, which keep the windows alive, and the choice of the distribution at start.

#include "wizardfixture.h"

#include "Access.h"
#include "AppSetup.h"
#include "ScriptedUi.h"
#include "account.h"
#include "askuser.h"
#include "distribfolder.h"

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

TEST(AnswerDialog, GrowsByOneLabelLineForEveryLineTheQuestionNeedsBeyondTheFirst)
{
    TfmAskUser design;
    const int lh = design.LabelHeight();
    const int editTop = design.edAsk->y();
    const int buttonTop = design.btOk->y();
    EXPECT_EQ(design.windowTitle(), U(u"Введите ответ"));
    EXPECT_EQ(design.width(), 177);
    EXPECT_EQ(design.lbAsk->geometry(), QRect(8, 8, 161, lh));
    EXPECT_EQ(design.edAsk->text(), U(u"ответ"));

    // One short word: the design size; buttons and edit 2 pixels lower; an empty proposal keeps
    // "ответ"; an empty caption keeps the dialog's own.
    TfmAskUser one;
    one.Prepare(U(u"Имя?"), QString(), QString());
    EXPECT_EQ(one.height(), design.height());
    EXPECT_EQ(one.edAsk->y(), editTop + 2);
    EXPECT_EQ(one.btOk->y(), buttonTop + 2);
    EXPECT_EQ(one.btCancel->y(), buttonTop + 2);
    EXPECT_EQ(one.edAsk->text(), U(u"ответ"));
    EXPECT_EQ(one.windowTitle(), U(u"Введите ответ"));
    EXPECT_EQ(one.lbAsk->text(), U(u"Имя? "));

    // Three words each wider than half the label fill three label widths: two lines more.
    const QFontMetrics fm(one.lbAsk->font());
    QString word = QStringLiteral("Ш");
    while (fm.horizontalAdvance(word) <= 161 / 2 + 1)
        word += QStringLiteral("ш");
    ASSERT_LT(fm.horizontalAdvance(word), 161);
    const QString three = QStringList{word, word, word}.join(QLatin1Char(' '));
    TfmAskUser long3;
    ASSERT_EQ(long3.CountLines(three), 3);
    long3.Prepare(three, U(u"Установка Шлюз"), U(u"Иван"));
    EXPECT_EQ(long3.height(), design.height() + 2 * lh);
    EXPECT_EQ(long3.btOk->y(), buttonTop + 2 * lh + 2);
    EXPECT_EQ(long3.edAsk->y(), editTop + 2 * lh + 2);
    EXPECT_EQ(long3.lbAsk->height(), 3 * lh);
    EXPECT_EQ(long3.windowTitle(), U(u"Установка Шлюз"));
    EXPECT_EQ(long3.edAsk->text(), U(u"Иван"));

    // Where the label's own wrapping needs more lines than the words' count (it measures the
    // blanks as well), it gets them: nothing of the question is cut off.
    QStringList many;
    while (many.join(QString()).size() < 120)
        many << U(u"да");
    TfmAskUser tight;
    tight.Prepare(many.join(QLatin1Char(' ')), QString(), QString());
    EXPECT_GE(tight.lbAsk->height(), tight.lbAsk->heightForWidth(161));
    EXPECT_GT(tight.lbAsk->height(), tight.CountLines(many.join(QLatin1Char(' '))) * lh);

    // A word wider than the label takes a line of its own and stays in the question.
    const QString wide = QString(40, QChar(0x0428)); // "ШШШ..."
    ASSERT_GT(fm.horizontalAdvance(wide), 161);
    TfmAskUser w;
    EXPECT_EQ(w.CountLines(U(u"Да ") + wide), 2);
    w.Prepare(U(u"Да ") + wide, QString(), QString());
    EXPECT_TRUE(w.lbAsk->text().contains(wide));
    EXPECT_GE(w.height(), design.height() + lh);

    // Through the seam: OK gives the text, Esc nothing.
    TSetupUi ui;
    SetUi(&ui);
    WhenModal([](QWidget *d) {
        auto *ask = qobject_cast<TfmAskUser *>(d);
        ASSERT_TRUE(ask);
        EXPECT_EQ(ask->edAsk->accessibleName(), U(u"Имя?"));
        ask->edAsk->setText(U(u"Петр"));
        QTest::keyClick(d, Qt::Key_Return);
    });
    EXPECT_EQ(Ui().AskText(U(u"Установка"), U(u"Имя?"), U(u"Иван")), U(u"Петр"));
    WhenModal([](QWidget *d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_EQ(Ui().AskText(U(u"Установка"), U(u"Имя?"), U(u"Иван")), std::nullopt);

    // The account prompt of the VisM layer: the user given, the password asked.
    WhenModal([](QWidget *d) {
        auto *a = qobject_cast<TfmAccount *>(d);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->windowTitle(), U(u"Вход на сервер Cache"));
        EXPECT_EQ(a->edUser->text(), QStringLiteral("velmsetup"));
        EXPECT_EQ(a->focusWidget(), a->edPassword);
        EXPECT_EQ(a->edPassword->accessibleName(), U(u"Пароль"));
        a->edPassword->setText(QStringLiteral("pw"));
        ClickButton(d, U(u"ОК"));
    });
    const auto account = Ui().AskAccount(U(u"Вход на сервер Cache"), QStringLiteral("velmsetup"));
    ASSERT_TRUE(account);
    EXPECT_EQ(account->Password, QStringLiteral("pw"));
    SetUi(nullptr);
}

TEST_F(WizardTest, TheProgressWindowInItsLayoutsAndEscFromItAndFromTheBackground)
{
    Distribution(Content());
    Open();
    TfmProgress &p = Progress();
    EXPECT_EQ(p.size(), QSize(350, 80));
    EXPECT_TRUE(p.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(IsOnTop(&p));
    EXPECT_EQ(p.lbElement->text(), U(u"Элемент"));
    EXPECT_FALSE(p.lbTime->isVisibleTo(&p));
    EXPECT_FALSE(p.gaP->isVisibleTo(&p));

    p.SetLayout(TProgressLayout::Stages);
    p.SetMessage(U(u"Восстановление программ ..."));
    p.SetClip(TSetupClip::CopyFiles);
    p.SetMaximum(4);
    p.SetPosition(1);
    p.SetElement(QStringLiteral("ZZ001a"));
    p.SetTimeVisible(true);
    p.SetTime(U(u"Осталось 00:00:12"));
    p.Show();
    EXPECT_EQ(p.size(), QSize(350, 117));
    EXPECT_TRUE(p.gaP->isVisible());
    EXPECT_EQ(p.gaP->value() * 100 / p.gaP->maximum(), 25);
    EXPECT_TRUE(p.lbElement->isVisible());
    EXPECT_TRUE(p.lbTime->isVisible());
    EXPECT_EQ(p.lbElement->accessibleName(), QStringLiteral("ZZ001a"));
    EXPECT_TRUE(p.Ani->Running());
    SaveScreen(&p, QStringLiteral("velmsetup-progress-programs"));

    // Esc in the progress window and in the background window sets the installer's flag.
    Ui.SetEscapePressed(false);
    QTest::keyClick(&p, Qt::Key_Escape);
    EXPECT_TRUE(Ui.EscapePressed());
    Ui.SetEscapePressed(false);
    QTest::keyClick(Program->fmFone.get(), Qt::Key_Escape);
    EXPECT_TRUE(Ui.EscapePressed());

    const QRect gauge = p.gaP->geometry();
    const QRect element = p.lbElement->geometry();
    const QRect small = p.ani2->geometry();
    p.SetLayout(TProgressLayout::PostActions);
    p.SetSmallAnimation(true);
    p.SetPanelText(U(u"  Шаг один\n  Шаг два"));
    p.ScrollPanelToEnd();
    EXPECT_EQ(p.size(), QSize(600, 245));
    EXPECT_EQ(p.gaP->width(), gauge.width() + 250);
    EXPECT_EQ(p.ani2->x(), small.x() + 250);
    EXPECT_TRUE(p.ani2->isVisible());
    EXPECT_FALSE(p.Ani->isVisible());
    EXPECT_FALSE(p.lbElement->isVisible());
    EXPECT_EQ(p.lbTime->x(), element.x());
    EXPECT_TRUE(p.lbTime->alignment().testFlag(Qt::AlignLeft));
    EXPECT_TRUE(p.lbTime->text().isEmpty());
    EXPECT_TRUE(p.pnAfter->isVisible());
    EXPECT_EQ(p.pnAfter->height(), 124);
    EXPECT_EQ(p.lbAfter->text(), U(u"  Шаг один\n  Шаг два"));
    EXPECT_EQ(p.sbAfter->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    p.SetLayout(TProgressLayout::Exit);
    EXPECT_EQ(p.size(), QSize(350, 80));
    EXPECT_TRUE(p.lbElement->text().isEmpty());
    EXPECT_FALSE(p.Ani->Running());

    // A slide that exists only as another kind of file is counted but cannot be shown.
    QDir(Dir.path()).mkdir(QStringLiteral("IMAGES"));
    WriteFile(Path(QStringLiteral("IMAGES/velm1.png")), "png");
    EXPECT_EQ(CountSlides(QDir(Path(QStringLiteral("IMAGES")))), 1);
    EXPECT_THROW(p.ShowSlide(1), std::exception);
    EXPECT_FALSE(Program->fmFone->pnBevel->isVisible());
}

TEST(GuiClock, WaitsWithoutFreezingTheWindowsOrSpinning)
{
    TGuiClock clock;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    QElapsedTimer waited;
    waited.start();
    std::clock_t cpu = std::clock();
    clock.Sleep(500);
    cpu = std::clock() - cpu;
    EXPECT_GE(waited.elapsed(), 500);
    EXPECT_GE(ticks, 10);
    // Mostly asleep: a spinning wait would take the whole half second of processor time.
    EXPECT_LT(double(cpu) / CLOCKS_PER_SEC, 0.2);
}

TEST(DistributionChoice, StartedWithoutItTheInstallerAsksForTheDistributionInRussian)
{
    QTemporaryDir home, dist;
    for (const char *name : {"velminstal.dat", "other.dat"}) {
        QFile f(dist.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("x") == 1);
    }
    const QString caption = U(u"Выберите дистрибутив для установки");
    const QString filter = U(u"Дистрибутив (velminstal.dat)");
    {
        ScriptedUi scripted;
        // Started where the distribution is, nothing is asked.
        EXPECT_EQ(DistributionFolder(dist.path()), dist.path());
        // Elsewhere it is asked for; a file of another name is refused and asked again from its
        // folder; the distribution's folder is where the installer works; cancelled, none.
        scripted.ExpectFile(dist.filePath(QStringLiteral("other.dat")));
        scripted.ExpectFile(dist.filePath(QStringLiteral("velminstal.dat")));
        scripted.ExpectFile(std::nullopt);
        EXPECT_EQ(DistributionFolder(home.path()), dist.path());
        EXPECT_EQ(DistributionFolder(home.path()), std::nullopt);
        EXPECT_EQ(scripted.Events,
                  (QStringList{U(u"file: %1 | %2 | %3").arg(caption, home.path(), filter),
                               U(u"message: Файл %1 не является дистрибутивом. Выберите файл velminstal.dat")
                                   .arg(dist.filePath(QStringLiteral("other.dat"))),
                               U(u"file: %1 | %2 | %3").arg(caption, dist.path(), filter),
                               U(u"file: %1 | %2 | %3").arg(caption, home.path(), filter)}));
    }

    // The dialog itself, Qt's own labels and buttons in Russian too.
    TSetupUi ui;
    SetUi(&ui);
    SetUpWindowedProgram(*qApp, QStringLiteral("velmsetup"));
    WhenModal([&](QWidget *w) {
        auto *d = qobject_cast<QFileDialog *>(w);
        ASSERT_TRUE(d) << "not the file dialog: " << w->metaObject()->className();
        EXPECT_EQ(d->windowTitle(), caption);
        EXPECT_EQ(d->nameFilters(), QStringList{filter});
        EXPECT_EQ(QDir(d->directory()).canonicalPath(), QDir(home.path()).canonicalPath());
        auto *box = d->findChild<QDialogButtonBox *>();
        ASSERT_TRUE(box);
        EXPECT_EQ(PlainCaption(box->button(QDialogButtonBox::Cancel)->text()), U(u"Отмена"));
        QStringList labels;
        for (QLabel *l : d->findChildren<QLabel *>())
            labels << PlainCaption(l->text());
        EXPECT_TRUE(labels.contains(U(u"Имя файла:"))) << labels.join(u'|').toStdString();
        SaveScreen(d, QStringLiteral("velmsetup-distribution"));
        // Typed whole, as the folder's listing may still be loading.
        auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(name);
        name->setText(dist.filePath(QStringLiteral("velminstal.dat")));
        static_cast<QDialog *>(d)->accept();
    });
    EXPECT_EQ(DistributionFolder(home.path()), dist.path());
    SetUi(nullptr);
}
