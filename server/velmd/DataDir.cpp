#include "DataDir.h"

#include "Util.h"
#include "XapiProtocol.h"

#include <clbgen.h>

#include <crypt.h>
#include <dirent.h>
#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <tuple>

namespace velmd {
namespace {

constexpr const char *kXapiRoutinesKey = "xapi_routines.";
constexpr const char *kXapiEntriesKey = "xapi_entries.";
// The demo's accounts: the gateway's, whose password lies in every operator's profile, may use
// XAPI only; running code over VisM takes the installer's.
constexpr const char *kDemoAccount = "velmbank";
constexpr const char *kDemoAccountPassword = "velmbank";
constexpr const char *kDemoInstaller = "velmsetup";
constexpr const char *kDemoInstallerPassword = "velmsetup";

std::string MDir()
{
    const char *env = ::getenv("VELMD_M_DIR");
    if (env && *env)
        return env;
    // Beside the program (bin/../share/velmbank/m): installed, or the build tree's link to the
    // sources. The package's launcher names them in VELMD_M_DIR.
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<size_t>(n));
        dir = dir.substr(0, dir.rfind('/'));
        dir = dir.substr(0, dir.rfind('/')) + "/share/velmbank/m";
        if (IsDir(dir + "/sys"))
            return dir;
    }
    return {};
}

std::vector<std::string> ListFiles(const std::string &dir, const std::string &suffix)
{
    std::vector<std::string> out;
    DIR *d = ::opendir(dir.c_str());
    if (!d)
        return out;
    while (dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() > suffix.size()
            && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            out.push_back(dir + "/" + name);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

bool IsAccountName(const std::string &user)
{
    if (user.empty() || user.size() > 64)
        return false;
    for (char c : user)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
              || c == '.' || c == '-'))
            return false;
    return true;
}

struct AccountEntry
{
    std::string Hash;
    Rights Allowed;
};

// "user:hash" (an account of the time before rights: both protocols) or "user:hash:xapi,vism".
std::map<std::string, AccountEntry> ReadAccounts(const std::string &dir)
{
    std::map<std::string, AccountEntry> accounts;
    const auto text = ReadFile(dir + "/accounts");
    if (!text)
        return accounts;
    for (const auto &line : Split(*text, '\n')) {
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            continue;
        AccountEntry e;
        e.Hash = line.substr(colon + 1);
        const auto rights = e.Hash.find(':');
        if (rights != std::string::npos) {
            const auto names = Split(std::string_view(e.Hash).substr(rights + 1), ',');
            e.Allowed.Xapi = std::find(names.begin(), names.end(), "xapi") != names.end();
            e.Allowed.Vism = std::find(names.begin(), names.end(), "vism") != names.end();
            e.Hash.resize(rights);
        }
        accounts[line.substr(0, colon)] = e;
    }
    return accounts;
}

bool WriteAccounts(const std::string &dir, const std::map<std::string, AccountEntry> &accounts,
                   std::string &error)
{
    std::string text;
    for (const auto &[user, e] : accounts) {
        std::string rights = e.Allowed.Xapi ? "xapi" : "";
        if (e.Allowed.Vism)
            rights += rights.empty() ? "vism" : ",vism";
        text += user + ":" + e.Hash + ":" + rights + "\n";
    }
    return WriteFileAtomic(dir + "/accounts", text, 0600, error);
}

std::string RightsText(const Rights &r)
{
    return r.Xapi && r.Vism ? "XAPI and VisM" : r.Xapi ? "XAPI only" : "VisM only";
}

bool Iconv(const char *to, const char *from, const std::string &in, std::string &out)
{
    iconv_t cd = ::iconv_open(to, from);
    if (cd == iconv_t(-1))
        return false;
    out.assign(in.size() * 4 + 16, '\0');
    char *src = const_cast<char *>(in.data());
    size_t srcLeft = in.size();
    char *dst = out.data();
    size_t dstLeft = out.size();
    const size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    ::iconv_close(cd);
    if (r == size_t(-1))
        return false;
    out.resize(out.size() - dstLeft);
    return true;
}

