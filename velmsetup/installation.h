#pragma once
// One installation, as the wizard and the console run it: the start line of the log, the
// command line, the distribution's header, the connection to the system namespace with the
// namespace list and the library detection, the connection to the chosen namespace, the three
// stages in their order with the option block and the times, and the log file. The front-ends
// keep their own windows or output: they take the values from here and show them.
//
// Messages and questions go through the Ui seam, the progress through the windows given; a
// distribution that cannot be read at any step is a message and a log line, never an exception.

#include "distrib.h"
#include "setuplog.h"
#include "setupwindows.h"
#include "stages.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class TVisM;

class TInstallation
{
public:
    // dir: where the distribution, the slides and the log are.
    TInstallation(QString dir, TVisM &vism, TSetupClock &clock);

    // Where the connection and the stages report; until set, nowhere.
    void SetWindows(TSetupWindows &windows) { FWindows = &windows; }

    // The command line: [q|no] [%|join limit] [anything, so that the limit is read].
    void ApplyCommandLine(const QStringList &params);
    // "Протокол установки дистрибутива. " with the date and time, then an empty line.
    void LogStart();
    // The header, logged; false after "Ошибка инициализации установщика".
    bool ReadHeader();

    // The stored connection settings: address, port and the namespace to propose.
    void ReadSettings();
    void SaveSettings() const;

    // Connects to "%SYS" at ip (blanks removed) and port, lists the namespaces and detects a
    // library distribution. False when the server refused (message, log line) or the
    // distribution could not be read. IP and Port then hold what the server reports in use;
    // AddressChanged says that it named another address than the one given.
    bool ConnectSystem(const QByteArray &ip, const QByteArray &port);
    // Switches to ns; false (message, log line) when refused.
    bool ConnectNameSpace(const QByteArray &ns);
    // The index in NameSpaces of the remembered namespace (letter case ignored), else 0; -1
    // when none is listed.
    int Proposed() const;

    // The option block, the stages in order with journaling off around the first two, the end
    // time and duration; once. True when every stage succeeded.
    bool Install();

    // Writes the log to "velmsetup.txt" in the folder, or in the system's temporary folder
    // when that fails; the path written to.
    QString WriteLog() const;

    QString Dir;
    TSetupOptions Options;
    TSetupLog Log;
    TDistrib Distrib;
    QByteArray IP = "127.0.0.1";
    QByteArray Port = "1972";
    bool AddressChanged = false;
    QByteArray NameSpace; // in use, server code page
    QString RememberedNS = QStringLiteral("USER");
    QList<QByteArray> NameSpaces; // as the server lists them, each once
    bool Library = false;         // the distribution holds library programs
    bool Installed = false;       // the installation ran
    bool Succeeded = false;

private:
    void LogConnection(const QString &what);
    void LogParameters();
    void ShowConnecting(const QString &message);
    void ListNameSpaces();
    void Refused(); // the message and the log line
    void LogOptions();

    TVisM &FVisM;
    TSetupClock &FClock;
    TSetupWindows FNoWindows;
    TSetupWindows *FWindows = &FNoWindows;
};
