// The password prompt, the surname prompt and the login dialog as the operator meets them.
#include "Access.h"
#include "AppSetup.h"
#include "BankUi.h"
#include "Connect.h"
#include "GuiDriver.h"
#include "PassForm.h"
#include "RegForm.h"
#include "Routines.h"
#include "ScriptedUi.h"
#include "XapiPeer.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace velmbank;

namespace {

QString Status(const TRegistration &d) { return d.Panel0->text(); }

// A login dialog over a scripted server, with the scripted seam for its messages.
class Login : public ::testing::Test
{
protected:
    void SetUp() override
    {
        link.ProfileFileName = dir.filePath(QStringLiteral("velmbank.ini"));
        ASSERT_TRUE(peer.WriteProfile(link.ProfileFileName));
        ASSERT_TRUE(link.OpenConnection());
    }

    // The login calls the server saw, without the keep-alives.
    QList<QList<QByteArray>> Logins() const
    {
        QList<QList<QByteArray>> out;
        for (const auto &c : peer.Calls())
            if (c.value(0) == Routines::Login)
                out << c;
        return out;
    }
    void Type(TRegistration &d, const QString &idf, const QString &pw, const QString &ppw)
    {
        d.Idf->setText(idf);
        d.Password->setText(pw);
        d.PrivPass->setText(ppw);
    }

    QTemporaryDir dir;
    ScriptedUi ui;
    XapiPeer peer;
    TLink link;
};

} // namespace

TEST_F(Login, TheDialogAsTheOperatorMeetsIt)
{
    TRegistration d(link);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Регистрация"));
    EXPECT_EQ(ui.Title(), QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\""));
    EXPECT_GE(d.width(), 523);
    // Labels name the edits for a screen reader; the passwords are hidden; 255 characters each.
    EXPECT_EQ(d.Idf->accessibleName(), QStringLiteral("Номер  пользователя"));
    EXPECT_EQ(d.Password->accessibleName(), QStringLiteral("Пароль"));
    EXPECT_EQ(d.PrivPass->accessibleName(), QStringLiteral("Личный пароль"));
    EXPECT_EQ(d.Idf->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(d.Password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(d.PrivPass->echoMode(), QLineEdit::Password);
    for (QLineEdit *e : {d.Idf, d.Password, d.PrivPass})
        EXPECT_EQ(e->maxLength(), 255);
    EXPECT_TRUE(d.BOK->isDefault());
    EXPECT_EQ(d.BOK->text(), QStringLiteral("OK"));
    EXPECT_EQ(d.Cancel->text(), QStringLiteral("Cancel"));

    // Each field says what it wants while it has the focus.
    d.Idf->setFocus();
    EXPECT_EQ(Status(d), QStringLiteral("Укажите Ваш идентификационный номер"));
    QTest::keyClick(d.Idf, Qt::Key_Tab);
    EXPECT_EQ(Status(d), QStringLiteral("Укажите Ваш пароль, установленный администратором"));
    QTest::keyClick(d.Password, Qt::Key_Tab);
    EXPECT_EQ(Status(d), QStringLiteral("Укажите установленный лично Вами пароль"));
    d.Idf->setText(QStringLiteral("1"));
    SaveScreen(&d, QStringLiteral("login"));
    QTest::keyClick(d.PrivPass, Qt::Key_Tab);
    EXPECT_EQ(Status(d), QString());

    // As the program sets itself up: Qt's own texts in Russian, as in an edit's context menu,
    // and the program's icon on the window.
    SetUpWindowedProgram(*qApp, QStringLiteral("velmbank"));
    EXPECT_FALSE(d.windowIcon().pixmap(32).isNull());
    const std::unique_ptr<QMenu> menu(d.Idf->createStandardContextMenu());
    QStringList items;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            items << PlainCaption(a->text()).section(QLatin1Char('\t'), 0, 0);
    EXPECT_EQ(items, (QStringList{QStringLiteral("Отменить действие"), QStringLiteral("Повторить действие"),
                                  QStringLiteral("Вырезать"), QStringLiteral("Копировать"),
                                  QStringLiteral("Вставить"), QStringLiteral("Удалить"),
                                  QStringLiteral("Выделить всё")}));

    // Esc in an edit cancels without a word to the server.
    d.PrivPass->setFocus();
    QTest::keyClick(d.PrivPass, Qt::Key_Escape);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(Logins().isEmpty());
    EXPECT_TRUE(ui.Events.isEmpty()) << ui.Events.join(QLatin1Char('\n')).toStdString();
}

TEST_F(Login, RefusalsKeepTheDialogOpenUntilTheServerAccepts)
{
    TRegistration d(link);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    // A session that exists already, then the server's own refusal: shown, texts kept, focus
    // back in the user number.
    peer.QueueCall(QByteArray("1"));
    Type(d, QStringLiteral("12"), QStringLiteral("пароль"), QString());
    d.PrivPass->setFocus();
    QTest::keyClick(d.PrivPass, Qt::Key_F3);
    peer.QueueCall(QByteArray(" "));
    QTest::keyClick(d.Password, Qt::Key_Return);
    EXPECT_EQ(ui.Messages(),
              (QStringList{QStringLiteral("Такой сеанс работы уже есть"), QStringLiteral(" ")}));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.Idf->text(), QStringLiteral("12"));
    EXPECT_EQ(d.Password->text(), QStringLiteral("пароль"));
    EXPECT_EQ(QApplication::focusWidget(), d.Idf);
    EXPECT_EQ(link.UserNumber, 0);

    // Accepted: OK result, the user number kept for the rest of the run.
    peer.QueueCall(QByteArray());
    d.PrivPass->setText(QStringLiteral("лич"));
    ClickButton(&d, QStringLiteral("OK"));
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(link.UserNumber, 12);
    EXPECT_EQ(Status(d), QStringLiteral("Регистрация и определение вашего доступа к информации ..."));
    // The texts went as typed, in Windows-1251, the empty one too.
    const auto calls = Logins();
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0], (QList<QByteArray>{Routines::Login, "12", "\xef\xe0\xf0\xee\xeb\xfc", ""}));
    EXPECT_EQ(calls[2][3], QByteArray("\xeb\xe8\xf7"));
}

