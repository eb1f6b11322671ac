%NOJRN ;journaling of the current process, as the installer switches it around its work
 ;velmd's databases are not journaled, so there is nothing to switch; the labels exist so that
 ;code written for the original platform runs unchanged.
 q
DISABLE ;stop journaling this process's updates
 q
ENABLE ;journal this process's updates again
 q
