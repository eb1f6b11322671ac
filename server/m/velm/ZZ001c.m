ZZ001c ;Velm gateway: creating and closing documents ;; cp1251
 ;A document made from a bank record is executed at once (closed). Documents entered
 ;in Velm before the bank has executed them stay unclosed until a bank record closes them.
 q
 ;
RecYB(row,fam,doc) ;money out: creates a document, or closes doc with this bank record
 q $$rec(1,$g(row),$g(fam),$g(doc))
 ;
RecYA(row,fam,doc) ;money in: the same
 q $$rec(2,$g(row),$g(fam),$g(doc))
 ;
rec(t,row,fam,doc) ;"" done, else the reason; the type written and the right checked are t's
 n user,r,V,n,ih,d,v
 s user=$$cur^%cplogG
 i user="" q "Вход в Вельм не выполнен"
 s r=$$flags^%caA03(user,$s(t=1:"YB",1:"YA"))
 i $e(r)'="1" q "Нет права на задачу """_$g(^VELMT(t,"Name"))_""""
 s fam=$$trim^ZZ001($$clean^ZZ001(fam))
 i fam="" q "Не указана фамилия"
 s row=$$clean^ZZ001(row,$c(2))
 ;%velmR: the characteristics and columns of the type, made once per process (the system
 ;tables change only on installation); piece n of the row is column n.
 i $g(%velmR)'=t k %velmR d meta^ZZ001b(t,.%velmR) s %velmR=t
 s n="" f  s n=$o(%velmR("g",n)) q:n=""  s v=$p(row,$c(2),n) s:$e(v)=" "!($e(v,$l(v))=" ") v=$$trim^ZZ001(v) s V(%velmR("g",n))=v
 s d=$$chk^ZZ001b(t,.V,.%velmR) i d'="" q d
 i doc'="" q $$close(t,.V,user,fam,doc,r)
 q $$make(t,.V,user,fam,1)
 ;
make(t,V,user,fam,state) ;a new document of task type t: state 1 executed, 0 unclosed
 ;The number comes from $INCREMENT inside the transaction: no lock, and a restart takes a
 ;fresh one.
 n id,ih
 ts ()
 s id=$i(^VELMD)
 s ^VELMD(id)=t_"^"_state_"^"_$h_"^"_user,^VELMD(id,"fam")=fam
 s ih="" f  s ih=$o(V(ih)) q:ih=""  i V(ih)'="" d
 . s ^VELMD(id,"v",ih)=V(ih)
 . i $$ix^ZZ001b(t,ih,V(ih)) s ^VELMDX(t,ih,V(ih),id)=""
 i 'state s ^VELMDO(t,id)=""
 i state s ^VELMD(id,"c")=$h_"^"_user,^VELMD(id,"cfam")=fam d count^ZZ001("made")
 tc
 q ""
 ;
close(t,V,user,fam,doc,r) ;closes the unclosed document doc with the bank record in V
 n ih
 i $e(r,2)'="1" q "Нет права закрывать документы"
 i doc'?1.12N!(doc'=+doc) q "Документ "_doc_" не найден"
 i '$d(^VELMD(doc)) q "Документ "_doc_" не найден"
 i $p(^VELMD(doc),"^")'=t q "Документ "_doc_" не найден"
 l +^VELMD(doc):5 e  q "Документ "_doc_" занят другим пользователем"
 i $p(^VELMD(doc),"^",2)'=0 l -^VELMD(doc) q "Документ "_doc_" уже закрыт"
 ts ()
 s $p(^VELMD(doc),"^",2)=1,^VELMD(doc,"c")=$h_"^"_user,^VELMD(doc,"cfam")=fam
 s ih="" f  s ih=$o(V(ih)) q:ih=""  s:V(ih)'="" ^VELMD(doc,"b",ih)=V(ih)
 k ^VELMDO(t,doc)
 d count^ZZ001("closed")
 tc
 l -^VELMD(doc)
 q ""
