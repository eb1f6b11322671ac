#include "Engine.h"

#include "DataDir.h"

extern "C" {
#include <gtmxc_types.h>
}

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace velmd {
namespace {

constexpr size_t kMaxString = 1 << 20; // an M string
constexpr char kEsc = 0x1B;

gtm_string_t In(const std::string &s)
{
    gtm_string_t g;
    g.length = gtm_long_t(s.size());
    g.address = const_cast<char *>(s.data());
    return g;
}

// A call-in name with the handle GT.M fills on first use, so that later calls skip the lookup.
struct CallIn
{
    explicit CallIn(const char *name)
    {
        d.rtn_name.address = const_cast<char *>(name);
        d.rtn_name.length = gtm_long_t(std::strlen(name));
        d.handle = nullptr;
    }
    ci_name_descriptor d;
};

std::string ZStatus()
{
    char msg[2048] = {0};
    gtm_zstatus(msg, sizeof msg - 1);
    return msg;
}

} // namespace

bool Engine::Start(const std::string &dataDir, const Config &config, const std::string &ns, std::string &error)
{
    for (const auto &[k, v] : NamespaceEnv(dataDir, config, ns))
        ::setenv(k.c_str(), v.c_str(), 1);
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd))
        ::setenv("VELMD_SCRATCH", cwd, 1);
    // The principal device: a memory file, emptied after every call.
    const int fd = ::memfd_create("velmd-output", MFD_CLOEXEC);
    if (fd < 0 || ::dup2(fd, 1) < 0) {
        error = "cannot make the output file of the session";
        return false;
    }
    ::close(fd);
    if (gtm_init() != 0) {
        error = "GT.M did not start: " + ZStatus();
        return false;
    }
    FStarted = true;
    FDataDir = dataDir;
    FNamespace = ns;
    FBuffer.assign(kMaxString + 16, '\0');
    FOutput.assign(kMaxString + 1, '\0');
    if (gtm_ci("init") != 0) {
        error = "the session routine %ZVELMD did not start: " + ZStatus();
        return false;
    }
    return true;
}

void Engine::Stop()
{
    if (FStarted)
        gtm_exit();
    FStarted = false;
}

bool Engine::Switch(const Config &config, const std::string &ns, std::string &error)
{
    if (ns == FNamespace)
        return true;
    // JOBbed processes start from the environment: keep it in step with the namespace.
    const auto env = NamespaceEnv(FDataDir, config, ns);
    for (const auto &[k, v] : env)
        ::setenv(k.c_str(), v.c_str(), 1);
    if (gtm_ci("ns", env.at("gtmgbldir").c_str(), env.at("gtmroutines").c_str()) != 0) {
        error = ZStatus();
        return false;
    }
    FNamespace = ns;
    return true;
}

std::string Engine::TakeOutput(bool &tooLong)
{
    // One pread from the start tells the size and takes the bytes; most calls write nothing.
    tooLong = false;
    const ssize_t n = ::pread(1, FOutput.data(), FOutput.size(), 0);
    if (n <= 0)
        return {};
    if (::ftruncate(1, 0) != 0) {
        // A memory file can always be emptied; nothing else to do if it cannot.
    }
    ::lseek(1, 0, SEEK_SET);
    if (size_t(n) > kMaxString) {
        tooLong = true;
        return {};
    }
    return std::string(FOutput.data(), size_t(n));
}

MResult Engine::Finish(int status, const std::string &ret, bool takeOutput)
{
    bool tooLong = false;
    std::string output = TakeOutput(tooLong);
    MResult r;
    if (status != 0) {
        // Errors that M could not trap itself (a syntax error of XECUTE, say): the same form.
        const std::string zs = ZStatus();
        gtm_string_t out;
        out.address = FBuffer.data();
        out.length = gtm_long_t(FBuffer.size());
        gtm_string_t in = In(zs);
        r.Failed = true;
        r.Value = gtm_ci("cform", &out, &in) == 0 ? std::string(out.address, size_t(out.length)) : zs;
        TakeOutput(tooLong);
        return r;
    }
    if (ret.empty()) {
        r.Failed = true;
        r.Value = "<ERROR>no value from the session routine";
        return r;
    }
    r.Failed = ret[0] == '1';
    r.Value = ret.substr(1);
    if (!r.Failed && takeOutput) {
        if (tooLong) {
            r.Failed = true;
            r.Value = "<MAXSTRING>the output is longer than 1 MiB";
        } else {
            r.Value = std::move(output);
        }
    }
    return r;
}

MResult Engine::Call(const std::string &ref, bool function, const std::vector<std::string> &args)
{
    std::string joined;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i)
            joined.push_back(kEsc);
        joined += args[i];
    }
    gtm_string_t out;
    out.address = FBuffer.data();
    out.length = gtm_long_t(FBuffer.size());
    gtm_string_t r = In(ref), a = In(joined);
    static CallIn xapi("xapi");
    const int status = gtm_cip(&xapi.d, &out, &r, &a, gtm_long_t(args.size()), gtm_long_t(function ? 1 : 0));
    return Finish(status, status == 0 ? std::string(out.address, size_t(out.length)) : std::string(),
                  !function);
}

MResult Engine::Run(const std::string &code, RunKind kind, const std::string &p1, const std::string &p2)
{
    gtm_string_t out;
    out.address = FBuffer.data();
    out.length = gtm_long_t(FBuffer.size());
    gtm_string_t c = In(code), a = In(p1), b = In(p2);
    static CallIn vism("vism");
    const int status = gtm_cip(&vism.d, &out, &a, &b, &c, gtm_long_t(kind));
    return Finish(status, status == 0 ? std::string(out.address, size_t(out.length)) : std::string(), false);
}

} // namespace velmd
