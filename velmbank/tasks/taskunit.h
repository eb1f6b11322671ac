#pragma once
// The gateway's main window, the task manager: one toolbar button per task with a drop-down
// menu of the client-bank and setting pairs last used for it, and the about button. Closing it
// ends the program.

#include "data.h"

#include <QAction>
#include <QByteArray>
#include <QWidget>

class QMenu;
class QToolBar;
class QToolButton;

namespace velmbank {

// A menu entry: one client-bank and one setting, as "client<4>setId<4>setName" (Windows-1251).
class TTaskMenuItem : public QAction
{
    Q_OBJECT
public:
    TTaskMenuItem(const QByteArray &entryText, QObject *parent);
    QByteArray EntryText;

    // "client:setting name", with "&" kept literal.
    static QString CaptionOf(const QByteArray &entryText);
};

class TfmTaskMan : public QWidget, public TTaskMenus
{
    Q_OBJECT
public:
    // FormCreate: actions enabled by the user's rights, the three menus from the task rows.
    explicit TfmTaskMan(QWidget *parent = nullptr);
    ~TfmTaskMan() override;

    QToolBar *ToolBar1;
    QToolButton *tb0, *tb1, *tb2, *tbAbout;
    QAction *actSetup, *actTask1, *actTask2;
    QAction *actSetupPrp, *actProp1, *actProp2; // "Выбрать настройку" of each menu
    QAction *actAbout;
    QMenu *mn0, *mn1, *mn2;

    static constexpr int MaxEntries = 5;
    static constexpr int MenusWidth = 254; // the Menus column, here and on the server

    QMenu *TaskMenu(int task) const;
    QToolButton *TaskButton(int task) const;
    // The entry items of a task's menu, top to bottom.
    QList<TTaskMenuItem *> EntryItems(int task) const;

    void BuildTaskMenu(int task);
    void UpdateButtonHints();
    void AddMenuEntry(int task, const QByteArray &entryText);
    // Takes the entries of the setting the text names (its client-bank and Id, whatever name
    // they show) off every menu.
    void RemoveMenuEntry(const QByteArray &entryText);
    void SaveTaskMenu(int task);

    // The store's settings renamed or deleted: the entries follow, and each menu so changed is
    // stored into its task row.
    void SettingRenamed(const QByteArray &client, qint64 setId, const QByteArray &name) override;
    void SettingDeleted(const QByteArray &client, qint64 setId) override;

    // The click of a task: sender is an entry item, or null for the toolbar button (which runs
    // the default item of its menu).
    void actSetupExecute(QAction *sender);
    void actTask1Execute(QAction *sender);
    void actTask2Execute(QAction *sender);
    void actAboutExecute();

    // The start of a task and what it asks for (taskstart.cpp).
    // Checks the task row's client-bank and setting, builds the intermediate table, asks for
    // the file, imports it and hands over to the document grid.
    void StartTask(int task);
    // The file of the task's setting, or the file the operator chose; empty when cancelled.
    QString AskDataFile();
    // Opens the input-form editor on the setting named by the row of task 0.
    void OpenSettingEditor();
    // "Выбрать настройку" of tasks 1 and 2: the task context dialog, then the task's start.
    void actProp1Execute();
    void actProp2Execute();
    // "Выбрать настройку" of task 0: the task context dialog, then the editor on the choice.
    void actSetupPrpExecute();

Q_SIGNALS:
    void Closed();

protected:
    void changeEvent(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void TaskExecute(int task, QAction *sender);
    bool GotoTaskRow(int task);
    TTaskMenuItem *NewEntry(int task, const QByteArray &entryText);
    void Promote(QMenu *menu, QAction *item);
    void SetDefault(QMenu *menu, QAction *item);
    QAction *FixedItem(int task) const;
    void RestorePlacement();
    void SavePlacement();
    QString FActiveControl;
};

extern TfmTaskMan *fmTaskMan;

} // namespace velmbank
