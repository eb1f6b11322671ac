#pragma once
// The settings store: the working copy of client-banks, tasks, settings and setting fields
// that the gateway keeps for the whole run, the type catalogue, the checks a setting's fields
// pass before they are saved, and the exchange of all of it with the server routines.

#include "Connect.h"
#include "memtable.h"

#include <QByteArray>
#include <QList>
#include <QObject>

// Task numbers: the settings editor, money out (settings of type 1), money in (type 2).
enum TTaskNumber : int { TaskSettingsEditor = 0, TaskMoneyOut = 1, TaskMoneyIn = 2 };

// A task menu's entry names one setting: client-bank, chr(4), the setting's Id, chr(4), its name;
// a task row's Menus joins its entries with chr(3).
inline constexpr char MenuEntrySep = '\x03';
inline constexpr char MenuPartSep = '\x04';
QByteArray MenuEntry(const QByteArray &client, qint64 setId, const QByteArray &setName);
// True when the entry names the setting of that client-bank with that Id, whatever name it shows.
bool EntryNamesSetting(const QByteArray &entry, const QByteArray &client, qint64 setId);

// The task menus a window shows: told of a setting renamed or deleted before the stored menus
// change, so that they take the change and store what they show.
class TTaskMenus
{
public:
    virtual ~TTaskMenus() = default;
    virtual void SettingRenamed(const QByteArray &client, qint64 setId, const QByteArray &name) = 0;
    virtual void SettingDeleted(const QByteArray &client, qint64 setId) = 0;
};

// What a front-end of the gateway session does its own way: the windows, velmbank-import.
class TSessionFrontEnd
{
public:
    virtual ~TSessionFrontEnd() = default;
    // False when the profile is missing, said by the front-end (then the link is not opened).
    virtual bool ProfileReady() { return true; }
    // The operator's login (the login dialog, or the account given); true once registered,
    // with UserNumber set. Failures are said there.
    virtual bool Login() = 0;
    // The start ends early with nothing held: what the front-end shows goes (the logo).
    virtual void EndingEarly() {}
    // GLinTO's reply at the end, when not empty: a plain message.
    virtual void WorkTotals(const QByteArray &reply);
    // The work protocol at the end, when kept: "clproto.txt" in ProtocolDir, replaced whole.
    virtual void SaveProtocol(const TLink &link);
};

// How the session's start ended.
enum class TSessionStart {
    Run,       // logged in, locked, lists loaded
    Terminate, // a list failed to load: the work ends through the normal shutdown
    NoEngine,  // the rest: nothing is held, the process ends at once
    NoLink,
    NoLogin,
    Locked,     // the server refused the lock: another user works
    LockFailed, // the lock's call failed
};
inline bool StartHolds(TSessionStart s) { return s == TSessionStart::Run || s == TSessionStart::Terminate; }

// How the editor's save ended.
enum class TSettingSave {
    NoName,    // the setting has no name: nothing checked or sent
    RowFailed, // a row failed its check (said): nothing sent
    Saved,
    NotSaved, // the server refused a part (reported); the later steps were still made
};

class TdmSet : public QObject
{
    Q_OBJECT
public:
    // Fields of the three tables, by position (the positions are the piece numbers of the
    // server's records minus one, and ValidateSetField's field index).
    enum TaskField { tkId, tkName, tkClient, tkSet, tkSName, tkDefFindEx, tkMenus, tkCount };
    enum SetsField { stId, stName, stClient, stType, stPath, stFile, stFunc, stVFunc, stFindEx, stCount };
    enum SetField {
        sfId,
        sfName,
        sfType,
        sfLength,
        sfPrecision,
        sfMAPX,
        sfOb,
        sfIh,
        sfFunc,
        sfTypeId,
        sfCount
    };

    // The lists start empty and the tables open empty with their fields.
    explicit TdmSet(QObject *parent = nullptr);
    ~TdmSet() override;

    // The link, its switches and the work protocol: the store's for the whole session.
    TLink Link;

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

    // The client-bank whose settings tbSets lists; empty while no list is loaded, and after a
    // load that failed (a setting made then would take the Id of one the server has).
    QByteArray SetsClient;
    bool SettingsListOf(const QByteArray &client) const;

    // --- the data model ------------------------------------------------------------------
    void FillTypeNames();
    void RememberTaskRows();
    void ForgetTaskRows();
    // The row of task 0, 1 or 2 made current; false when there is none.
    bool GotoTaskRow(int task);
    // tbSets onto the setting with this Id, of this type (0: of any); false leaves it where it was.
    bool LocateSetting(qint64 id, qint64 type);

