#pragma once
// The account prompt of the VisM layer: the user and password for the server, asked when the
// installer connects and the environment gives no account. Same look as the source password
// dialog.

#include <QDialog>

#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmsetup {

class TfmAccount : public QDialog
{
    Q_OBJECT
public:
    TfmAccount(const QString &caption, const QString &user, QWidget *parent = nullptr);

    QGroupBox *gbAccount;
    QLineEdit *edUser;
    QLineEdit *edPassword;
    QPushButton *btOk;
    QPushButton *btCancel;
};

} // namespace velmsetup
