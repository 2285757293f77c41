// Single settings values under the per-user key "\Software\Quillar\<Section>", for the values
// that live outside the settings record, and the keys of the program as a whole.
#pragma once

#include <cstdint>
#include <string>

// The program's key under the per-user and the local-machine roots.
inline constexpr const char* ProgramKey = "\\Software\\Quillar";

// Tells the user, through the prompter, that the settings folder cannot be written and that the
// program goes on with the settings it has in memory; once per process and folder, however
// often the store fails afterwards.
void ReportSettingsStoreUnwritable();

// True when the per-user key "\Software\Quillar\View" exists: the program has run before.
bool SettingsViewKeyExists();

// The section's key is opened, and created when it is missing; when it cannot be opened or the
// value cannot be written, nothing is written (and the store is reported unwritable).
void WriteSettingString(const std::string& Section, const std::string& Name, const std::string& Value);
void WriteSettingInteger(const std::string& Section, const std::string& Name, std::int32_t Value);
void WriteSettingBool(const std::string& Section, const std::string& Name, bool Value);

// When the section cannot be opened, or the value is missing or of another type, the result is
// '' / false / -1.
std::string ReadSettingString(const std::string& Section, const std::string& Name);
bool ReadSettingBool(const std::string& Section, const std::string& Name);
std::int32_t ReadSettingInteger(const std::string& Section, const std::string& Name);

// Deletes the per-user "\Software\Quillar" with everything below it and, when UserIsAdmin, the
// machine's "\Software\Quillar" too.
void DeleteProgramKeys(bool UserIsAdmin);
