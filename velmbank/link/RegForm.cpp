#include "RegForm.h"

#include "Access.h"
#include "Connect.h"
#include "QtUi.h"
#include "codepage.h"

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace velmbank {

namespace {

// Boxes the login shows open over the dialog, not over a window hidden behind it.
class TBoxesOver
{
public:
    explicit TBoxesOver(QWidget *w) : FUi(dynamic_cast<QtUi *>(&Ui()))
    {
        if (FUi) {
            FBefore = FUi->ParentWindow();
            FUi->SetParentWindow(w);
        }
    }
    ~TBoxesOver()
    {
        if (FUi)
            FUi->SetParentWindow(FBefore);
    }
    TBoxesOver(const TBoxesOver &) = delete;
    TBoxesOver &operator=(const TBoxesOver &) = delete;

private:
    QtUi *FUi;
    QWidget *FBefore = nullptr;
};

QLineEdit *MakeEdit(QWidget *parent, const char *name, bool secret)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(255);
    if (secret) {
        e->setEchoMode(QLineEdit::Password);
        e->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    }
    return e;
}

} // namespace

TRegistration::TRegistration(TLink &link, QWidget *parent) : QDialog(parent), FLink(link)
{
    setObjectName(QStringLiteral("Registration"));
    setWindowTitle(QStringLiteral("Регистрация"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    Idf = MakeEdit(this, "Idf", false);
    Password = MakeEdit(this, "Password", true);
    PrivPass = MakeEdit(this, "PrivPass", true);
    BOK = new QPushButton(QStringLiteral("OK"), this);
    BOK->setObjectName(QStringLiteral("BOK"));
    BOK->setDefault(true);
    BOK->setAutoDefault(false);
    Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    Cancel->setAutoDefault(false);
    connect(BOK, &QPushButton::clicked, this, &TRegistration::BOKClick);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    const auto row = [&](int r, const QString &caption, QLineEdit *edit) {
        auto *lb = new QLabel(caption, this);
        lb->setBuddy(edit);
        grid->addWidget(lb, r, 0);
        grid->addWidget(edit, r, 1);
    };
    row(0, QStringLiteral("Номер  пользователя:"), Idf);
    row(1, QStringLiteral("Пароль:"), Password);
    row(2, QStringLiteral("Личный пароль:"), PrivPass);
    grid->addWidget(BOK, 0, 2);
    grid->addWidget(Cancel, 1, 2);
    grid->setColumnStretch(1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    Panel0 = new QLabel(StatusBar1);
    StatusBar1->addWidget(Panel0, 1);

    auto *l = new QVBoxLayout(this);
    l->setContentsMargins(10, 10, 10, 0);
    l->addLayout(grid);
    l->addStretch();
    l->addWidget(StatusBar1);

    setTabOrder(Idf, Password);
    setTabOrder(Password, PrivPass);
    setTabOrder(PrivPass, BOK);
    setTabOrder(BOK, Cancel);

    // Key preview: Esc and F3 are the dialog's whichever control has the focus.
    for (QWidget *w :
         {static_cast<QWidget *>(Idf), static_cast<QWidget *>(Password), static_cast<QWidget *>(PrivPass),
          static_cast<QWidget *>(BOK), static_cast<QWidget *>(Cancel)})
        w->installEventFilter(this);

    GiveAccessibleNames(this);
    setFixedSize(qMax(523, sizeHint().width()), qMax(115, sizeHint().height()));
    Idf->setFocus();
}

std::optional<qint32> TRegistration::UserNumberOf(const QString &text)
{
    const qsizetype digitsFrom =
        text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (text.size() == digitsFrom)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < text.size(); ++i)
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return std::nullopt;
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    return ok ? std::optional<qint32>(n) : std::nullopt;
}

void TRegistration::FormActivate() { Ui().SetTitle(QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\"")); }

void TRegistration::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    FormActivate();
}

void TRegistration::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

bool TRegistration::PreviewKey(int key)
{
    if (key == Qt::Key_Escape) {
        Cancel->click();
        return true;
    }
    if (key == Qt::Key_F3) {
        BOK->click();
        return true;
    }
    return false;
}

void TRegistration::keyPressEvent(QKeyEvent *e)
{
    if (!PreviewKey(e->key()))
        QDialog::keyPressEvent(e);
}

bool TRegistration::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::KeyPress) {
        if (PreviewKey(static_cast<QKeyEvent *>(e)->key()))
            return true;
    } else if (e->type() == QEvent::FocusIn) {
        if (watched == Idf)
            Panel0->setText(QStringLiteral("Укажите Ваш идентификационный номер"));
        else if (watched == Password)
            Panel0->setText(QStringLiteral("Укажите Ваш пароль, установленный администратором"));
        else if (watched == PrivPass)
            Panel0->setText(QStringLiteral("Укажите установленный лично Вами пароль"));
    } else if (e->type() == QEvent::FocusOut) {
        // A message box over the dialog takes the focus for a while: the field is not left.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(e)->reason();
        if (!FRegistered && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason
            && (watched == Idf || watched == Password || watched == PrivPass))
            Panel0->clear();
    }
    return QDialog::eventFilter(watched, e);
}

void TRegistration::BOKClick()
{
    TBoxesOver boxes(this);
    // The server would take a number such as "1a" or " 1" as it stands and the program would
    // then work as user 0, whom it never logged in: such a number never leaves the dialog.
    const std::optional<qint32> number = UserNumberOf(Idf->text());
    if (!number) {
        Ui().ShowMessage(QStringLiteral("Номер пользователя должен быть целым числом, например 1"));
        Idf->setFocus();
        return;
    }
    if (!FLink.Login(ToWin1251(Idf->text()), ToWin1251(Password->text()), ToWin1251(PrivPass->text()))) {
        Idf->setFocus();
        return;
    }
    FRegistered = true; // the text stays while the dialog goes
    Panel0->setText(QStringLiteral("Регистрация и определение вашего доступа к информации ..."));
    setCursor(Qt::WaitCursor);
    QApplication::processEvents();
    FLink.UserNumber = *number;
    accept();
}

} // namespace velmbank
