%caA03 ;Velm gateway: rights of users ;; cp1251
 ;^VELMU(user,"R",resource): for a resource such as "NL" the level granted (a number);
 ;for a task code ("YB" money out, "YA" money in) two flags, "1" or "0": may run the
 ;task, may close unclosed documents with bank records.
 q
 ;
3(user,res,level) ;"1" when the user holds at least this level on the resource, else "0"
 n v
 s user=$g(user),res=$g(res),level=$g(level)
 i '$$uok^%cplogG(user)!(res="") q "0"
 s v=$g(^VELMU(user,"R",res))
 i v'?1.3N q "0"
 q $s(+v'<+level:"1",1:"0")
 ;
1(user,task) ;the two flags of the user on the task: "11", "10", or "00" for no right
 n v
 s user=$g(user),task=$g(task)
 i '$$uok^%cplogG(user)!(task="") q "00"
 s v=$g(^VELMU(user,"R",task))
 i v'?1"1"1(1"0",1"1") q "00"
 q v
