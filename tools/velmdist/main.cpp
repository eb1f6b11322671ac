// velmdist SOURCEDIR MANIFEST OUTPUT: builds a distribution file for the installer.

#include "distwriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fputs("usage: velmdist SOURCEDIR MANIFEST OUTPUT\n"
                   "  SOURCEDIR  folder of routine sources NAME.m (_NAME.m for %NAME), UTF-8\n"
                   "  MANIFEST   product, version, date, key, password, check, checkprograms,\n"
                   "             post, programs (see tools/velmdist/README.md)\n"
                   "  OUTPUT     the distribution file to write, usually velminstal.dat\n",
                   stderr);
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