TEST_F(Login, AUserNumberThatIsNoIntegerNeverLeavesTheDialog)
{
    TRegistration d(link);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    // The server might accept them, and the program would then work as user 0.
    for (const QString &idf : {QString(), QStringLiteral("1a"), QStringLiteral(" 1"), QStringLiteral("1.0"),
                               QStringLiteral("2147483648"), QStringLiteral("١")}) {
        SCOPED_TRACE(idf.toStdString());
        ui.Clear();
        Type(d, idf, QStringLiteral("velm1"), QStringLiteral("lich1"));
        d.Password->setFocus();
        QTest::keyClick(d.Password, Qt::Key_F3);
        EXPECT_EQ(ui.Messages(),
                  QStringList{QStringLiteral("Номер пользователя должен быть целым числом, например 1")});
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(QApplication::focusWidget(), d.Idf);
        EXPECT_EQ(d.Idf->text(), idf);
    }
    EXPECT_TRUE(Logins().isEmpty());
    EXPECT_EQ(link.UserNumber, 0);
    EXPECT_EQ(TRegistration::UserNumberOf(QStringLiteral("-5")), -5);
    EXPECT_EQ(TRegistration::UserNumberOf(QStringLiteral("007")), 7);
}

TEST(PasswordPrompt, ConfirmedTextOrCancelMarker)
{
    TBankUi ui;
    SetUi(&ui);
    WhenModal([](QWidget *w) {
        auto *p = qobject_cast<TXApiPassWord *>(w);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->windowTitle(), QStringLiteral("Введите пароль"));
        EXPECT_EQ(p->Edit1->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(p->Edit1->text().isEmpty());
        EXPECT_EQ(p->Button1->text(), QStringLiteral("\u041e\u041a")); // Cyrillic О and К
        EXPECT_TRUE(p->Button1->isDefault());
        EXPECT_EQ(p->Button2->text(), QStringLiteral("Отмена"));
        EXPECT_EQ(p->Edit1->accessibleName(), QStringLiteral("Введите пароль"));
        p->Edit1->setText(QStringLiteral("секрет"));
        SaveScreen(p, QStringLiteral("password"));
        QTest::keyClick(p->Edit1, Qt::Key_Return);
    });
    EXPECT_EQ(AskXApiPassword(), QByteArray("\xf1\xe5\xea\xf0\xe5\xf2"));
    // An empty password is a valid retry; Esc is the one-byte cancel marker.
    WhenModal([](QWidget *w) { ClickButton(w, QStringLiteral("\u041e\u041a")); });
    EXPECT_EQ(AskXApiPassword(), QByteArray());
    WhenModal([](QWidget *w) {
        QTest::keyClicks(qobject_cast<TXApiPassWord *>(w)->Edit1, QStringLiteral("x"));
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(AskXApiPassword(), QByteArray(1, '\x01'));
    SetUi(nullptr);
}

TEST(SurnamePrompt, TheRunsQuestionKeepsItsTextUntilTheCheckAccepts)
{
    TBankUi bank;
    ScriptedUi ui; // the refusals
    const QString caption = QStringLiteral("Импорт платежных документов");
    const QString group = QStringLiteral("Фамилия");
    const TUi::NameCheck check = [](const QString &typed) {
        return typed.isEmpty() ? QStringLiteral("Имя клиент-банка должно быть определено") : QString();
    };
    WhenModal([&](QWidget *w) {
        EXPECT_EQ(w->windowTitle(), caption);
        ASSERT_TRUE(w->findChild<QGroupBox *>());
        EXPECT_EQ(w->findChild<QGroupBox *>()->title(), group);
        auto *edit = w->findChild<QLineEdit *>();
        ASSERT_TRUE(edit);
        EXPECT_EQ(edit->text(), QStringLiteral("Иванова"));
        EXPECT_EQ(edit->accessibleName(), group);
        EXPECT_EQ(QApplication::focusWidget(), edit);
        SaveScreen(w, QStringLiteral("surname"));
        // Refused names keep the prompt open with what was typed.
        edit->clear();
        ClickButton(w, QStringLiteral("ОК"));
        edit->setText(QStringLiteral("Ли 李"));
        ClickButton(w, QStringLiteral("ОК"));
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(edit->text(), QStringLiteral("Ли 李"));
        EXPECT_EQ(ui.Messages(),
                  (QStringList{QStringLiteral("Имя клиент-банка должно быть определено"),
                               QStringLiteral("Имя клиент-банка содержит недопустимые символы")}));
        edit->setText(QStringLiteral("Петрова"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(bank.AskName(caption, group, QStringLiteral("Иванова"), check), QStringLiteral("Петрова"));
    WhenModal([](QWidget *w) { ClickButton(w, QStringLiteral("Отмена")); });
    EXPECT_EQ(bank.AskName(caption, group, QStringLiteral("Иванова"), check), std::nullopt);
}
