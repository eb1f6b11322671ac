// Rewriting of the original platform's M forms, on the exact texts the installer sends.
#include "Rewrite.h"

#include <gtest/gtest.h>

#include <string>

using velmd::MentionsTrap;
using velmd::RewriteCode;
using velmd::RewriteExpression;

namespace {

// The installer's restore command line of routine name, assembled from its five parts.
std::string RestoreLine(const std::string &name)
{
    return R"m(k ^rMAC(")m" + name + R"m(") )m"
           + R"m(ZR  X "s i="""",q=$C(13,10) f  s i=$o(text(i)) Q:i=""""  s s="""" f k=1:1:$l(text(i),q) s s=$p(text(i),q,k) ZI s" ZS )m"
           + name;
}

} // namespace

TEST(Rewrite, InstallerLinesWithoutPlatformFormsStayAsTheyAre)
{
    for (const char *line : {"n text,i,k,q", "s text(P1)=P2", "k text", "k ^ROUTINE(P1)", "d DISABLE^%NOJRN",
                             "d ENABLE^%NOJRN"}) {
        EXPECT_EQ(RewriteCode(line), line);
        EXPECT_FALSE(MentionsTrap(line)) << line;
    }
}

TEST(Rewrite, InstallerExpressions)
{
    EXPECT_EQ(RewriteExpression("$zu(90,0)"), "$$zu^%ZVELMD(90,0)");
    EXPECT_EQ(RewriteExpression("$zu(90,2,0,P1)"), "$$zu^%ZVELMD(90,2,0,P1)");
    EXPECT_EQ(RewriteExpression("$ZNSPACE"), "$$zns^%ZVELMD()");
    // Any case and the long name.
    EXPECT_EQ(RewriteExpression("$ZUTIL(90,0)+$ZU(90,0)"), "$$zu^%ZVELMD(90,0)+$$zu^%ZVELMD(90,0)");
    EXPECT_EQ(RewriteExpression("$znspace_\":\"_$ZNSpace"), "$$zns^%ZVELMD()_\":\"_$$zns^%ZVELMD()");
    // Inside arguments and in command lines as well.
    EXPECT_EQ(RewriteExpression("$p($zu(90,2,0,$zu(90,0)),\",\")"),
              "$p($$zu^%ZVELMD(90,2,0,$$zu^%ZVELMD(90,0)),\",\")");
    EXPECT_EQ(RewriteCode("s ns=$ZNSPACE,n=$zu(90,0) w:$ZNSPACE=\"USER\" n"),
              "s ns=$$zns^%ZVELMD(),n=$$zu^%ZVELMD(90,0) w:$$zns^%ZVELMD()=\"USER\" n");
}

TEST(Rewrite, RestoreLine)
{
    EXPECT_EQ(
        RewriteCode(RestoreLine("ZZ001")),
        R"m(k ^rMAC("ZZ001") d zr^%ZVELMD  X "s i="""",q=$C(13,10) f  s i=$o(text(i)) Q:i=""""  s s="""" f k=1:1:$l(text(i),q) s s=$p(text(i),q,k) d zi^%ZVELMD(s)" d zs^%ZVELMD("ZZ001"))m");
    EXPECT_EQ(
        RewriteCode(RestoreLine("%caA03")),
        R"m(k ^rMAC("%caA03") d zr^%ZVELMD  X "s i="""",q=$C(13,10) f  s i=$o(text(i)) Q:i=""""  s s="""" f k=1:1:$l(text(i),q) s s=$p(text(i),q,k) d zi^%ZVELMD(s)" d zs^%ZVELMD("%caA03"))m");
    EXPECT_FALSE(MentionsTrap(RestoreLine("ZZ001")));
    // A name that is not a routine name is never put into the generated call.
    EXPECT_EQ(RewriteCode("ZS A\"),x(\"B"), "ZS A\"),x(\"B");
    EXPECT_EQ(RewriteCode("ZS @n"), "ZS @n");
}

TEST(Rewrite, FormsInsideDataLiteralsStayUntouched)
{
    for (const char *line : {"s x=\"ZR  ZI s ZS NAME $ZNSPACE $zu(90,0)\"", "s text(1)=\" ZS NAME\"",
                             "w \"X \"\"ZR\"\"\"", "s x=\"a\"\"$ZU(90,0)\"\"b\"", "i x?1\"$ZNSPACE\".E q"})
        EXPECT_EQ(RewriteCode(line), line);
    EXPECT_EQ(RewriteCode("w \"$ZNSPACE\",$ZNSPACE"), "w \"$ZNSPACE\",$$zns^%ZVELMD()");
    EXPECT_EQ(RewriteCode("s x=\"a\"\"ZR\"\"b\" ZR"), "s x=\"a\"\"ZR\"\"b\" d zr^%ZVELMD");
    EXPECT_EQ(RewriteExpression("\"$zu(90,0)\"_$zu(90,0)"), "\"$zu(90,0)\"_$$zu^%ZVELMD(90,0)");
    // The literal of an XECUTE is code; the literals inside it are data again.
    EXPECT_EQ(RewriteCode("X \"s y=\"\"$ZNSPACE\"\",z=$ZNSPACE\""),
              "X \"s y=\"\"$ZNSPACE\"\",z=$$zns^%ZVELMD()\"");
    EXPECT_EQ(RewriteCode("X \"w \"\"ZR\"\" ZR\""), "X \"w \"\"ZR\"\" d zr^%ZVELMD\"");
}

TEST(Rewrite, CommandsAreRecognisedAtCommandPositionsOnly)
{
    for (const char *line : {"s ZR=1,ZI=2,ZS=3", "d ZR^ZS", "w $$ZU^X(1),$$zns^Y", "s x=ZS+ZI",
                             "s zs=$$ZNSPACE^R", ";ZR  ZS NAME", "q  ;ZR", "q  ;$ZNSPACE $zu(90,0)"})
        EXPECT_EQ(RewriteCode(line), line);
    EXPECT_EQ(RewriteCode("zr"), "d zr^%ZVELMD");
    EXPECT_EQ(RewriteCode("ZREMOVE  ZINSERT a,\"b c\" ZSAVE NAME"),
              "d zr^%ZVELMD  d zi^%ZVELMD(a),zi^%ZVELMD(\"b c\") d zs^%ZVELMD(\"NAME\")");
    EXPECT_EQ(RewriteCode("ZR:x  ZI:y s ZS:$ZNSPACE=\"USER\" NAME"),
              "d:x zr^%ZVELMD  d:y zi^%ZVELMD(s) d:$$zns^%ZVELMD()=\"USER\" zs^%ZVELMD(\"NAME\")");
    EXPECT_EQ(RewriteCode("ZI $p(x,\" \",2)"), "d zi^%ZVELMD($p(x,\" \",2))");
    EXPECT_EQ(RewriteCode("f i=1:1:3 ZI l(i)  ;done ZS X"), "f i=1:1:3 d zi^%ZVELMD(l(i))  ;done ZS X");
    EXPECT_EQ(RewriteCode("ZR ;ZS NAME"), "d zr^%ZVELMD ;ZS NAME");
    // Comments are not code.
    EXPECT_EQ(RewriteCode("ZR  ;$ZNSPACE $zu(90,0)"), "d zr^%ZVELMD  ;$ZNSPACE $zu(90,0)");
}

TEST(Rewrite, XecuteArgumentsAreCode)
{
    EXPECT_EQ(RewriteCode("X \"X \"\"ZR\"\"\""), "X \"X \"\"d zr^%ZVELMD\"\"\"");
    EXPECT_EQ(RewriteCode("X \"ZR\":c,\"ZS A\""), "X \"d zr^%ZVELMD\":c,\"d zs^%ZVELMD(\"\"A\"\")\"");
    EXPECT_EQ(RewriteCode("XECUTE:$ZNSPACE=\"X\" \"ZR\""), "XECUTE:$$zns^%ZVELMD()=\"X\" \"d zr^%ZVELMD\"");
    // An unterminated literal is not closed by the rewriting: GT.M still refuses the line.
    for (const char *line : {"X \"w \"\"x\"\"", "X \"ZR\"\"", "X \"\"\"", "X \"ZR"})
        EXPECT_EQ(RewriteCode(line), line);
    // Code held in variables or assembled at run time is not seen.
    for (const char *line : {"X code", "X \"ZR\"_x", "X @x"})
        EXPECT_EQ(RewriteCode(line), line);
}

TEST(Rewrite, FormsBeyondTheEmulationAreLeftAlone)
{
    for (const char *line : {"ZI \"x\":+1", "ZR +1", "ZR a:b", "ZS", "ZS  w 1", "ZS A,B", "ZI", "ZS A(1)"})
        EXPECT_EQ(RewriteCode(line), line);
    EXPECT_EQ(RewriteExpression("$ZU"), "$ZU");
}

TEST(Rewrite, TrapMentions)
{
    for (const char *line : {"s $zt=\"er^x\"", "s $ZTRAP=\"er^x\" d job^velmsetup", "n $ZT s $zt=\"\"",
                             "w $ZTrap", "s x=1,$zt=\"er^\"_$t(er)"})
        EXPECT_TRUE(MentionsTrap(line)) << line;
    for (const char *line :
         {"w \"$zt\"", "s x=\"s $zt=1\"", "s $et=\"q\"", "s x=$ZTEXIT", "s zt=1", "$ZNSPACE", "s x=$"})
        EXPECT_FALSE(MentionsTrap(line)) << line;
}
