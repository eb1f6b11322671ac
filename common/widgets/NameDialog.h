#pragma once
// A name prompt: a captioned group holding one edit, with ОК and Отмена. OK is refused while the
// check says no (the refusal is shown and the prompt stays open with the text), and for a
// character that Windows-1251 lacks, since names travel to the server in it.

#include "Ui.h"

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

class TNameDialog : public QDialog
{
    Q_OBJECT
public:
    TNameDialog(const QString &caption, const QString &group, QWidget *parent = nullptr);

    QGroupBox *gbName;
    QLineEdit *edPass;
    QPushButton *btOk;
    QPushButton *btCancel;

    // The OK check: empty accepts, anything else is the refusal shown.
    TUi::NameCheck Check;

    // The dialog used for one question: caption and group caption replaced for it and put back
    // afterwards; the text typed on OK, nullopt otherwise.
    std::optional<QString> AskName(const QString &caption, const QString &group, const QString &initial,
                                   const TUi::NameCheck &check);

protected:
    // Why OK may not accept text (empty: it may). A dialog with a check of its own gives it here
    // for when none is set.
    virtual QString Refusal(const QString &text) const;
    void showEvent(QShowEvent *e) override;

private:
    void btOkClick();
};
