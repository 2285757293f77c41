// The places of the file dialogs' places bar and their persistence: under RegistryKey one
// subkey "Place_<index>" per place, in order, holding the place's nine values. On Linux the bar
// is the file dialog's side bar, which shows the places whose folders exist.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// The system's special folders as the places store them.
enum TLmSpecShellFolder {
    ftNone = -1976,
    ftRecycleBin = 10,
    ftCommonDesktopDir = 25,
    ftCommonPrograms = 23,
    ftCommonStartMenu = 22,
    ftCommonStartup = 24,
    ftControls = 3,
    ftDesktop = 0,
    ftDesktopDir = 16,
    ftDrives = 17,
    ftFonts = 20,
    ftNethood = 19,
    ftNetwork = 18,
    ftPersonal = 5,
    ftFavorites = 6,
    ftPrinters = 4,
    ftPrograms = 2,
    ftRecent = 8,
    ftSendTo = 9,
    ftStartMenu = 11,
    ftStartup = 7,
    ftTemplates = 21,
};

struct TLmPlace {
    QString PlaceName;    // caption
    QString PlacePath;    // folder
    QString PlaceRegPath; // per-user registry value that names the folder
    TLmSpecShellFolder PlaceSpecPath = ftNone;
    QString PlaceDesc; // hint
    int PlaceIcon = 0;
    int PlaceHotIcon = 0;
    QString PlaceIconDll = "shell32.dll";
    bool AutoCaption = false;
};
using TLmPlaces = std::vector<TLmPlace>;

struct TLmPlacesBarOptions {
    QString RegistryKey; // empty: not persisted
    TLmPlaces Places;
    bool Visible = true;
    bool AllowEdit = true;
    bool AllowDelete = true;
    bool AllowDrop = true;
    bool AutoScroll = true;
    bool BorderStyle = false;
    bool Native = true;
    // Where the bar's messages and its questions go (message boxes when unset); a question's
    // answer is true for Yes.
    std::function<void(const QString& Caption, const QString& Text)> OnMessage;
    std::function<bool(const QString& Caption, const QString& Text)> OnConfirm;
};

// Replaces what is stored under Key with Places, "Place_0" upwards; false when it cannot be written.
bool SavePlaces(const QString& Key, const TLmPlaces& Places);
// Merges the places stored under Key into Places in the order of their indexes (a place with
// the same special folder, or with ftNone the same name, is updated; others are added). False
// when the key cannot be opened; Places is then left as it was.
bool LoadPlaces(const QString& Key, TLmPlaces& Places);
// Removes place Index, so the places after it move up one.
void DeletePlace(TLmPlaces& Places, int Index);
// Moves place From to the position of place To; the places between shift by one.
void MovePlace(TLmPlaces& Places, int From, int To);
// The question before a place is deleted.
QString DeletePlaceQuestion(const TLmPlace& Place);

// The stored number read back as a special folder: only the four the bar resolves are kept.
TLmSpecShellFolder SpecFolderFromStored(int Value);
// The caption the system gives a special folder ("" for ftNone).
QString AutoCaptionOf(TLmSpecShellFolder Folder);
// The folder a place leads to ("" when it cannot be found).
QString PlaceFolder(const TLmPlace& Place);
