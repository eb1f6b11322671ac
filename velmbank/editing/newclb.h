#pragma once
// TfmPass: the name dialog of the client-bank chooser ("Создание нового КБ"). The document run
// borrows it to ask for the operator's surname, with its captions swapped for that use.

#include "Ui.h"

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

class TfmPass : public QDialog
{
    Q_OBJECT
public:
    explicit TfmPass(QWidget *parent = nullptr);

    QGroupBox *gbName;
    QLineEdit *edPass;
    QPushButton *btOk;
    QPushButton *btCancel;

    // The OK check: empty accepts, anything else is the refusal shown. Unset: the client-bank
    // check against the chooser's list.
    TUi::NameCheck Check;
    // The client-bank check: empty, or a name the chooser already has in any letter case.
    static QString ClientNameRefusal(const QString &name);

    // The dialog used for another question: caption and group caption replaced for this use and
    // put back afterwards; the text typed on OK, nullopt otherwise.
    std::optional<QString> AskName(const QString &caption, const QString &group, const QString &initial,
                                   const TUi::NameCheck &check);

protected:
    void showEvent(QShowEvent *e) override;

private:
    void btOkClick();
};

extern TfmPass *fmPass;
