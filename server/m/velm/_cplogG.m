%cplogG ;Velm gateway: user login and logout, password hashes ;; cp1251
 ;The work session of a user is an M lock on ^VELMS(user) held by the process of the
 ;connection: it is released by logout or when the process ends, however it ends.
 ;%velm("user") holds the user logged in on this process.
 q
 ;
login(user,pw,ppw) ;"" accepted; "1" the user works on another connection; else refusal text
 ;Every answer costs the same: an unknown user and a malformed stored password are checked
 ;against a dummy, and both passwords are always hashed. A known user's failed logins slow
 ;every further attempt for that user, from any connection, one attempt at a time.
 n cur,known,ok,n
 s user=$g(user),pw=$g(pw),ppw=$g(ppw)
 s known=$$uok(user) s:known known=$d(^VELMU(user))#10
 i known l +^VELMU(user,"try"):10 e  q $$bad
 s n=$s(known:$$fails(user),1:0) h:n>2 $s(n>10:8,1:n-2)
 s ok=$$check(pw,$s(known:$g(^VELMU(user,"pw")),1:""))
 s ok=$$check(ppw,$s(known:$g(^VELMU(user,"ppw")),1:""))&ok&known
 i known k:ok ^VELMU(user,"fail") s:'ok ^VELMU(user,"fail")=(n+1)_"^"_$h l -^VELMU(user,"try")
 i 'ok q $$bad
 s cur=$g(%velm("user"))
 i cur=user q ""
 i cur'="" d logout
 l +^VELMS(user):0 e  q "1"
 s ^VELMS(user)=$j_"^"_$h,%velm("user")=user
 q ""
 ;
fails(user) ;the user's failed logins in a row, forgotten an hour after the last one
 n f,h s f=$g(^VELMU(user,"fail")) q:f="" 0
 s h=$p(f,"^",2,3)
 i $h-h*86400+$p($h,",",2)-$p(h,",",2)>3600 q 0
 q +f
 ;
logout ;ends the work session of this process, if any, with its exclusive lock and its work
 n user
 s user=$g(%velm("user")) q:user=""
 i $g(%velm("TO")) d
 . i $p($g(^VELMLK("TO")),"^")=$j k ^VELMLK("TO")
 . l -^VELMLK("TO") k %velm("TO")
 i $p($g(^VELMS(user)),"^")=$j k ^VELMS(user)
 l -^VELMS(user)
 k %velm("user"),%velm("work")
 q
 ;
need() ;the user logged in on this process; an M error (",UVELM-NOLOGIN,") when none is
 n u s u=$g(%velm("user"))
 i u="" s $ec=",UVELM-NOLOGIN,"
 q u
 ;
cur() ;the user logged in on this process, or ""
 q $g(%velm("user"))
 ;
bad() q "Неверный номер пользователя или пароль"
 ;
uok(user) ;a user number: a positive integer in canonical form
 q user?1.9N&(user=+user)&(user>0)
 ;
setpw(user,pw,ppw) ;stores the two passwords of a user as salted hashes (not offered over XAPI)
 s ^VELMU(user,"pw")=$$mk($g(pw)),^VELMU(user,"ppw")=$$mk($g(ppw))
 q
 ;
mk(pw) ;a new stored form of a password: "S1$iterations$salt$hex"
 n salt,i
 s salt="" f i=1:1:16 s salt=salt_$e("0123456789abcdef",$r(16)+1)
 q $$hash(pw,salt,25)
 ;
hash(pw,salt,n) ;iterated salted SHA-256: h1=sha(salt_pw), hk=sha(h(k-1)_salt)
 n h,i
 s h=$$sha(salt_pw,1)
 f i=2:1:n s h=$$sha(h_salt,1)
 q "S1$"_n_"$"_salt_"$"_$$hex(h)
 ;
check(pw,stored) ;1 when pw gives the stored form; a malformed one costs a dummy's check
 n n,salt
 i $p(stored,"$")'="S1" s stored=""
 s n=$p(stored,"$",2),salt=$p(stored,"$",3)
 i n'?1.2N!(n<1)!(salt="") s n=25,salt="0000000000000000",stored=""
 q $$hash(pw,salt,n)=stored
 ;
