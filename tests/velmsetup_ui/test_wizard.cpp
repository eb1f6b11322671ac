// The wizard against the recording VisM double: pages, texts, captions and actions, the
// connection and the namespace list, a distribution that cannot be read there, the options of the
// namespace page, the settings memo, an installation with a failing check label, the progress
// window's place, the stored settings, the command line and the log file.

#include "wizardfixture.h"

#include "Dialix.h"
#include "account.h"
#include "askuser.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

namespace {

QString BoxText(QWidget *w)
{
    if (auto *box = qobject_cast<QMessageBox *>(w))
        return box->text();
    return {};
}

// The namespaces the double's server lists: count, then one name per P1.
void ServeNameSpaces(TVisMDouble &vism, const QByteArrayList &names)
{
    vism.AnswerValue("$ZNSPACE", {"%SYS"});
    vism.AnswerValue("$zu(90,0)", {QByteArray::number(names.size())});
    vism.Handler = [names](const TVisMDouble::TRun &run) -> std::optional<TVisMReply> {
        if (run.Code == "$zu(90,2,0,P1)")
            return TVisMReply{0, {}, names.value(run.P1.toInt() - 1)};
        return std::nullopt;
    };
}

// The caption the desktop shows: Qt appends the application display name, once one is set, to
// every caption that does not end with it.
QString ShownCaption(const QWidget *w)
{
    const QString name = QGuiApplication::applicationDisplayName();
    const QString title = w->windowTitle();
    if (name == QCoreApplication::applicationName() || title.endsWith(name))
        return title;
    return title + QStringLiteral(" — ") + name;
}

QStringList Entries(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

TEST_F(WizardTest, PagesTheirTextsAndTheExitDialogFromEveryPage)
{
    Distribution(Content());
    WriteFile(Path(QStringLiteral("licence.txt")), ToWin1251(U(u"Соглашение\r\nпункт 1\r\n")));
    ServeNameSpaces(Double, {"%SYS", "USER"});
    Open();
    TfmSetup &w = Wizard();
    EXPECT_EQ(ShownCaption(&w), QStringLiteral("Remart Installation Wizard 2.8"));
    EXPECT_TRUE(IsOnTop(&w));
    EXPECT_EQ(ShownCaption(Program->fmFone.get()), QStringLiteral("Remart Installation Wizard"));
    EXPECT_EQ(Program->fmFone->lbTitle->text(), U(u"Шлюз ВЕЛЬМ-Банк 3.1"));
    EXPECT_EQ(Program->fmFone->lbShadow->pos() - Program->fmFone->lbTitle->pos(), QPoint(4, 4));
    EXPECT_EQ(w.meProduct->toPlainText(),
              U(u"Эта программа установит: Шлюз ВЕЛЬМ-Банк 3.1. \nСборка: 09.12.2024"));
    EXPECT_TRUE(LogText().value(0).startsWith(U(u"Протокол установки дистрибутива. ")));

    // Every page's "Отмена" (the agreement's "Нет") asks; "Продолжить", Enter and Esc stay.
    auto exitStays = [&](const QString &cancel, const QString &screen) {
        const int page = w.Page();
        WhenModal([&](QWidget *d) {
            auto *exit = qobject_cast<TfmExit *>(d);
            ASSERT_TRUE(exit);
            EXPECT_EQ(ShownCaption(exit), U(u"Выход из установки"));
            EXPECT_EQ(exit->meText->toPlainText(),
                      U(u"Установка не была завершена. Если вы выйдете \nсейчас, дистрибутив не будет "
                        u"установлен.\n\n"
                        "Для продолжения установки нажмите Продолжить\nДля выхода нажмите Выход."));
            EXPECT_EQ(exit->focusWidget(), exit->btContinue);
            if (!screen.isEmpty())
                SaveScreen(exit, screen);
            QTest::keyClick(exit, Qt::Key_Escape);
        });
        Click(cancel);
        EXPECT_EQ(w.Page(), page);
        EXPECT_EQ(Ended, 0);
    };
    SaveScreen(&w, QStringLiteral("velmsetup-1-welcome"));
    exitStays(U(u"Отмена"), QStringLiteral("velmsetup-exit"));
    Click(U(u"Далее"));
    EXPECT_EQ(w.Page(), TfmSetup::pgLicence);
    EXPECT_EQ(w.focusWidget(), w.meLicence);
    EXPECT_EQ(w.meLicence->toPlainText(), U(u"Соглашение\nпункт 1"));
    SaveScreen(&w, QStringLiteral("velmsetup-2-licence"));
    exitStays(U(u"Нет"), {});
    Click(U(u"Назад"));
    EXPECT_EQ(w.Page(), TfmSetup::pgWelcome);
    Click(U(u"Далее"));
    Click(U(u"Да"));
    EXPECT_EQ(w.Page(), TfmSetup::pgConnect);
    EXPECT_EQ(w.edIP->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(w.edPort->text(), QStringLiteral("1972"));
    EXPECT_EQ(w.edIP->accessibleName(), U(u"IP адрес"));
    EXPECT_EQ(w.edPort->accessibleName(), U(u"Порт"));
    SaveScreen(&w, QStringLiteral("velmsetup-3-connect"));
    exitStays(U(u"Отмена"), {});
    Click(U(u"Назад"));
    EXPECT_EQ(w.Page(), TfmSetup::pgLicence);
    Click(U(u"Да"));

    Click(U(u"Далее"));
    ASSERT_EQ(w.Page(), TfmSetup::pgNameSpace);
    EXPECT_EQ(w.liNS->accessibleName(), U(u"Доступны области"));
    EXPECT_EQ(w.chNoRes->accessibleName(), U(u"НЕ восстанавливать программы"));
    SaveScreen(&w, QStringLiteral("velmsetup-4-namespace"));
    exitStays(U(u"Отмена"), {});
    Click(U(u"Далее"));
    ASSERT_EQ(w.Page(), TfmSetup::pgInstall);
    SaveScreen(&w, QStringLiteral("velmsetup-5-install"));
    // The close box asks as "Отмена" does.
    WhenModal([](QWidget *d) { ClickButton(d, U(u"Продолжить")); });
    w.close();
    EXPECT_EQ(w.Page(), TfmSetup::pgInstall);
    EXPECT_TRUE(w.isVisible());
    Click(U(u"Назад"));
    EXPECT_EQ(w.Page(), TfmSetup::pgNameSpace);

    // "Выход" ends the program; the log is written then, Windows-1251 with CR LF.
    WhenModal([](QWidget *d) { ClickButton(d, U(u"Выход")); });
    Click(U(u"Отмена"));
    EXPECT_EQ(Ended, 1);
    Program.reset();
    const QStringList file = FileLines(Path(QStringLiteral("velmsetup.txt")));
    ASSERT_GE(file.size(), 6);
    EXPECT_TRUE(file[0].startsWith(U(u"Протокол установки дистрибутива. "))) << file[0].toStdString();
    EXPECT_EQ(file.mid(1, 5), (QStringList{QString(), U(u"Продукт: Шлюз ВЕЛЬМ-Банк"), U(u"Версия: 3.1"),
                                           U(u"Дата сборки: 09.12.2024"), QString()}));
    EXPECT_EQ(file.last(), U(u"Успешное соединение с областью USER"));
    EXPECT_TRUE(Opened.Files.isEmpty());

    // Closing the background window ends the program without a question.
    Open();
    Program->fmFone->close();
    EXPECT_EQ(Ended, 2);
}

TEST_F(WizardTest, EveryControlOfTheInstallersWindowsHasAnAccessibleName)
{
    Distribution(Content());
    Open();
    TfmAccount account(U(u"Вход на сервер Cache"), QString());
    TfmAskUser ask;
    ask.Prepare(U(u"Имя?"), QString(), QString());
    for (QWidget *window : std::initializer_list<QWidget *>{&Wizard(), &Progress(), Program->fmExit.get(),
                                                            Program->fmPass.get(), &account, &ask}) {
        const auto controls = window->findChildren<QWidget *>();
        for (QWidget *w : controls) {
            const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w)
                                 || qobject_cast<QAbstractItemView *>(w) || qobject_cast<QPlainTextEdit *>(w)
                                 || qobject_cast<QProgressBar *>(w);
            if (control && w->objectName() != QStringLiteral("qt_scrollarea_viewport"))
                EXPECT_FALSE(w->accessibleName().isEmpty())
                    << window->objectName().toStdString() << ": " << w->metaObject()->className();
        }
    }
}

TEST_F(WizardTest, WithoutAnAgreementTheWelcomePageLeadsToTheConnection)
{
    Distribution(Content());
    Open();
    Click(U(u"Далее"));
    EXPECT_EQ(Wizard().Page(), TfmSetup::pgConnect);
    Click(U(u"Назад"));
    EXPECT_EQ(Wizard().Page(), TfmSetup::pgWelcome);
}

namespace {

// Reports the connection actually in use on another port, as a server that moved the client.
class TMovingVisM : public TVisMDouble
{
protected:
    TVisMReply Run(const QByteArray &code, bool byExecFlag) override
    {
        if (code == "$ZNSPACE" && NameSpace() == "%SYS")
            StoreMServer(ServerString("127.0.0.1", "1973"));
        return TVisMDouble::Run(code, byExecFlag);
    }
};

} // namespace

TEST_F(WizardTest, ConnectingListsEachNamespaceOnceAndPreselectsTheRememberedOne)
{
    Distribution(Content());
    {
        QSettings s(QStringLiteral("Remart"), QStringLiteral("Velmsetup"));
        s.setValue(QStringLiteral("Settings/NS"), QStringLiteral("velm"));
        s.setValue(QStringLiteral("Settings/Port"), QStringLiteral("1980"));
    }
    ServeNameSpaces(Double, {"%SYS", "USER", "USER", "VELM"});
    Double.Answer("$ZNSPACE", {TVisMReply{1, "wrong account or password", {}}, TVisMReply{0, {}, "%SYS"}});
    Open();
    TfmSetup &w = Wizard();
    Click(U(u"Далее"));
    EXPECT_EQ(w.edPort->text(), QStringLiteral("1980"));

    // Nothing to connect to without a port.
    w.edPort->clear();
    WhenModal([](QWidget *d) {
        EXPECT_EQ(BoxText(d), U(u"Параметры соединения должны быть указаны"));
        QTest::keyClick(d, Qt::Key_Return);
    });
    Click(U(u"Далее"));
    EXPECT_TRUE(Double.Runs.isEmpty());

    // Refused: the message, a log line, the same page, both windows on top again.
    w.edPort->setText(QStringLiteral("1972"));
    w.edIP->setText(QStringLiteral(" 127. 0.0.1 "));
    const qsizetype before = LogText().size();
    WhenModal([this](QWidget *d) {
        EXPECT_EQ(BoxText(d),
                  U(u"Не удается создать соединение с Cache сервером. Попробуйте задать другие параметры"));
        // The progress window says what goes on and steps aside for prompts meanwhile.
        EXPECT_EQ(Progress().lbMes->text(), U(u"Соединение с сервером..."));
        EXPECT_EQ(Progress().Clip(), TSetupClip::FindFolder);
        EXPECT_FALSE(IsOnTop(&Wizard()));
        EXPECT_FALSE(IsOnTop(&Progress()));
        QTest::keyClick(d, Qt::Key_Return);
    });
    Click(U(u"Далее"));
    EXPECT_EQ(w.Page(), TfmSetup::pgConnect);
    EXPECT_TRUE(IsOnTop(&w));
    EXPECT_TRUE(IsOnTop(&Progress()));
    EXPECT_FALSE(Progress().isVisible());
    EXPECT_EQ(Double.MServer(), "CN_IPTCP:127.0.0.1[1972]:127.0.0.1[1972]");
    EXPECT_EQ(LogText().mid(before),
              (QStringList{QString(), U(u"Подключение к системной области."), U(u"Параметры соединения:"),
                           U(u"IP адрес:127.0.0.1"), U(u"Порт:1972"), U(u"Область:%SYS"), QString(),
                           U(u"Ошибка соединения. wrong account or password")}));

    // Connected: a name listed twice in a row is one entry; the remembered one is chosen.
    Click(U(u"Далее"));
    ASSERT_EQ(w.Page(), TfmSetup::pgNameSpace);
    EXPECT_EQ(Entries(w.liNS),
              (QStringList{QStringLiteral("%SYS"), QStringLiteral("USER"), QStringLiteral("VELM")}));
    EXPECT_EQ(w.liNS->currentItem()->text(), QStringLiteral("VELM"));
    EXPECT_TRUE(w.liNS->isVisible());
    EXPECT_EQ(LogText().last(), U(u"Успешное соединение с областью %SYS"));
    EXPECT_EQ(Double.Codes().mid(Double.Codes().size() - 5),
              (QByteArrayList{"$zu(90,0)", "$zu(90,2,0,P1)", "$zu(90,2,0,P1)", "$zu(90,2,0,P1)",
                              "$zu(90,2,0,P1)"}));

    // The chosen namespace.
    w.liNS->setCurrentRow(1);
    Click(U(u"Далее"));
    ASSERT_EQ(w.Page(), TfmSetup::pgInstall);
    EXPECT_EQ(Double.NameSpace(), "USER");
    EXPECT_EQ(LogText().mid(LogText().size() - 8),
              (QStringList{QString(), U(u"Подключение к выбранной области."), U(u"Параметры соединения:"),
                           U(u"IP адрес:127.0.0.1"), U(u"Порт:1972"), U(u"Область:USER"), QString(),
                           U(u"Успешное соединение с областью USER")}));
}

TEST_F(WizardTest, AConnectionMovedByTheServerIsAdoptedAndAForgottenNamespaceFallsToTheFirst)
{
    Distribution(Content());
    TMovingVisM moving;
    ServeNameSpaces(moving, {"%SYS", "USER"});
    VisM = &moving;
    {
        QSettings s(QStringLiteral("Remart"), QStringLiteral("Velmsetup"));
        s.setValue(QStringLiteral("Settings/NS"), QStringLiteral("GONE"));
    }
    Open();
    Click(U(u"Далее"));
    Click(U(u"Далее"));
    ASSERT_EQ(Wizard().Page(), TfmSetup::pgNameSpace);
    EXPECT_EQ(Wizard().edPort->text(), QStringLiteral("1973"));
    EXPECT_EQ(Wizard().liNS->currentItem()->text(), QStringLiteral("%SYS"));
    const QStringList log = LogText();
    EXPECT_EQ(log.mid(log.size() - 7),
              (QStringList{U(u"Параметры соединения были изменены пользователем."),
                           U(u"Новые параметры соединения:"), U(u"IP адрес:127.0.0.1"), U(u"Порт:1973"),
                           U(u"Область:%SYS"), QString(), U(u"Успешное соединение с областью %SYS")}));
}

TEST_F(WizardTest, ADistributionThatCannotBeReadAtConnectingIsAMessageAndThePageStays)
{
    // Key 0, so the body is plain: the library detection reads a first program over the limit.
    WriteFile(Path(QStringLiteral("velminstal.dat")), QByteArray("V") + char(0)
                                                          + "Prod\r2.8\r09.12.2024\rpw\r\r\r\r\r" + "BIG\n"
                                                          + QByteArray(" s x=1\n").repeated(25000) + "\r");
    ServeNameSpaces(Double, {"%SYS", "USER"});
    Open();
    Click(U(u"Далее"));
    const QString tooLong = U(u"Запись дистрибутива длиннее 153599 байт");
    AnswerInTurn({[&](QWidget *d) {
        EXPECT_EQ(qobject_cast<QMessageBox *>(d)->icon(), QMessageBox::Critical);
        Press(tooLong, QStringLiteral("OK"))(d);
    }});
    Click(U(u"Далее"));
    EXPECT_EQ(Wizard().Page(), TfmSetup::pgConnect);
    EXPECT_FALSE(Progress().isVisible());
    EXPECT_TRUE(IsOnTop(&Wizard()));
    EXPECT_EQ(LogText().constLast(), U(u"Ошибка GUI приложения: ") + tooLong);

    // The file gone after the welcome page: the same, and the log is written at the end.
    Distribution(Content());
    Open();
    Click(U(u"Далее"));
    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("velminstal.dat"))));
    AnswerInTurn({[](QWidget *d) {
        EXPECT_TRUE(BoxText(d).startsWith(U(u"Не удается открыть файл дистрибутива ")))
            << BoxText(d).toStdString();
        ClickButton(d, QStringLiteral("OK"));
    }});
    Click(U(u"Далее"));
    EXPECT_EQ(Wizard().Page(), TfmSetup::pgConnect);
    const QStringList log = LogText();
    EXPECT_TRUE(
        log.constLast().startsWith(U(u"Ошибка GUI приложения: Не удается открыть файл дистрибутива ")));
    Program.reset();
    EXPECT_EQ(FileLines(Path(QStringLiteral("velmsetup.txt"))), log);
}

