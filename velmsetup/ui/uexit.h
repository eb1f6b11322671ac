#pragma once
// The exit dialog: the installation is not finished yet. "Продолжить" (also Enter, Esc and the
// close box) keeps the installer running, "Выход" ends it.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace velmsetup {

class TfmExit : public QDialog
{
    Q_OBJECT
public:
    explicit TfmExit(QWidget *parent = nullptr);

    // exec(): Accepted for "Продолжить", Rejected for "Выход".
    QPlainTextEdit *meText;
    QPushButton *btContinue;
    QPushButton *btExit;

protected:
    void showEvent(QShowEvent *e) override;
    void reject() override; // Esc and the close box: go on installing
};

} // namespace velmsetup
