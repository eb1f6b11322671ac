#pragma once
// The settings store: the working copy of client-banks, tasks, settings and setting fields
// that the gateway keeps for the whole run, the type catalogue, the checks a setting's fields
// pass before they are saved, and the exchange of all of it with the server routines.

#include "memtable.h"

#include <QByteArray>
#include <QList>
#include <QObject>

// Task numbers: the settings editor, money out (settings of type 1), money in (type 2).
enum TTaskNumber : int { TaskSettingsEditor = 0, TaskMoneyOut = 1, TaskMoneyIn = 2 };

class TdmSet : public QObject
{
    Q_OBJECT
public:
    // Fields of the three tables, by position (the positions are the piece numbers of the
    // server's records minus one, and ValidateSetField's field index).
    enum TaskField { tkId, tkName, tkClient, tkSet, tkSName, tkDefFindEx, tkMenus, tkCount };
    enum SetsField {
        stId, stName, stClient, stType, stPath, stFile, stFunc, stVFunc, stFindEx, stCount
    };
    enum SetField {
        sfId, sfName, sfType, sfLength, sfPrecision, sfMAPX, sfOb, sfIh, sfFunc, sfTypeId, sfCount
    };

    // The lists start empty and the tables open empty with their fields.
    explicit TdmSet(QObject *parent = nullptr);
    ~TdmSet() override;

    TMemTable *tbTasks;
    TMemTable *tbSets;
    TMemTable *tbSet;

    QList<QByteArray> ClientBanks;
    QList<QByteArray> TypeNames;
    QList<QByteArray> Characteristics;
    QList<QByteArray> CheckedMapx;
    QList<QByteArray> NewSettings;

    // True after any post to tbSet; the editor asks whether to save while it is set.
    bool SetModified = false;

    TBookmark TaskRowSetup, TaskRowMoneyOut, TaskRowMoneyIn;

    // --- the data model ------------------------------------------------------------------
    void FillTypeNames();
    void RememberTaskRows();
    void ForgetTaskRows();

    // Checks the current tbSet row; on failure shows the message and gives the offending
    // field's position in fieldIndex.
    bool ValidateSetField(int &fieldIndex);
    // Numbers, normalises and posts the current tbSet row.
    void PrepareSetField();
    bool SettingNameExists(const QByteArray &name) const;
    int NextSettingId();

    // A key of NewSettings: client-bank name, chr(2), the setting's Id in decimal.
    static QByteArray NewSettingKey(const QByteArray &client, qint64 setId);
    void AddNewSettingKey(const QByteArray &key);
    bool IsNewSettingKey(const QByteArray &key) const;
    void RemoveNewSettingKey(const QByteArray &key);

    // --- the exchange with the server (through XApiLink) ------------------------------------
    // kind 0 settings editing, 1 money out, 2 money in.
    bool HasRight(int kind, qint32 user);
    void CallTOinGL();
    void CallGLinTO(QByteArray &reply);
    bool LoadClientBanks();
    bool LoadTasks();
    bool LoadCharacteristics(int taskType);
    bool LoadSettings(const QByteArray &client);
    // No report of its own: a failure's text is given in error (Windows-1251). True when empty.
    bool LoadSetFields(const QByteArray &setId, QByteArray &error);
    bool AutoCreateFields(int taskType);
    bool SaveSetting();
    bool SaveTask();
    bool DeleteSetting();
    // message: the server's refusal, empty when done (Windows-1251). True when done.
    bool AddClientBank(const QByteArray &name, QByteArray &message);
    bool DeleteClientBank(const QByteArray &name, QByteArray &message);
    bool DetachClientFromTasks(const QByteArray &name);

    // The store's part of start-up, once the exclusive lock is held: CallTOinGL, the
    // client-bank and task lists, FillTypeNames, RememberTaskRows. False when a list failed to
    // load (the application is then to end after start-up); every step runs regardless.
    bool LoadAtStartUp();
    // The store's first step of shutdown: CallGLinTO, a non-empty reply shown as a message.
    void CallGLinTOAtShutdown();

private:
    void onSetPosted() { SetModified = true; }
};

// The program-wide instance, created at start-up.
extern TdmSet *dmSet;