TEST_F(WizardTest, NamespacePageOptionsTakeThePasswordOrTwoYesesAndShowInTheSettings)
{
    // A library distribution: its first program's name holds a "%".
    Distribution(Content({"%ZZLIB", "ZZA2"}));
    ServeNameSpaces(Double, {"%SYS", "USER"});
    Open({QStringLiteral("no")});
    TfmSetup &w = Wizard();
    Click(U(u"Далее"));
    Click(U(u"Далее"));
    ASSERT_EQ(w.Page(), TfmSetup::pgNameSpace);
    const QString note = U(u"Дистрибутив содержит библиотечные программы.\nУстановка будет производиться в "
                           u"библиотечную\nобласть %SYS");
    EXPECT_EQ(w.lbLib->text(), note);
    EXPECT_TRUE(w.lbLib->isVisible());
    EXPECT_FALSE(w.liNS->isVisible());
    EXPECT_FALSE(w.liNS->isEnabled());
    EXPECT_FALSE(w.lbNS->isVisible());
    // Connecting again names the namespace once.
    Click(U(u"Назад"));
    Click(U(u"Далее"));
    EXPECT_EQ(w.lbLib->text(), note);

    // The source password: cancelled, then mistyped (letter case counts), then right; what was
    // typed stays in the dialog between openings.
    auto typePassword = [&](const QString &typed, bool ok, const QString &before) {
        WhenModal([=](QWidget *d) {
            auto *pass = qobject_cast<TfmPass *>(d);
            ASSERT_TRUE(pass);
            EXPECT_EQ(pass->windowTitle(), U(u"Введите пароль"));
            EXPECT_EQ(pass->gbPass->title(), U(u"Пароль на исходные тексты"));
            EXPECT_EQ(pass->edPass->echoMode(), QLineEdit::Password);
            EXPECT_EQ(pass->edPass->text(), before);
            EXPECT_EQ(pass->focusWidget(), pass->edPass);
            pass->edPass->setText(typed);
            QTest::keyClick(pass, ok ? Qt::Key_Return : Qt::Key_Escape);
        });
        w.chSource->click();
    };
    typePassword(U(u"Секрет"), false, QString());
    EXPECT_FALSE(w.chSource->isChecked());
    typePassword(U(u"секрет"), true, U(u"Секрет"));
    EXPECT_FALSE(w.chSource->isChecked());
    typePassword(U(u"Секрет"), true, U(u"секрет"));
    EXPECT_TRUE(w.chSource->isChecked());

    // Two questions, "Нет" preselected; a No to the second leaves the box unchecked.
    const QString caption = QStringLiteral("Remart Installation Wizard");
    auto no = [&](const QString &question) {
        return [=](QWidget *d) {
            EXPECT_EQ(qobject_cast<QMessageBox *>(d)->defaultButton()->text(), U(u"Нет"));
            Press(question, U(u"Нет"), caption)(d);
        };
    };
    AnswerInTurn({Press(U(u"Не восстанавливать программы дистрибутива?"), U(u"Да"), caption),
                  no(U(u"Вы уверены, что не нужно восстанавливать программы?"))});
    w.chNoRes->click();
    EXPECT_FALSE(w.chNoRes->isChecked());
    AnswerInTurn({Press(U(u"Не восстанавливать программы дистрибутива?"), U(u"Да"), caption),
                  Press(U(u"Вы уверены, что не нужно восстанавливать программы?"), U(u"Да"), caption)});
    w.chNoRes->click();
    EXPECT_TRUE(w.chNoRes->isChecked());
    AnswerInTurn({no(U(u"Не выполнять метки последействия?"))});
    w.chNoAfter->click();
    EXPECT_FALSE(w.chNoAfter->isChecked());
    SaveScreen(&w, QStringLiteral("velmsetup-4-namespace-library"));

    Click(U(u"Далее"));
    ASSERT_EQ(w.Page(), TfmSetup::pgInstall);
    EXPECT_EQ(Double.NameSpace(), "%SYS");
    const QString ten = QStringLiteral("          ");
    EXPECT_EQ(
        w.meSettings->toPlainText().split(QLatin1Char('\n')),
        (QStringList{U(u"Устанавливаемый продукт:"), ten + U(u"Шлюз ВЕЛЬМ-Банк 3.1"),
                     ten + U(u"сборка 09.12.2024"), QString(), U(u"Область Cache:"),
                     ten + QStringLiteral("%SYS"), ten + U(u"С исходными текстами программ"),
                     ten + U(u"преддействия не выполнять"), ten + U(u"не восстанавливать программы"),
                     ten + U(u"выполнять метки последействия"), QString(), U(u"Параметры сервера Cache:"),
                     ten + U(u"IP адрес : 127.0.0.1"), ten + U(u"Порт       : 1972"), QString()}));
    EXPECT_TRUE(w.Installation.Options.KeepSources);
    EXPECT_FALSE(w.Installation.Options.RestorePrograms);
    EXPECT_TRUE(w.Installation.Options.RunPostActions);
}

