#pragma once
// The logo shown while the gateway connects, registers the operator and loads its lists.

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;

namespace velmbank {

class TfmLogo : public QWidget
{
    Q_OBJECT
public:
    // dir: the current directory, whose Images/client-bank.jpg replaces the built-in picture.
    explicit TfmLogo(const QString &dir);

    QFrame *Panel1;
    QLabel *Image1;
    QLabel *Label2; // the title over the built-in picture
    QLabel *Panel2;
    bool PictureLoaded = false;

    // Shown and painted at once: the message loop is not running yet.
    void ShowNow();

private:
    void FormCreate(const QString &dir);
};

} // namespace velmbank
