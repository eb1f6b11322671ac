#pragma once
// The server routines the gateway calls, exactly as the server knows them. Every caller uses
// these names; the texts live nowhere else.

namespace Routines {

// Login session
inline constexpr char Login[] = "$$login^%cplogG";
inline constexpr char Logout[] = "logout^%cplogG";

// Start-up and shutdown
inline constexpr char LockTO[] = "LockTO^ZZ001";
inline constexpr char UnLockTO[] = "UnLockTO^ZZ001";
inline constexpr char TOinGL[] = "TOinGL^ZZ001";
inline constexpr char GLinTO[] = "GLinTO^ZZ001";

// Rights: settings editing (user, "NL", "2") and running a task (user, "YB" or "YA")
inline constexpr char RightEditSettings[] = "$$3^%caA03";
inline constexpr char RightRunTask[] = "$$1^%caA03";

// Settings store
inline constexpr char Clist[] = "Clist^ZZ001a";
inline constexpr char Tlist[] = "Tlist^ZZ001a";
inline constexpr char Mlist[] = "Mlist^ZZ001a";
inline constexpr char Slist[] = "Slist^ZZ001a";
inline constexpr char LoadSetRecs[] = "LoadSetRecs^ZZ001a";
inline constexpr char AutoSet[] = "AutoSet^ZZ001a";
inline constexpr char SaveSetPar[] = "SaveSetPar^ZZ001a";
inline constexpr char SaveSetRec[] = "SaveSetRec^ZZ001a";
inline constexpr char SaveTask[] = "SaveTask^ZZ001a";
inline constexpr char DelSet[] = "DelSet^ZZ001a";
inline constexpr char AddCLB[] = "AddCLB^ZZ001a";
inline constexpr char DelCLB[] = "$$DelCLB^ZZ001a";

// Import and the document run
inline constexpr char GetFields[] = "GetFields^ZZ001b";
inline constexpr char PDVelm[] = "PDVelm^ZZ001b";
inline constexpr char RecYB[] = "$$RecYB^ZZ001c";
inline constexpr char RecYA[] = "$$RecYA^ZZ001c";

// All of them: what the server must offer the gateway, and nothing else.
inline constexpr const char *All[] = {
    Login,  Logout, LockTO,    UnLockTO,    TOinGL,  GLinTO,     RightEditSettings, RightRunTask, Clist,
    Tlist,  Mlist,  Slist,     LoadSetRecs, AutoSet, SaveSetPar, SaveSetRec,        SaveTask,     DelSet,
    AddCLB, DelCLB, GetFields, PDVelm,      RecYB,   RecYA};

} // namespace Routines
