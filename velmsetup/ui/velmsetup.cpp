// velmsetup: the installer of M routine distributions. It works in the current directory
// ("velminstal.dat", "licence.txt", "readme.txt", "IMAGES", the log "velmsetup.txt").
// Command line: [q|no] [%|join limit] [anything, so that the limit is read].

#include "SetupUi.h"
#include "VisM.h"
#include "fone.h"
#include "progress.h"
#include "setup.h"
#include "stages.h"

#include <QApplication>
#include <QDir>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TSetupUi ui;
    SetUi(&ui);
    ui.SetTitle(QString::fromLatin1(WizardCaption));
    if (!CheckVisMControl(VisMControlRegistered()))
        return 0;

    const TSetupEnv env{QDir::currentPath(), QCoreApplication::arguments().mid(1)};
    TVisMClient vism;
    TGuiClock clock;
    TSetupProgram program(env, vism, clock);
    ui.SetWindows(program.fmProgress.get(), program.fmSetup.get(), program.fmFone.get());
    ui.SetProgressView(program.fmProgress.get());
    if (!program.Start()) {
        program.fmSetup->EndProgram();
        return 1;
    }
    const int rc = app.exec();
    program.fmSetup->EndProgram();
    vism.Disconnect();
    return rc;
}