namespace {

TDistContent WithCheckLabel()
{
    TDistContent c = Content({"ZZA1", "ZZA2"});
    c.CheckLabel = "chk^ZZCHK";
    c.CheckPrograms = {{"ZZCHK", {"ZZCHK ;", "chk() q 1"}}};
    return c;
}

} // namespace

TEST_F(WizardTest, AHardCheckLabelRefusalEndsOnTheFailurePageAndTheLogIsWrittenAndOpened)
{
    Distribution(WithCheckLabel());
    WriteFile(Path(QStringLiteral("readme.txt")), "read me");
    ServeNameSpaces(Double, {"%SYS", "USER"});
    Double.AnswerValue("$$chk^ZZCHK", {Cp(u"Область не подходит")});
    Open();
    Click(U(u"Далее"));
    Click(U(u"Далее"));
    Click(U(u"Далее"));
    ASSERT_EQ(Wizard().Page(), TfmSetup::pgInstall);
    AnswerInTurn({[](QWidget *d) {
        EXPECT_EQ(qobject_cast<QMessageBox *>(d)->icon(), QMessageBox::Critical);
        Press(U(u"Не выполнилось преддействие.  Область не подходит"), QStringLiteral("OK"))(d);
    }});
    Click(U(u"Установить"));

    TfmSetup &w = Wizard();
    EXPECT_EQ(w.Page(), TfmSetup::pgFinal);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(Progress().isVisible());
    EXPECT_EQ(w.meFinal->toPlainText(),
              U(u"Установка дистрибутива не была завершена\nСохраните протокол установки и "
                u"обратитеcь к разработчику \nдистрибутива"));
    EXPECT_EQ(Opened.Files, QStringList{Path(QStringLiteral("readme.txt"))});
    EXPECT_EQ(
        QSettings(QStringLiteral("Remart"), QStringLiteral("Velmsetup")).value(QStringLiteral("Settings/NS")),
        QStringLiteral("USER"));
    // Journaling is off around the stages and on again after the failure.
    const QByteArrayList codes = Double.Codes();
    const qsizetype check = codes.indexOf("$$chk^ZZCHK");
    ASSERT_GT(check, 0);
    EXPECT_EQ(codes.mid(0, check).count("d DISABLE^%NOJRN"), 1);
    EXPECT_EQ(codes.last(), "d ENABLE^%NOJRN");
    SaveScreen(&w, QStringLiteral("velmsetup-6-final-failed"));

    const QStringList log = LogText();
    const qsizetype options = log.indexOf(U(u"Параметры работы установщика:"));
    ASSERT_GT(options, 0);
    EXPECT_EQ(log.mid(options, 9),
              (QStringList{U(u"Параметры работы установщика:"), U(u"Выполнять метки преддействия;"),
                           U(u"Установка с \"жестким\" преддействием;"), U(u"Восстанавливать программы;"),
                           U(u"Выполнять метки последействия."), QString(),
                           U(u"Старт процесса установки: 10:00:00"), QString(), QString()}));
    EXPECT_EQ(log.mid(log.size() - 3),
              (QStringList{U(u"Сбой программы. Не выполнилось преддействие.  Область не подходит"),
                           U(u"Время окончания установки: 10:00:00"),
                           U(u"Продолжительность установки: 00:00:00")}));

    // "Выход" with the log asked for: the exit line in the progress window, the log opened.
    w.chShowLog->setChecked(true);
    Click(U(u"Выход"));
    EXPECT_EQ(Ended, 1);
    EXPECT_EQ(Progress().height(), TfmProgress::CreatedHeight);
    EXPECT_EQ(Progress().lbMes->text(), U(u"Выход из программы установки..."));
    EXPECT_EQ(Progress().Clip(), TSetupClip::None);
    EXPECT_TRUE(Progress().isVisible());
    Program.reset();
    EXPECT_EQ(Opened.Files.last(), Path(QStringLiteral("velmsetup.txt")));
    EXPECT_EQ(FileLines(Path(QStringLiteral("velmsetup.txt"))), log);
}