// The code page a first line declares: ";;", blanks, the name, blanks, end of line.
std::string DeclaredCodePage(std::string_view first)
{
    while (!first.empty() && (first.back() == ' ' || first.back() == '\r'))
        first.remove_suffix(1);
    for (const char *cp : {"cp1251", "cp866"}) {
        const std::string_view name(cp);
        if (first.size() < name.size() + 2 || first.substr(first.size() - name.size()) != name)
            continue;
        std::string_view rest = first.substr(0, first.size() - name.size());
        while (!rest.empty() && rest.back() == ' ')
            rest.remove_suffix(1);
        if (rest.size() >= 2 && rest.substr(rest.size() - 2) == ";;")
            return cp;
    }
    return {};
}

std::string RoutineFileName(const std::string &routine)
{
    return (routine[0] == '%' ? "_" + routine.substr(1) : routine);
}

bool RunGtm(const std::vector<std::string> &argv, const std::map<std::string, std::string> &env,
            const std::string &cwd, std::string &error)
{
    std::string output;
    const int rc = RunProgram(argv, env, cwd, output);
    if (rc != 0 || output.find("-E-") != std::string::npos || output.find("-F-") != std::string::npos) {
        error = BaseName(argv[0]) + " failed: " + std::string(Trim(output));
        return false;
    }
    return true;
}

// Runs GDE on the namespace's global directory with the given commands.
bool RunGde(const std::string &nsDir, const std::map<std::string, std::string> &env,
            const std::string &commands, std::string &error)
{
    if (!WriteFileAtomic(nsDir + "/gde.txt", commands + "exit\n", 0600, error))
        return false;
    std::string output;
    const std::string script = "\"" + GtmDist() + "/mumps\" -run GDE < \"" + nsDir + "/gde.txt\"";
    const int rc = RunProgram({"/bin/sh", "-c", script}, env, nsDir, output);
    ::unlink((nsDir + "/gde.txt").c_str());
    if (rc != 0 || !IsFile(nsDir + "/g.gld") || output.find("-E-") != std::string::npos) {
        error = "GDE failed for " + nsDir + ": " + std::string(Trim(output));
        return false;
    }
    return true;
}

// The newest version installed under Debian's fis-gtm folder, or empty.
std::string FindGtmDist()
{
    const std::string root = "/usr/lib/x86_64-linux-gnu/fis-gtm";
    std::string found;
    if (DIR *d = ::opendir(root.c_str())) {
        while (dirent *e = ::readdir(d))
            if (e->d_name[0] == 'V' && IsFile(root + "/" + e->d_name + "/mumps"))
                found = std::max(found, root + "/" + e->d_name);
        ::closedir(d);
    }
    return found;
}

} // namespace

std::string GtmDist()
{
    // Looked up once: every GT.M environment and every GT.M program run needs it.
    static const std::string dist = [] {
        if (const char *env = ::getenv("gtm_dist"); env && *env)
            return std::string(env);
        return FindGtmDist();
    }();
    return dist;
}

bool IsNamespaceName(const std::string &name)
{
    if (name.empty() || name.size() > 31)
        return false;
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (!letter(name[0]) && name[0] != '%')
        return false;
    for (size_t i = 1; i < name.size(); ++i)
        if (!letter(name[i]) && !(name[i] >= '0' && name[i] <= '9') && name[i] != '_' && name[i] != '-')
            return false;
    return true;
}

std::string NamespaceDir(const std::string &dir, const std::string &name) { return dir + "/ns/" + name; }

std::string FindNamespace(const Config &config, const std::string &name)
{
    const std::string upper = Upper(name);
    for (const auto &ns : config.Namespaces)
        if (ns == upper)
            return ns;
    return {};
}

const std::vector<std::string> &GatewayEntries()
{
    static const std::vector<std::string> entries = {
        "$$login^%cplogG",   "logout^%cplogG",  "LockTO^ZZ001",       "UnLockTO^ZZ001", "TOinGL^ZZ001",
        "GLinTO^ZZ001",      "$$3^%caA03",      "$$1^%caA03",         "Clist^ZZ001a",   "Tlist^ZZ001a",
        "Mlist^ZZ001a",      "Slist^ZZ001a",    "LoadSetRecs^ZZ001a", "AutoSet^ZZ001a", "SaveSetPar^ZZ001a",
        "SaveSetRec^ZZ001a", "SaveTask^ZZ001a", "DelSet^ZZ001a",      "AddCLB^ZZ001a",  "$$DelCLB^ZZ001a",
        "GetFields^ZZ001b",  "PDVelm^ZZ001b",   "$$RecYB^ZZ001c",     "$$RecYA^ZZ001c"};
    return entries;
}

