ZZVSET ;Velm gateway distribution: check label and post-action ;; cp866
 ;Packed with the gateway's server routines by the installer's tests.
 q
 ;
chk() ;check label: the namespace needs nothing beforehand
 q ""
 ;
seed() ;post-action: demo data, when the operator wants them, from the folder he names
 n yes,dir
 s yes=$$ask^velmsetup(1,"Заполнить область демонстрационными данными?",1)
 q:yes'=1 ""
 s dir=$$ask^velmsetup(2,"Папка демонстрационных файлов","")
 q:dir="" "Не указана папка демонстрационных файлов"
 d w^velmsetup("Демонстрационные данные"_$c(1)_50)
 d SEED^VELMDEMO(dir)
 d w^velmsetup("Демонстрационные данные готовы"_$c(1)_100)
 q ""
