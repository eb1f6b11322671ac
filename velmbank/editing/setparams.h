#pragma once
// TfmSetParams: the properties of the setting open in the input-form editor (its name, task,
// folder, file, the server's transformation and check functions, the characteristics similar
// documents are searched by). TDirectoryEdit, a folder box with its folder dialog, is shared
// with the wizard.

#include <QDialog>
#include <QPointer>
#include <QString>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class TMemTable;

namespace velmbank {

// A text box for a folder, with a button that opens the folder dialog there (or in InitialDir
// while the box names no folder).
class TDirectoryEdit : public QWidget
{
    Q_OBJECT
public:
    explicit TDirectoryEdit(QWidget *parent = nullptr);

    QLineEdit *Edit;
    QToolButton *btBrowse;
    QString InitialDir;

    QString text() const;
    void setText(const QString &text);
    void Browse();
};

// The parameters an operator types for a setting (name, folder, file, conversion functions,
// similarity fields), written into the current row of the settings table while it is edited.
void WriteSettingParams(TMemTable *sets, const QString &name, const QString &dir, const QString &file,
                        const QString &func, const QString &vfunc, const QString &findEx);

class TfmSetParams : public QDialog
{
    Q_OBJECT
public:
    explicit TfmSetParams(QWidget *parent = nullptr);
    ~TfmSetParams() override;

    QGroupBox *gbValues;
    QLineEdit *edName;
    QComboBox *cbTask; // always disabled: a setting keeps its task
    TDirectoryEdit *edDir;
    QLineEdit *edFile;
    QLineEdit *edFunc;
    QLineEdit *edVFunc;
    QLineEdit *edFindEx;
    QPushButton *btOk;
    QPushButton *btCancel;

    // The control that gets the focus when the dialog is next shown (then forgotten); without
    // one, the control that had it when the dialog was last closed.
    QPointer<QWidget> FocusOnShow;

    // The boxes from the current tbSets row, and back into it (posted).
    void FillFromSetting();
    void StoreIntoSetting();

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    bool FPlaced = false;
    QString FActiveControl;
};

extern TfmSetParams *fmSetParams;

// The task items of the wizard and the properties dialog, for task types 1 and 2.
QStringList SettingTaskItems();

} // namespace velmbank
