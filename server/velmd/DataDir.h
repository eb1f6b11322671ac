#pragma once
// The data directory of velmd: its configuration, accounts and namespaces, and the commands that
// make and fill it. Layout:
//   DATADIR/velmd.conf            bind address, ports, limits, namespaces, their XAPI routines
//   DATADIR/accounts              "user:crypt-hash:protocols" lines, mode 0600
//   DATADIR/velmd.ci              the call-in table of the session processes
//   DATADIR/ns/NAME/g.gld, g.dat  a namespace's global directory and database
//   DATADIR/ns/NAME/r, o, t       its routine sources, objects, and scratch for saving routines
//   DATADIR/scratch/PID           the current folder of a session process (JOB output lands there)

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmd {

struct Config
{
    std::string Bind = "127.0.0.1";
    int XapiPort = 1973;
    int VismPort = 1972;
    int MaxSessions = 64;                // logged-in connections
    int MaxUnauthenticated = 32;         // connections still before their login; the oldest gives way
    int IoTimeout = 60;                  // seconds for a frame to arrive whole and for a reply to be taken
    int CallTimeout = 300;               // seconds an M call or run may take before its session is ended
    int MaxMemory = 1024;                // MiB of private memory a session process may take
    std::vector<std::string> Namespaces; // upper case, %SYS and USER always among them
    // The entry references each namespace offers over XAPI (key "xapi_entries.NS"), written as
    // they are called: "$$login^%cplogG" offers the function only. None without a list.
    std::map<std::string, std::vector<std::string>> XapiEntries;
    // Whole routines offered by the old key "xapi_routines.NS", for data folders made before
    // entries were listed; the gateway's routines named there are offered at their entries only.
    std::map<std::string, std::vector<std::string>> XapiRoutines;
    std::vector<std::string> Warnings; // what the log should say about the file
};

// The entry points the gateway calls, as it calls them: what `velmd demo` offers.
const std::vector<std::string> &GatewayEntries();

// velmd's own routines (%ZVELMD, what it generates, %NOJRN): never reachable over XAPI.
bool IsOwnRoutine(const std::string &routine);
// Whether an XAPI call in namespace ns may reach this entry reference ([$$]label^routine).
bool OffersOverXapi(const Config &config, const std::string &ns, const std::string &ref);

// The folder of GT.M: $gtm_dist when set, else the single installed version.
std::string GtmDist();

bool LoadConfig(const std::string &dir, Config &config, std::string &error);
bool SaveConfig(const std::string &dir, const Config &config, std::string &error);

// A namespace name: a letter or %, then letters, digits, "_" or "-"; at most 31 characters.
bool IsNamespaceName(const std::string &name);
std::string NamespaceDir(const std::string &dir, const std::string &name);
// The namespace as configured (names compare without regard to case), or empty.
std::string FindNamespace(const Config &config, const std::string &name);

// The protocols an account may use.
enum class Protocol { Xapi, Vism };
struct Rights
{
    bool Xapi = true;
    bool Vism = true;
};
// NotAllowed: the password is right but the account may not use this protocol. Clients are told
// no more than "wrong account or password" for any refusal.
enum class AccountCheck { Ok, Unknown, WrongPassword, NotAllowed };
AccountCheck CheckAccount(const std::string &dir, const std::string &user, const std::string &password,
                          Protocol protocol);

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
// Without rights, a new account may use both protocols and an existing one keeps its own.
int CmdPasswd(const std::string &dir, const std::string &user, std::optional<Rights> rights);
int CmdLoad(const std::string &dir, const std::string &ns, const std::vector<std::string> &files);
int CmdDemo(const std::string &dir);

// Used by the commands and by the demo.
bool EnsureInit(const std::string &dir, std::string &error);
bool EnsureNamespace(const std::string &dir, const std::string &name, std::string &error);
bool SetPassword(const std::string &dir, const std::string &user, const std::string &password,
                 std::optional<Rights> rights, std::string &error);
bool LoadRoutines(const std::string &dir, const std::string &ns, const std::vector<std::string> &files,
                  std::string &error);

} // namespace velmd
