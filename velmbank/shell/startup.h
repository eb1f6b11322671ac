#pragma once
// velmbank's run: the gateway session's start-up (the store's, with the logo and the login
// dialog as this program shows them), the windows, and the shutdown after the main window
// closed.
//
// Every failure before the lock is held ends the process at once (the caller does it: Start
// only says so, which keeps these paths testable). Once the lock is held the program always
// ends through Shutdown, which saves the protocol and releases the lock.

#include <QString>
#include <QStringList>

class TLink;

namespace velmbank {

// The machine's profile, which the package installs for the velmd service of this machine.
extern QString SystemProfileFileName;

// Where the profile is looked for, in this order: the file the command line names (given) in the
// current folder, velmbank.ini there, the user's own (~/.config/velmbank/velmbank.ini), the
// machine's.
QStringList ProfilePlaces(const QString &given);

// The four positional parameters: profile file, "0" no error boxes, "1" keep the protocol,
// the protocol's folder. Absent ones are empty. The profile is the first of ProfilePlaces that
// holds a file (velmbank.ini in the current folder when none does).
void ParseCommandLine(TLink &link, const QStringList &params);

enum class TStartUp {
    Run,        // logged in, locked, lists loaded
    Terminate,  // a list failed to load: the program ends through the normal shutdown
    EndProcess, // nothing is held: end the process at once
};

class TVelmBank
{
public:
    TVelmBank();
    ~TVelmBank();
    TVelmBank(const TVelmBank &) = delete;
    TVelmBank &operator=(const TVelmBank &) = delete;

    // Program start up to the message loop: the store made, the command line read into its
    // link, the session started. EndProcess: the caller ends the process now.
    TStartUp Start(const QStringList &params);
    // The message loop, until the main window closes; none after a termination request.
    int Exec();
    // After the loop: the session's shutdown, then the windows and the store go.
    void Shutdown();

private:
    class TFrontEnd;
    void CreateWindows();
    void FreeWindows();
    bool FTerminate = false;
};

} // namespace velmbank
