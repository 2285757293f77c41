// Programs that the desktop starts when the user logs in: one freedesktop autostart entry
// "<Name>.desktop" per program in $XDG_CONFIG_HOME/autostart (~/.config/autostart when it is
// not set).
#pragma once

#include <string>
#include <vector>

std::string AutostartFileName(const std::string& Name);

// Writes the entry that runs Argv (a program and its arguments, each quoted for the entry's
// Exec key as the desktop-entry rules ask). False when Name is not a plain file name, Argv is
// empty or holds a control character, or the entry cannot be written.
bool WriteAutostartEntry(const std::string& Name, const std::vector<std::string>& Argv);

// True when the entry existed and was removed.
bool RemoveAutostartEntry(const std::string& Name);

// The Exec value of Argv, or '' when an argument holds a control character (which the key's
// value cannot carry).
std::string AutostartExecLine(const std::vector<std::string>& Argv);
