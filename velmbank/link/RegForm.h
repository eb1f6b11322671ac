#pragma once
// The login dialog: the operator's user number and two passwords, checked by the server's
// login routine. The start-up looks only at the modal result: Accepted continues, Rejected ends
// the program.

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class TLink;

namespace velmbank {

class TRegistration : public QDialog
{
    Q_OBJECT
public:
    // The login goes over this link, which takes the user's number once the server accepts.
    explicit TRegistration(TLink &link, QWidget *parent = nullptr);

    QLineEdit *Idf;
    QLineEdit *Password;
    QLineEdit *PrivPass;
    QPushButton *BOK;
    QPushButton *Cancel;
    QStatusBar *StatusBar1;
    QLabel *Panel0; // the status bar's one panel

    void BOKClick();

    // A user number as the server keeps it: decimal digits with an optional sign, in 32 bits.
    static std::optional<qint32> UserNumberOf(const QString &text);

protected:
    void showEvent(QShowEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void changeEvent(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void FormActivate();
    bool PreviewKey(int key);
    TLink &FLink;
    bool FRegistered = false;
};

} // namespace velmbank
