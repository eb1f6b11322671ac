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

bool Engine::Start(const std::string &dataDir, const Config &config, const std::string &ns,
                   std::string &error)
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
    // What the call wrote lies between the file's position before it and now: one lseek tells,
    // one pread takes it (most calls write nothing). The file is emptied only now and then.
    tooLong = false;
    const off_t end = ::lseek(1, 0, SEEK_CUR);
    if (end <= FOutputStart)
        return {};
    const size_t size = size_t(end - FOutputStart);
    std::string out;
    if (size > kMaxString) {
        tooLong = true;
    } else {
        out.resize(size);
        const ssize_t n = ::pread(1, out.data(), size, FOutputStart);
        out.resize(n > 0 ? size_t(n) : 0);
    }
    FOutputStart = end;
    if (end > off_t(kMaxString)) {
        if (::ftruncate(1, 0) != 0) {
            // A memory file can always be emptied; nothing else to do if it cannot.
        }
        ::lseek(1, 0, SEEK_SET);
        FOutputStart = 0;
    }
    return out;
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

MResult Engine::Call(const std::string &ref, bool function, const std::vector<std::string> &elements,
                     size_t first)
{
    FJoined.clear();
    for (size_t i = first; i < elements.size(); ++i) {
        if (i > first)
            FJoined.push_back(kEsc);
        FJoined += elements[i];
    }
    const size_t count = elements.size() > first ? elements.size() - first : 0;
    gtm_string_t out;
    out.address = FBuffer.data();
    out.length = gtm_long_t(FBuffer.size());
    gtm_string_t r = In(ref), a = In(FJoined);
    static CallIn xapi("xapi");
    const int status = gtm_cip(&xapi.d, &out, &r, &a, gtm_long_t(count), gtm_long_t(function ? 1 : 0));
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
