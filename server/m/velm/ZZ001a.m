ZZ001a ;Velm gateway: client-banks, tasks, settings and their fields ;; cp1251
 ;Lists end each item with chr(1) (records with chr(1), fields by chr(2)); the automatic
 ;field list is the reverse pairing. Stored values are cleaned of control characters, so
 ;that nothing stored can break a reply.
 ;Every entry needs a login on this process; writers check the right they need here, since
 ;anyone may hold the gateway's XAPI account.
 q
 ;
cid(name) ;the number of a client-bank, "" when there is none of that name
 q:$g(name)="" ""
 q $g(^VELMCN(name))
 ;
Clist ;client-bank names in name order
 n n s n=""
 i $$need^%cplogG()
 f  s n=$o(^VELMCN(n)) q:n=""  w n,$c(1)
 q
 ;
Tlist ;the tasks, in number order: settings editor, money out, money in
 n t,f,r s t=""
 i $$need^%cplogG()
 f  s t=$o(^VELMT(t)) q:t=""  d
 . s r=t f f="Name","Client","Set","SName","DefFindEx","Menus" s r=r_$c(2)_$g(^VELMT(t,f))
 . w r,$c(1)
 q
 ;
Mlist(type) ;the characteristics of a task type, as "Caption[OB IH]"
 n n s type=$g(type)
 i $$need^%cplogG()
 q:'$$tok(type)
 s n="" f  s n=$o(^VELMM(type,n)) q:n'=+n  w ^VELMM(type,n),$c(1)
 q
 ;
tok(type) q (type=1)!(type=2)
 ;
Slist(clb) ;the settings of a client-bank in ascending Id order
 n c,s,f,r
 i $$need^%cplogG()
 s c=$$cid($g(clb)) q:c=""
 s s="" f  s s=$o(^VELMC(c,"S",s)) q:s=""  d
 . s r=s_$c(2)_$g(^VELMC(c,"S",s,"Name"))_$c(2)_clb
 . f f="Type","Path","File","Func","VFunc","FindEx" s r=r_$c(2)_$g(^VELMC(c,"S",s,f))
 . w r,$c(1)
 q
 ;
LoadSetRecs(clb,set) ;the fields of a setting in the order they were saved
 n c,f
 i $$need^%cplogG()
 s c=$$cid($g(clb)),set=$g(set) q:c=""  q:'$$idok(set)
 s f="" f  s f=$o(^VELMC(c,"S",set,"F",f)) q:f=""  w ^(f),$c(1)
 q
 ;
idok(id) q id?1.9N&(id=+id)&(id>0)
 ;
AutoSet(type) ;the fields of a typical client-bank export: Name, Type, Length, Precision, MAPX
 n n s type=$g(type)
 i $$need^%cplogG()
 q:'$$tok(type)
 s n="" f  s n=$o(^VELMA(type,n)) q:n=""  w ^(n),$c(2)
 q
 ;
SaveSetPar(clb,set,rec) ;creates or replaces a setting; its field list becomes empty
 ;The fields follow with SaveSetRec, so that exactly the rows sent remain.
 n c,f,i,t
 i $$edit^%caA03()
 s c=$$cid($g(clb)),set=$g(set),rec=$$clean^ZZ001($g(rec),$c(2))
 i c="" d err^ZZ001("VELM-NOCLB") q
 i '$$idok(set) d err^ZZ001("VELM-BADSET") q
 s t=$p(rec,$c(2),2) i '$$tok(t) d err^ZZ001("VELM-BADTYPE") q
 ts ()
 k ^VELMC(c,"S",set)
 s i=0 f f="Name","Type","Path","File","Func","VFunc","FindEx" s i=i+1,^VELMC(c,"S",set,f)=$p(rec,$c(2),i)
 s ^VELMC(c,"S",set,"V")=$g(^VELMC(c,"V"))+1,^VELMC(c,"V")=^VELMC(c,"S",set,"V")
 tc
 q
 ;