bool LoadConfig(const std::string &dir, Config &config, std::string &error)
{
    const std::string path = dir + "/velmd.conf";
    const auto text = ReadFile(path);
    if (!text) {
        error = path + ": cannot read it (run velmd init first)";
        return false;
    }
    config = Config();
    // The numeric limits: key, field, range, unit in the message.
    struct Limit
    {
        const char *Key;
        int Config::*Field;
        int Min, Max;
        const char *Unit;
    };
    static const Limit limits[] = {{"max_sessions", &Config::MaxSessions, 1, 10000, ""},
                                   {"max_unauthenticated", &Config::MaxUnauthenticated, 1, 10000, ""},
                                   {"io_timeout", &Config::IoTimeout, 1, 3600, " seconds"},
                                   {"call_timeout", &Config::CallTimeout, 1, 86400, " seconds"},
                                   {"max_memory", &Config::MaxMemory, 64, 1 << 20, " MiB"}};
    int lineNo = 0;
    for (const auto &raw : Split(*text, '\n')) {
        ++lineNo;
        const std::string_view line = Trim(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            error = path + ":" + std::to_string(lineNo) + ": expected key = value";
            return false;
        }
        const std::string key(Trim(line.substr(0, eq)));
        const std::string value(Trim(line.substr(eq + 1)));
        auto port = [&](int &into) {
            const auto v = ParseInt(value, 0, 65535);
            if (!v)
                error = path + ":" + std::to_string(lineNo) + ": " + key + " must be a port number";
            else
                into = *v;
            return bool(v);
        };
        if (key == "bind") {
            config.Bind = value;
        } else if (key == "xapi_port") {
            if (!port(config.XapiPort))
                return false;
        } else if (key == "vism_port") {
            if (!port(config.VismPort))
                return false;
        } else if (const auto limit = std::find_if(std::begin(limits), std::end(limits),
                                                   [&key](const Limit &l) { return key == l.Key; });
                   limit != std::end(limits)) {
            const auto v = ParseInt(value, limit->Min, limit->Max);
            if (!v) {
                error = path + ":" + std::to_string(lineNo) + ": " + key + " must be "
                        + std::to_string(limit->Min) + " to " + std::to_string(limit->Max) + limit->Unit;
                return false;
            }
            config.*(limit->Field) = *v;
        } else if (key.rfind(kXapiEntriesKey, 0) == 0 || key.rfind(kXapiRoutinesKey, 0) == 0) {
            const bool entries = key.rfind(kXapiEntriesKey, 0) == 0;
            const std::string ns =
                Upper(key.substr(std::strlen(entries ? kXapiEntriesKey : kXapiRoutinesKey)));
            const std::string where = path + ":" + std::to_string(lineNo) + ": ";
            if (!IsNamespaceName(ns)) {
                error = where + "\"" + ns + "\" is not a namespace name";
                return false;
            }
            auto &list = (entries ? config.XapiEntries : config.XapiRoutines)[ns];
            list.clear();
            for (const auto &item : Split(value, ',')) {
                const std::string one(Trim(item));
                if (one.empty())
                    continue;
                const auto ref = xapi::ParseEntryRef(one);
                if (entries ? !ref || ref->Label.empty() : !xapi::IsRoutineName(one)) {
                    error = where + "\"" + one + "\" is not "
                            + (entries ? "an entry reference" : "a routine name");
                    return false;
                }
                const std::string routine = entries ? ref->Routine : one;
                if (IsOwnRoutine(routine)) {
                    error = where + routine + " is velmd's own routine and is never offered over XAPI";
                    return false;
                }
                if (std::find(list.begin(), list.end(), one) == list.end())
                    list.push_back(one);
            }
            if (!entries)
                config.Warnings.push_back(where + key
                                          + " offers every label of its routines: list the entry "
                                            "points in "
                                          + kXapiEntriesKey + ns + " instead ("
                                          + "the gateway's routines are offered at their entry points only)");
        } else if (key == "namespaces") {
            for (const auto &n : Split(value, ',')) {
                const std::string name = Upper(Trim(n));
                if (!IsNamespaceName(name)) {
                    error =
                        path + ":" + std::to_string(lineNo) + ": \"" + name + "\" is not a namespace name";
                    return false;
                }
                if (FindNamespace(config, name).empty())
                    config.Namespaces.push_back(name);
            }
        } else {
            error = path + ":" + std::to_string(lineNo) + ": unknown key \"" + key + "\"";
            return false;
        }
    }
    for (const char *always : {"%SYS", "USER"})
        if (FindNamespace(config, always).empty())
            config.Namespaces.emplace_back(always);
    for (const auto *lists : {&config.XapiEntries, &config.XapiRoutines})
        for (const auto &[ns, list] : *lists)
            if (FindNamespace(config, ns).empty()) {
                error = path + ": " + (lists == &config.XapiEntries ? kXapiEntriesKey : kXapiRoutinesKey) + ns
                        + " names a namespace that is not in namespaces";
                return false;
            }
    // A routine of the gateway listed whole by the old key is offered at its entries only.
    for (auto &[ns, routines] : config.XapiRoutines) {
        auto &entries = config.XapiEntries[ns];
        for (auto r = routines.begin(); r != routines.end();) {
            bool gateway = false;
            for (const auto &e : GatewayEntries())
                if (xapi::ParseEntryRef(e)->Routine == *r) {
                    gateway = true;
                    if (std::find(entries.begin(), entries.end(), e) == entries.end())
                        entries.push_back(e);
                }
            r = gateway ? routines.erase(r) : r + 1;
        }
    }
    return true;
}

