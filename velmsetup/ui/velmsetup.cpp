// velmsetup: the installer of M routine distributions. It works in the folder of the distribution
// ("velminstal.dat", "licence.txt", "readme.txt", "IMAGES", the log "velmsetup.txt"): the current
// directory, or the folder of the distribution the operator chooses when it holds none.
// Command line: [q|no] [%|join limit] [anything, so that the limit is read].

#include "AppSetup.h"
#include "SetupUi.h"
#include "StandardOptions.h"
#include "VisM.h"
#include "distribfolder.h"
#include "fone.h"
#include "progress.h"
#include "setup.h"
#include "stages.h"

#include <QApplication>
#include <QDir>

namespace {

const char *const kUsage =
    "usage: velmsetup [q|no] [%|LIMIT X]\n"
    "\n"
    "The installer \"Remart Installation Wizard\": installs a distribution of M routines\n"
    "(velminstal.dat) into a namespace of the server through the VisM protocol (velmd, port\n"
    "1972): the agreement, the connection, the namespace, then the check label, the routines and\n"
    "the post-actions, with the installation log.\n"
    "\n"
    "  q        a failed check label asks instead of stopping the installation\n"
    "  no       the check label is not run\n"
    "  %        library detection off\n"
    "  LIMIT X  the line-join limit of the routine restore (at most 32700; X is any text)\n"
    "  --help   this text; --version: the version\n"
    "\n"
    "It works in the current folder: velminstal.dat, licence.txt (the agreement, optional),\n"
    "readme.txt (opened after the installation, optional), the slides IMAGES/ and the log\n"
    "velmsetup.txt (the temporary folder when the folder is not writable). Started in a folder\n"
    "without velminstal.dat, from the menu for instance, it asks for the distribution file and\n"
    "works in that file's folder. The server's address, port and namespace of the last\n"
    "installation are kept in ~/.config/Remart/Velmsetup.conf.\n";

} // namespace

using namespace velmsetup;

int main(int argc, char **argv)
{
    if (const auto answered = AnswerHelpOrVersion(argc, argv, "velmsetup", kUsage))
        return *answered;
    QApplication app(argc, argv);
    SetUpWindowedProgram(app, QStringLiteral("velmsetup"));
    TSetupUi ui;
    SetUi(&ui);
    ui.SetTitle(QString::fromLatin1(WizardCaption));
    if (!CheckVisMControl(VisMControlRegistered()))
        return 0;

    const std::optional<QString> dir = DistributionFolder(QDir::currentPath());
    if (!dir)
        return 0;
    // Opened files (readme.txt, the log) name this folder as their working directory.
    QDir::setCurrent(*dir);
    const TSetupEnv env{*dir, QCoreApplication::arguments().mid(1)};
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
