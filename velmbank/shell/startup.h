#pragma once
// velmbank's run: everything before the main window (command line, engine probe, link, login,
// exclusive lock, lists), the windows, and the shutdown after the main window closed.
//
// Every failure before the lock is held ends the process at once (the caller does it: Start
// only says so, which keeps these paths testable). Once the lock is held the program always
// ends through Shutdown, which saves the protocol and releases the lock.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class TfmLogo;

// The work protocol's first line, kept when the command line asks for the protocol.
QString ProtocolTitle();

// The machine's profile, which the package installs for the velmd service of this machine.
extern QString SystemProfileFileName;

// Where the profile is looked for, in this order: the file the command line names (given) in the
// current folder, velmbank.ini there, the user's own (~/.config/velmbank/velmbank.ini), the
// machine's.
QStringList ProfilePlaces(const QString &given);

// The four positional parameters: profile file, "0" no error boxes, "1" keep the protocol,
// the protocol's folder. Absent ones are empty. The profile is the first of ProfilePlaces that
// holds a file (velmbank.ini in the current folder when none does).
void ParseCommandLine(const QStringList &params);

// True exactly when the server grants the gateway's exclusive lock.
bool AcquireExclusiveLock();
void ReleaseExclusiveLock();

// The decimal separator of the user's locale, as Windows-1251 bytes.
QByteArray UserDecimalSeparator();

enum class TStartUp {
    Run,        // logged in, locked, lists loaded
    Terminate,  // a list failed to load: the program ends through the normal shutdown
    EndProcess, // nothing is held: end the process at once
};

// The settings store's start-up sequence (dmSet must exist). The logo is freed on early ends.
TStartUp DataModuleCreate(const QStringList &params, std::unique_ptr<TfmLogo> &logo);
// The settings store's shutdown: the work handed back, the protocol saved, the lock released,
// logout, the link closed, the store emptied.
void DataModuleDestroy();

class TVelmBank
{
public:
    TVelmBank();
    ~TVelmBank();
    TVelmBank(const TVelmBank &) = delete;
    TVelmBank &operator=(const TVelmBank &) = delete;

    // Program start up to the message loop. EndProcess: the caller ends the process now.
    TStartUp Start(const QStringList &params);
    // The message loop, until the main window closes; none after a termination request.
    int Exec();
    // After the loop: DataModuleDestroy, then the windows and the store go.
    void Shutdown();

private:
    void CreateWindows();
    void FreeWindows();
    bool FTerminate = false;
};
