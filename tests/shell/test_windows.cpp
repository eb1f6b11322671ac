// The shell's own windows: the logo, the about window, the progress window and the cell hint.
#include "BankUi.h"
#include "GuiDriver.h"
#include "UBHint.h"
#include "about.h"
#include "logo.h"
#include "progress.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace velmbank;

TEST(Logo, BuiltInPictureUnlessTheSiteHasItsOwn)
{
    QTemporaryDir dir;
    {
        TfmLogo logo(dir.path());
        logo.ShowNow();
        EXPECT_EQ(logo.size(), QSize(233, 306));
        EXPECT_TRUE(logo.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(logo.windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_FALSE(logo.PictureLoaded);
        EXPECT_FALSE(logo.Image1->pixmap().isNull()); // the picture built into the program
        EXPECT_TRUE(logo.Label2->isVisible());
        EXPECT_EQ(logo.Label2->text(), QStringLiteral("Шлюз Клиент Банк"));
        EXPECT_EQ(logo.Panel2->text(), QStringLiteral("Подключение к серверу Базы Данных..."));
        EXPECT_EQ(logo.Panel1->frameShadow(), QFrame::Raised);
        SaveScreen(&logo, QStringLiteral("logo"));
    }
    // A file that is no picture changes nothing, and says nothing.
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Images")));
    const QString jpg = dir.filePath(QStringLiteral("Images/client-bank.jpg"));
    {
        QFile f(jpg);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\xff\xd8\xff\xe0 not quite a JPEG");
    }
    {
        TfmLogo logo(dir.path());
        EXPECT_FALSE(logo.PictureLoaded);
        EXPECT_FALSE(logo.Label2->isHidden());
    }
    // The site's picture replaces the built-in one and its title.
    QImage site(120, 160, QImage::Format_RGB32);
    site.fill(Qt::darkGreen);
    ASSERT_TRUE(QFile::remove(jpg));
    ASSERT_TRUE(site.save(jpg, "JPG"));
    TfmLogo logo(dir.path());
    EXPECT_TRUE(logo.PictureLoaded);
    EXPECT_TRUE(logo.Label2->isHidden());
    EXPECT_EQ(logo.Panel1->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(logo.Image1->pixmap().size(), QSize(120, 160));
}

TEST(About, TitleVersionContactsAndOneButton)
{
    TfmAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("О программе"));
    EXPECT_EQ(about.lbTitle->text(), QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\""));
    EXPECT_TRUE(about.lbTitle->font().bold());
    EXPECT_EQ(about.lbVersion->text(), QStringLiteral(" Версия 1.2.1"));
    EXPECT_EQ(about.lbContactsHead->text(), QStringLiteral("Контакты"));
    EXPECT_FALSE(about.lbContacts->text().isEmpty());
    EXPECT_TRUE(about.btOK->isDefault());
    // Enter and Esc both close it as OK.
    WhenModal([](QWidget *w) {
        SaveScreen(w, QStringLiteral("about"));
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
    WhenModal([](QWidget *w) { QTest::keyClick(w, Qt::Key_Return); });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
}

TEST(Captions, EachWindowShowsThePartsCaptionAloneAndBoxesTheGatewaysTitle)
{
    TBankUi ui;
    SetUi(&ui);
    const QString title = QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\"");
    ui.SetTitle(title);
    // Qt follows every window's caption with " — " and the application's display name once one
    // is set: the gateway's title must not become it.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    TfmAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("О программе"));
    QString boxCaption;
    WhenModal([&boxCaption](QWidget *w) {
        boxCaption = w->windowTitle();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    ui.ShowMessage(QStringLiteral("Сообщение"));
    EXPECT_EQ(boxCaption, title) << "a box's caption is the title itself";
    SetUi(nullptr);
}

TEST(ProgressWindow, StartClearsTheFlagsAndEscOnlyAsks)
{
    TBankUi ui;
    SetUi(&ui);
    TfmProgress progress;
    ui.SetProgressView(&progress);
    ui.SetEscapePressed(true);
    ui.SetStopRequested(true);
    {
        TProgressGuard guard(QStringLiteral("Загрузка списка настроек"), 40);
        EXPECT_FALSE(ui.EscapePressed());
        EXPECT_FALSE(ui.StopRequested());
        EXPECT_TRUE(progress.isVisible());
        EXPECT_TRUE(progress.ani->Active());
        EXPECT_EQ(progress.lbMes->text(), QStringLiteral("Загрузка списка настроек"));
        EXPECT_EQ(progress.size(), QSize(331, 46));
        EXPECT_EQ(progress.gaP->maximum(), 40);
        EXPECT_EQ(progress.gaP->value(), 0);
        for (int i = 1; i <= 40; ++i)
            ui.ProgressStep();
        EXPECT_EQ(progress.gaP->value(), 40);
        ui.ProgressSetPosition(17);
        QTest::qWait(QtUi::ProgressPaintInterval + 5);
        ui.ProgressSetPosition(18);
        SaveScreen(&progress, QStringLiteral("progress"));
        // Esc sets the flag and nothing else: the operation decides.
        QTest::keyClick(&progress, Qt::Key_Escape);
        EXPECT_TRUE(ui.EscapePressed());
        EXPECT_TRUE(progress.isVisible());
        // A message too long for the window widens it instead of being cut.
        const QString longer(QStringLiteral("Импорт файла клиент-банка: запись 100000 из 100000, проверка"));
        ui.ProgressSetMessage(longer);
        EXPECT_GE(progress.lbMes->width(), progress.lbMes->fontMetrics().horizontalAdvance(longer));
    }
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.ani->Active());
    ui.SetProgressView(nullptr);
    SetUi(nullptr);
}

namespace {
// Lets the event loop run until probe holds or msecs pass.
bool Within(int msecs, const std::function<bool()> &probe)
{
    QDeadlineTimer deadline(msecs);
    while (!probe()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

// A control that offers the hint to a test: it can refuse or rewrite it.
class HintTarget : public QLabel
{
public:
    bool Refuse = false;
    QString Rewrite;
    int Offers = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == TBHintShowEvent::EventType()) {
            ++Offers;
            auto *offer = static_cast<TBHintShowEvent *>(e);
            offer->Refused = Refuse;
            if (!Rewrite.isEmpty())
                offer->Text = Rewrite;
            return true;
        }
        return QLabel::event(e);
    }
};
} // namespace

TEST(CellHint, FollowsTheCellsUnderThePointer)
{
    QWidget window;
    window.resize(300, 200);
    auto *grid = new HintTarget;
    grid->setParent(&window);
    grid->setGeometry(10, 10, 280, 180);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QCursor::setPos(grid->mapToGlobal(QPoint(50, 40)));

    TBHint hint;
    EXPECT_EQ(hint.HintPause, 100);
    EXPECT_EQ(hint.HideTimeout, 9500);
    grid->setToolTip(QStringLiteral("ООО \"Ромашка\", Москва|второй текст"));
    hint.ActivateHint(grid, 2, 5);
    EXPECT_EQ(hint.Timer()->interval(), 100);
    // Moving within the cell does not restart the wait.
    QTest::qWait(60);
    hint.ActivateHint(grid, 2, 5);
    EXPECT_LT(hint.Timer()->remainingTime(), 60);
    ASSERT_TRUE(Within(1000, [&] { return hint.HintShown; }));
    ASSERT_TRUE(hint.HintWindow);
    EXPECT_TRUE(hint.HintWindow->isVisible());
    EXPECT_EQ(hint.HintWindow->text(), QStringLiteral("ООО \"Ромашка\", Москва")); // the short form
    EXPECT_GT(hint.HintWindow->y(), grid->mapToGlobal(QPoint(50, 40)).y());        // below the pointer
    EXPECT_EQ(hint.TimerMode, 1);
    EXPECT_EQ(hint.Timer()->interval(), 9500);

    // The next cell follows at once while a hint is shown; the control may rewrite the text.
    grid->Rewrite = QStringLiteral("другая ячейка");
    hint.ActivateHint(grid, 3, 5);
    EXPECT_EQ(hint.Timer()->interval(), 0);
    EXPECT_TRUE(Within(1000, [&] { return hint.HintWindow->text() == QStringLiteral("другая ячейка"); }));
    EXPECT_TRUE(hint.HintWindow->isVisible());

    // After its time the hint goes and does not come back for the same cell.
    hint.HideTimeout = 30;
    hint.ActivateHint(grid, 4, 5);
    ASSERT_TRUE(Within(1000, [&] { return hint.HintWindow->isVisible(); }));
    EXPECT_TRUE(Within(1000, [&] { return !hint.HintWindow->isVisible(); }));
    EXPECT_EQ(hint.HintControl, grid);
    const int offers = grid->Offers;
    hint.ActivateHint(grid, 4, 5);
    QTest::qWait(150);
    EXPECT_FALSE(hint.HintWindow->isVisible());
    EXPECT_EQ(grid->Offers, offers);

    // A cell that fits its column (empty text) or a refused hint shows nothing.
    grid->Rewrite.clear();
    grid->setToolTip(QString());
    hint.ActivateHint(grid, 5, 5);
    QTest::qWait(150);
    EXPECT_FALSE(hint.HintWindow->isVisible());
    EXPECT_FALSE(hint.HintControl);
    grid->setToolTip(QStringLiteral("текст"));
    grid->Refuse = true;
    hint.ActivateHint(grid, 6, 5);
    QTest::qWait(150);
    EXPECT_FALSE(hint.HintWindow->isVisible());

    // No control: hidden and forgotten; a pointer elsewhere shows nothing either.
    grid->Refuse = false;
    hint.HideTimeout = 9500;
    hint.ActivateHint(grid, 7, 5);
    ASSERT_TRUE(Within(1000, [&] { return hint.HintWindow->isVisible(); }));
    hint.ActivateHint(nullptr, 0, 0);
    EXPECT_FALSE(hint.HintWindow->isVisible());
    EXPECT_FALSE(hint.Timer()->isActive());
    QCursor::setPos(window.mapToGlobal(QPoint(295, 195)));
    hint.ActivateHint(grid, 8, 5);
    QTest::qWait(150);
    EXPECT_FALSE(hint.HintWindow->isVisible());
}