bool SaveConfig(const std::string &dir, const Config &config, std::string &error)
{
    std::string text = "# velmd configuration\n";
    text += "bind = " + config.Bind + "\n";
    text += "xapi_port = " + std::to_string(config.XapiPort) + "\n";
    text += "vism_port = " + std::to_string(config.VismPort) + "\n";
    text += "max_sessions = " + std::to_string(config.MaxSessions) + "\n";
    text += "max_unauthenticated = " + std::to_string(config.MaxUnauthenticated) + "\n";
    text += "io_timeout = " + std::to_string(config.IoTimeout) + "\n";
    text += "call_timeout = " + std::to_string(config.CallTimeout) + "\n";
    text += "max_memory = " + std::to_string(config.MaxMemory) + "\n";
    text += "namespaces = ";
    for (size_t i = 0; i < config.Namespaces.size(); ++i)
        text += (i ? "," : "") + config.Namespaces[i];
    text += "\n";
    for (const auto &[key, lists] :
         {std::pair{kXapiEntriesKey, &config.XapiEntries}, std::pair{kXapiRoutinesKey, &config.XapiRoutines}})
        for (const auto &[ns, list] : *lists) {
            if (list.empty())
                continue;
            text += key + ns + " =";
            for (size_t i = 0; i < list.size(); ++i)
                text += (i ? ", " : " ") + list[i];
            text += "\n";
        }
    return WriteFileAtomic(dir + "/velmd.conf", text, 0644, error);
}

AccountCheck CheckAccount(const std::string &dir, const std::string &user, const std::string &password,
                          Protocol protocol)
{
    const auto accounts = ReadAccounts(dir);
    const auto it = accounts.find(user);
    const bool known = !user.empty() && it != accounts.end();
    // An unknown name costs the same crypt(3) as a known one: the time tells nothing either.
    const std::string stored = known ? it->second.Hash : std::string("$6$velmdnoaccount$");
    auto data = std::make_unique<crypt_data>();
    const char *hash = ::crypt_r(password.c_str(), stored.c_str(), data.get());
    if (!known)
        return AccountCheck::Unknown;
    if (!hash || hash[0] == '*')
        return AccountCheck::WrongPassword;
    const std::string got = hash;
    // Compare without an early exit, so that timing tells nothing about the hash.
    unsigned diff = got.size() != stored.size();
    for (size_t i = 0; i < std::min(got.size(), stored.size()); ++i)
        diff |= unsigned(got[i] ^ stored[i]);
    if (diff != 0)
        return AccountCheck::WrongPassword;
    const Rights &r = it->second.Allowed;
    return (protocol == Protocol::Xapi ? r.Xapi : r.Vism) ? AccountCheck::Ok : AccountCheck::NotAllowed;
}

