%ZVELMD ;velmd session support: the calls of both front-ends and the original platform's forms
 ;Names of this routine's own variables begin with %ZVELMD, so that they never meet a client's.
 q
 ;
init() ;session start: what routines WRITE is taken from the principal device as it is
 u $p:(nowrap)
 q
 ;
xapi(%ZVELMDr,%ZVELMDa,%ZVELMDn,%ZVELMDf) ;one XAPI call: "0" and the value, or "1" and the error
 ;r: entry reference (checked by velmd to be one, nothing else), a: arguments joined by ESC,
 ;n: how many, f: 1 for an extrinsic function, 0 for DO (its output is the reply)
 n $et s $et="zg "_$zl_":fail^%ZVELMD"
 n %ZVELMDi,%ZVELMDx,%ZVELMDv,%ZVELMDc,%ZVELMDk
 ;The locks held before the call: an error releases only what the call took.
 zshow "L":%ZVELMDk
 s %ZVELMDc=""
 f %ZVELMDi=1:1:%ZVELMDn s %ZVELMDx(%ZVELMDi)=$p(%ZVELMDa,$c(27),%ZVELMDi),%ZVELMDc=%ZVELMDc_$s(%ZVELMDi>1:",",1:"")_"%ZVELMDx("_%ZVELMDi_")"
 i %ZVELMDn s %ZVELMDc="("_%ZVELMDc_")"
 s $x=0
 i %ZVELMDf x "s %ZVELMDv=$$"_%ZVELMDr_%ZVELMDc q "0"_%ZVELMDv
 x "d "_%ZVELMDr_%ZVELMDc
 q "0"
 ;
