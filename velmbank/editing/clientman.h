#pragma once
// TfmClients: the client-bank chooser. Its list holds the names of dmSet->ClientBanks in the
// same order, index for index; it is filled once, when the window is made, and from then on the
// chooser changes both together.

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace velmbank {

class TfmClients : public QDialog
{
    Q_OBJECT
public:
    explicit TfmClients(QWidget *parent = nullptr);

    QLabel *lbTitle;
    QListWidget *liClients;
    QPushButton *btNew;
    QPushButton *btChoose;
    QPushButton *btDel;
    QPushButton *btCancel;

    void actCreateExecute();
    void actChooseExecute();
    void actDelExecute();
    void actCancelExecute();

    // The selected row (its index in ClientBanks too); -1 when none.
    int SelectedIndex() const;

private:
    // Adds a name the operator typed to the server and to both lists; false when refused.
    bool AddName(const QString &name);
};

extern TfmClients *fmClients;

} // namespace velmbank
