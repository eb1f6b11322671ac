VELMDEMO ;Velm gateway: system tables and demo data ;; cp1251
 ;SEED^VELMDEMO(dir): dir is the folder of the sample files clbout.dbf and clbin.dbf; the demo's
 ;bank statement in the 1C exchange format, kl_to_1c.txt, is written there too.
 ;Run again it changes nothing that is already there: the system tables (tasks' names,
 ;characteristics, columns, automatic fields) are rewritten as they are defined here,
 ;users, the client-banks, their settings and the demo orders are made only when missing.
 q
 ;
SEED(dir) ;system tables and demo data
 ;The settings are written through the server routines, as the demo's first user (who holds
 ;the settings right) would write them.
 n %velm
 d SYS
 d USERS
 s %velm("user")=1
 d DATA($g(dir))
 d DATA1C($g(dir))
 q
 ;
SYS ;tasks, characteristics per task type, columns per task, automatic fields
 n t,i,l,ob,ih
 f t=0,1,2 s ^VELMT(t,"Name")=$p("Редактор настроек;Деньги: Расход;Деньги: Приход",";",t+1)
 f t=0,1,2 s ^VELMT(t,"DefFindEx")=$s(t:"NUMDOC,DATADOC,SUMMA",1:"")
 f t=0,1,2 f i="Client","Set","SName","Menus" s:'$d(^VELMT(t,i)) ^VELMT(t,i)=""
 k ^VELMM,^VELMG,^VELMA
 f t=1,2 s ob=$s(t=1:"PP",1:"PV") f i=1:1 s l=$p($t(CH+i),";;",2,99) q:l=""  d
 . s ih=$p(l,";",2)
 . s ^VELMM(t,i)=$p(l,";")_"["_ob_" "_ih_"]"
 . s ^VELMM(t,"IH",ih)=$p(l,";",3)_"^"_$p(l,";",4)_"^"_$p(l,";",5)_"^"_$p(l,";",6)
 f t=1,2 f i=1:1 s l=$p($t(COL+i),";;",2,99) q:l=""  d
 . s ^VELMG(t,i)=$p(l,";")_$c(2)_$p(l,";",2)_$c(2)_$p(l,";",3)
 f t=1,2 s ob=$s(t=1:"PP",1:"PV") f i=1:1 s l=$p($t(AUTO+i),";;",2,99) q:l=""  d
 . s ^VELMA(t,i)=$p(l,";",1,4)_$c(1)_$$mapx(t,$p(l,";",5))
 . s ^VELMA(t,i)=$tr(^VELMA(t,i),";",$c(1))
 q
 ;
