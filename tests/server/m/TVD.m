TVD ;velmd tests: small routines that the tests call
 q
add(a,b) q a+b
echo(x) q $g(x)
count(a,b,c) q $g(a)_"|"_$g(b)_"|"_$g(c)
out w "hello",$c(1),"world"
 q
outarg(x) w "<",x,">"
 q
undef() q tvdNone
div() q 1/0
esc() q "a"_$c(27)_"b"
nul() q "a"_$c(0)_"b"
setl(v) s tvdL=v q ""
getl() q $g(tvdL,"none")
lock() l +^TVDL:0 q $t
pid() q $j
loop() f  h 1
 q ""
big(n) q $tr($j("",n)," ","x")
bigout(n) n i f i=1:1:n w "y"
 q
zetest s $zt="zeer^TVD"
 s y=1/0
 q
zeer s ^TVD("ze")=$ze
 q
deep() q $$deep1()
deep1() s $zt="deeper^TVD" q $$deep2()
deep2() q 1/0
deeper s ^TVD("deep",$i(^TVD("deep")))=$ze q
er s ^TVD("er",$i(^TVD("er")))=$ze q
jobrun s ^TVD("seen")=$g(^TVD("mark"))
 q
lockfail(n) l +^TVDF(n) q 1/0
locked(n) n t l +^TVDF(n):0 s t=$t l:t -^TVDF(n) q t
tpfail() ts () s ^TVD("tp")=1 q 1/0
tl() q $tl_","_$d(^TVD("tp"))
fill() n i f i=1:1 s tvdM(i)=$j("",1000)
 q ""
