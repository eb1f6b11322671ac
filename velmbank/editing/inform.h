#pragma once
// TfmInform: the input-form editor. It edits one setting: the rows of tbSet that describe the
// fields of a client-bank's DBF file, each tied to a characteristic of Вельм, and through the
// properties dialog the setting's own parameters in the current tbSets row. It checks and
// prepares the rows before it saves them, and it can delete the setting. The grid is a view
// over tbSet; the pick lists of the type and of the characteristic are the delegate's editors.

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>

class QAction;
class QGroupBox;
class QMenu;
class QPlainTextEdit;
class TMemTableModel;

namespace velmbank {

// The editors of rdbIn's cells: a pick list that also takes typed text for the type and the
// characteristic, a box as wide as the field for the rest.
class TInformDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QStringList TypeNames;       // the type catalogue, for "Тип данных"
    QStringList Characteristics; // for "Поле Вельм", set each time a setting is opened

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

    QWidget *OpenEditor() const { return FEditor; }

private:
    mutable QPointer<QWidget> FEditor;
};

// rdbIn: the grid. Insert adds a row, Ctrl+Del removes one (asking first), Down on the last
// row appends one, as in the grids the operators know.
class TInformGrid : public QTableView
{
    Q_OBJECT
public:
    explicit TInformGrid(QWidget *parent = nullptr);
    // What is typed in the open cell goes into its row, and the cell closes.
    void EndEdit();
    bool IsEditing() const { return state() == QAbstractItemView::EditingState; }

Q_SIGNALS:
    void InsertRowKey();
    void DeleteRowKey();
    void AppendRowKey();

protected:
    void keyPressEvent(QKeyEvent *e) override;
};

class TfmInform : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfmInform(QWidget *parent = nullptr);
    ~TfmInform() override;

    QAction *actAdd, *actDelete, *actSave, *actDelSet, *actClose, *actSetParams, *actNew;
    QMenu *mnSettings, *mnFields;
    QGroupBox *gbFields;
    TInformGrid *rdbIn;
    TInformDelegate *Delegate;
    TMemTableModel *dsSet;
    QPlainTextEdit *mmComment;

    // The window shown again when the editor closes or hands over ("Создать").
    QPointer<QWidget> MainWindow;
    // "Создать", once the editor has handed over: what the main window does to make a setting.
    std::function<void()> NewSetting;

    // Before the editor is shown for the current tbSets row: the properties dialog filled, the
    // characteristics as the pick list, the caption.
    void FillFromSetting();

    void actAddExecute();
    void actDeleteExecute();
    // The save: true when the rows reached the server (the setting no longer counts as modified).
    bool actSaveExecute();
    void actDelSetExecute();
    void actCloseExecute();
    void actSetParamsExecute();
    void actNewExecute();

protected:
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void SetCaptionFromSetting();
    void FitGrid();
    void GotoSetupRow();
    // The cursor of the grid on a row and a field's column.
    void SelectCell(int row, int field);
    void GridCurrentChanged(const QModelIndex &current, const QModelIndex &previous);
    void TableRowChanged(int row);
    // The table's cursor onto the grid's row, should they have parted.
    void SyncTableRow();
    void AppendRow();
    // An empty row, inserted before the current one or appended; false when refused (said).
    bool AddEmptyRow(bool append);
    // Why the properties dialog's values cannot be taken; empty when they can.
    QString ParamsRefusal() const;
    void DropUntouchedAppendedRow();
    void ParamsAccepted();
    // Leaving the editor: the properties dialog closed, tbSet emptied, the main window back.
    void Leave();

    bool FSyncing = false;
    bool FPlaced = false;
    bool FParamsModeless = false; // the properties dialog shown by a save that lacked the name
    int FAppendedRow = -1;        // a row Down appended, dropped if left untouched
};

extern TfmInform *fmInform;

} // namespace velmbank
