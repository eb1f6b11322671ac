#pragma once
// Rewrites the original platform's forms in M code that a VisM client sends into calls of the
// emulation routine %ZVELMD, so that GT.M runs them:
//   $ZNSPACE                -> $$zns^%ZVELMD()
//   $ZU(...), $ZUTIL(...)   -> $$zu^%ZVELMD(...)
//   ZR / ZREMOVE (no args)  -> d zr^%ZVELMD
//   ZI / ZINSERT a,b        -> d zi^%ZVELMD(a),zi^%ZVELMD(b)
//   ZS / ZSAVE name         -> d zs^%ZVELMD("name")
// Commands are recognised at command positions only; the string literal arguments of X/XECUTE
// are code and are rewritten the same way (their quotes doubled again); other literals are data
// and stay as they are. Forms beyond these (ZI with a line position, ZR with a range, ZS without
// a name, code assembled at run time) are left alone, and GT.M reports them as errors.

#include <string>
#include <string_view>

namespace velmd {

std::string RewriteCode(std::string_view line);       // a command line
std::string RewriteExpression(std::string_view expr); // an expression

// True when a command line names $ZT or $ZTRAP outside string literals: such a line runs in a
// routine frame of its own (see frame^%ZVELMD).
bool MentionsTrap(std::string_view line);

} // namespace velmd
