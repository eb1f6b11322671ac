#pragma once
// The background window, the installer's main window: it fills the screen in teal behind the
// wizard, shows the product's title with a shadow and, while routines are restored, the slide
// images "IMAGES/velm<k>.jpg" in its image panel.

#include <QWidget>

#include <functional>

class QFrame;
class QLabel;

namespace velmsetup {

class TfmFone : public QWidget
{
    Q_OBJECT
public:
    explicit TfmFone(const QString &imagesDir);

    // product + " " + version, in both title labels.
    void SetTitle(const QString &text);
    // Loads slide k into the image panel and shows the panel; throws std::exception when the
    // picture cannot be loaded.
    void ShowSlide(int k);
    QString SlideFile(int k) const;

    QLabel *lbShadow; // black, 4 pixels right of and below the title
    QLabel *lbTitle;  // white
    QFrame *pnBevel;  // the image panel, hidden until the first slide
    QLabel *imSlide;

    // Brought to the front when this window is activated while they are ordinary windows; the
    // first activation shows the wizard.
    QWidget *fmSetup = nullptr;
    QWidget *fmProgress = nullptr;
    // Closing this window ends the program at once, without the exit question.
    std::function<void()> OnClose;

protected:
    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    QString FImagesDir;
    bool FActivated = false;
};

// Whether a top-level window stays on top of the others; changing it keeps the window shown.
bool IsOnTop(const QWidget *w);
void SetOnTop(QWidget *w, bool onTop);

} // namespace velmsetup
