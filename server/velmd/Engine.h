#pragma once
// The M engine of one session process: GT.M started through the call-in interface, with the
// principal device on a memory file so that what a routine WRITEs can be taken as its reply.
// Only a session process uses it, once, after its connection is accepted (never fork after Start).

#include "DataDir.h"

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace velmd {

struct MResult
{
    bool Failed = false;
    std::string Value; // the value, or the error in the original platform's form
};

class Engine
{
public:
    // Sets the environment of the namespace and starts GT.M; false with a message on failure.
    bool Start(const std::string &dataDir, const Config &config, const std::string &ns, std::string &error);
    bool Started() const { return FStarted; }
    void Stop();

    // Enters another namespace (already checked to exist in config).
    bool Switch(const Config &config, const std::string &ns, std::string &error);
    const std::string &Namespace() const { return FNamespace; }

    // One XAPI call; ref is a checked entry reference without "$$", the arguments are
    // elements[first...].
    MResult Call(const std::string &ref, bool function, const std::vector<std::string> &elements,
                 size_t first);
    // One VisM run of code already rewritten.
    enum class RunKind { Command = 0, Expression = 1, CommandInFrame = 2 };
    MResult Run(const std::string &code, RunKind kind, const std::string &p1, const std::string &p2);

private:
    MResult Finish(int status, const std::string &ret, bool takeOutput);
    std::string TakeOutput(bool &tooLong);

    bool FStarted = false;
    std::string FDataDir, FNamespace;
    std::vector<char> FBuffer;
    std::string FJoined;    // the arguments of a call joined, kept so that its buffer is reused
    off_t FOutputStart = 0; // where the output of the next call begins in the memory file
};

} // namespace velmd
