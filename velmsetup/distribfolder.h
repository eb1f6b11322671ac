#pragma once
// The folder the installer works in. Started in a folder that holds velminstal.dat (as the
// distribution is shipped), that folder; started elsewhere, from a menu for instance, the
// operator is asked for the distribution file, and its folder is the one, as if the installer
// had been started there.

#include <QString>

#include <optional>

// nullopt when the operator cancelled the choice.
std::optional<QString> DistributionFolder(const QString &current);
