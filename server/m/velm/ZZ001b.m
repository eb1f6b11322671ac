ZZ001b ;Velm gateway: columns of the intermediate table, conversion and diagnosis of a record ;; cp1251
 ;A characteristic is described in ^VELMM(type,"IH",code) = kind ^ text when missing ^
 ;text when malformed ^ code of the bank's BIC (accounts only). Kinds: S sum, D date,
 ;N document number, I INN, A account, B BIC, T text. A characteristic with a text
 ;for "missing" must be present in every document.
 q
 ;
GetFields(task) ;the columns: name (the characteristic code), caption, alignment ("2" right)
 n n s task=$g(task)
 i $$need^%cplogG()
 q:'$$tok^ZZ001a(task)
 s n="" f  s n=$o(^VELMG(task,n)) q:n=""  w ^(n),$c(1)
 q
 ;
PDVelm(clb,set,rec) ;writes: diagnosis, similar, unclosed, include, the task's columns, ""
 ;Needs the right to run the task of the setting's type.
 n c,d,t,V,fid,x,ih,v,ex,op,out,n
 i $$need^%cplogG()
 s c=$$cid^ZZ001a($g(clb)),set=$g(set),rec=$g(rec),d="",t=0,ex="",op=""
 i c=""!'$$idok^ZZ001a(set) s d="Настройка не найдена"
 e  i '$d(^VELMC(c,"S",set)) s d="Настройка не найдена"
 e  s d=$$load(c,set),t=%velm("ps",c,set,"type")
 i t,$$run^%caA03(t)
 i t d
 . ;%velmP: a copy of the compiled setting last used, so that it can be passed by reference
 . s x=c_","_set_","_%velm("ps",c,set)
 . i $g(%velmP)'=x k %velmP m %velmP=%velm("ps",c,set) s %velmP=x
 . ;The record is cleaned and converted once, its separators kept; then split.
 . s rec=$$clean^ZZ001(rec,$c(2)) s:%velmP("dos") rec=$$dos^ZZ001(rec)
 . s fid="" f  s fid=$o(%velmP("f",fid)) q:fid=""  d
 .. s x=%velmP("f",fid),ih=$p(x,"^"),v=$$trim^ZZ001($p(rec,$c(2),fid))
 .. s V(ih)=$e($s($p(x,"^",2)="":v,1:$$fn($p(x,"^",2),v)),1,256)
 . s x=$$chk(t,.V,.%velmP) s:d="" d=x
 . i d="" d find(t,.V,.%velmP,.ex,.op)
 s out=d_$c(2)_ex_$c(2)_op_$c(2)_$s(d'="":"0",ex="":"1",1:"0")
 i t s n="" f  s n=$o(%velmP("g",n)) q:n=""  s out=out_$c(2)_$g(V(%velmP("g",n)))
 w out,$c(2)
 q
 ;
load(c,s) ;the compiled form of a setting in %velm("ps",c,s); returns its own diagnosis
 ;Kept per process and rebuilt when the setting's version changes; only for a setting that
 ;exists, and for a few at a time.
 n v,f,id,r,ih,fn,x,i,t,d,k,M
 s v=$g(^VELMC(c,"S",s,"V"))
 i v'="",$g(%velm("ps",c,s))=v q %velm("ps",c,s,"d")
 i '$d(^VELMC(c,"S",s)) q "Настройка не найдена"
 i $g(%velm("psn"))'<16 k %velm("ps") s %velm("psn")=0
 i '$d(%velm("ps",c,s)) s %velm("psn")=$g(%velm("psn"))+1
 k %velm("ps",c,s)
 s d="",t=+$g(^VELMC(c,"S",s,"Type")),%velm("ps",c,s,"type")=t
 s x=$$up^ZZ001($$trim^ZZ001($g(^VELMC(c,"S",s,"Func"))))
 i x'="",x'="DOS",x'="WIN" s d="Неизвестная функция трансформации "_x
 s %velm("ps",c,s,"dos")=(x="DOS")
 s x=$$up^ZZ001($g(^VELMC(c,"S",s,"VFunc")))
 f i=1:1:$l(x,",") s k=$$trim^ZZ001($p(x,",",i)) i k'="" d
 . i k'="INN",k'="KEY" s:d="" d="Неизвестная функция проверки "_k q
 . s %velm("ps",c,s,"chk",k)=1
 s f="" f  s f=$o(^VELMC(c,"S",s,"F",f)) q:f=""  s r=^(f) d
 . s id=$p(r,$c(2)) q:'$$idok^ZZ001a(id)
 . s ih=$$up^ZZ001($$trim^ZZ001($p(r,$c(2),8)))
 . i ih="",$p(r,$c(2),6)'="" s ih=$$up^ZZ001($p($p($p(r,$c(2),6)," ",2),"]"))
 . q:ih=""
 . i '$d(^VELMM(t,"IH",ih)) s:d="" d="Неизвестная характеристика "_ih q
 . s fn=$$up^ZZ001($$trim^ZZ001($p(r,$c(2),9)))
 . i '$$fnok(fn) s:d="" d="Неизвестная функция преобразования "_fn q
 . s %velm("ps",c,s,"f",id)=ih_"^"_fn
 s x=$tr($g(^VELMC(c,"S",s,"FindEx")),";",",")
 f i=1:1:$l(x,",") s k=$p(x,",",i) d
 . i k["[" s k=$p($p($p(k,"[",2),"]")," ",2)
 . s k=$$up^ZZ001($$trim^ZZ001(k)) q:k=""
 . i '$d(^VELMM(t,"IH",k)) s:d="" d="Неизвестная характеристика поиска "_k q
 . s %velm("ps",c,s,"fx",k)=""
 k M d meta(t,.M) m %velm("ps",c,s)=M
 s %velm("ps",c,s,"d")=d,%velm("ps",c,s)=v
 q d
 ;
meta(t,P) ;the characteristics of task type t in P("m",n) and its columns in P("g",n)
 ;Copied once per setting and process: the system tables change only on installation.
 n n,ih
 s n="" f  s n=$o(^VELMM(t,n)) q:n'=+n  s ih=$p($p(^VELMM(t,n)," ",2),"]"),P("m",n)=ih_"^"_$g(^VELMM(t,"IH",ih))
 s n="" f  s n=$o(^VELMG(t,n)) q:n=""  s P("g",n)=$p(^VELMG(t,n),$c(2))
 q
 ;
chk(t,V,P) ;normalises the values by their kinds; returns the first diagnosis or ""
 n n,ih,k,x,d,m
 s d="",n=""
 i '$d(P("m")) d meta(t,.P)
 f  s n=$o(P("m",n)) q:n=""  d  q:d'=""
 . s ih=$p(P("m",n),"^"),m=$p(P("m",n),"^",2,9),k=$p(m,"^")
 . i $g(V(ih))="" s d=$p(m,"^",2) q
 . i k="S" s x=$$sum(V(ih)) s:x="" d=$p(m,"^",3) s:x'="" V(ih)=x q
 . i k="D" s x=$$date(V(ih)) s:x="" d=$p(m,"^",3) s:x'="" V(ih)=x q
 . i k="N" s x=$$num(V(ih)) s:x="" d=$p(m,"^",3) s:x'="" V(ih)=x q
 . i k="I",$d(P("chk","INN")),'$$inn(V(ih)) s d=$p(m,"^",3) q
 . i k="B",$d(P("chk","KEY")),V(ih)'?9N s d=$p(m,"^",3) q
 . i k="A",$d(P("chk","KEY")),'$$key(V(ih),$g(V($p(m,"^",4)))) s d=$p(m,"^",3) q
 q d
 ;
find(t,V,P,ex,op) ;similar documents by the setting's search characteristics, and the unclosed ones
 n ih,k,id,ok,x,v
 q:'$d(P("fx"))
 ;Walk the index of one short characteristic, check the others on each candidate.
 s k="",ih="" f  s ih=$o(P("fx",ih)) q:ih=""  i $$ix(t,ih,$g(V(ih))) s k=ih q
 s id=""
 f  d  q:id=""
 . i k'="" s id=$o(^VELMDX(t,k,V(k),id))
 . e  f  s id=$o(^VELMD(id)) q:id=""  q:$p(^VELMD(id),"^")=t
 . q:id=""
 . s ok=1,x="" f  s x=$o(P("fx",x)) q:x=""  i $g(^VELMD(id,"v",x))'=$g(V(x)) s ok=0 q
 . q:'ok
 . i $l(ex)<240 s ex=ex_$s(ex="":"",1:",")_id
 . i $p(^VELMD(id),"^",2)=0,$l(op)<240 s op=op_$s(op="":"",1:",")_id
 q
 ;
ix(t,ih,v) ;1 when documents are indexed by this characteristic with this value
 q $p($g(^VELMM(t,"IH",ih)),"^")'="T"&(v'="")&($l(v)'>60)
 ;
fnok(f) ;the conversion functions of a field, by name; nothing else is ever run
 q:f="" 1
 q f'[","&(",UPPER,DIGITS,KOP,LTRIM0,MDY,"[(","_f_","))
 ;
fn(f,v) ;applies the conversion function f of a field to a value
 n w
 i f="" q v
 i f="UPPER" q $$up^ZZ001(v)
 i f="DIGITS" q $$digits(v)
 i f="KOP" q $s(v?1.17N:$j(v/100,0,2),1:v)
 i f="LTRIM0" f  q:$e(v)'="0"!($l(v)<2)  s v=$e(v,2,$l(v))
 i f="LTRIM0" q v
 i f="MDY" s w=$tr(v,"/-","..") q $s(w?1.2N1"."1.2N1"."2.4N:$p(w,".",2)_"."_$p(w,".")_"."_$p(w,".",3),1:v)
 q v
 ;
digits(v) n i,r s r=""
 f i=1:1:$l(v) s:$e(v,i)?1N r=r_$e(v,i)
 q r
 ;
sum(v) ;a positive sum with two decimals, "" when malformed
 n w s w=$tr(v,",",".")
 i w'?1.15N,w'?1.15N1"."0.2N,w'?1"."1.2N q ""
 i +w'>0 q ""
 q $j(+w,0,2)
 ;
date(v) ;a date as DD.MM.YYYY, "" when it is no valid date
 ;Taken as YYYYMMDD, YYYY-MM-DD, or DD.MM.YYYY and DD.MM.YY with ".", "/" or "-".
 n d,m,y,w
 s y=""
 i v?8N s y=$e(v,1,4),m=$e(v,5,6),d=$e(v,7,8)
 e  s w=$tr(v,"/-","..") d
 . i w?4N1"."1.2N1"."1.2N s y=$p(w,".",1),m=$p(w,".",2),d=$p(w,".",3) q
 . i w?1.2N1"."1.2N1"."2N!(w?1.2N1"."1.2N1"."4N) s d=$p(w,"."),m=$p(w,".",2),y=$p(w,".",3)
 i y="" q ""
 i $l(y)=2 s y=$s(y<70:2000+y,1:1900+y)
 s d=+d,m=+m,y=+y
 i y<1900!(y>2099)!(m<1)!(m>12)!(d<1) q ""
 i d>$s(m=2:28+(y#4=0&((y#100'=0)!(y#400=0))),1:$p("31,,31,30,31,30,31,31,30,31,30,31",",",m)) q ""
 q $e(100+d,2,3)_"."_$e(100+m,2,3)_"."_y
 ;
num(v) ;a document number: digits, not zero, without leading zeros
 i v'?1.9N q ""
 i +v=0 q ""
 q +v
 ;
inn(v) ;1 for a valid INN (10 or 12 digits with check digits) or "0" (none)
 i v="0" q 1
 i v?10N q $$ck(v,"2,4,10,3,5,9,4,6,8",9)=$e(v,10)
 i v?12N q ($$ck(v,"7,2,4,10,3,5,9,4,6,8",10)=$e(v,11))&($$ck(v,"3,7,2,4,10,3,5,9,4,6,8",11)=$e(v,12))
 q 0
 ;
ck(v,w,n) n i,s s s=0
 f i=1:1:n s s=$p(w,",",i)*$e(v,i)+s
 q s#11#10
 ;
key(a,b) ;1 when the 20-digit account a has the right control digit for the BIC b
 n s,i,x
 i a'?20N!(b'?9N) q 0
 s x=$s($e(b,7,9)="000":"0"_$e(b,5,6),1:$e(b,7,9))_a,s=0
 f i=1:1:23 s s=$e(x,i)*$p("7,1,3",",",i-1#3+1)#10+s
 q s#10=0
