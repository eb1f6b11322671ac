#pragma once
// Small file, text and process helpers shared by the velmd commands and the server.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmd {

std::optional<std::string> ReadFile(const std::string &path);
// Writes through a temporary file and a rename, so that readers never see half a file.
bool WriteFileAtomic(const std::string &path, std::string_view data, unsigned mode, std::string &error);
bool MakeDirs(const std::string &path, std::string &error);
bool IsDir(const std::string &path);
bool IsFile(const std::string &path);
std::string BaseName(const std::string &path);
std::string AbsolutePath(const std::string &path);

std::string_view Trim(std::string_view s);
std::vector<std::string> Split(std::string_view s, char sep);
std::string Upper(std::string_view s);
std::optional<int> ParseInt(std::string_view s, int lo, int hi);

// Runs a program and waits for it; its stdout and stderr are collected into output.
// env entries replace or add variables of the current environment.
int RunProgram(const std::vector<std::string> &argv, const std::map<std::string, std::string> &env,
               const std::string &cwd, std::string &output);

} // namespace velmd