mapx(t,ih) ;the characteristic entry of a code
 n i s i=""
 f  s i=$o(^VELMM(t,i)) q:i'=+i  q:$p($p(^VELMM(t,i)," ",2),"]")=ih
 q $s(i=+i&(i'=""):^VELMM(t,i),1:"")
 ;
USERS ;the three demo users, made when missing
 n i,l,r
 f i=1:1 s l=$p($t(USR+i),";;",2,99) q:l=""  i '$d(^VELMU($p(l,";"))) d
 . s ^VELMU($p(l,";"))=$p(l,";",4)
 . d setpw^%cplogG($p(l,";"),$p(l,";",2),$p(l,";",3))
 . s r=$p(l,";",5) s:r'="" ^VELMU($p(l,";"),"R","NL")=r
 . s r=$p(l,";",6) s:r'="" ^VELMU($p(l,";"),"R","YB")=r
 . s r=$p(l,";",7) s:r'="" ^VELMU($p(l,";"),"R","YA")=r
 q
 ;
DATA(dir) ;the demo client-bank, one setting per task, the unclosed demo orders
 n clb,c,s,t,i,r,a,V,l,m,d
 s clb=$$clb
 i $$cid^ZZ001a(clb)="" d AddCLB^ZZ001a(clb)
 s c=$$cid^ZZ001a(clb)
 f s=1,2 i '$d(^VELMC(c,"S",s)) d
 . s t=s,d=$c(2)
 . d SaveSetPar^ZZ001a(clb,s,$p("Расход (демо);Приход (демо)",";",s)_d_t_d_dir_d_$s(s=1:"clbout.dbf",1:"clbin.dbf")_d_"DOS"_d_"INN,KEY"_d_"NUMDOC,DATADOC,SUMMA")
 . f i=1:1 q:'$d(^VELMA(t,i))  s a=^VELMA(t,i) d
 .. s m=$p(a,$c(1),5)
 .. s r=i_d_$p(a,$c(1))_d_$p(a,$c(1),2)_d_$p(a,$c(1),3)_d_$p(a,$c(1),4)_d_m
 .. s r=r_d_$p($p(m," "),"[",2)_d_$p($p(m," ",2),"]")_d_""_d_$s($p(a,$c(1),2)="DATE":9,$p(a,$c(1),2)="FLOAT":6,1:1)
 .. d SaveSetRec^ZZ001a(clb,s,r)
 . i ^VELMT(t,"Client")="" d
 .. s ^VELMT(t,"Client")=clb,^VELMT(t,"Set")=s,^VELMT(t,"SName")=^VELMC(c,"S",s,"Name")
 .. s ^VELMT(t,"Menus")=clb_$c(4)_s_$c(4)_^VELMT(t,"SName")
 i ^VELMT(0,"Client")="" d
 . s ^VELMT(0,"Client")=clb,^VELMT(0,"Set")=1,^VELMT(0,"SName")=^VELMC(c,"S",1,"Name")
 . s ^VELMT(0,"Menus")=clb_$c(4)_1_$c(4)_^VELMC(c,"S",1,"Name")_$c(3)_clb_$c(4)_2_$c(4)_^VELMC(c,"S",2,"Name")
 q:$d(^VELMDEMO("orders"))
 s ^VELMDEMO("orders")=""
 f i=1:1 s l=$p($t(ORD+i),";;",2,99) q:l=""  d
 . k V f m=1:1:12 s V($p("NUMDOC DATADOC SUMMA PLAT PLATINN PLATSCH PLATBIK POL POLINN POLSCH POLBIK NAZN"," ",m))=$p(l,"|",m)
 . s r=$$make^ZZ001c(1,.V,1,"Демо",0)
 . s ^VELMDEMO("orders")=^VELMDEMO("orders")_$s(i>1:",",1:"")_^VELMD
 q
 ;
clb() q "Клиент-Банк Демо"
 ;
DATA1C(dir) ;the client-bank of 1C exchange files, one setting per task, both on the statement
 ;kl_to_1c.txt: money out imports its debits, money in its credits. Settings made for an older
 ;structure of the files (X1C) are made again.
 n clb,c,s,t,i,l,r,m,d,ty,new
 s clb=$$clb1c,d=$c(2),new=$g(^VELMDEMO("1c"))'=$$x1c
 i $g(dir)'="" d write1c(dir)
 i $$cid^ZZ001a(clb)="" d AddCLB^ZZ001a(clb)
 s c=$$cid^ZZ001a(clb)
 f s=1,2 i new!'$d(^VELMC(c,"S",s)) d
 . s t=s
 . d SaveSetPar^ZZ001a(clb,s,$p("Расход 1С (демо);Приход 1С (демо)",";",s)_d_t_d_dir_d_"kl_to_1c.txt"_d_"WIN"_d_"INN,KEY"_d_"NUMDOC,DATADOC,SUMMA")
 . f i=1:1 s l=$p($t(X1C+i),";;",2,99) q:l=""  d
 .. s ty=$p(l,";",2),m=$p(l,";",5) s:m'="" m=$$mapx(t,m)
 .. s r=i_d_$p(l,";")_d_ty_d_$p(l,";",3)_d_$p(l,";",4)_d_m
 .. s r=r_d_$p($p(m," "),"[",2)_d_$p($p(m," ",2),"]")_d_""_d_$s(ty="DATE":9,ty="FLOAT":6,1:1)
 .. d SaveSetRec^ZZ001a(clb,s,r)
 s ^VELMDEMO("1c")=$$x1c
 q
 ;
x1c() q 2 ;the version of X1C the 1C settings are made for
 ;
write1c(dir) ;the statement S1C as the bank sends it: Windows-1251, CR LF (GT.M's file I/O)
 n f,i,l,r
 s f=dir_"/kl_to_1c.txt"
 ;A folder that is not there (the M tests seed a made-up one) gets no file.
 q:$zparse(f,"DIRECTORY")=""
 o f:(newversion:stream:nowrap) u f
 f i=1:1 s l=$p($t(S1C+i),";;",2,99) q:l=""  d
 . i $e(l)'="@" d line(l) q
 . s r=$e($p(l," "),2,99) d:$p(l," ",2)'="BANK" party(r,"FIRM") d party(r,"BANK")
 c f
 q
 ;
party(r,t) ;the keys of the party r from the table t
 n i,l f i=1:1 s l=$p($t(@t+i),";;",2,99) q:l=""  d line(r_l)
 q
 ;
line(l) w l,$c(13,10) s $x=0 q
 ;
clb1c() q "Банк 1С Демо"
 ;
 ;Characteristics: caption;code;kind;text when missing;text when malformed;BIC code
CH ;
 ;;Номер;NUMDOC;N;Не указан номер документа;Неверный номер документа
 ;;Дата;DATADOC;D;Не указана дата документа;Неверная дата документа
 ;;Сумма;SUMMA;S;Не указана сумма;Неверная сумма
 ;;Плательщик;PLAT;T
 ;;ИНН_плательщика;PLATINN;I;;Неверный ИНН плательщика
 ;;Счет_плательщика;PLATSCH;A;;Неверный счет плательщика;PLATBIK
 ;;БИК_банка_плательщика;PLATBIK;B;;Неверный БИК банка плательщика
 ;;Получатель;POL;T
 ;;ИНН_получателя;POLINN;I;;Неверный ИНН получателя
 ;;Счет_получателя;POLSCH;A;;Неверный счет получателя;POLBIK
 ;;БИК_банка_получателя;POLBIK;B;;Неверный БИК банка получателя
 ;;Назначение_платежа;NAZN;T
 ;;
 ;Columns of the intermediate table: code;caption;alignment. The fifth is the number.
COL ;
 ;;DATADOC;Дата
 ;;SUMMA;Сумма;2
 ;;PLAT;Плательщик
 ;;POL;Получатель
 ;;NUMDOC;Номер док.
 ;;PLATINN;ИНН плательщика
 ;;PLATSCH;Счет плательщика
 ;;PLATBIK;БИК плательщика
 ;;POLINN;ИНН получателя
 ;;POLSCH;Счет получателя
 ;;POLBIK;БИК получателя
 ;;NAZN;Назначение платежа
 ;;
 ;Fields of a typical client-bank export: name;type;length;precision;characteristic
AUTO ;
 ;;NUMDOC;STRING;6;0;NUMDOC
 ;;DATEDOC;DATE;8;0;DATADOC
 ;;SUMMA;FLOAT;15;2;SUMMA
 ;;PLATNAME;STRING;100;0;PLAT
 ;;PLATINN;STRING;12;0;PLATINN
 ;;PLATACC;STRING;20;0;PLATSCH
 ;;PLATBIC;STRING;9;0;PLATBIK
 ;;POLNAME;STRING;100;0;POL
 ;;POLINN;STRING;12;0;POLINN
 ;;POLACC;STRING;20;0;POLSCH
 ;;POLBIC;STRING;9;0;POLBIK
 ;;NAZN;STRING;160;0;NAZN
 ;;
 ;The structure of every 1C exchange file as the gateway reads it (the document kind, then the
 ;document keys in the format's order, then the keys banks add): name;type;length;precision;
 ;characteristic. The names alone (Плательщик1, Получатель1) are the parties.
X1C ;
 ;;SEKTSIYADOKUMENT;STRING;255;0
 ;;NOMER;STRING;255;0;NUMDOC
 ;;DATA;DATE;10;0;DATADOC
 ;;SUMMA;FLOAT;18;2;SUMMA
 ;;KVITANTSIYADATA;DATE;10;0
 ;;KVITANTSIYAVREMYA;STRING;8;0
 ;;KVITANTSIYASODERZHANIE;STRING;255;0
 ;;PLATELSHCHIKSCHET;STRING;20;0;PLATSCH
 ;;DATASPISANO;DATE;10;0
 ;;PLATELSHCHIK;STRING;255;0
 ;;PLATELSHCHIKINN;STRING;12;0;PLATINN
 ;;PLATELSHCHIK1;STRING;255;0;PLAT
 ;;PLATELSHCHIK2;STRING;255;0
 ;;PLATELSHCHIK3;STRING;255;0
 ;;PLATELSHCHIK4;STRING;255;0
 ;;PLATELSHCHIKRASCHSCHET;STRING;20;0
 ;;PLATELSHCHIKBANK1;STRING;255;0
 ;;PLATELSHCHIKBANK2;STRING;255;0
 ;;PLATELSHCHIKBIK;STRING;9;0;PLATBIK
 ;;PLATELSHCHIKKORSCHET;STRING;20;0
 ;;POLUCHATELSCHET;STRING;20;0;POLSCH
 ;;DATAPOSTUPILO;DATE;10;0
 ;;POLUCHATEL;STRING;255;0
 ;;POLUCHATELINN;STRING;12;0;POLINN
 ;;POLUCHATEL1;STRING;255;0;POL
 ;;POLUCHATEL2;STRING;255;0
 ;;POLUCHATEL3;STRING;255;0
 ;;POLUCHATEL4;STRING;255;0
 ;;POLUCHATELRASCHSCHET;STRING;20;0
 ;;POLUCHATELBANK1;STRING;255;0
 ;;POLUCHATELBANK2;STRING;255;0
 ;;POLUCHATELBIK;STRING;9;0;POLBIK
 ;;POLUCHATELKORSCHET;STRING;20;0
 ;;VIDPLATEZHA;STRING;255;0
 ;;KODNAZPLATEZHA;STRING;1;0
 ;;VIDOPLATY;STRING;2;0
 ;;KOD;STRING;25;0
 ;;NAZNACHENIEPLATEZHA;STRING;255;0;NAZN
 ;;NAZNACHENIEPLATEZHA1;STRING;255;0
 ;;NAZNACHENIEPLATEZHA2;STRING;255;0
 ;;NAZNACHENIEPLATEZHA3;STRING;255;0
 ;;NAZNACHENIEPLATEZHA4;STRING;255;0
 ;;NAZNACHENIEPLATEZHA5;STRING;255;0
 ;;NAZNACHENIEPLATEZHA6;STRING;255;0
 ;;STATUSSOSTAVITELYA;STRING;2;0
 ;;PLATELSHCHIKKPP;STRING;9;0
 ;;POLUCHATELKPP;STRING;9;0
 ;;POKAZATELKBK;STRING;20;0
 ;;OKATO;STRING;11;0
 ;;POKAZATELOSNOVANIYA;STRING;2;0
 ;;POKAZATELPERIODA;STRING;10;0
 ;;POKAZATELNOMERA;STRING;255;0
 ;;POKAZATELDATY;STRING;10;0
 ;;POKAZATELTIPA;STRING;2;0
 ;;OCHEREDNOST;STRING;2;0
 ;;SROKAKTSEPTA;STRING;255;0
 ;;VIDAKKREDITIVA;STRING;255;0
 ;;SROKPLATEZHA;DATE;10;0
 ;;USLOVIEOPLATY1;STRING;255;0
 ;;USLOVIEOPLATY2;STRING;255;0
 ;;USLOVIEOPLATY3;STRING;255;0
 ;;PLATEZHPOPREDST;STRING;255;0
 ;;DOPOLNUSLOVIYA;STRING;255;0
 ;;NOMERSCHETAPOSTAVSHCHIKA;STRING;255;0
 ;;DATAOTSYLKIDOK;DATE;10;0
 ;;IDENTIFIKATORPLATEZHA;STRING;255;0
 ;;KODDEBITORA;STRING;255;0
 ;;OKTMO;STRING;11;0
 ;;
 ;The demo's bank statement, kl_to_1c.txt: the demo firm's account from 1 to 10 April 2024 with
 ;money out (a supplier's invoice, the tax payment, the bank's fee) and money in (two customers,
 ;the bank's interest), as a bank's client software writes it (a key of its own too). A line
 ;@Плательщик or @Получатель stands for the demo firm's keys of that party after its name (FIRM,
 ;then BANK), "@... BANK" for those of its bank alone.
S1C ;
 ;;1CClientBankExchange
 ;;ВерсияФормата=1.03
 ;;Кодировка=Windows
 ;;Отправитель=ДБО ПАО "ДЕМО-БАНК"
 ;;Получатель=Бухгалтерия
 ;;ДатаСоздания=11.04.2024
 ;;ВремяСоздания=08:30:12
 ;;ДатаНачала=01.04.2024
 ;;ДатаКонца=10.04.2024
 ;;РасчСчет=40702810338000012345
 ;;Документ=Платежное поручение
 ;;Документ=Банковский ордер
 ;;Документ=Мемориальный ордер
 ;;СекцияРасчСчет
 ;;ДатаНачала=01.04.2024
 ;;ДатаКонца=10.04.2024
 ;;РасчСчет=40702810338000012345
 ;;НачальныйОстаток=1250000.00
 ;;ВсегоПоступило=136062.90
 ;;ВсегоСписано=59856.00
 ;;КонечныйОстаток=1326206.90
 ;;КонецРасчСчет
 ;;СекцияДокумент=Платежное поручение
 ;;Номер=104
 ;;Дата=01.04.2024
 ;;Сумма=45600.00
 ;;ПлательщикСчет=40702810338000012345
 ;;ДатаСписано=01.04.2024
 ;;Плательщик=ИНН 7701234560 ООО "Ромашка"
 ;;@Плательщик
 ;;ПолучательСчет=40702810100000004411
 ;;Получатель=ИНН 5032987614 ООО "ГранитСнаб"
 ;;ПолучательИНН=5032987614
 ;;Получатель1=ООО "ГранитСнаб"
 ;;ПолучательРасчСчет=40702810100000004411
 ;;ПолучательБанк1=ПАО СБЕРБАНК
 ;;ПолучательБанк2=г. Москва
 ;;ПолучательБИК=044525225
 ;;ПолучательКорсчет=30101810400000000225
 ;;ВидПлатежа=электронно
 ;;ВидОплаты=01
 ;;Код=0
 ;;НазначениеПлатежа=Оплата по счету № 212 от 28.03.2024 за строительные материалы. В т.ч. НДС 20% 7600.00
 ;;ПлательщикКПП=770101001
 ;;ПолучательКПП=503201001
 ;;Очередность=5
 ;;КонецДокумента
 ;;СекцияДокумент=Платежное поручение
 ;;Номер=105
 ;;Дата=02.04.2024
 ;;Сумма=13056.00
 ;;ПлательщикСчет=40702810338000012345
 ;;ДатаСписано=02.04.2024
 ;;Плательщик=ИНН 7701234560 КПП 770101001 ООО "Ромашка"
 ;;@Плательщик
 ;;ПолучательСчет=03100643500000018500
 ;;Получатель=Казначейство России (ФНС России)
 ;;ПолучательИНН=7727406020
 ;;Получатель1=Казначейство России (ФНС России)
 ;;ПолучательРасчСчет=03100643500000018500
 ;;ПолучательБанк1=ОТДЕЛЕНИЕ ТУЛА БАНКА РОССИИ//УФК по Тульской области
 ;;ПолучательБанк2=г Тула
 ;;ПолучательБИК=017003983
 ;;ПолучательКорсчет=40102810445370000059
 ;;ВидПлатежа=электронно
 ;;ВидОплаты=01
 ;;Код=0
 ;;НазначениеПлатежа=Единый налоговый платеж
 ;;СтатусСоставителя=01
 ;;ПлательщикКПП=770101001
 ;;ПолучательКПП=770801001
 ;;ПоказательКБК=18201061201010000510
 ;;ОКАТО=0
 ;;ПоказательОснования=0
 ;;ПоказательПериода=0
 ;;ПоказательНомера=0
 ;;ПоказательДаты=0
 ;;Очередность=5
 ;;КонецДокумента
 ;;СекцияДокумент=Платежное поручение
 ;;Номер=387
 ;;Дата=03.04.2024
 ;;Сумма=128400.00
 ;;ПлательщикСчет=40702810100000002387
 ;;Плательщик=ИНН 7708451236 АО "ОрионМаркет"
 ;;ПлательщикИНН=7708451236
 ;;Плательщик1=АО "ОрионМаркет"
 ;;ПлательщикРасчСчет=40702810100000002387
 ;;ПлательщикБанк1=ПАО СБЕРБАНК
 ;;ПлательщикБанк2=г. Москва
 ;;ПлательщикБИК=044525225
 ;;ПлательщикКорсчет=30101810400000000225
 ;;ПолучательСчет=40702810338000012345
 ;;ДатаПоступило=03.04.2024
 ;;Получатель=ИНН 7701234560 ООО "Ромашка"
 ;;@Получатель
 ;;ВидПлатежа=электронно
 ;;ВидОплаты=01
 ;;Код=0
 ;;НазначениеПлатежа=Оплата по договору № 44-П от 15.01.2024 за программное обеспечение. НДС не облагается
 ;;ПлательщикКПП=770801001
 ;;ПолучательКПП=770101001
 ;;Очередность=5
 ;;СтатусЭД=Исполнен
 ;;КонецДокумента
 ;;СекцияДокумент=Банковский ордер
 ;;Номер=3501
 ;;Дата=05.04.2024
 ;;Сумма=1200.00
 ;;ПлательщикСчет=40702810338000012345
 ;;ДатаСписано=05.04.2024
 ;;Плательщик=ООО "Ромашка"
 ;;@Плательщик
 ;;ПолучательСчет=70601810500002710201
 ;;Получатель=ПАО "ДЕМО-БАНК"
 ;;ПолучательИНН=7707123458
 ;;Получатель1=ПАО "ДЕМО-БАНК"
 ;;ПолучательРасчСчет=70601810500002710201
 ;;@Получатель BANK
 ;;ВидОплаты=17
 ;;НазначениеПлатежа=Комиссия за ведение счета за март 2024 г. Без НДС
 ;;Очередность=5
 ;;КонецДокумента
 ;;СекцияДокумент=Платежное поручение
 ;;Номер=19
 ;;Дата=08.04.2024
 ;;Сумма=7350.50
 ;;ПлательщикСчет=40802810000000001919
 ;;Плательщик=ИНН 772412345636 ИП Соколов Павел Андреевич
 ;;ПлательщикИНН=772412345636
 ;;Плательщик1=ИП Соколов Павел Андреевич
 ;;ПлательщикРасчСчет=40802810000000001919
 ;;ПлательщикБанк1=АО "АЛЬФА-БАНК"
 ;;ПлательщикБанк2=г. Екатеринбург
 ;;ПлательщикБИК=046577964
 ;;ПлательщикКорсчет=30101810100000000964
 ;;ПолучательСчет=40702810338000012345
 ;;ДатаПоступило=08.04.2024
 ;;Получатель=ИНН 7701234560 ООО "Ромашка"
 ;;@Получатель
 ;;ВидПлатежа=электронно
 ;;ВидОплаты=01
 ;;Код=0
 ;;НазначениеПлатежа=Оплата по договору № 12 от 01.04.2024 за транспортные услуги. НДС не облагается
 ;;ПолучательКПП=770101001
 ;;Очередность=5
 ;;КонецДокумента
 ;;СекцияДокумент=Мемориальный ордер
 ;;Номер=58
 ;;Дата=10.04.2024
 ;;Сумма=312.40
 ;;ПлательщикСчет=70606810300001110201
 ;;Плательщик=ПАО "ДЕМО-БАНК"
 ;;ПлательщикИНН=7707123458
 ;;Плательщик1=ПАО "ДЕМО-БАНК"
 ;;ПлательщикРасчСчет=70606810300001110201
 ;;@Плательщик BANK
 ;;ПолучательСчет=40702810338000012345
 ;;ДатаПоступило=10.04.2024
 ;;Получатель=ООО "Ромашка"
 ;;@Получатель
 ;;ВидОплаты=09
 ;;НазначениеПлатежа=Проценты на остаток по счету за март 2024 г. Без НДС
 ;;Очередность=5
 ;;КонецДокумента
 ;;КонецФайла
 ;;
 ;The demo firm and its bank as a party of the statement's documents: keys after the party's name.
FIRM ;
 ;;ИНН=7701234560
 ;;1=ООО "Ромашка"
 ;;РасчСчет=40702810338000012345
BANK ;
 ;;Банк1=ПАО "ДЕМО-БАНК"
 ;;Банк2=г. Москва
 ;;БИК=044525999
 ;;Корсчет=30101810200000000999
 ;;
 ;Demo users: number;password;personal password;name;settings level;money out;money in
USR ;
 ;;1;velm1;lich1;Иванова Анна Петровна;2;11;11
 ;;2;velm2;lich2;Петров Борис Ильич;1;11;11
 ;;3;velm3;lich3;Сидоров Виктор Олегович;2;11;
 ;;
 ;Unclosed payment orders; the sample money-out file made with --demo closes them.
ORD ;
 ;;101|04.03.2024|15000.00|ООО "Ромашка"|7701234560|40702810338000012345|044525999|ООО "Вектор"|5003123458|40702810100000000777|044525888|Оплата по счету № 17 от 01.03.2024, в т.ч. НДС 20% 2500.00
 ;;102|05.03.2024|2350.50|ООО "Ромашка"|7701234560|40702810338000012345|044525999|АО "Северный ветер"|7812345675|40702810355000001234|044030777|Оплата за канцелярские товары по договору № 5-К
 ;;103|06.03.2024|98765.43|ООО "Ромашка"|7701234560|40702810338000012345|044525999|ИП Кузнецов Иван Сергеевич|770512345650|40802810600000004321|044525999|Оплата аренды за март 2024 года, НДС не облагается
 ;;