bool SetPassword(const std::string &dir, const std::string &user, const std::string &password,
                 std::optional<Rights> rights, std::string &error)
{
    if (!IsAccountName(user)) {
        error = "\"" + user + "\" is not an account name (letters, digits, _ . -, at most 64)";
        return false;
    }
    if (password.empty()) {
        error = "an empty password is refused";
        return false;
    }
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!::crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt)) {
        error = std::string("cannot make a salt: ") + std::strerror(errno);
        return false;
    }
    auto data = std::make_unique<crypt_data>();
    const char *hash = ::crypt_r(password.c_str(), salt, data.get());
    if (!hash || hash[0] == '*') {
        error = "crypt(3) failed";
        return false;
    }
    auto accounts = ReadAccounts(dir);
    auto &entry = accounts[user]; // a new one may use both protocols
    entry.Hash = hash;
    if (rights)
        entry.Allowed = *rights;
    return WriteAccounts(dir, accounts, error);
}

bool IsOwnRoutine(const std::string &routine)
{
    return routine.rfind("%ZVELMD", 0) == 0 || routine == "%NOJRN";
}

bool OffersOverXapi(const Config &config, const std::string &ns, const std::string &ref)
{
    const auto parsed = xapi::ParseEntryRef(ref);
    if (!parsed || IsOwnRoutine(parsed->Routine))
        return false;
    auto listed = [&ns](const auto &lists, const std::string &item) {
        const auto it = lists.find(ns);
        return it != lists.end() && std::find(it->second.begin(), it->second.end(), item) != it->second.end();
    };
    return listed(config.XapiEntries, ref) || listed(config.XapiRoutines, parsed->Routine);
}

std::string RoutinePath(const std::string &dir, const std::string &ns)
{
    const std::string own = NamespaceDir(dir, ns);
    std::string path = own + "/o(" + own + "/r)";
    if (ns != "%SYS") {
        const std::string sys = NamespaceDir(dir, "%SYS");
        path += " " + sys + "/o(" + sys + "/r)";
    }
    return path + " " + GtmDist() + "/libgtmutil.so";
}

std::map<std::string, std::string> NamespaceEnv(const std::string &dir, const Config &config,
                                                const std::string &ns)
{
    std::string names;
    for (size_t i = 0; i < config.Namespaces.size(); ++i)
        names += (i ? "," : "") + config.Namespaces[i];
    return {
        {"gtm_dist", GtmDist()},
        {"gtmgbldir", NamespaceDir(dir, ns) + "/g.gld"},
        {"gtmroutines", RoutinePath(dir, ns)},
        {"GTMCI", dir + "/velmd.ci"},
        {"gtm_chset", "M"},
        // The handler of "s $zt=..." runs once, in the frame that set it, as on the original
        // platform; with "entryref" GT.M runs it in the failing frame and again on its QUIT.
        {"gtm_ztrap_form", "popentryref"},
        {"gtm_zyerror", "zyerr^%ZVELMD"},
        {"VELMD_DATADIR", dir},
        {"VELMD_NAMESPACES", names},
    };
}

std::string ToCp1251(const std::string &utf8)
{
    std::string out;
    return Iconv("CP1251", "UTF-8", utf8, out) ? out : utf8;
}

bool ConvertRoutineSource(const std::string &name, const std::string &utf8, std::string &out,
                          std::string &error)
{
    const std::string first = utf8.substr(0, utf8.find('\n'));
    const std::string cp = DeclaredCodePage(first);
    if (!cp.empty()) {
        if (!Iconv(cp == "cp866" ? "CP866" : "CP1251", "UTF-8", utf8, out)) {
            error = "routine " + name + ": its text is not UTF-8 that " + cp + " can hold";
            return false;
        }
        return true;
    }
    int line = 1;
    for (unsigned char c : utf8) {
        if (c == '\n')
            ++line;
        else if ((c < 0x20 && c != '\t' && c != '\r') || c > 0x7E) {
            error = "routine " + name + ": line " + std::to_string(line)
                    + " holds text other than ASCII, and its first line declares no code page"
                      " (\";; cp866\" or \";; cp1251\")";
            return false;
        }
    }
    out = utf8;
    return true;
}

