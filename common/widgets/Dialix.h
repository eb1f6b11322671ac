#pragma once
// The choice box TfmBox: a message and a row of buttons given by their captions; the result is
// the 1-based number of the pressed button. Sized from the pixel widths of its texts.

#include "Ui.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QWidget;

class TfmBox : public QDialog
{
    Q_OBJECT
public:
    explicit TfmBox(QWidget *parent = nullptr);

    int LeftMargin = 20;
    int RightMargin = 20;
    int TextLeftMargin = 20;
    int TextRightMargin = 20;
    int ButtonGap = 5;
    bool AutoButtonWidth = true;
    int ButtonTop = 50;
    int ButtonWidth = 0;
    int ButtonsWidth = 0;
    int MinButtonWidth = 40;
    QString Buttons;
    QChar Separator = QLatin1Char('_');
    int ButtonCount = 1;
    int DefaultButton = 1;
    int EscapeResult = 0;
    QString IconFile;

    void Configure(const TChoiceArgs &args);
    void ArrangeSize();
    void CreateButtons();

    QLabel *lbMes = nullptr;
    QWidget *pnTop = nullptr;
    QWidget *pnImages = nullptr;
    QLabel *imIcon = nullptr;
    QWidget *pnMes = nullptr;
    QList<QPushButton *> ButtonList;

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void reject() override; // Esc and the window's close: EscapeResult, or nothing when 0

private:
    void LayOutTop();
    int FOuterWidth = 257;
    int FTopHeight = 35;
};

// Builds, shows and releases one box; 0 when anything failed.
int ShowChoiceBox(const TChoiceArgs &args, QWidget *parent = nullptr);
