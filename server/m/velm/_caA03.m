%caA03 ;Velm gateway: rights of users ;; cp1251
 ;^VELMU(user,"R",resource): for a resource such as "NL" the level granted (a number);
 ;for a task code ("YB" money out, "YA" money in) two flags, "1" or "0": may run the
 ;task, may close unclosed documents with bank records.
 ;A caller learns only its own rights: both need a login and refuse another user's number.
 q
 ;
3(user,res,level) ;"1" when the user holds at least this level on the resource, else "0"
 d own($g(user))
 q $$lvl(user,$g(res),$g(level))
 ;
1(user,task) ;the two flags of the user on the task: "11", "10", or "00" for no right
 d own($g(user))
 q $$flags(user,$g(task))
 ;
own(user) ;an M error unless user is the one logged in on this process
 i $$need^%cplogG()'=user s $ec=",UVELM-NOTYOURS,"
 q
 ;
lvl(user,res,level) ;the level check, for the server routines' own use
 n v
 i '$$uok^%cplogG(user)!(res="") q "0"
 s v=$g(^VELMU(user,"R",res))
 i v'?1.3N q "0"
 q $s(+v'<+level:"1",1:"0")
 ;
flags(user,task) ;the task flags, for the server routines' own use
 n v
 i '$$uok^%cplogG(user)!(task="") q "00"
 s v=$g(^VELMU(user,"R",task))
 i v'?1"1"1(1"0",1"1") q "00"
 q v
 ;
edit() ;the logged-in user, who must hold the settings right; else an M error
 n u s u=$$need^%cplogG()
 i $$lvl(u,"NL",2)'="1" s $ec=",UVELM-NORIGHT,"
 q u
 ;
run(type) ;the logged-in user, who must hold the right to run the task of a setting type
 ;(1 money out, 2 money in); else an M error
 n u s u=$$need^%cplogG()
 i $e($$flags(u,$s(type=1:"YB",type=2:"YA",1:"")))'="1" s $ec=",UVELM-NORIGHT,"
 q u