    // Checks the current tbSet row; on failure shows the message and gives the offending
    // field's position in fieldIndex.
    bool ValidateSetField(int &fieldIndex);
    // Numbers, normalises and posts the current tbSet row.
    void PrepareSetField();
    bool SettingNameExists(const QByteArray &name) const;
    // The name is another setting's of the client-bank for that task type (exact comparison).
    bool SettingNameTaken(const QByteArray &name, qint64 type, qint64 exceptId) const;
    int NextSettingId();

    // A key of NewSettings: client-bank name, chr(2), the setting's Id in decimal.
    static QByteArray NewSettingKey(const QByteArray &client, qint64 setId);
    void AddNewSettingKey(const QByteArray &key);
    bool IsNewSettingKey(const QByteArray &key) const;
    void RemoveNewSettingKey(const QByteArray &key);

    // --- the exchange with the server (through Link) -----------------------------------------
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
    // message: the server's refusal, empty when done (Windows-1251). True when done.
    bool AddClientBank(const QByteArray &name, QByteArray &message);
    bool DeleteClientBank(const QByteArray &name, QByteArray &message);
    bool DetachClientFromTasks(const QByteArray &name);

    // --- the editor's workflows (settingflow.cpp) ---------------------------------------------
    // Shown task menus, told of renamed and deleted settings; null without windows.
    TTaskMenus *Menus = nullptr;
    // The save of the setting the current task row names: the name, every row checked (the
    // failing row and field given back), every row prepared, SaveSetting; once it went through, the
    // setting's name spread to the tasks and menus that name it; SaveTask of the current task row
    // and of every other task row so changed; GLinTO; the setting no longer counts as new.
    TSettingSave SaveEditedSetting(int &failedRow, int &failedField);
    // DelSet for the setting the current task row names; only once it went through does the
    // setting leave tbSets and NewSettings, and every task let go of it: its menu entries (by
    // client-bank and Id), and Set and SName where a task used it; each task row so changed is
    // saved, and GLinTO. A failing DelSet changes nothing here.
    bool DeleteSetting();

    // --- the gateway session (session.cpp) --------------------------------------------------
    // The start-up: the protocol's first line, the engine probe, the link, the login, the
    // exclusive lock, then LoadAtStartUp and the locale's decimal separator. Whatever ends it
    // early has closed what it opened. handOver false (a run that writes nothing): no TOinGL
    // and, at the end, no GLinTO.
    TSessionStart DataModuleCreate(TSessionFrontEnd &frontEnd, bool handOver = true);
    // The shutdown of a start that holds the lock: GLinTO (its reply to the front-end), the
    // protocol saved, the lock released, logout, the link closed, the lists and tables emptied.
    // Without a front-end, the windows' way: GLinTO's reply a message, clproto.txt replaced.
    void DataModuleDestroy(TSessionFrontEnd *frontEnd = nullptr);
    // True exactly when the server grants the lock; refused (when given) tells a reply other
    // than "1" from a failed call.
    bool AcquireExclusiveLock(bool *refused = nullptr);
    void ReleaseExclusiveLock();
    // The work protocol's first line, and the user locale's decimal separator (Windows-1251).
    static QString ProtocolTitle();
    static QByteArray UserDecimalSeparator();

    // The store's part of start-up, once the exclusive lock is held: CallTOinGL (unless the work
    // hands nothing over), the client-bank and task lists, FillTypeNames, RememberTaskRows. False
    // when a list failed to load (the application is then to end after start-up); every step
    // runs regardless.
    bool LoadAtStartUp(bool handOver = true);
    // The store's first step of shutdown: CallGLinTO, a non-empty reply shown as a message.
    void CallGLinTOAtShutdown();

private:
    void onSetPosted() { SetModified = true; }
    QByteArray CallServer(const QList<QByteArray> &elements) { return Link.CallServer(elements); }
    template <class Operation>
    bool RunReported(Operation &&operation)
    {
        return Link.RunReported(std::forward<Operation>(operation));
    }
    void StandardErrorReport(const QByteArray &text) { Link.StandardErrorReport(text); }
    bool FHandOver = true;
    // Every task row's fields, to see which rows a workflow changed.
    QList<QList<QByteArray>> TaskRecords() const;
    // SaveTask for the rows changed since before, and for the row current when asked; the task
    // cursor back where it was. False when one failed (reported).
    bool SaveChangedTasks(const QList<QList<QByteArray>> &before, bool current);
};

// The program-wide instance, created at start-up, for the windows; the core is given its store.
extern TdmSet *dmSet;