vism(%ZVELMD1,%ZVELMD2,%ZVELMDc,%ZVELMDf) ;one VisM run: "0" and the value, or "1" and the error
 ;1, 2: the values of P1 and P2, c: the code (already rewritten), f: 0 a command line,
 ;1 an expression, 2 a command line that sets $ZTRAP
 ;An error rolls back what the run left open; its locks stay, an installer may rely on them.
 ;A run that names ^ROUTINE may have killed the lines of a routine saved here (zsgone).
 n $et s $et="zg "_$zl_":fail^%ZVELMD"
 n %ZVELMDv
 s P1=%ZVELMD1,P2=%ZVELMD2,$x=0
 i %ZVELMDf=1 x "s %ZVELMDv="_%ZVELMDc d:$d(%ZVELMDz)&(%ZVELMDc["ROUTINE") zsgone q "0"_%ZVELMDv
 i %ZVELMDf=2 d frame(%ZVELMDc) d:$d(%ZVELMDz)&(%ZVELMDc["ROUTINE") zsgone q "0"
 x %ZVELMDc
 d:$d(%ZVELMDz)&(%ZVELMDc["ROUTINE") zsgone
 q "0"
 ;
frame(%ZVELMDc) ;run a command line in a routine frame of its own
 ;A trap set by XECUTEd code would make GT.M run the XECUTE again after the handler's QUIT;
 ;from a routine frame the handler runs once and the run ends, as on the original platform.
 n %ZVELMDp s %ZVELMDp=$ztrnlnm("VELMD_SCRATCH")_"/_ZVELMDX.m"
 o %ZVELMDp:(newversion) u %ZVELMDp w "%ZVELMDX ;velmd: one command line of a client",!,"run "_%ZVELMDc,!," q",! c %ZVELMDp u $p
 zlink %ZVELMDp
 d run^%ZVELMDX
 q
 ;
fail ;the error reply; nothing of the failed call stays held
 ;An XAPI call (it showed its locks in %ZVELMDk) also gives back the locks it took.
 n %ZVELMDe,%ZVELMDn,%ZVELMDi
 s %ZVELMDe=$$cform($zs),$ec=""
 tro:$tl
 i $d(%ZVELMDk) zshow "L":%ZVELMDn s %ZVELMDi="" f  s %ZVELMDi=$o(%ZVELMDn("L",%ZVELMDi)) q:%ZVELMDi=""  d unlk(%ZVELMDn("L",%ZVELMDi))
 q "1"_%ZVELMDe
 ;
unlk(%ZVELMDx) ;lowers the lock of a ZSHOW "L" line to the level the call found it at
 n %ZVELMDm,%ZVELMDh,%ZVELMDi
 q:$e(%ZVELMDx,1,5)'="LOCK "
 s %ZVELMDm=$$lkname(%ZVELMDx),%ZVELMDh=0
 s %ZVELMDi="" f  s %ZVELMDi=$o(%ZVELMDk("L",%ZVELMDi)) q:%ZVELMDi=""  i $$lkname(%ZVELMDk("L",%ZVELMDi))=%ZVELMDm s %ZVELMDh=$$lklevel(%ZVELMDk("L",%ZVELMDi)) q
 f %ZVELMDh=%ZVELMDh+1:1:$$lklevel(%ZVELMDx) l -@%ZVELMDm
 q
 ;
lkname(l) q $p($e(l,6,$l(l))," LEVEL=",1,$l(l," LEVEL=")-1)
lklevel(l) q +$p(l," LEVEL=",$l(l," LEVEL="))
 ;
ns(%ZVELMDg,%ZVELMDr) ;enter a namespace: its global directory and its routine path
 s $zgbldir=%ZVELMDg,$zroutines=%ZVELMDr
 q
 ;
zyerr ;$ZYERROR: $ZE in the original platform's form
 s $ze=$$cform($zs)
 q
 ;
cform(zs) ;$ZSTATUS as the original platform writes an error: <NAME>label+n^routine
 n m,p s m=$p($p(zs,",",3),"-",3),p=$p(zs,",",2)
 i m="" q "<ERROR>"_p
 s m=$s(m="UNDEF":"UNDEFINED",m="LVUNDEF":"UNDEFINED",m="GVUNDEF":"UNDEFINED",m="DIVZERO":"DIVIDE",1:m)
 s m=$s(m="LABELMISSING":"NOLINE",m="ZLINKFILE":"NOROUTINE",m="ZLNOOBJECT":"NOROUTINE",1:m)
 s m=$s(m="MAXSTRLEN":"MAXSTRING",m="REC2BIG":"MAXSTRING",m="NUMOFLOW":"MAXNUMBER",1:m)
 s m=$s(m="STACKCRIT":"FRAMESTACK",m="STACKOFLOW":"FRAMESTACK",m="GVNAKED":"NAKED",1:m)
 s m=$s(m="NULSUBSC":"SUBSCRIPT",m="KEY2BIG":"SUBSCRIPT",m="GVSUBOFLOW":"SUBSCRIPT",1:m)
 s m=$s(m="FMLLSTMISSING":"PARAMETER",m="ACTLSTTOOLONG":"PARAMETER",1:m)
 s m=$s(m="QUITARGREQD":"COMMAND",m="NOTEXTRINSIC":"COMMAND",m="QUITARGUSE":"COMMAND",1:m)
 s m=$s(m="INVFCN":"FUNCTION",m="FNARGINC":"FUNCTION",1:m)
 ;An error a routine raises itself: the code it set tells the operator what was refused.
 i m="SETECODE" s m="ECODETRAP" i $ec'="" s p=p_" "_$p($ec,",",$l($ec,",")-1)
 i ",INVCMD,CMD,EXPR,SPOREOL,INVSVN,SVNEXPECTED,RPARENMISSING,STRUNXEOR,VAREXPECTED,LABELEXPECTED,LKNAMEXPECTED,COMMA,EQUAL,CMDERR,"[(","_m_",") s m="SYNTAX"
 q "<"_m_">"_p
 ;
 ;The original platform's forms, as velmd rewrites them in code a VisM client sends.
zns() ;$ZNSPACE: the name of the namespace folder that holds the global directory
 q $p($zgbldir,"/",$l($zgbldir,"/")-1)
 ;
zu(a,b,c,d) ;$ZUTIL: 90,0 the namespace count; 90,2,0,n the n-th namespace name
 n l s l=$ztrnlnm("VELMD_NAMESPACES")
 i $g(a)=90,$g(b)=0 q $l(l,",")
 i $g(a)=90,$g(b)=2,$g(c)=0 q $p(l,",",+$g(d))
 s $ec=",U-ZUTIL,"
 q ""
 ;
zr ;ZR: clear the routine buffer
 k %ZVELMDb
 q
 ;
zi(l) ;ZI line: append a line to the routine buffer
 s %ZVELMDb($i(%ZVELMDb))=$g(l)
 q
 ;
zs(n) ;ZS name: save the buffer as routine n and keep its lines in ^ROUTINE
 ;It is compiled beside the buffer first: a routine that does not compile leaves the old one.
 ;A percent routine goes to %SYS, where every namespace sees it; a copy of the current namespace
 ;would hide it, so none is left there. Its ^ROUTINE nodes map to %SYS in every namespace.
 ;The source stays beside the object, older than it, so that $TEXT reads the routine's lines
 ;while ^ROUTINE has them (zsgone removes it once they are killed).
 n d,f,t,b,o,i,k,h,g,r
 i '((n?1"%".30AN)!(n?1A.30AN)) s $ec=",U-ZNAME,"
 s h=$ztrnlnm("VELMD_DATADIR")_"/ns/"_$$zns(),d=$s($e(n)="%":$ztrnlnm("VELMD_DATADIR")_"/ns/%SYS",1:h)
 s g=$s($e(n)="%":d_"/g.gld",1:$zgbldir)
 s f=$tr($e(n),"%","_")_$e(n,2,$l(n)),t=d_"/t/"_f_".m",b=d_"/t/"_f_".o",o=d_"/o/"_f_".o",r=d_"/r/"_f_".m"
 o t:(newversion:nowrap) u t
 s i=0 f  s i=$o(%ZVELMDb(i)) q:i=""  w %ZVELMDb(i),!
 c t u $p
 zcompile "-object="_b_" "_t
 s k=$zcstatus
 i k'=1 o t c t:delete o b c b:delete s $ec=",U-ZSAVE,"
 ;Another namespace's copy of a percent routine would hide the one in %SYS.
 f i=$s(d'=h:h_"/r/"_f_".m",1:""),$s(d'=h:h_"/o/"_f_".o",1:"") i i'="" s k=$zsearch(d_"/t",78),k=$zsearch(i,78) i k'="" o k c k:delete
 s i=$zsearch(d_"/t",77),i=$zsearch(r,77) i i'="" o r c r:delete
 o t c t:rename=r
 s i=$zsearch(d_"/t",77),i=$zsearch(o,77) i i'="" o o c o:delete
 o b c b:rename=o
 zlink o
 k ^|g|ROUTINE(n)
 s ^|g|ROUTINE(n,0)=$h,k=0
 s i=0 f  s i=$o(%ZVELMDb(i)) q:i=""  s k=k+1,^|g|ROUTINE(n,0,k)=%ZVELMDb(i)
 s ^|g|ROUTINE(n,0,0)=k
 s %ZVELMDz(n)=g_"|"_r
 q
 ;
zsgone ;after a run: the source of a routine saved here whose ^ROUTINE is gone is removed too
 ;An installer that kills ^ROUTINE(name) keeps only the object, as on the original platform.
 n n,g,r,k s n=""
 f  s n=$o(%ZVELMDz(n)) q:n=""  s g=$p(%ZVELMDz(n),"|"),r=$p(%ZVELMDz(n),"|",2,9) i '$d(^|g|ROUTINE(n)) d
 . s k=$zsearch($p(r,"/",1,$l(r,"/")-1),79),k=$zsearch(r,79) i k'="" o k c k:delete
 . k %ZVELMDz(n)
 q
