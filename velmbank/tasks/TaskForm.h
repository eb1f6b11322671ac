#pragma once
// TfmTaskForm: the document grid of one task start. The operator reviews the intermediate
// table, chooses the documents to process, starts the run and reads its results. The grid is
// a view over the engine's data source dsTask; a delegate draws the include marks and the run's
// results, so nothing per row is a widget.

#include <QByteArray>
#include <QHeaderView>
#include <QMainWindow>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

class QAction;
class QCheckBox;
class QGroupBox;
class QMenu;
class QToolBar;
class TdmTask;
class TTaskRun;

namespace velmbank {

class TBHint;

// The six small pictures of the grid.
enum class TTaskPicture { None, Ok, Fail, Include, Exclude, Includei, Excludei };
QPixmap TaskPicture(TTaskPicture picture);

// What a cell of the grid shows beyond its usual drawing.
struct TTaskCellLook
{
    bool Custom = false; // false: the usual drawing
    TTaskPicture Picture = TTaskPicture::None;
    QString Text; // empty when the picture leaves no room for it
};

class TTaskGridDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    TTaskGridDelegate(TdmTask *task, QObject *parent = nullptr);

    // The look of a cell that is width pixels wide; selectedFocused: the current cell of the
    // focused grid.
    TTaskCellLook Look(const QModelIndex &index, bool selectedFocused, int width) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    // The grid's hints are the cell hint's (TBHint), not the view's tool tips.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

private:
    TdmTask *FTask;
};

// The row indicator: a narrow column that marks the current row.
class TRowIndicator : public QHeaderView
{
    Q_OBJECT
public:
    explicit TRowIndicator(QWidget *parent = nullptr);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sizeHint() const override;
};

// dbgEx: the grid. Enter and Space toggle like a click; the mouse is followed for the hint.
class TTaskGrid : public QTableView
{
    Q_OBJECT
public:
    explicit TTaskGrid(QWidget *parent = nullptr);

Q_SIGNALS:
    void ToggleKey();                   // Enter or Space
    void MouseMoved(const QPoint &pos); // in viewport coordinates

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
};

class TfmTaskForm : public QMainWindow
{
    Q_OBJECT
public:
    // task: the import engine whose intermediate table the grid shows (dmTask).
    explicit TfmTaskForm(TdmTask *task, QWidget *parent = nullptr);
    ~TfmTaskForm() override;

    QAction *actRun;
    QAction *actIncAll;
    QAction *actClearAll;
    QAction *actInverse;
    QAction *actClose;
    QToolBar *tbButtons;
    QMenu *mnActions;
    QMenu *mnGrid; // the grid's context menu
    QCheckBox *chCloseDoc;
    QGroupBox *gbMain;
    TTaskGrid *dbgEx;
    TTaskGridDelegate *Delegate;
    TTaskRun *Run; // the run; its Surname is the operator's ("familia")
    TBHint *Hint;

    // The window shown again when this one closes (the main window).
    QPointer<QWidget> MainWindow;

    // Options of a user for a task, in QSettings under Forms/TaskForm/<user>/<task>.
    void LoadTaskOptions(int task, qint32 user);
    void SaveTaskOptions(qint64 taskId, qint32 user);
    // "Промежуточная таблица: N документов" and the like; the grid is named by it too.
    void SetFrameCaption(const QString &caption);
    // That caption after an import: its rows, the documents it left aside (of the other
    // direction, with faults), and whether it came to its end.
    static QString ImportCaption(int rows, int otherDirection, int faulty, bool complete);

    void actRunExecute();
    void actIncAllExecute();
    void actClearAllExecute();
    void actInverseExecute();
    void actCloseExecute();

    // Inverts Include of a row (0-based) whose Include is not empty.
    void ToggleInclude(int row);
    // True while the run is going: the window then takes no commands.
    bool Running() const { return FRunning; }

protected:
    void closeEvent(QCloseEvent *e) override; // FormClose

private:
    enum class TIncludeAll { All, None, Invert };
    void SetIncludeAll(TIncludeAll how);
    void dbgExCellClick(const QModelIndex &index);
    void dbgExMouseMove(const QPoint &pos);
    void ApplyColumns();
    void TableRowChanged(int row);
    void GridCurrentChanged(const QModelIndex &current);
    void SelectedColumnChanged(int id);
    void SetCommandsEnabled(bool enabled);
    int GridColumnOf(int field) const; // 1-based among the shown columns, 0 for none

    TdmTask *FTask;
    bool FRunning = false;
    bool FSyncing = false;
};

extern TfmTaskForm *fmTaskForm;

// The task windows (fmClients, fmPass, fmTaskPar, fmTaskForm), made once when first needed, after
// the client-bank list was loaded and dmTask made; they go with the main window.
void CreateTaskWindows(QWidget *mainWindow);
void FreeTaskWindows();

} // namespace velmbank
