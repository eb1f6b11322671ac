#include "QtUi.h"

#include "Access.h"
#include "Dialix.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Caption(const QString &caption) { return caption.isEmpty() ? Ui().Title() : caption; }

// A message box whose buttons speak Russian.
class TRussianBox
{
public:
    TRussianBox(QWidget *parent, QMessageBox::Icon icon, const QString &caption, const QString &text)
        : Box(icon, caption, text, QMessageBox::NoButton, parent)
    {
        Box.setTextFormat(Qt::PlainText);
    }
    QPushButton *Add(const QString &text, QMessageBox::ButtonRole role)
    {
        auto *b = Box.addButton(text, role);
        b->setAccessibleName(text);
        return b;
    }
    QAbstractButton *Exec()
    {
        GiveAccessibleNames(&Box);
        Box.exec();
        return Box.clickedButton();
    }
    QMessageBox Box;
};

} // namespace

// The seam's own progress window, for a program that gives none.
class TPlainProgress : public QDialog, public TProgressView
{
public:
    TPlainProgress()
    {
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        auto *l = new QVBoxLayout(this);
        Label = new QLabel(this);
        Bar = new QProgressBar(this);
        Bar->setTextVisible(false);
        l->addWidget(Label);
        l->addWidget(Bar);
        resize(331, 60);
    }
    void ProgressShow(const QString &message, int maximum) override
    {
        Label->setText(message);
        Bar->setRange(0, qMax(0, maximum));
        Bar->setValue(0);
        show();
        repaint();
    }
    void ProgressHide() override { hide(); }
    void ProgressMessage(const QString &message) override { Label->setText(message); }
    void ProgressPosition(int position, int maximum) override
    {
        Bar->setMaximum(qMax(0, maximum));
        Bar->setValue(qBound(0, position, qMax(0, maximum)));
    }

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        if (e->key() == Qt::Key_Escape)
            Ui().SetEscapePressed(true);
    }

private:
    QLabel *Label;
    QProgressBar *Bar;
};

QtUi::QtUi()
{
    FSincePaint.start();
    FSinceEvents.start();
}

QtUi::~QtUi() { delete FPlain; }

void QtUi::OnTitleChanged(const QString &title) { QApplication::setApplicationDisplayName(title); }

void QtUi::ShowMessage(const QString &text)
{
    TRussianBox box(FParent, QMessageBox::NoIcon, Title(), text);
    box.Box.setDefaultButton(box.Add(QStringLiteral("OK"), QMessageBox::AcceptRole));
    box.Exec();
}

void QtUi::ShowError(const QString &text)
{
    TRussianBox box(FParent, QMessageBox::Critical, Title(), text);
    box.Box.setDefaultButton(box.Add(QStringLiteral("OK"), QMessageBox::AcceptRole));
    box.Exec();
}

TAnswer QtUi::Ask(const QString &text, TAnswer defaultAnswer, const QString &caption, TQuestionIcon icon,
                  bool withCancel)
{
    TRussianBox box(FParent, icon == TQuestionIcon::Question ? QMessageBox::Question : QMessageBox::NoIcon,
                    Caption(caption), text);
    auto *yes = box.Add(QStringLiteral("Да"), QMessageBox::YesRole);
    auto *no = box.Add(QStringLiteral("Нет"), QMessageBox::NoRole);
    QPushButton *cancel = withCancel ? box.Add(QStringLiteral("Отмена"), QMessageBox::RejectRole) : nullptr;
    box.Box.setDefaultButton(defaultAnswer == TAnswer::Yes  ? yes
                             : defaultAnswer == TAnswer::No ? no
                                                            : cancel);
    // Esc: Cancel where there is one; a yes/no question answers No.
    box.Box.setEscapeButton(cancel ? static_cast<QAbstractButton *>(cancel) : no);
    auto *pressed = box.Exec();
    if (pressed == yes)
        return TAnswer::Yes;
    if (pressed == no || !withCancel)
        return TAnswer::No;
    return TAnswer::Cancel;
}

TAnswer QtUi::AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption, TQuestionIcon icon)
{
    return Ask(text, defaultAnswer, caption, icon, false);
}

TAnswer QtUi::AskYesNoCancel(const QString &text, TAnswer defaultAnswer, const QString &caption,
                             TQuestionIcon icon)
{
    return Ask(text, defaultAnswer, caption, icon, true);
}

int QtUi::ChoiceBox(const TChoiceArgs &args) { return ShowChoiceBox(args, FParent); }

