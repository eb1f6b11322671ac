#pragma once
// The data directory of velmd: its configuration, accounts and namespaces, and the commands that
// make and fill it. Layout:
//   DATADIR/velmd.conf            bind address, ports, namespaces
//   DATADIR/accounts              "user:crypt-hash" lines, mode 0600
//   DATADIR/velmd.ci              the call-in table of the session processes
//   DATADIR/ns/NAME/g.gld, g.dat  a namespace's global directory and database
//   DATADIR/ns/NAME/r, o, t       its routine sources, objects, and scratch for saving routines
//   DATADIR/scratch/PID           the current folder of a session process (JOB output lands there)

#include <map>
#include <string>
#include <vector>

namespace velmd {

struct Config
{
    std::string Bind = "127.0.0.1";
    int XapiPort = 1973;
    int VismPort = 1972;
    int MaxSessions = 64;
    std::vector<std::string> Namespaces; // upper case, %SYS and USER always among them
};

// The folder of GT.M: $gtm_dist when set, else the single installed version.
std::string GtmDist();

bool LoadConfig(const std::string &dir, Config &config, std::string &error);
bool SaveConfig(const std::string &dir, const Config &config, std::string &error);

// A namespace name: a letter or %, then letters, digits, "_" or "-"; at most 31 characters.
bool IsNamespaceName(const std::string &name);
std::string NamespaceDir(const std::string &dir, const std::string &name);
// The namespace as configured (names compare without regard to case), or empty.
std::string FindNamespace(const Config &config, const std::string &name);

enum class AccountCheck { Ok, Unknown, WrongPassword };
AccountCheck CheckAccount(const std::string &dir, const std::string &user, const std::string &password);

// What a GT.M process of a namespace needs in its environment.
std::map<std::string, std::string> NamespaceEnv(const std::string &dir, const Config &config,
                                                const std::string &ns);
std::string RoutinePath(const std::string &dir, const std::string &ns);

// A routine source as the namespace stores it: the UTF-8 text converted to the code page its first
// line declares (";; cp866" or ";; cp1251"), or plain ASCII. False with a message otherwise.
bool ConvertRoutineSource(const std::string &name, const std::string &utf8, std::string &out,
                          std::string &error);
// Text in Windows-1251 for replies that the gateway shows (velmd's own texts are UTF-8).
std::string ToCp1251(const std::string &utf8);

// Commands: each prints what went wrong on stderr and returns the process exit code.
int CmdInit(const std::string &dir);
int CmdNamespace(const std::string &dir, const std::string &name);
int CmdPasswd(const std::string &dir, const std::string &user);
int CmdLoad(const std::string &dir, const std::string &ns, const std::vector<std::string> &files);
int CmdDemo(const std::string &dir);

// Used by the commands and by the demo.
bool EnsureInit(const std::string &dir, std::string &error);
bool EnsureNamespace(const std::string &dir, const std::string &name, std::string &error);
bool SetPassword(const std::string &dir, const std::string &user, const std::string &password,
                 std::string &error);
bool LoadRoutines(const std::string &dir, const std::string &ns, const std::vector<std::string> &files,
                  std::string &error);

} // namespace velmd
