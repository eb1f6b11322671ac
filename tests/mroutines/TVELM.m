TVELM ;tests of the gateway's server routines inside GT.M, run by run.sh ;; cp1251
 q
 ;
main ;one connection: every routine on the seeded data
 n c1,c2,c3,c4,clb,t,x,y,s1,i,L,In,id,id1,id2,id3,rec,row1,row4
 s c1=$c(1),c2=$c(2),c3=$c(3),c4=$c(4),clb=$$clb^VELMDEMO
 d SEED^VELMDEMO("/data/demo")
 s s1=$$snap d SEED^VELMDEMO("/data/demo")
 d eq("a second seed changes nothing",$$snap,s1)
 d eq("no login, no lists",$$ec("d Tlist^ZZ001a"),",UVELM-NOLOGIN,")
 d eq("first login",$$login^%cplogG(1,"velm1","lich1"),"")
 d eq("sha-256",$$sha^%cplogG("abc"),"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad")
 d eq("sha-256 two blocks",$$sha^%cplogG($tr($j("",200)," ","a")),"c2a908d98f5df987ade41b5fce213067efbcc21ef2240212a41e54b5e7c28ae5")
 ;
 ;Lists and tables of the settings exchange
 s x="0"_c2_"Редактор настроек"_c2_clb_c2_"1"_c2_"Расход (демо)"_c2_c2_clb_c4_1_c4_"Расход (демо)"_c3_clb_c4_2_c4_"Приход (демо)"_c1
 s x=x_"1"_c2_"Деньги: Расход"_c2_clb_c2_"1"_c2_"Расход (демо)"_c2_"NUMDOC,DATADOC,SUMMA"_c2_clb_c4_1_c4_"Расход (демо)"_c1
 s x=x_"2"_c2_"Деньги: Приход"_c2_clb_c2_"2"_c2_"Приход (демо)"_c2_"NUMDOC,DATADOC,SUMMA"_c2_clb_c4_2_c4_"Приход (демо)"_c1
 d eq("Tlist",$$out("d Tlist^ZZ001a"),x)
 s y="/data/demo"_c2_"%"_c2_"DOS"_c2_"INN,KEY"_c2_"NUMDOC,DATADOC,SUMMA"_c1
 s x="1"_c2_"Расход (демо)"_c2_clb_c2_"1"_c2_$p(y,"%")_"clbout.dbf"_$p(y,"%",2)
 s x=x_"2"_c2_"Приход (демо)"_c2_clb_c2_"2"_c2_$p(y,"%")_"clbin.dbf"_$p(y,"%",2)
 d eq("Slist of the demo client-bank",$$out("d Slist^ZZ001a(clb)"),x)
 d eq("Slist of an unknown client-bank",$$out("d Slist^ZZ001a(""Нет такого"")"),"")
 s x=$$out("d LoadSetRecs^ZZ001a(clb,1)")
 d eq("LoadSetRecs rows",$l(x,c1)-1_$e(x,$l(x)),12_c1)
 d eq("LoadSetRecs first",$p(x,c1),"1"_c2_"NUMDOC"_c2_"STRING"_c2_"6"_c2_"0"_c2_"Номер[PP NUMDOC]"_c2_"PP"_c2_"NUMDOC"_c2_c2_"1")
 d eq("LoadSetRecs sum",$p(x,c1,3),"3"_c2_"SUMMA"_c2_"FLOAT"_c2_"15"_c2_"2"_c2_"Сумма[PP SUMMA]"_c2_"PP"_c2_"SUMMA"_c2_c2_"6")
 s x=$$out("d AutoSet^ZZ001a(1)")
 d eq("AutoSet records",$l(x,c2)-1_$e(x,$l(x)),12_c2)
 d eq("AutoSet first",$p(x,c2),"NUMDOC"_c1_"STRING"_c1_"6"_c1_"0"_c1_"Номер[PP NUMDOC]")
 d eq("AutoSet date",$p(x,c2,2),"DATEDOC"_c1_"DATE"_c1_"8"_c1_"0"_c1_"Дата[PP DATADOC]")
 d eq("AutoSet money in",$p($p($$out("d AutoSet^ZZ001a(2)"),c2,3),c1,5),"Сумма[PV SUMMA]")
 d eq("AutoSet of the settings editor",$$out("d AutoSet^ZZ001a(0)")_$$out("d Mlist^ZZ001a(0)")_$$out("d GetFields^ZZ001b(0)"),"")
 s x=$$out("d Mlist^ZZ001a(1)"),y=$$out("d GetFields^ZZ001b(1)")
 d eq("Mlist entries",$l(x,c1)-1_$p(x,c1,3),"12Сумма[PP SUMMA]")
 f i=1:1:12 s t=$p(x,c1,i) d
 . d eq("characteristic "_t,t?1.E1"["2U1" "1.U1"]"&($p(t,"[")'[" ")&($p($p(t,"[",2)," ")="PP"),1)
 . d eq("column of "_t,y[(c1_$p($p(t," ",2),"]")_c2)!($p(y,c2)=$p($p(t," ",2),"]")),1)
 d eq("GetFields columns",$l(y,c1)-1,12)
 d eq("GetFields: the fifth column is the number",$p(y,c1,5),"NUMDOC"_c2_"Номер док."_c2)
 d eq("GetFields: the sum is right-aligned",$p(y,c1,2),"SUMMA"_c2_"Сумма"_c2_"2")
 ;
 ;Client-banks and settings
 s t="Тестовый Банк"
 d eq("AddCLB",$$out("d AddCLB^ZZ001a(t)"),"")
 d eq("AddCLB in other letter case",$$out("d AddCLB^ZZ001a(""тЕСТОВЫЙ бАНК"")"),"Клиент-банк с таким именем уже существует.")
 d eq("AddCLB blank",$$out("d AddCLB^ZZ001a(""  "")"),"Имя клиент-банка должно быть определено")
 d eq("AddCLB separator",$$out("d AddCLB^ZZ001a(""A""_$c(1)_""B"")"),"Имя клиент-банка содержит недопустимые символы")
 d eq("Clist",$$out("d Clist^ZZ001a"),$$clb1c^VELMDEMO_c1_clb_c1_t_c1)
 d SaveSetPar^ZZ001a(t,10,"Десять"_c2_"1"_c2_"/p"_c2_"a.dbf"_c2_c2_c2_"NUMDOC")
 d SaveSetPar^ZZ001a(t,2,"Два"_c2_"2")
 d SaveSetPar^ZZ001a(t,5,"Пять"_c2_"1")
 s x=$$out("d Slist^ZZ001a(t)")
 d eq("Slist in ascending Id order",$p($p(x,c1),c2)_","_$p($p(x,c1,2),c2)_","_$p($p(x,c1,3),c2)_","_$p(x,c1,4),"2,5,10,")
 d eq("Slist: a short record",$p(x,c1),"2"_c2_"Два"_c2_t_c2_"2"_c2_c2_c2_c2_c2)
 f i=1:1:3 d SaveSetRec^ZZ001a(t,5,i_c2_"F"_i_c2_"STRING"_c2_"10"_c2_"0"_c2_c2_c2_c2_c2_"1")
 d SaveSetPar^ZZ001a(t,5,"Пять"_c2_"1")
 d SaveSetRec^ZZ001a(t,5,"1"_c2_"A"_c2_"STRING"_c2_"4")
 d SaveSetRec^ZZ001a(t,5,"2"_c2_"B"_c2_"DATE"_c2_"8"_c2_"0"_c2_"Дата[PP DATADOC]"_c2_"PP"_c2_"DATADOC"_c2_c2_"9")
 d eq("SaveSetPar replaces the field list",$$out("d LoadSetRecs^ZZ001a(t,5)"),"1"_c2_"A"_c2_"STRING"_c2_"4"_c1_"2"_c2_"B"_c2_"DATE"_c2_"8"_c2_"0"_c2_"Дата[PP DATADOC]"_c2_"PP"_c2_"DATADOC"_c2_c2_"9"_c1)
 d eq("SaveSetPar, unknown client-bank",$$ec("d SaveSetPar^ZZ001a(""Нет"",1,""X""_$c(2)_1)"),",UVELM-NOCLB,")
 d eq("SaveSetPar, bad Id",$$ec("d SaveSetPar^ZZ001a(t,""1a"",""X""_$c(2)_1)"),",UVELM-BADSET,")
 d eq("SaveSetPar, bad type",$$ec("d SaveSetPar^ZZ001a(t,3,""X""_$c(2)_7)")_$d(^VELMC($$cid^ZZ001a(t),"S",3)),",UVELM-BADTYPE,0")
 d eq("SaveSetRec, unknown setting",$$ec("d SaveSetRec^ZZ001a(t,77,1)"),",UVELM-NOSET,")
 ;A row without a valid Id (the editor saves rows it has not numbered) is kept, after the others
 d eq("SaveSetRec, row without an Id",$$ec("d SaveSetRec^ZZ001a(t,5,""x""_$c(2)_""A"")")_$p($$out("d LoadSetRecs^ZZ001a(t,5)"),c1,3),"x"_c2_"A")
 d SaveSetRec^ZZ001a(t,5,"1"_c2_"A2"_c2_"STRING"_c2_"4")
 d eq("SaveSetRec replaces the row with its Id in its place",$p($p($$out("d LoadSetRecs^ZZ001a(t,5)"),c1,1),c2,2)_$l($$out("d LoadSetRecs^ZZ001a(t,5)"),c1),"A24")
 d eq("DelCLB with settings",$$DelCLB^ZZ001a(t),"Клиент-банк Тестовый Банк нельзя удалить: у него есть настройки")
 f i=2,5,10 d DelSet^ZZ001a(t,i)
 d eq("DelSet",$$out("d Slist^ZZ001a(t)"),"")
 d eq("DelCLB",$$DelCLB^ZZ001a(t)_$$out("d Clist^ZZ001a"),$$clb1c^VELMDEMO_c1_clb_c1)
 d eq("DelCLB unknown",$$DelCLB^ZZ001a(t),"Клиент-банк Тестовый Банк не найден")
 d eq("AddCLB after DelCLB",$$out("d AddCLB^ZZ001a(t)")_$$DelCLB^ZZ001a(t),"")
 ;
 ;Tasks keep the gateway's part only
 d SaveTask^ZZ001a("1"_c2_"Другое имя"_c2_clb_c2_"2"_c2_"Приход (демо)"_c2_"X"_c2_"m1"_c3_"m2")
 d eq("SaveTask",$p($$out("d Tlist^ZZ001a"),c1,2),"1"_c2_"Деньги: Расход"_c2_clb_c2_"2"_c2_"Приход (демо)"_c2_"NUMDOC,DATADOC,SUMMA"_c2_"m1"_c3_"m2")
 d SaveTask^ZZ001a("1"_c2_c2_clb_c2_"1"_c2_"Расход (демо)"_c2_c2_clb_c4_1_c4_"Расход (демо)")
 d eq("SaveTask, unknown task",$$ec("d SaveTask^ZZ001a(""7""_$c(2)_""X"")"),",UVELM-NOTASK,")
 ;
 ;Rights and login
 d eq("settings right",$$3^%caA03(1,"NL","2")_$$3^%caA03(1,"NL","3"),"10")
 d eq("task rights",$$1^%caA03(1,"YB")_","_$$1^%caA03(1,"YA")_","_$$1^%caA03(1,"ZZ"),"11,11,00")
 d eq("another user's rights",$$ec("s x=$$1^%caA03(2,""YB"")")_$$ec("s x=$$3^%caA03(99,""NL"",2)"),",UVELM-NOTYOURS,,UVELM-NOTYOURS,")
 d logout^%cplogG
 d eq("no login, no rights",$$ec("s x=$$3^%caA03(1,""NL"",2)")_$$ec("d LockTO^ZZ001"),",UVELM-NOLOGIN,,UVELM-NOLOGIN,")
 s x="Неверный номер пользователя или пароль"
 d eq("login, wrong password",$$login^%cplogG(1,"velm2","lich1"),x)
 d eq("login, wrong personal password",$$login^%cplogG(1,"velm1",""),x)
 d eq("login, unknown user",$$login^%cplogG(99,"velm1","lich1"),x)
 d eq("login, user number not canonical",$$login^%cplogG("01","velm1","lich1")_"|"_$$login^%cplogG("","",""),x_"|"_x)
 d eq("passwords stored hashed",^VELMU(1,"pw")?1"S1$25$"16AN1"$"64AN&(^VELMU(1,"pw")'["velm1")&(^VELMU(1,"pw")'=^VELMU(2,"pw")),1)
 d eq("documents need a login",$$RecYB^ZZ001c("x","Петров"),"Вход в Вельм не выполнен")
 d eq("login",$$login^%cplogG(1,"velm1","lich1"),"")
 d eq("login again on the same connection",$$login^%cplogG(1,"velm1","lich1"),"")
 d eq("exclusive lock",$$out("d LockTO^ZZ001")_$$out("d LockTO^ZZ001")_$$out("d UnLockTO^ZZ001")_$$out("d LockTO^ZZ001"),"111")
 ;
 ;Records of the sample files through the demo settings
 d read("out.txt",.L),read("in.txt",.In)
 d eq("sample files",$d(L(6))_$d(In(3)),"11")
 s id1=$p(^VELMDEMO("orders"),","),id2=$p(^VELMDEMO("orders"),",",2),id3=$p(^VELMDEMO("orders"),",",3)
 s x=c2_id1_c2_id1_c2_"0"_c2_"04.03.2024"_c2_"15000.00"_c2_"ООО ""Ромашка"""_c2_"ООО ""Вектор"""_c2_"101"_c2
 s x=x_"7701234560"_c2_"40702810338000012345"_c2_"044525999"_c2_"5003123458"_c2_"40702810100000000777"_c2_"044525888"_c2
 s x=x_"Оплата по счету № 17 от 01.03.2024, в т.ч. НДС 20% 2500.00"_c2
 d eq("PDVelm: a record like an unclosed order",$$pd(1,L(1)),x)
 d eq("PDVelm: the other orders",$p($$pd(1,L(2)),c2,1,4)_"|"_$p($$pd(1,L(3)),c2,1,4),c2_id2_c2_id2_c2_"0|"_c2_id3_c2_id3_c2_"0")
 s x=$$pd(1,L(4))
 d eq("PDVelm: a new record",$p(x,c2,1,4)_"|"_$l(x,c2)_"|"_$p(x,c2,17),c2_c2_c2_"1|17|")
 d eq("PDVelm: CP866 converted",$p(x,c2,7),"ООО ""Ромашка""")
 d eq("PDVelm: sum with two decimals",$p(x,c2,6)?1.N1"."2N,1)
 s rec=L(4)
 d eq("PDVelm: malformed sum",$p($$pd(1,$$set(rec,3,"12,3,4")),c2),"Неверная сумма")
 d eq("PDVelm: missing sum",$p($$pd(1,$$set(rec,3,"")),c2),"Не указана сумма")
 d eq("PDVelm: zero sum",$p($$pd(1,$$set(rec,3,"0")),c2),"Неверная сумма")
 d eq("PDVelm: sum with a comma",$p($$pd(1,$$set(rec,3,"1234,5")),c2,1,6),c2_c2_c2_"1"_c2_$p(x,c2,5)_c2_"1234.50")
 d eq("PDVelm: impossible date",$p($$pd(1,$$set(rec,2,"31.02.2024")),c2),"Неверная дата документа")
 d eq("PDVelm: missing date",$p($$pd(1,$$set(rec,2,"")),c2),"Не указана дата документа")
 d eq("PDVelm: other date forms",$p($$pd(1,$$set(rec,2,"20240229")),c2,5)_$p($$pd(1,$$set(rec,2,"2024-03-07")),c2,5),"29.02.202407.03.2024")
 d eq("PDVelm: malformed number",$p($$pd(1,$$set(rec,1,"12A")),c2)_"|"_$p($$pd(1,$$set(rec,1,"12A")),c2,9),"Неверный номер документа|12A")
 d eq("PDVelm: missing number",$p($$pd(1,$$set(rec,1,"")),c2),"Не указан номер документа")
 s y=$p(rec,c2,9) d eq("PDVelm: bad INN",$p($$pd(1,$$set(rec,9,$e(y,1,9)_($e(y,10)+1#10))),c2),"Неверный ИНН получателя")
 d eq("account keys: a bank's, the single treasury account, a treasury account, a wrong digit",$$key^ZZ001b("40702810338000012345","044525999")_$$key^ZZ001b("40102810445370000059","017003983")_$$key^ZZ001b("03100643000000018500","017003983")_$$key^ZZ001b("40702810338000012346","044525999"),"1110")
 s y=$p(rec,c2,10) d eq("PDVelm: bad account key",$p($$pd(1,$$set(rec,10,$e(y,1,8)_($e(y,9)+1#10)_$e(y,10,20))),c2),"Неверный счет получателя")
 d eq("PDVelm: separators in a value",$$pd(1,$$set(rec,12,"A"_c1_"B"_c4))[(c2_"A B"_c2),1)
 d eq("PDVelm: unknown setting",$$pd(9,rec)_"|"_$$out("d PDVelm^ZZ001b(""Нет"",1,rec)"),"Настройка не найдена"_c2_c2_c2_"0"_c2_"|Настройка не найдена"_c2_c2_c2_"0"_c2)
 s i=$$cid^ZZ001a(clb),y=^VELMC(i,"S",1,"F",1)
 s $p(^VELMC(i,"S",1,"F",1),c2,9)="X(1)" d SaveSetRec^ZZ001a(clb,1,^VELMC(i,"S",1,"F",1))
 d eq("PDVelm: a function outside the whitelist",$p($$pd(1,rec),c2),"Неизвестная функция преобразования X(1)")
 s $p(y,c2,9)="ltrim0" d SaveSetRec^ZZ001a(clb,1,y)
 d eq("PDVelm: a whitelisted function",$p($$pd(1,$$set(rec,1,"000123")),c2,9),"123")
 s $p(y,c2,9)="" d SaveSetRec^ZZ001a(clb,1,y)
 ;
 ;Creating and closing documents, and what the work says at its end
 d TOinGL^ZZ001
 d eq("GLinTO before any document",$$out("d GLinTO^ZZ001"),"")
 s row4=$p(x,c2,5,16),row1=$p($$pd(1,L(1)),c2,5,16)
 d eq("RecYB creates",$$RecYB^ZZ001c(row4,"Петров"),"")
 s id=^VELMD
 d eq("the created document is similar and closed",$p($$pd(1,L(4)),c2,1,4),c2_id_c2_c2_"0")
 d eq("the document's values",^VELMD(id,"v","SUMMA")_"|"_^VELMD(id,"fam")_"|"_$p(^VELMD(id),"^",1,2),$p(row4,c2,2)_"|Петров|1^1")
 d eq("RecYB closes",$$RecYB^ZZ001c(row1,"Петров",id1),"")
 d eq("the closed order is similar, no more unclosed",$p($$pd(1,L(1)),c2,1,4),c2_id1_c2_c2_"0")
 d eq("the bank record kept on the order",^VELMD(id1,"b","NUMDOC")_"|"_^VELMD(id1,"cfam"),"101|Петров")
 d eq("closing a closed document",$$RecYB^ZZ001c(row1,"Петров",id1),"Документ "_id1_" уже закрыт")
 d eq("closing an unknown document",$$RecYB^ZZ001c(row1,"Петров",9999)_"|"_$$RecYB^ZZ001c(row1,"Петров","1x"),"Документ 9999 не найден|Документ 1x не найден")
 d eq("RecYB refuses a malformed row",$$RecYB^ZZ001c($$set(row4,2,"1.234"),"Петров"),"Неверная сумма")
 d eq("RecYB needs a surname",$$RecYB^ZZ001c(row4,"  "),"Не указана фамилия")
 d eq("GLinTO after the work",$$out("d GLinTO^ZZ001"),"За время работы создано документов: 1, закрыто документов: 1")
 s x=$$out("d PDVelm^ZZ001b(clb,2,In(1))")
 d eq("PDVelm money in",$p(x,c2,1,4)_"|"_$p(x,c2,8),c2_c2_c2_"1|ООО ""Ромашка""")
 d eq("RecYA creates",$$RecYA^ZZ001c($p(x,c2,5,16),"Петров"),"")
 d eq("RecYA does not close a money-out document",$$RecYA^ZZ001c($p(x,c2,5,16),"Петров",id2),"Документ "_id2_" не найден")
 d eq("GLinTO counts both tasks",$$out("d GLinTO^ZZ001"),"За время работы создано документов: 2, закрыто документов: 1")
 d eq("user 3",$$login^%cplogG(3,"velm3","lich3")_$$RecYA^ZZ001c($p(x,c2,5,16),"Сидоров"),"Нет права на задачу ""Деньги: Приход""")
 s ^VELMU(3,"R","YB")="10"
 d eq("no right to close",$$RecYB^ZZ001c(row1,"Сидоров",id2),"Нет права закрывать документы")
 s ^VELMU(3,"R","YB")="11"
 d eq("the order is still unclosed",$p(^VELMD(id2),"^",2)_$d(^VELMDO(1,id2)),"01")
 d logout^%cplogG
 d eq("logout",$$RecYB^ZZ001c(row4,"Петров"),"Вход в Вельм не выполнен")
 w "done main",!
 q
 ;
 ;Two connections: hold runs in a second process, driven through ^TEST
hold n i,ok
 s ok=$$login^%cplogG(2,"velm2","lich2") d LockTO^ZZ001
 s ^TEST("ack")="held"
 f i=1:1:600 h .1 d:$g(^TEST("cmd"))'=""
 . i ^TEST("cmd")="logout" d UnLockTO^ZZ001,logout^%cplogG s ^TEST("cmd")="",^TEST("ack")="free" q
 . i ^TEST("cmd")="login" s ok=$$login^%cplogG(2,"velm2","lich2") d LockTO^ZZ001 s ^TEST("cmd")="",^TEST("ack")="held"
 q
cmd s ^TEST("ack")="",^TEST("cmd")=$zcmdline q
ack w $g(^TEST("ack")) q
 ;
busy ;another connection holds user 2 and the exclusive lock
 d eq("second login of a live session",$$login^%cplogG(2,"velm2","lich2"),"1")
 d eq("another user may log in",$$login^%cplogG(1,"velm1","lich1"),"")
 d eq("exclusive lock refused",$$out("d LockTO^ZZ001"),"0")
 w "done busy",!
 q
free ;the other connection has logged out or died
 d eq("login once the session is gone",$$login^%cplogG(2,"velm2","lich2"),"")
 d eq("exclusive lock granted",$$out("d LockTO^ZZ001"),"1")
 d UnLockTO^ZZ001,logout^%cplogG
 w "done free",!
 q
 ;
 ;Helpers
eq(what,got,exp) ;reports a difference
 q:got=exp
 w "FAIL ",what,!,"  got: ",$$show(got),!,"  exp: ",$$show(exp),!
 q
show(s) n i,r,c s r=""
 f i=1:1:$l(s) s c=$a(s,i),r=r_$s(c<32:"<"_c_">",1:$c(c))
 q r
out(%c) ;what the command line %c writes to the current device
 n %f,%x s %f="cap.txt",%x=""
 o %f:(newversion:stream:nowrap) u %f x %c u $p c %f
 o %f:(readonly:stream:nowrap) u %f r:'$zeof %x u $p c %f
 q %x
ec(%c) ;the $ECODE that the command line %c raises, "" when none
 n %e s %e=""
 d ecx(%c)
 q %e
ecx(%c) n $et s $et="s:%e="""" %e=$ec s $ec="""" q" x %c
 ;(an error raised inside an extrinsic is the first one: quitting it without a value is the next)
 q
pd(set,rec) q $$out("d PDVelm^ZZ001b(clb,set,rec)")
set(rec,n,v) s $p(rec,$c(2),n)=v q rec
read(f,A) n i,x s i=0
 o f:(readonly) u f f  r x q:$zeof  s i=i+1,A(i)=x
 u $p c f
 q
snap() ;every node of the gateway's globals
 n g,q,r s r=""
 f g="^VELMU","^VELMT","^VELMM","^VELMG","^VELMA","^VELMC","^VELMCN","^VELMCX","^VELMD","^VELMDX","^VELMDO","^VELMDEMO" d
 . s q=g i $d(@q)#2 s r=r_q_"="_@q_$c(1)
 . f  s q=$q(@q) q:q=""  s r=r_q_"="_@q_$c(1)
 q r