bool EnsureNamespace(const std::string &dir, const std::string &name, std::string &error)
{
    if (!IsNamespaceName(name)) {
        error = "\"" + name + "\" is not a namespace name";
        return false;
    }
    Config config;
    if (!LoadConfig(dir, config, error))
        return false;
    const std::string ns = Upper(name);
    const std::string nsDir = NamespaceDir(dir, ns);
    for (const char *sub : {"/r", "/o", "/t"})
        if (!MakeDirs(nsDir + sub, error))
            return false;
    const auto env = NamespaceEnv(dir, config, ns);
    // ^ROUTINE and ^rMAC of percent routines live in %SYS, as the routines do: every other
    // namespace maps those nodes to the database of %SYS. Spanning a global over two regions
    // needs standard null collation in both.
    const std::string sysDat = NamespaceDir(dir, "%SYS") + "/g.dat";
    const std::string percentMap =
        ns == "%SYS" ? std::string()
                     : "add -segment SYSRTN -file=" + sysDat
                           + "\n"
                             "add -region SYSRTN -dynamic_segment=SYSRTN -record_size=1048576"
                             " -key_size=1019 -stdnullcoll\n"
                             "add -name ROUTINE(\"%\":\"&\") -region=SYSRTN\n"
                             "add -name rMAC(\"%\":\"&\") -region=SYSRTN\n";
    if (!IsFile(nsDir + "/g.dat")) {
        // Records hold routine lines and settings of several kilobytes, keys client-bank names. A
        // run of documents grows the file by megabytes: a cache and an extension to match, so
        // that the time per document does not grow with the file (GT.M's defaults are 4 MiB and
        // 400 KiB).
        if (!RunGde(nsDir, env,
                    "change -segment DEFAULT -block_size=4096 -global_buffer_count=8192 "
                    "-extension_count=4096 -file="
                        + nsDir
                        + "/g.dat\n"
                          "change -region DEFAULT -record_size=1048576 -key_size=1019 -stdnullcoll\n"
                        + percentMap,
                    error))
            return false;
        if (!RunGtm({GtmDist() + "/mupip", "create", "-region=DEFAULT"}, env, nsDir, error))
            return false;
    } else if (!percentMap.empty()) {
        // A namespace made before the mapping gets it now.
        std::string region;
        RunProgram({GtmDist() + "/mumps", "-run", "%XCMD", "w $view(\"REGION\",\"^ROUTINE(\"\"%A\"\")\")"},
                   env, nsDir, region);
        if (Trim(region) != "SYSRTN"
            && !RunGde(nsDir, env, "change -region DEFAULT -stdnullcoll\n" + percentMap, error))
            return false;
    }
    if (FindNamespace(config, ns).empty()) {
        config.Namespaces.push_back(ns);
        if (!SaveConfig(dir, config, error))
            return false;
    }
    return true;
}

bool LoadRoutines(const std::string &dir, const std::string &name, const std::vector<std::string> &files,
                  std::string &error)
{
    Config config;
    if (!LoadConfig(dir, config, error))
        return false;
    const std::string ns = FindNamespace(config, name);
    if (ns.empty()) {
        error = "no namespace \"" + name + "\" in " + dir;
        return false;
    }
    // Check and convert every file first, so that a bad one leaves the namespace as it was.
    std::vector<std::pair<std::string, std::string>> routines;
    for (const auto &file : files) {
        std::string base = BaseName(file);
        if (base.size() < 3 || base.substr(base.size() - 2) != ".m") {
            error = file + ": a routine source must be named NAME.m";
            return false;
        }
        base.resize(base.size() - 2);
        const std::string routine = base[0] == '_' ? "%" + base.substr(1) : base;
        if (!xapi::IsRoutineName(routine)) {
            error = file + ": \"" + routine + "\" is not a routine name";
            return false;
        }
        const auto text = ReadFile(file);
        if (!text) {
            error = file + ": " + std::strerror(errno);
            return false;
        }
        std::string converted;
        if (!ConvertRoutineSource(routine, *text, converted, error))
            return false;
        routines.emplace_back(routine, std::move(converted));
    }
    for (const auto &[routine, source] : routines) {
        // A percent routine lives in %SYS whatever namespace it is loaded into, so that every
        // namespace sees the one copy; an older copy of the namespace itself would hide it.
        const std::string fileName = RoutineFileName(routine);
        const std::string target = routine[0] == '%' ? std::string("%SYS") : ns;
        const std::string nsDir = NamespaceDir(dir, target);
        const std::string src = nsDir + "/r/" + fileName + ".m";
        if (!WriteFileAtomic(src, source, 0644, error))
            return false;
        if (!RunGtm({GtmDist() + "/mumps", src}, NamespaceEnv(dir, config, target), nsDir + "/o", error)) {
            error = "routine " + routine + ": " + error;
            return false;
        }
        if (target != ns)
            for (const std::string &stale : {NamespaceDir(dir, ns) + "/r/" + fileName + ".m",
                                             NamespaceDir(dir, ns) + "/o/" + fileName + ".o"})
                ::unlink(stale.c_str());
    }
    return true;
}