TEST_F(WizardTest, ASoftCheckLabelRefusalIsTheOperatorsToIgnoreAndSlidesShowMeanwhile)
{
    Distribution(WithCheckLabel());
    ServeNameSpaces(Double, {"%SYS", "USER"});
    Double.AnswerValue("$$chk^ZZCHK", {Cp(u"Область не подходит")});
    QDir(Dir.path()).mkdir(QStringLiteral("IMAGES"));
    QImage slide(64, 48, QImage::Format_RGB32);
    slide.fill(QColor(30, 60, 120));
    {
        QPainter p(&slide);
        p.fillRect(8, 8, 48, 20, QColor(240, 200, 60));
    }
    ASSERT_TRUE(slide.save(Path(QStringLiteral("IMAGES/velm1.jpg")), "JPG"));
    Open({QStringLiteral("q")});
    // A background window that leaves the progress window room on the test's small screen.
    Program->fmFone->showNormal();
    Program->fmFone->setGeometry(0, 0, 700, 500);
    // Where the progress window stands at every routine restored, check programs and programs.
    QList<QPoint> atRoutines;
    const auto serve = Double.Handler;
    Double.Handler = [&, serve](const TVisMDouble::TRun &run) {
        if (run.Code == "k text")
            atRoutines << Progress().pos();
        return serve(run);
    };
    QPoint below;
    Click(U(u"Далее"));
    Click(U(u"Далее"));
    Click(U(u"Далее"));
    AnswerInTurn({[&](QWidget *d) {
        // The slide is up and the progress window stands below it at the right edge.
        EXPECT_TRUE(Program->fmFone->pnBevel->isVisible());
        const int fw = Program->fmFone->width();
        const int fh = Program->fmFone->height();
        EXPECT_EQ(Program->fmFone->pnBevel->geometry(),
                  QRect(fw / 10, fh / 20 * 2, fw / 10 * 8, fh / 20 * 14));
        // (Within the few pixels of frame the offscreen platform adds or not.)
        below = Program->fmFone->mapToGlobal(QPoint(fw - TfmProgress::DesignWidth, fh / 20 * 16 + 20));
        EXPECT_LE((Progress().pos() - below).manhattanLength(), 4);
        SaveScreen(Program->fmFone.get(), QStringLiteral("velmsetup-background"));
        EXPECT_EQ(Progress().height(), TfmProgress::StagesHeight);
        EXPECT_EQ(qobject_cast<QMessageBox *>(d)->defaultButton()->text(), U(u"Да"));
        Press(U(u"Не выполнилось преддействие.  Область не подходит. Прервать установку?"), U(u"Нет"),
              QStringLiteral("Remart Installation Wizard"))(d);
    }});
    Click(U(u"Установить"));
    EXPECT_EQ(Wizard().meFinal->toPlainText(), U(u"Установка дистрибутива успешно завершена."));
    // It stays there through both stages, the program stage's time line shown or not.
    ASSERT_EQ(atRoutines.size(), 3);
    for (const QPoint &at : atRoutines)
        EXPECT_LE((at - below).manhattanLength(), 4) << at.x() << "," << at.y();
    const QString log = LogText().join(QLatin1Char('\n'));
    EXPECT_TRUE(log.contains(U(u"Установка с \"мягким\" преддействием;")));
    EXPECT_TRUE(log.contains(U(u"Неуспех. Область не подходит\nУспех."))) << log.toStdString();
    EXPECT_TRUE(log.contains(U(u"Программы успешно восстановлены.")));
    SaveScreen(&Wizard(), QStringLiteral("velmsetup-6-final"));
    // An installation runs once.
    const qsizetype runs = Double.Runs.size();
    Wizard().act3Install->trigger();
    EXPECT_EQ(Double.Runs.size(), runs);
}

