ZZ001 ;Velm gateway: exclusive work lock, start and end of a gateway's work, text helpers ;; cp1251
 ;The exclusive lock is an M lock on ^VELMLK("TO") held by the process of the gateway's
 ;connection, so a gateway that dies loses it with its process. ^VELMLK("TO") itself only
 ;tells who holds it. Every entry needs a login on this process (need^%cplogG).
 q
 ;
LockTO ;writes "1" when this process holds the exclusive lock, "0" when another one does
 n u s u=$$need^%cplogG()
 i $g(%velm("TO")) w "1" q
 l +^VELMLK("TO"):0 e  w "0" q
 s %velm("TO")=1,^VELMLK("TO")=$j_"^"_u_"^"_$h
 w "1"
 q
 ;
UnLockTO ;releases the exclusive lock if this process holds it
 i $$need^%cplogG()
 q:'$g(%velm("TO"))
 i $p($g(^VELMLK("TO")),"^")=$j k ^VELMLK("TO")
 l -^VELMLK("TO")
 k %velm("TO")
 q
 ;
TOinGL ;starts a work record: what this gateway run creates and closes is counted in it
 n w,u
 s u=$$need^%cplogG()
 s w=$i(^VELMW)
 s ^VELMW(w)=u_"^"_$j_"^"_$h,^VELMW(w,"made")=0,^VELMW(w,"closed")=0
 s %velm("work")=w
 q
 ;
GLinTO ;writes what the current work created and closed, nothing when it did neither
 ;The work stays open: the gateway also calls this after saving a setting, and the
 ;summary shown at shutdown must still cover the whole run.
 n w,m,c
 i $$need^%cplogG()
 s w=$g(%velm("work")) q:w=""
 q:'$d(^VELMW(w))
 s $p(^VELMW(w),"^",4)=$h
 s m=+$g(^VELMW(w,"made")),c=+$g(^VELMW(w,"closed"))
 q:m+c=0
 w "За время работы создано документов: "_m_", закрыто документов: "_c
 q
 ;
count(what) ;adds one to the current work's counter "made" or "closed"
 n w
 s w=$g(%velm("work")) q:w=""
 i $d(^VELMW(w)) s ^VELMW(w,what)=$g(^VELMW(w,what))+1
 q
 ;
err(code) ;raises an M error whose $ECODE names the fault (",Ucode,")
 s $ec=",U"_code_","
 q
 ;
up(s) ;upper case, Latin and Cyrillic (Windows-1251)
 q $tr(s,"abcdefghijklmnopqrstuvwxyzабвгдеёжзийклмнопрстуфхцчшщъыьэюя","ABCDEFGHIJKLMNOPQRSTUVWXYZАБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ")
 ;
trim(s) ;without blanks at both ends
 i $e(s)'=" ",$e(s,$l(s))'=" " q s
 n i,j
 f i=1:1:$l(s)+1 q:$e(s,i)'=" "
 f j=$l(s):-1:i q:$e(s,j)'=" "
 q $e(s,i,j)
 ;
clean(s,keep) ;control characters (the separators among them) become blanks, but those in keep
 ;The two translation strings are made once per process for each keep.
 s keep=$g(keep)
 i '$d(%velm("cl","k"_keep)) s %velm("cl","k"_keep)=$tr($$ctl,keep),%velm("cb","k"_keep)=$j("",$l(%velm("cl","k"_keep)))
 q $tr(s,%velm("cl","k"_keep),%velm("cb","k"_keep))
 ;
ctl() n i,s
 i $d(%velm("ctl")) q %velm("ctl")
 s s="" f i=0:1:31 s s=s_$c(i)
 s %velm("ctl")=s
 q s
 ;
cldos(s) ;clean(s,$c(2)) and dos(s) in one pass, for the records of a DOS setting
 n d i '$d(%velm("cd")) s d=$$dos("")_$$clean("",$c(2)),%velm("cd")=%velm("cl","k"_$c(2))_%velm("dos"),%velm("cw")=%velm("cb","k"_$c(2))_%velm("win")
 q $tr(s,%velm("cd"),%velm("cw"))
 ;
dos(s) ;CP866 text to Windows-1251
 n a,b,i
 i '$d(%velm("dos")) d
 . s a="",b=""
 . f i=128:1:175 s a=a_$c(i),b=b_$c(i+64)
 . f i=224:1:239 s a=a_$c(i),b=b_$c(i+16)
 . s a=a_$c(240,241,252),b=b_$c(168,184,185)
 . s %velm("dos")=a,%velm("win")=b
 q $tr(s,%velm("dos"),%velm("win"))
