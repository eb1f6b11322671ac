// velmdist SOURCEDIR MANIFEST OUTPUT: builds a distribution file for the installer.

#include "StandardOptions.h"
#include "distwriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

const char *const kUsage =
    "usage: velmdist SOURCEDIR MANIFEST OUTPUT\n"
    "\n"
    "Builds a distribution file for the installer velmsetup from a folder of routine sources\n"
    "and a manifest. The output is replaced whole, or not at all when the input is refused.\n"
    "\n"
    "  SOURCEDIR  folder of routine sources NAME.m (_NAME.m for %NAME), UTF-8; a first line\n"
    "             ending with \";; cp866\" or \";; cp1251\" converts the routine to that code\n"
    "             page, others must be plain ASCII\n"
    "  MANIFEST   UTF-8 lines \"name = value\": product, version, date, key (0 to 255, not 10,\n"
    "             13, 35 or 64), password (the source password), check (the check label),\n"
    "             checkprograms, post (a post-action's label and description; repeatable),\n"
    "             programs (routine names in installation order; repeatable)\n"
    "  OUTPUT     the distribution file to write, usually velminstal.dat\n"
    "  --help     this text; --version: the version\n"
    "\n"
    "Exit: 0 written, 1 the input was refused (the reason on stderr), 2 a wrong command line.\n";

} // namespace

int main(int argc, char **argv)
{
    if (const auto answered = AnswerHelpOrVersion(argc, argv, "velmdist", kUsage))
        return *answered;
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        BuildDistributionFile(args[1], args[2], args[3]);
    } catch (const EDistBuild &e) {
        std::fprintf(stderr, "velmdist: %s\n", e.what());
        return 1;
    }
    std::fprintf(stdout, "velmdist: wrote %s\n", qPrintable(args[3]));
    return 0;
}