SaveSetRec(clb,set,rec) ;stores one field row of a setting: in place of the row with its Id, else after the others
 ;Rows are kept as sent, in the order sent: the editor may save rows it has not numbered yet.
 n c,n,id
 i $$edit^%caA03()
 s c=$$cid($g(clb)),set=$g(set),rec=$$clean^ZZ001($g(rec),$c(2))
 i c="" d err^ZZ001("VELM-NOCLB") q
 i '$$idok(set)!'$d(^VELMC(c,"S",set)) d err^ZZ001("VELM-NOSET") q
 s id=$p(rec,$c(2))
 ts ()
 s n=$s($$idok(id):$g(^VELMC(c,"S",set,"FI",id)),1:"")
 i n="" s n=$o(^VELMC(c,"S",set,"F",""),-1)+1 s:$$idok(id) ^VELMC(c,"S",set,"FI",id)=n
 s ^VELMC(c,"S",set,"F",n)=$p(rec,$c(2),1,10)
 s ^VELMC(c,"S",set,"V")=$g(^VELMC(c,"V"))+1,^VELMC(c,"V")=^VELMC(c,"S",set,"V")
 tc
 q
 ;
DelSet(clb,set) ;deletes a setting with its fields; one that is not there is deleted already
 n c
 i $$edit^%caA03()
 s c=$$cid($g(clb)),set=$g(set)
 i c="" d err^ZZ001("VELM-NOCLB") q
 i '$$idok(set) d err^ZZ001("VELM-BADSET") q
 ts ()  k ^VELMC(c,"S",set) s ^VELMC(c,"V")=$g(^VELMC(c,"V"))+1 tc
 q
 ;
SaveTask(rec) ;stores what the gateway keeps in a task: Client, Set, SName, Menus
 ;Id, Name and DefFindEx belong to the system and are not taken from the gateway.
 ;The task's own right, or the settings right (the editor detaches deleted client-banks).
 n t,s,u
 s u=$$need^%cplogG()
 s rec=$$clean^ZZ001($g(rec),$c(2,3,4)),t=$p(rec,$c(2))
 i t'?1N!'$d(^VELMT(+t)) d err^ZZ001("VELM-NOTASK") q
 s t=+t,s=$p(rec,$c(2),4)
 i $$lvl^%caA03(u,"NL",2)'="1",(t=0)!($e($$flags^%caA03(u,$s(t=1:"YB",1:"YA")))'="1") d err^ZZ001("VELM-NORIGHT") q
 i s'="",'$$idok(s) d err^ZZ001("VELM-BADSET") q
 ts ()
 s ^VELMT(t,"Client")=$p(rec,$c(2),3),^VELMT(t,"Set")=s
 s ^VELMT(t,"SName")=$p(rec,$c(2),5),^VELMT(t,"Menus")=$e($p(rec,$c(2),7),1,254)
 tc
 q
 ;
AddCLB(clb) ;creates a client-bank; writes a refusal text when it cannot
 n u,c
 i $$edit^%caA03()
 s clb=$g(clb)
 i $$trim^ZZ001(clb)="" w "Имя клиент-банка должно быть определено" q
 i clb'=$$clean^ZZ001(clb) w "Имя клиент-банка содержит недопустимые символы" q
 i $l(clb)>40 w "Имя клиент-банка не должно быть длиннее 40 символов" q
 s u=$$up^ZZ001(clb)
 i $d(^VELMCX(u)) w "Клиент-банк с таким именем уже существует." q
 l +^VELMC:10 e  d err^ZZ001("VELM-BUSY") q
 ts ()
 s c=$g(^VELMC)+1,^VELMC=c
 s ^VELMC(c)=clb,^VELMCN(clb)=c,^VELMCX(u)=c
 tc
 l -^VELMC
 q
 ;
DelCLB(clb) ;deletes a client-bank that has no settings; "" done, else a refusal text
 n c
 i $$edit^%caA03()
 s c=$$cid($g(clb))
 i c="" q "Клиент-банк "_$g(clb)_" не найден"
 i $d(^VELMC(c,"S")) q "Клиент-банк "_clb_" нельзя удалить: у него есть настройки"
 ts ()
 k ^VELMC(c),^VELMCN(clb),^VELMCX($$up^ZZ001(clb))
 tc
 q ""
