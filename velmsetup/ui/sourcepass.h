#pragma once
// The source password dialog: the password that lets the installation keep the routines'
// source texts. The dialog is made once; what was typed stays in the edit between openings.

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace velmsetup {

class TfmPass : public QDialog
{
    Q_OBJECT
public:
    explicit TfmPass(QWidget *parent = nullptr);

    QGroupBox *gbPass;
    QLineEdit *edPass;     // shows "*" for every character
    QPushButton *btOk;     // "ОК", Enter
    QPushButton *btCancel; // "Отмена", Esc

protected:
    void showEvent(QShowEvent *e) override;
};

// The edit style both installer prompts share: a "*" per typed character.
void SetStarEcho(class QLineEdit *edit);

// The rest both installer prompts share: their group box above "ОК" (Cyrillic letters, as in the
// gateway's password prompt; the default, Enter) and "Отмена" (Esc) on the right, the controls
// named for assistive technology, and a fixed size at least minWidth wide.
void LayOutPrompt(QDialog *dialog, QWidget *group, QPushButton *&ok, QPushButton *&cancel, int minWidth);

} // namespace velmsetup
