#pragma once
// TfmNew: the settings wizard. It creates a new setting for the client-bank of the current task
// row: the task, the setting's parameters, then the way its fields are obtained (from a DBF
// file's structure, from an existing setting, automatically from the server, or none for the
// constructor). The setting is added to tbSets in memory with its fields in tbSet; the editor
// sends it to the server when it is saved.

#include <QByteArray>
#include <QDialog>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace velmbank {

class TDirectoryEdit;

class TfmNew : public QDialog
{
    Q_OBJECT
public:
    explicit TfmNew(QWidget *parent = nullptr);
    ~TfmNew() override;

    QLabel *imPicture;
    QStackedWidget *pcPages; // no tabs: the pages change only through the buttons
    QWidget *tsTask, *tsParams, *tsNS;

    QListWidget *liTask;
    QPlainTextEdit *mmDescript;
    QPushButton *btTaskNext, *btTaskCancel;

    QLineEdit *edName;
    QLabel *lbDir;
    TDirectoryEdit *edDir;
    QLabel *lbFile;
    QLineEdit *edFile;
    QLineEdit *edFunc;
    QLineEdit *edVFunc;
    QLabel *lbFindEx;
    QLineEdit *edFindEx;
    QPushButton *btParamsBack, *btParamsNext, *btParamsCancel;

    QAction *actFileDbf, *actCopySet, *actAuto, *actConstr;
    QToolButton *btFileDbf, *btCopySet, *btAuto, *btConstr;
    QPushButton *btMethodBack, *btMethodExit;
    QMenu *pmSets; // the copy method's settings of the chosen task type

    // The start: the task page with the first task chosen and described, the caption naming the
    // current task row's client-bank.
    void Prepare();
    // Prepare, then shown modally; true when a setting was created.
    bool Execute();

    // The task type of the chosen item, 1 or 2.
    int TaskType() const;
    static QString TaskDescription(int item);

    void liTaskClick();
    void act1YesExecute();
    void act2goExecute();
    void act2BackExecute();
    void act25backExecute();
    void actExitExecute();
    void actFileDbfExecute();
    void actCopySetExecute();
    void actItemExecute(qint64 setId);
    void actAutoExecute();
    void actConstrExecute();

    // The file dialog's filter and folder.
    QString FileFilter;
    QString FileDir;

public Q_SLOTS:
    void reject() override; // the close box: cancelled without asking

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void ShowPage(QWidget *page);
    // The last step of every method: the new row of tbSets from the boxes, current.
    void CreateSettingRow();
    // A method's work; anything it throws is reported and ends the wizard as cancelled.
    template <class Work>
    void RunMethod(Work &&work);
};

extern TfmNew *fmNew;

} // namespace velmbank
