// The registry entries of the shell-extension classes that live in the sibling libraries
// "QuillarMenu.dll" and "QuillarInfoTip.dll" (outside this program): their class keys under the
// classes root and their approved-list entries under the per-user root.
#pragma once

#include <string>

struct TShellExtClass {
    const char* ClassId;
    const char* Description;
    const char* Library;
    const char* ProgId;
    const char* ApprovedText;
};

inline constexpr TShellExtClass ContextMenuAllClass = {
    "{87C6FA78-9CE1-4AB8-B19E-8BBBAB654F72}", "Quillar Context Menu for All Files", "QuillarMenu.dll",
    "QuillarMenu.VexlinMenuAll", "Quillar Context Menu for All Files"};
inline constexpr TShellExtClass ContextMenuClass = {"{24A4951A-7184-421C-B30F-C533B79391D1}",
                                                    "Quillar Context Menu", "QuillarMenu.dll",
                                                    "QuillarMenu.VexlinMenu", "Quillar Context Menu"};
inline constexpr TShellExtClass DragDropMenuClass = {
    "{A8047034-829B-46BC-B3E5-4D3D399AE730}", "Quillar Drag Drop Context Menu", "QuillarMenu.dll",
    "QuillarMenu.ZipDragDropMenu", "Quillar Drag Drop Context Menu"};
inline constexpr TShellExtClass DropHandlerClass = {"{A81973CA-6316-4E00-91EC-5B11F91A5815}",
                                                    "File drop handler for archive files", "QuillarMenu.dll",
                                                    "QuillarMenu.VexlinDropHandler", "Quillar Drop Handler"};
inline constexpr TShellExtClass InfoTipClass = {"{CBB82E54-D721-4F35-AA9F-3761D3E05FC6}",
                                                "QuillarInfoTip Object", "QuillarInfoTip.dll",
                                                "QuillarInfoTip.VexlinInfoTip", "Quillar InfoTip Object"};

inline constexpr const char* ApprovedKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// The class key "\CLSID\<id>" with its server (ProgramFolder + library) and programmatic id.
// False when the classes root cannot be written.
bool RegisterShellExtClass(const TShellExtClass& Class, const std::string& ProgramFolder);
// The drag-drop menu handlers of folders and drives, and the drag-drop menu's class.
bool RegisterDragDropMenu(const std::string& ProgramFolder);
// The per-user approved-list entry of a class.
bool WriteApprovedEntry(const TShellExtClass& Class);
