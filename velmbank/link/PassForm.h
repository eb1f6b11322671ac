#pragma once
// The password prompt that opening the link shows after the server refused the password in the
// profile: one hidden edit, "ОК" confirms, "Отмена" (or Esc) cancels.

#include <QDialog>

#include <optional>

class QLineEdit;
class QPushButton;

namespace velmbank {

class TXApiPassWord : public QDialog
{
    Q_OBJECT
public:
    explicit TXApiPassWord(QWidget *parent = nullptr);

    QLineEdit *Edit1;
    QPushButton *Button1; // "ОК", the default button
    QPushButton *Button2; // "Отмена", the cancel button
};

// Shows the prompt modally and frees it: the typed text when confirmed (an empty text is a valid
// retry), nullopt when cancelled.
std::optional<QString> ShowXApiPassWord(QWidget *parent = nullptr);

} // namespace velmbank