bool EnsureInit(const std::string &dir, std::string &error)
{
    if (GtmDist().empty()) {
        error = "GT.M is not installed (Debian package fis-gtm)";
        return false;
    }
    if (!MakeDirs(dir + "/ns", error) || !MakeDirs(dir + "/scratch", error))
        return false;
    if (!IsFile(dir + "/velmd.conf")) {
        Config config;
        config.Namespaces = {"%SYS", "USER"};
        if (!SaveConfig(dir, config, error))
            return false;
    }
    const std::string table =
        "init: void init^%ZVELMD()\n"
        "ns: void ns^%ZVELMD(I:gtm_char_t*,I:gtm_char_t*)\n"
        "xapi: gtm_string_t* xapi^%ZVELMD(I:gtm_string_t*,I:gtm_string_t*,I:gtm_long_t,I:gtm_long_t)\n"
        "vism: gtm_string_t* vism^%ZVELMD(I:gtm_string_t*,I:gtm_string_t*,I:gtm_string_t*,I:gtm_long_t)\n"
        "cform: gtm_string_t* cform^%ZVELMD(I:gtm_string_t*)\n";
    if (!WriteFileAtomic(dir + "/velmd.ci", table, 0644, error))
        return false;
    // %SYS first: the others map nodes to its database. Namespaces made by an earlier velmd are
    // brought up to date as well.
    Config config;
    if (!LoadConfig(dir, config, error))
        return false;
    std::vector<std::string> namespaces = {"%SYS", "USER"};
    for (const auto &ns : config.Namespaces)
        if (ns != "%SYS" && ns != "USER")
            namespaces.push_back(ns);
    for (const auto &ns : namespaces)
        if (!EnsureNamespace(dir, ns, error))
            return false;
    // The system routines are velmd's own: loading them again brings them up to date.
    const auto sys = ListFiles(MDir() + "/sys", ".m");
    if (sys.empty()) {
        error = "no system routines in " + MDir() + "/sys (set VELMD_M_DIR)";
        return false;
    }
    return LoadRoutines(dir, "%SYS", sys, error);
}

int CmdInit(const std::string &dir)
{
    std::string error;
    if (!EnsureInit(AbsolutePath(dir), error)) {
        std::cerr << "velmd init: " << error << "\n";
        return 1;
    }
    return 0;
}

int CmdNamespace(const std::string &dir, const std::string &name)
{
    std::string error;
    const std::string abs = AbsolutePath(dir);
    if (!IsFile(abs + "/velmd.conf")) {
        std::cerr << "velmd namespace: " << abs << " is not a velmd data directory (run velmd init)\n";
        return 1;
    }
    if (!EnsureNamespace(abs, name, error)) {
        std::cerr << "velmd namespace: " << error << "\n";
        return 1;
    }
    return 0;
}

