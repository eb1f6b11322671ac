// velmd: the M server stand-in on GT.M, with the XAPI and VisM front-ends.

#include "DataDir.h"
#include "Server.h"
#include "Util.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

int Usage()
{
    std::cerr << "usage:\n"
                 "  velmd init DATADIR\n"
                 "  velmd namespace DATADIR NAME\n"
                 "  velmd passwd DATADIR USER [--xapi] [--vism]\n"
                 "        the password is one line on stdin; the flags say which protocols the\n"
                 "        account may use (none given: both for a new account, as before for one\n"
                 "        that exists)\n"
                 "  velmd load DATADIR NAMESPACE FILE.m...\n"
                 "  velmd serve DATADIR [--xapi-port N] [--vism-port N]\n"
                 "  velmd demo DATADIR\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
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