TEST_F(WizardTest, CommandLineSettingsAndWhereTheLogGoes)
{
    QTemporaryDir temp;
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    Distribution(Content());
    // A limit is read from parameter 2 only when there is a parameter 3.
    Open({QStringLiteral("no"), QStringLiteral("100")}, false);
    EXPECT_FALSE(Wizard().Installation.Options.RunPreActions);
    EXPECT_TRUE(Wizard().Installation.Options.HardPreAction);
    EXPECT_EQ(Wizard().Installation.Options.JoinLimit, 32700);
    Open({QStringLiteral("q"), QStringLiteral("100"), QStringLiteral("x")}, false);
    EXPECT_FALSE(Wizard().Installation.Options.HardPreAction);
    EXPECT_EQ(Wizard().Installation.Options.JoinLimit, 100);
    Open({QString(), QStringLiteral("99999"), QStringLiteral("x")}, false);
    EXPECT_EQ(Wizard().Installation.Options.JoinLimit, 32700);
    Open({QString(), QStringLiteral("%"), QStringLiteral("x")}, false);
    EXPECT_FALSE(Wizard().Installation.Options.LibraryDetection);
    EXPECT_EQ(Wizard().Installation.Options.JoinLimit, 32700);
    EXPECT_EQ(LogText().value(0), U(u"Ошибка GUI приложения: \"%\" не является целым числом"));
    EXPECT_TRUE(LogText().value(1).startsWith(U(u"Протокол установки дистрибутива. ")));

    // A current directory where the log cannot be written: the temporary folder takes it.
    QFile::remove(Path(QStringLiteral("velmsetup.txt"))); // the earlier wizards' logs
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("velmsetup.txt")));
    Wizard().EndProgram();
    EXPECT_EQ(Wizard().LogPath(), temp.filePath(QStringLiteral("velmsetup.txt")));
    EXPECT_EQ(FileLines(Wizard().LogPath()).size(), 3);
    qunsetenv("TMPDIR");

    // A distribution whose header reads but whose source password is empty: the message, and
    // a log of the start and header lines.
    QDir(Dir.path()).rmdir(QStringLiteral("velmsetup.txt"));
    WriteFile(Path(QStringLiteral("velminstal.dat")), QByteArray("V\x01Prod\r2.8\r09.12.2024\r\x0c", 22));
    Open({}, false);
    AnswerInTurn({Press(U(u"Ошибка инициализации установщика"), QStringLiteral("OK"))});
    EXPECT_FALSE(Program->Start());
    Program.reset();
    const QStringList file = FileLines(Path(QStringLiteral("velmsetup.txt")));
    ASSERT_EQ(file.size(), 6);
    EXPECT_EQ(file.mid(2), (QStringList{U(u"Продукт: Prod"), U(u"Версия: 2.8"), U(u"Дата сборки: 09.12.2024"),
                                        QString()}));

    // The VisM control is part of the program; were it missing, the program would say so.
    EXPECT_TRUE(VisMControlRegistered());
    AnswerInTurn(
        {Press(U(u"Cache-клиент не обнаружен. Установите сначала cache-клиент"), QStringLiteral("OK"))});
    EXPECT_FALSE(CheckVisMControl(false));
}