int CmdPasswd(const std::string &dir, const std::string &user, std::optional<Rights> rights)
{
    const std::string abs = AbsolutePath(dir);
    if (!IsFile(abs + "/velmd.conf")) {
        std::cerr << "velmd passwd: " << abs << " is not a velmd data directory (run velmd init)\n";
        return 1;
    }
    std::string password;
    if (!std::getline(std::cin, password)) {
        std::cerr << "velmd passwd: no password on stdin\n";
        return 1;
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    std::string error;
    if (!SetPassword(abs, user, password, rights, error)) {
        std::cerr << "velmd passwd: " << error << "\n";
        return 1;
    }
    return 0;
}

int CmdLoad(const std::string &dir, const std::string &ns, const std::vector<std::string> &files)
{
    std::string error;
    if (!LoadRoutines(AbsolutePath(dir), ns, files, error)) {
        std::cerr << "velmd load: " << error << "\n";
        return 1;
    }
    return 0;
}

int CmdDemo(const std::string &dir)
{
    const std::string abs = AbsolutePath(dir);
    std::string error;
    auto fail = [&]() {
        std::cerr << "velmd demo: " << error << "\n";
        return 1;
    };
    if (!EnsureInit(abs, error) || !EnsureNamespace(abs, "VELM", error))
        return fail();
    const std::string velm = MDir() + "/velm";
    std::vector<std::string> sys, app;
    for (const auto &f : ListFiles(velm, ".m"))
        (BaseName(f)[0] == '_' ? sys : app).push_back(f);
    if (app.empty()) {
        error = "no routines in " + velm;
        return fail();
    }
    if (!LoadRoutines(abs, "%SYS", sys, error) || !LoadRoutines(abs, "VELM", app, error))
        return fail();
    // The same seed gives the same bytes, so writing the files again changes nothing.
    clb::Options out;
    out.count = 200;
    out.seed = 1;
    out.demo = true;
    clb::Options in;
    in.moneyIn = true;
    in.count = 100;
    in.seed = 2;
    // The same documents as 1C exchange texts, one in each of the format's code pages.
    clb::Options out1c = out;
    out1c.format = clb::Format::Exchange1CWindows;
    clb::Options in1c = in;
    in1c.format = clb::Format::Exchange1CDos;
    if (!clb::writeFile(abs + "/clbout.dbf", out, error) || !clb::writeFile(abs + "/clbin.dbf", in, error)
        || !clb::writeFile(abs + "/clbout1c.txt", out1c, error)
        || !clb::writeFile(abs + "/clbin1c.txt", in1c, error))
        return fail();
    Config config;
    if (!LoadConfig(abs, config, error))
        return fail();
    for (char c : abs)
        if (c == '"' || c < ' ') {
            error = "the data directory's path must not hold quotes or control characters";
            return fail();
        }
    if (!RunGtm({GtmDist() + "/mumps", "-run", "%XCMD", "d SEED^VELMDEMO(\"" + abs + "\")"},
                NamespaceEnv(abs, config, "VELM"), abs + "/scratch", error))
        return fail();
    // The accounts keep a password set since; their rights are the demo's.
    std::string accountLines;
    for (const auto &[user, password, rights] :
         {std::tuple{kDemoAccount, kDemoAccountPassword, Rights{true, false}},
          std::tuple{kDemoInstaller, kDemoInstallerPassword, Rights{false, true}}}) {
        auto accounts = ReadAccounts(abs);
        const auto it = accounts.find(user);
        const bool made = it == accounts.end();
        if (made) {
            if (!SetPassword(abs, user, password, rights, error))
                return fail();
        } else {
            it->second.Allowed = rights;
            if (!WriteAccounts(abs, accounts, error))
                return fail();
        }
        accountLines += std::string("  account ") + user + ", "
                        + (made ? std::string("password ") + password : std::string("password as set before"))
                        + ": " + RightsText(rights) + "\n";
    }
    if (config.XapiEntries["VELM"] != GatewayEntries() || config.XapiRoutines.count("VELM") != 0) {
        config.XapiEntries["VELM"] = GatewayEntries();
        config.XapiRoutines.erase("VELM");
        if (!SaveConfig(abs, config, error))
            return fail();
    }
    const std::string ini =
        std::string("[XAPI]\r\n") + "ServerType=CACHE\r\n" + "Version=1\r\n" + "UserName=" + kDemoAccount
        + "\r\n" + "PassWord=" + kDemoAccountPassword + "\r\n" + "NameSpace=VELM\r\n"
        + "Server=" + (config.Bind == "0.0.0.0" ? std::string("127.0.0.1") : config.Bind) + "\r\n"
        + "Port=" + std::to_string(config.XapiPort) + "\r\n" + "BUFFERLEN=4096\r\n" + "TIMEOUT=60\r\n";
    if (!WriteFileAtomic(abs + "/velmbank.ini", ini, 0600, error))
        return fail();
    std::string routines;
    for (const auto &r : config.XapiEntries["VELM"])
        routines += " " + r;
    std::cout << "velmd demo: " << abs << " is ready; start it with: velmd serve " << abs << "\n"
              << accountLines << "  the gateway's profile: " << abs << "/velmbank.ini (account "
              << kDemoAccount << ")\n"
              << "  namespace VELM offers over XAPI:" << routines << "\n";
    return 0;
}

} // namespace velmd
