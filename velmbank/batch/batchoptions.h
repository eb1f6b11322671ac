#pragma once
// velmbank-import's command line and the Вельм account it works as. Nothing here touches the
// server: the options are read and checked before the link is opened, so a mistake in a
// scheduler's command line costs no login.

#include "taskrun.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

// What the run does with a record whose similar documents the server found (the server leaves
// such records out, Include false): what the operator decides in the grid. Ask is no answer.
QString PolicyName(TSimilarPolicy policy);

struct TBatchOptions
{
    QString Profile;     // absolute; default velmbank.ini of the current directory
    QString Credentials; // --credentials FILE; empty: the environment
    int Task = 0;        // 1 money out, 2 money in
    QString Client;      // empty: the task's client-bank
    QString Setting;     // empty: the task's setting
    QString Surname;     // empty: the one stored for the user and task (Forms/TaskForm)
    QStringList Files;   // absolute; empty: the setting's Path and File
    TSimilarPolicy Similar = TSimilarPolicy::Skip;
    bool DryRun = false;
    bool Json = false; // one JSON object a line: each record, then the summary
    QString Protocol;  // --protocol FILE, absolute; empty: none written
    bool Help = false;
};

// The options, or nullopt with the reason in error (the program then exits 2).
std::optional<TBatchOptions> ParseBatchArguments(const QStringList &arguments, QString &error);
QString BatchUsage();

// The Вельм user: number, password and personal password, in Windows-1251 as the login sends
// them.
struct TCredentials
{
    QByteArray User;
    QByteArray Password;
    QByteArray Private;
};

// From VELMBANK_USER, VELMBANK_PASSWORD and VELMBANK_PRIVATE.
std::optional<TCredentials> CredentialsFromEnvironment(const QProcessEnvironment &env, QString &error);
// From a file of lines NAME=VALUE with the same three names (the form systemd's EnvironmentFile
// reads too): '#' comments and blank lines skipped, a value in matching quotes taken without
// them. A file that group or others may read or write, or that is no regular file, is refused
// before anything of it is read.
std::optional<TCredentials> CredentialsFromFile(const QString &path, QString &error);

// True when every character of text has its place in Windows-1251.
bool FitsWin1251(const QString &text);
