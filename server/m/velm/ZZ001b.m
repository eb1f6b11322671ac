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
 s clb=$g(clb),set=$g(set),rec=$g(rec),d="",t=0,ex="",op=""
 ;%velmP: a copy of the compiled setting last used, so that it can be passed by reference; the
 ;records of a file name the same one, which is taken again while its version is the same.
 i $g(%velmP("k"))=(clb_$c(1)_set),%velmP("v")'="",$g(^VELMC(%velmP("c"),"S",set,"V"))=%velmP("v") s c=%velmP("c"),t=%velmP("type"),d=%velmP("d")
 e  d
 . s c=$$cid^ZZ001a(clb)
 . i c=""!'$$idok^ZZ001a(set) s d="Настройка не найдена" q
 . i '$d(^VELMC(c,"S",set)) s d="Настройка не найдена" q
 . s d=$$load(c,set),t=%velm("ps",c,set,"type")
 . k %velmP m %velmP=%velm("ps",c,set)
 . s %velmP("k")=clb_$c(1)_set,%velmP("c")=c,%velmP("v")=%velm("ps",c,set)
 i t,$$run^%caA03(t)
 i t d
 . ;The record is cleaned and converted once, its separators kept; then split.
 . s rec=$s(%velmP("dos"):$$cldos^ZZ001(rec),1:$$clean^ZZ001(rec,$c(2)))
 . ;Most values have no blanks to trim and no function: no call for them.
 . s fid="" f  s fid=$o(%velmP("f",fid)) q:fid=""  s x=%velmP("f",fid),v=$p(rec,$c(2),fid) d
 .. s:$e(v)=" "!($e(v,$l(v))=" ") v=$$trim^ZZ001(v)
 .. s:$p(x,"^",2)'="" v=$$fn($p(x,"^",2),v)
 .. s V($p(x,"^"))=$e(v,1,256)
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
 ;Only the characteristics that need a look, in their order (plan): this runs for every record.
 n i,x,ih,v,o,d
 i '$d(P("m")) d meta(t,.P)
 i '$d(P("pl")) d plan(.P)
 s d=""
 f i=1:1:P("pl") s x=P("pl",i),ih=$p(x,"^"),v=$g(V(ih)),o=$p(x,"^",2) d  q:d'=""
 . i v="" s d=$p(x,"^",3) q
 . i o="S" s v=$$sum(v) s:v="" d=$p(x,"^",4) s:v'="" V(ih)=v q
 . i o="D" s v=$$date(v) s:v="" d=$p(x,"^",4) s:v'="" V(ih)=v q
 . i o="N" s v=$$num(v) s:v="" d=$p(x,"^",4) s:v'="" V(ih)=v q
 . i o="I" s:'$$inn(v) d=$p(x,"^",4) q
 . i o="B" s:v'?9N d=$p(x,"^",4) q
 . i o="A" s:'$$key(v,$g(V($p(x,"^",5)))) d=$p(x,"^",4)
 q d
 ;
plan(P) ;P("pl",i): "ih^what^missing^malformed^bic" for each characteristic that needs a look
 ;what: S, D, N normalise; I, B, A check when the setting asks (VFunc); R only must be there.
 ;P("mk",ih): the kind of each characteristic.
 n n,m,k,o,i
 s n="",i=0
 f  s n=$o(P("m",n)) q:n=""  s m=P("m",n),k=$p(m,"^",2),P("mk",$p(m,"^"))=k d
 . s o=$s(k="S"!(k="D")!(k="N"):k,k="I"&$d(P("chk","INN")):k,(k="B")!(k="A")&$d(P("chk","KEY")):k,1:"R")
 . i o="R",$p(m,"^",3)="" q
 . s i=i+1,P("pl",i)=$p(m,"^")_"^"_o_"^"_$p(m,"^",3,5)
 s P("pl")=i
 q
 ;
find(t,V,P,ex,op) ;similar documents by the setting's search characteristics, and the unclosed ones
 n ih,k,id,ok,x,v
 q:'$d(P("fx"))
 ;Walk the index of one short characteristic, check the others on each candidate. The index
 ;walked is the likeliest to be short: a number before a sum, a date last (a day holds many).
 i '$d(P("pl")) d plan(.P)
 n r,best s k="",best=9,ih=""
 f  s ih=$o(P("fx",ih)) q:ih=""  s x=$g(P("mk",ih)) i $$ixk(x,$g(V(ih))) s r=$s(x="":8,$f("NSAIBD",x):$f("NSAIBD",x),1:8) i r<best s k=ih,best=r
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
 q $$ixk($p($g(^VELMM(t,"IH",ih)),"^"),v)
 ;
ixk(k,v) ;the same for a characteristic of kind k: any kind but text, a short value
 q k'="T"&(v'="")&($l(v)'>60)
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
 ;The weighted sums written out: this runs for every record, twice.
 i v="0" q 1
 i v?10N q ($e(v)*2+($e(v,2)*4)+($e(v,3)*10)+($e(v,4)*3)+($e(v,5)*5)+($e(v,6)*9)+($e(v,7)*4)+($e(v,8)*6)+($e(v,9)*8)#11#10)=$e(v,10)
 i v?12N q ($e(v)*7+($e(v,2)*2)+($e(v,3)*4)+($e(v,4)*10)+($e(v,5)*3)+($e(v,6)*5)+($e(v,7)*9)+($e(v,8)*4)+($e(v,9)*6)+($e(v,10)*8)#11#10=$e(v,11))&($e(v)*3+($e(v,2)*7)+($e(v,3)*2)+($e(v,4)*4)+($e(v,5)*10)+($e(v,6)*3)+($e(v,7)*5)+($e(v,8)*9)+($e(v,9)*4)+($e(v,10)*6)+($e(v,11)*8)#11#10=$e(v,12))
 q 0
 ;
key(a,b) ;1 when the 20-digit account a has the right control digit for the BIC b
 ;An account at a credit organisation is keyed with the BIC's last three digits; one at a
 ;settlement centre (BIC ending 000) and the single treasury account (40102...) with "0" and
 ;the BIC's fifth and sixth digits. A treasury account (03...) has no key of this kind.
 i a'?20N!(b'?9N) q 0
 i $e(a,1,2)="03" q 1
 q $$k3($s($e(b,7,9)="000"!($e(a,1,5)="40102"):"0"_$e(b,5,6),1:$e(b,7,9))_a)
 ;
k3(x) ;1 when the 23 digits weighted 7, 1, 3 in turn sum to a multiple of 10 (written out: this
 ;runs twice for every record)
 q '($e(x)*7+$e(x,2)+($e(x,3)*3)+($e(x,4)*7)+$e(x,5)+($e(x,6)*3)+($e(x,7)*7)+$e(x,8)+($e(x,9)*3)+($e(x,10)*7)+$e(x,11)+($e(x,12)*3)+($e(x,13)*7)+$e(x,14)+($e(x,15)*3)+($e(x,16)*7)+$e(x,17)+($e(x,18)*3)+($e(x,19)*7)+$e(x,20)+($e(x,21)*3)+($e(x,22)*7)+$e(x,23)#10)