namespace {

// A small form of labelled edits with OK and Cancel ("OK", "Отмена").
class TPromptDialog : public QDialog
{
public:
    TPromptDialog(QWidget *parent, const QString &caption) : QDialog(parent)
    {
        setWindowTitle(caption);
        Form = new QFormLayout;
        auto *l = new QVBoxLayout(this);
        l->addLayout(Form);
        auto *buttons = new QDialogButtonBox(this);
        Ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
        buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
        Ok->setDefault(true);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        l->addWidget(buttons);
        setMinimumWidth(320);
    }
    QLineEdit *AddEdit(const QString &label, const QString &text, bool secret = false)
    {
        auto *e = new QLineEdit(text, this);
        if (secret)
            e->setEchoMode(QLineEdit::Password);
        auto *lb = new QLabel(label, this);
        lb->setBuddy(e);
        Form->addRow(lb, e);
        return e;
    }
    int Run()
    {
        GiveAccessibleNames(this);
        return exec();
    }
    QFormLayout *Form;
    QPushButton *Ok;
};

} // namespace

std::optional<QString> QtUi::AskPassword(const QString &caption)
{
    TPromptDialog d(FParent, Caption(caption));
    auto *e = d.AddEdit(QStringLiteral("Пароль:"), {}, true);
    if (d.Run() != QDialog::Accepted)
        return std::nullopt;
    return e->text();
}

std::optional<TUi::Account> QtUi::AskAccount(const QString &caption, const QString &user)
{
    TPromptDialog d(FParent, Caption(caption));
    auto *u = d.AddEdit(QStringLiteral("Пользователь:"), user);
    auto *p = d.AddEdit(QStringLiteral("Пароль:"), {}, true);
    (user.isEmpty() ? u : p)->setFocus();
    if (d.Run() != QDialog::Accepted)
        return std::nullopt;
    return Account{u->text(), p->text()};
}

std::optional<QString> QtUi::AskText(const QString &caption, const QString &prompt, const QString &initial)
{
    TPromptDialog d(FParent, Caption(caption));
    auto *e = d.AddEdit(prompt, initial);
    if (d.Run() != QDialog::Accepted)
        return std::nullopt;
    return e->text();
}

std::optional<QString> QtUi::AskName(const QString &caption, const QString &prompt, const QString &initial,
                                     const NameCheck &check)
{
    TPromptDialog d(FParent, Caption(caption));
    auto *e = d.AddEdit(prompt, initial);
    // A refused name keeps the prompt open with the text, so the operator can correct it.
    auto *buttons = qobject_cast<QDialogButtonBox *>(d.Ok->parentWidget());
    QObject::disconnect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, [&] {
        const QString refusal = check ? check(e->text()) : QString();
        if (refusal.isEmpty()) {
            d.accept();
            return;
        }
        ShowMessage(refusal);
        e->setFocus();
        e->selectAll();
    });
    if (d.Run() != QDialog::Accepted)
        return std::nullopt;
    return e->text();
}

std::optional<QString> QtUi::ChooseFile(const QString &caption, const QString &dir, const QString &filter)
{
    const QString f = QFileDialog::getOpenFileName(FParent, caption, dir, filter);
    if (f.isEmpty())
        return std::nullopt;
    return f;
}

std::optional<QString> QtUi::ChooseFolder(const QString &caption, const QString &dir)
{
    const QString f = QFileDialog::getExistingDirectory(FParent, caption, dir);
    if (f.isEmpty())
        return std::nullopt;
    return f;
}

void QtUi::ProcessEvents()
{
    // Long loops call this once per step; handling input a few hundred times a second is
    // enough for Esc and keeps the loop's own work in front.
    if (FSinceEvents.elapsed() < 4)
        return;
    FSinceEvents.restart();
    QApplication::processEvents();
}

TProgressView *QtUi::View()
{
    if (FView)
        return FView;
    if (!FPlain)
        FPlain = new TPlainProgress;
    return FPlain;
}

void QtUi::OnProgressShow(const QString &message, int maximum)
{
    View()->ProgressShow(message, maximum);
    FSincePaint.restart();
}

void QtUi::OnProgressHide() { View()->ProgressHide(); }

void QtUi::OnProgressMessage(const QString &message) { View()->ProgressMessage(message); }

void QtUi::OnProgressPosition(int position, int maximum)
{
    // However often the position moves, the bar repaints a few dozen times a second at most;
    // the last step is always shown.
    if (position < maximum && FSincePaint.elapsed() < ProgressPaintInterval)
        return;
    FSincePaint.restart();
    View()->ProgressPosition(position, maximum);
}
