#pragma once
// The about window: the program's title, version and whom to ask.

#include <QDialog>

class QLabel;
class QPushButton;

namespace velmbank {

class TfmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfmAbout(QWidget *parent = nullptr);

    QLabel *lbTitle;
    QLabel *lbVersion;
    QLabel *lbContactsHead;
    QLabel *lbContacts;
    QPushButton *btOK; // Enter and Esc both press it

    void reject() override; // Esc and the close box end the window as OK does
};

extern TfmAbout *fmAbout;

} // namespace velmbank
