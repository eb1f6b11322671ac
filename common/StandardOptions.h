#pragma once
// --help and --version, answered alike by every program of the package: either one, alone on the
// command line, prints to stdout and ends the program with 0 before it does anything else (no
// window, no server, no file). The help text is also the program's manual page, which the build
// makes from it. VELM_VERSION is the package's version, given to every program by the build.

#include <cstdio>
#include <cstring>
#include <optional>

// The exit code when argv asks for the help or the version, nullopt otherwise.
inline std::optional<int> AnswerHelpOrVersion(int argc, char **argv, const char *name, const char *help)
{
    if (argc != 2)
        return std::nullopt;
    const char *arg = argv[1];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)
        std::fputs(help, stdout);
    else if (std::strcmp(arg, "--version") == 0)
        std::printf("%s %s\n", name, VELM_VERSION);
    else
        return std::nullopt;
    // A help piped into a closed reader must not look like success.
    return std::fflush(stdout) == 0 ? 0 : 1;
}
