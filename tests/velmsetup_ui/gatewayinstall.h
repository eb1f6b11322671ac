#pragma once
// The gateway's server half installed the way an administrator installs it: a distribution built
// with velmdist from the gateway's server routines (and a small routine of this test with the
// check label and a post-action that asks whether to seed the demo data and from which folder),
// installed through the wizard into a fresh namespace of a running velmd. The demo's seeder
// VELMDEMO is loaded there beforehand and its sample files are made in velmd's data folder,
// which the operator names when asked.

#include <QString>
#include <QStringList>

class VelmdProcess;

struct TGatewayInstall
{
    VelmdProcess *Velmd = nullptr;
    QString NameSpace = QStringLiteral("VELMW");
    QString WorkDir;           // the installer's current directory
    bool MistypeFirst = false; // the operator's first password is wrong

    // What happened.
    bool Succeeded = false;
    QStringList Log;       // the log file, as the program wrote it
    QStringList Questions; // the texts of the questions the operator answered
    int TimerTicks = 0;    // of a 20 ms timer while the installation ran
    QString Error;         // why the run did not get through

    bool Run();
};

// The routines of the gateway's server half (file names without ".m", "_" for "%").
QStringList GatewayRoutineFiles();