TEST_F(WizardTest, PostActionQuestionsReachTheOperatorInTheInstallersDialogs)
{
    TDistContent c = Content();
    c.PostActions = {{Cp(u"Настройка"), "post^ZZA1"}};
    Distribution(c);
    ServeNameSpaces(Double, {"%SYS", "USER"});
    // The job runs, writes a progress message and asks twice, then ends.
    Double.AnswerValue("$$job^velmsetup", {"1"});
    Double.AnswerValue("$$jalive^velmsetup", {"1", "1", "1", "0"});
    Double.AnswerValue(R"($g(^R("velmsetup","1")))", {Cp(u"Шаг один")
                                                      + "\x01"
                                                        "30"});
    Double.AnswerValue(R"($g(^R("velmsetup","2")))", {"\x02"
                                                      "1#"
                                                      + Cp(u"Продолжить установку?") + "#1"});
    Double.AnswerValue(R"($g(^R("velmsetup","3")))", {"\x02"
                                                      "2#"
                                                      + Cp(u"Имя пользователя") + "#" + Cp(u"Иван")});
    Open();
    Click(U(u"Далее"));
    Click(U(u"Далее"));
    Click(U(u"Далее"));
    AnswerInTurn({[this](QWidget *d) {
                      auto *box = qobject_cast<TfmBox *>(d);
                      ASSERT_TRUE(box) << d->metaObject()->className();
                      EXPECT_EQ(box->lbMes->text(), U(u"Продолжить установку?"));
                      EXPECT_EQ(box->windowTitle(),
                                U(u"Установка Шлюз ВЕЛЬМ-Банк 3.1  Выполнение последействий: 30%"));
                      // The progress title is the question's caption, no other window's.
                      EXPECT_EQ(ShownCaption(box), box->windowTitle());
                      EXPECT_EQ(ShownCaption(&Wizard()), QStringLiteral("Remart Installation Wizard 2.8"));
                      EXPECT_EQ(ShownCaption(Program->fmFone.get()),
                                QStringLiteral("Remart Installation Wizard"));
                      ASSERT_EQ(box->ButtonList.size(), 2);
                      EXPECT_TRUE(box->ButtonList[0]->isDefault());
                      // Meanwhile the progress window shows the post-actions' messages.
                      EXPECT_EQ(Progress().size(), QSize(600, 245));
                      EXPECT_EQ(Progress().lbAfter->text(), U(u"  Шаг один"));
                      EXPECT_TRUE(Progress().ani2->Running());
                      SaveScreen(&Progress(), QStringLiteral("velmsetup-progress-postactions"));
                      SaveScreen(box, QStringLiteral("velmsetup-question-yesno"));
                      ClickButton(box, U(u"Да"));
                  },
                  [](QWidget *d) {
                      auto *ask = qobject_cast<TfmAskUser *>(d);
                      ASSERT_TRUE(ask) << d->metaObject()->className();
                      EXPECT_EQ(ask->lbAsk->text(), U(u"Имя пользователя "));
                      EXPECT_EQ(ask->edAsk->text(), U(u"Иван"));
                      ask->edAsk->setText(U(u"Петр"));
                      SaveScreen(ask, QStringLiteral("velmsetup-question-text"));
                      ClickButton(ask, QStringLiteral("OK"));
                  }});
    Click(U(u"Установить"));
    EXPECT_EQ(Wizard().meFinal->toPlainText(), U(u"Установка дистрибутива успешно завершена."));
    const QByteArrayList codes = Double.Codes();
    EXPECT_TRUE(codes.contains(R"($$SetAnswer^velmsetup("1"))"));
    EXPECT_TRUE(codes.contains("$$SetAnswer^velmsetup(\"" + Cp(u"Петр") + "\")"));
    EXPECT_TRUE(LogText().contains(U(u"  Ответ пользователя: Петр")));
}
