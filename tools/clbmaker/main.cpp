// clbmaker: writes sample client-bank exports for tests, benchmarks and the demo.
#include "StandardOptions.h"
#include "clbgen.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

const char *const kUsage =
    "usage: clbmaker out|in N SEED FILE [--demo] [--1c windows|dos|utf8]\n"
    "       clbmaker dump FILE.dbf\n"
    "\n"
    "Writes sample client-bank exports for tests, benchmarks and the demo: a dBASE III file\n"
    "(CP866 texts) of N payment orders, or the same documents as a 1C exchange text.\n"
    "\n"
    "  out, in  money out (our firm pays) or money in (our firm is paid)\n"
    "  N        number of records\n"
    "  SEED     any unsigned integer; the same seed gives the same file\n"
    "  --demo   money out: the first 3 records close the demo's unclosed orders\n"
    "  --1c     the same documents as a 1C exchange text (1CClientBankExchange) in\n"
    "           Windows-1251, CP866 or UTF-8 instead of a dBASE file\n"
    "  dump     prints each record as the gateway sends it (values joined by chr(2))\n"
    "  --help   this text; --version: the version\n"
    "\n"
    "Exit: 0 written, 1 the file could not be written or read, 2 a wrong command line.\n";

int usage()
{
    std::cerr << kUsage;
    return 2;
}

bool number(const char *s, unsigned long long &v)
{
    if (!*s)
        return false;
    for (const char *p = s; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    errno = 0;
    v = std::strtoull(s, nullptr, 10);
    return errno == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (const auto answered = AnswerHelpOrVersion(argc, argv, "clbmaker", kUsage))
        return *answered;
    std::string error;
    if (argc == 3 && std::strcmp(argv[1], "dump") == 0) {
        if (!clb::dumpFile(argv[2], std::cout, error)) {
            std::cerr << "clbmaker: " << error << "\n";
            return 1;
        }
        return 0;
    }
    if (argc < 5)
        return usage();
    clb::Options o;
    const std::string kind = argv[1];
    if (kind != "out" && kind != "in")
        return usage();
    o.moneyIn = kind == "in";
    unsigned long long n = 0, seed = 0;
    if (!number(argv[2], n) || n > 10000000ULL) {
        std::cerr << "clbmaker: N must be a number of records from 0 to 10000000\n";
        return 2;
    }
    if (!number(argv[3], seed)) {
        std::cerr << "clbmaker: SEED must be an unsigned integer\n";
        return 2;
    }
    o.count = static_cast<long>(n);
    o.seed = seed;
    for (int i = 5; i < argc; ++i) {
        if (std::strcmp(argv[i], "--demo") == 0 && !o.demo) {
            o.demo = true;
        } else if (std::strcmp(argv[i], "--1c") == 0 && i + 1 < argc && o.format == clb::Format::Dbf) {
            const std::string cp = argv[++i];
            if (cp == "windows")
                o.format = clb::Format::Exchange1CWindows;
            else if (cp == "dos")
                o.format = clb::Format::Exchange1CDos;
            else if (cp == "utf8")
                o.format = clb::Format::Exchange1CUtf8;
            else
                return usage();
        } else {
            return usage();
        }
    }
    if (!clb::writeFile(argv[4], o, error)) {
        std::cerr << "clbmaker: " << error << "\n";
        return 1;
    }
    return 0;
}