hex(s) n i,x,r s r=""
 f i=1:1:$l(s) s x=$a(s,i),r=r_$e("0123456789abcdef",x\16+1)_$e("0123456789abcdef",x#16+1)
 q r
 ;
sha(msg,raw) ;SHA-256 of a byte string: 32 bytes when raw, else lower-case hex
 ;Standard M has no bit operations: 32-bit words are integers, XOR and AND go through
 ;byte tables built once per process in %velmsh.
 n h,w,i,j,len,a,b,c,d,e,f,g,hh,t1,t2,x,y,p,blk,r
 i '$d(%velmsh) d tab
 s h(0)=1779033703,h(1)=3144134277,h(2)=1013904242,h(3)=2773480762
 s h(4)=1359893119,h(5)=2600822924,h(6)=528734635,h(7)=1541459225
 s len=$l(msg),msg=msg_$c(128)
 f  q:$l(msg)#64=56  s msg=msg_$c(0)
 s x=len*8,y="" f i=1:1:8 s y=$c(x#256)_y,x=x\256
 s msg=msg_y
 f blk=0:64:$l(msg)-1 d
 . f i=0:1:15 s p=blk+(i*4),w(i)=$a(msg,p+1)*256+$a(msg,p+2)*256+$a(msg,p+3)*256+$a(msg,p+4)
 . f i=16:1:63 d
 .. s x=w(i-15),t1=$$x3($$rotr(x,7),$$rotr(x,18),x\8)
 .. s x=w(i-2),t2=$$x3($$rotr(x,17),$$rotr(x,19),x\1024)
 .. s w(i)=w(i-16)+t1+w(i-7)+t2#4294967296
 . s a=h(0),b=h(1),c=h(2),d=h(3),e=h(4),f=h(5),g=h(6),hh=h(7)
 . f i=0:1:63 d
 .. s t1=$$x3($$rotr(e,6),$$rotr(e,11),$$rotr(e,25))
 .. s t1=hh+t1+$$xor($$and(e,f),$$and(4294967295-e,g))+%velmsh("k",i)+w(i)#4294967296
 .. s t2=$$x3($$rotr(a,2),$$rotr(a,13),$$rotr(a,22))
 .. s t2=t2+$$x3($$and(a,b),$$and(a,c),$$and(b,c))#4294967296
 .. s hh=g,g=f,f=e,e=d+t1#4294967296,d=c,c=b,b=a,a=t1+t2#4294967296
 . s h(0)=h(0)+a#4294967296,h(1)=h(1)+b#4294967296,h(2)=h(2)+c#4294967296,h(3)=h(3)+d#4294967296
 . s h(4)=h(4)+e#4294967296,h(5)=h(5)+f#4294967296,h(6)=h(6)+g#4294967296,h(7)=h(7)+hh#4294967296
 s r="" f i=0:1:7 s x=h(i) f j=1:1:4 s r=r_$c(x\16777216),x=x#16777216*256
 q $s($g(raw):r,1:$$hex(r))
 ;
rotr(x,n) q x\%velmsh("p",n)+(x#%velmsh("p",n)*%velmsh("p",32-n))
xor(a,b) q %velmsh("x",a#256,b#256)+(%velmsh("x",a\256#256,b\256#256)*256)+(%velmsh("x",a\65536#256,b\65536#256)*65536)+(%velmsh("x",a\16777216,b\16777216)*16777216)
and(a,b) q %velmsh("a",a#256,b#256)+(%velmsh("a",a\256#256,b\256#256)*256)+(%velmsh("a",a\65536#256,b\65536#256)*65536)+(%velmsh("a",a\16777216,b\16777216)*16777216)
x3(a,b,c) n t
 s t=%velmsh("x",%velmsh("x",a#256,b#256),c#256),a=a\256,b=b\256,c=c\256
 s t=%velmsh("x",%velmsh("x",a#256,b#256),c#256)*256+t,a=a\256,b=b\256,c=c\256
 s t=%velmsh("x",%velmsh("x",a#256,b#256),c#256)*65536+t,a=a\256,b=b\256,c=c\256
 q %velmsh("x",%velmsh("x",a,b),c)*16777216+t
 ;
tab n a,b,x,y,m,r,s,i,t
 s x=1 f i=0:1:32 s %velmsh("p",i)=x,x=x*2
 f a=0:1:255 f b=0:1:255 d
 . s x=a,y=b,r=0,s=0,m=1
 . f i=1:1:8 s t=x#2+(y#2) s:t=1 r=r+m s:t=2 s=s+m s x=x\2,y=y\2,m=m*2
 . s %velmsh("x",a,b)=r,%velmsh("a",a,b)=s
 s t="1116352408,1899447441,3049323471,3921009573,961987163,1508970993,2453635748,2870763221,3624381080,310598401,607225278,1426881987,1925078388,2162078206,2614888103,3248222580,3835390401,4022224774,264347078,604807628,770255983,1249150122,1555081692,1996064986,2554220882,2821834349,2952996808,3210313671,3336571891,3584528711,113926993,338241895,666307205,773529912,1294757372,1396182291,1695183700,1986661051,2177026350,2456956037,2730485921,2820302411,3259730800,3345764771,3516065817,3600352804,4094571909,275423344,430227734,506948616,659060556,883997877,958139571,1322822218,1537002063,1747873779,1955562222,2024104815,2227730452,2361852424,2428436474,2756734187,3204031479,3329325298"
 f i=0:1:63 s %velmsh("k",i)=$p(t,",",i+1)
 q
