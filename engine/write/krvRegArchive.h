// The association registrar: ties archive extensions to this program. The program's file type
// "Quillar" is kept under the classes root (its description, icon and open command), the
// desktop's entry quillar.desktop opens the same command, and each extension's MIME type gets
// that entry as its default handler (platform/FileTypeBinding.h). The bookkeeping that lets an
// association be undone is the caller's (app/common/Associations.h).
#pragma once

#include <functional>
#include <string>
#include <vector>

class TRegArchive {
public:
    TRegArchive();

    bool ActivateOnStartup = true;
    int IconIndex = 0;
    std::string MenuName;
    // Fired by Loaded when the association is missing, with the upper-cased type name.
    std::function<void(TRegArchive& Sender, const std::string& Appname)> OnAssociation;

    const std::vector<std::string>& ArcExtensions() const { return FArcExtensions; }
    // Copies the list without its ".exe" entries (in any case).
    void SetArcExtensions(const std::vector<std::string>& Extensions);

    // The type name; "[Appname]" (the program's file name up to its first '.') when empty.
    std::string ExtDescription() const;
    void SetExtDescription(const std::string& Text);
    // The type's display text; "[Appname file]" (the type name and " file") when empty.
    std::string FileDescription() const;
    void SetFileDescription(const std::string& Text);
    // The argument of the open command; "%1" when empty. "%1" is the file, as the desktop's %f.
    std::string ParamString() const;
    void SetParamString(const std::string& Text);

    // The program the command starts (the running one unless set).
    std::string ProgramPath() const;
    void SetProgramPath(const std::string& Path) { FProgramPath = Path; }

    // The resolved type name and description.
    std::string TypeName() const;
    std::string TypeDescription() const;

    // Fires OnAssociation when ActivateOnStartup is set and the association is missing.
    void Loaded();
    // True when every listed extension opens with this program. Store errors pass to the caller.
    bool IsAssociated() const;
    // Writes the program's type and binds every listed extension to it; store errors pass to
    // the caller as ERegistryException.
    void RegisterExtensions();
    // Takes every listed extension that this program holds from it; false when a write failed.
    bool UnregisterExtensions();

    // The program that a command names: a quoted first word without its quotes, else the text
    // up to the first blank.
    static std::string CommandProgram(const std::string& Command);

private:
    std::vector<std::string> FArcExtensions;
    std::string FExtDescription, FFileDescription, FParamString, FProgramPath;
};
