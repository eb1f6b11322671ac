// velmd: the M server stand-in on GT.M, with the XAPI and VisM front-ends.

#include "DataDir.h"
#include "Server.h"
#include "StandardOptions.h"
#include "Util.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

const char *const kUsage =
    "usage: velmd init DATADIR\n"
    "       velmd namespace DATADIR NAME\n"
    "       velmd passwd DATADIR USER [--xapi] [--vism]\n"
    "       velmd load DATADIR NAMESPACE FILE.m...\n"
    "       velmd serve DATADIR [--xapi-port N] [--vism-port N]\n"
    "       velmd demo DATADIR\n"
    "\n"
    "The M server stand-in on GT.M: it serves the gateway (XAPI, port 1973) and the installer\n"
    "(VisM, port 1972), each connection in a GT.M process of its own. DATADIR holds velmd.conf,\n"
    "the accounts, one folder per namespace and sessions.log.\n"
    "\n"
    "  init       makes DATADIR with the namespaces %SYS and USER; run again, it changes no\n"
    "             data and brings velmd's own routines up to date\n"
    "  namespace  adds a namespace\n"
    "  passwd     sets an account's password, one line on stdin (stored as crypt(3)); the flags\n"
    "             say which protocols it may use (none given: both for a new account, as\n"
    "             before for one that exists)\n"
    "  load       compiles routine sources into a namespace (percent routines into %SYS)\n"
    "  serve      listens until SIGTERM or Ctrl-C; port 0 picks a free one; prints the ports\n"
    "  demo       init, the namespace VELM with the gateway's routines, demo accounts (velmbank\n"
    "             for the gateway, velmsetup for the installer), users, data, sample files and\n"
    "             the gateway's profile DATADIR/velmbank.ini\n"
    "  --help     this text; --version: the version\n"
    "\n"
    "Files: DATADIR/velmd.conf (bind address, ports, limits, namespaces, the routines each\n"
    "namespace offers over XAPI), DATADIR/sessions.log. The routines come from $VELMD_M_DIR, or\n"
    "/usr/share/velmbank/m when installed. GT.M is the newest under\n"
    "/usr/lib/x86_64-linux-gnu/fis-gtm, or $gtm_dist.\n"
    "The service velmd.service serves /var/lib/velmd (settings: /etc/default/velmd).\n"
    "\n"
    "Exit: 0 done, 1 a failure, 2 a wrong command line.\n";

int Usage()
{
    std::cerr << kUsage;
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (const auto answered = AnswerHelpOrVersion(argc, argv, "velmd", kUsage))
        return *answered;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2)
        return Usage();
    const std::string &cmd = args[0];
    const std::string &dir = args[1];
    if (cmd == "init" && args.size() == 2)
        return velmd::CmdInit(dir);
    if (cmd == "namespace" && args.size() == 3)
        return velmd::CmdNamespace(dir, args[2]);
    if (cmd == "passwd" && args.size() >= 3) {
        std::optional<velmd::Rights> rights;
        for (size_t i = 3; i < args.size(); ++i) {
            if (args[i] != "--xapi" && args[i] != "--vism")
                return Usage();
            if (!rights)
                rights = velmd::Rights{false, false};
            (args[i] == "--xapi" ? rights->Xapi : rights->Vism) = true;
        }
        return velmd::CmdPasswd(dir, args[2], rights);
    }
    if (cmd == "load" && args.size() >= 4)
        return velmd::CmdLoad(dir, args[2], std::vector<std::string>(args.begin() + 3, args.end()));
    if (cmd == "demo" && args.size() == 2)
        return velmd::CmdDemo(dir);
    if (cmd == "serve") {
        std::optional<int> xapi, vism;
        for (size_t i = 2; i < args.size(); i += 2) {
            if (i + 1 >= args.size())
                return Usage();
            const auto port = velmd::ParseInt(args[i + 1], 0, 65535);
            if (!port) {
                std::cerr << "velmd serve: " << args[i + 1] << " is not a port number\n";
                return 2;
            }
            if (args[i] == "--xapi-port")
                xapi = *port;
            else if (args[i] == "--vism-port")
                vism = *port;
            else
                return Usage();
        }
        return velmd::Serve(dir, xapi, vism);
    }
    return Usage();
}
