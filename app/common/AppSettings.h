// The user's settings: one record for the process, kept in the per-user registry under
// "\Software\Quillar" in sections (View, Toolbar, Folders, ProgramLocations, ShellExtensions,
// Miscellaneous, TrayIcon) and, for the association flags, under the machine's
// "\Software\Quillar\FileAssociations". The field names are the registry value names.
#pragma once

#include <cstdint>
#include <string>

struct TAppSettings {
    bool UserIsAdmin = false; // set once at start-up; never stored

    // View
    bool ColDate = true, ColPacked = true, ColUnpacked = true, ColRatio = true, ColMethod = false,
         ColAttributes = false, ColPath = true, ColFileType = false, ColCRC = false, ColFileOffset = false,
         ColEncrypted = false, ColVolumeID = false, ColFileComment = false, FullRowSelect = false,
         ShowGridLines = false, DoubleClickSel = true;
    std::int32_t MouseSelection = 1; // 1 underline under the mouse, 2 never, 3 always
    std::string FileListFont;        // FontToString of the archive list's font

    // Toolbar
    bool ButtonText = true, ToolTips = true, FlatButtons = true, ShowFilter = false;
    bool BtnNewArchive = true, BtnOpenArchive = true, BtnCloseArchive = false, BtnTestArchive = false,
         BtnAddFiles = true, BtnExtractFiles = true, BtnDeleteFiles = false, BtnViewFiles = true,
         BtnPrintContentList = false, BtnCheckOut = true, BtnVirusScan = false, BtnExplorer = false,
         BtnWizard = true, BtnProperties = false, BtnComment = false, BtnConfiguration = false,
         BtnHelp = false, BtnExit = false, BtnInstall = false, BtnMakeExe = false, BtnFilter = false;

    // Folders
    bool OpenLast = true, AddLast = true, ExtractLast = false, ExtractSame = true;
    std::string OpenFolder, AddFolder, ExtractFolder, TemporaryFolder, CheckoutBaseFolder;

    // Associations (machine key)
    bool Ace = false, Arc = false, Arj = false, Bh = false, Cab = false, Gz = false, Jar = false, Lha = false,
         Lzh = false, Rar = false, Tar = false, Tgz = false, Uue = false, Uu = false, Xxe = false, Z = false,
         Zip = false, Zoo = false, CheckAssociations = true, EnableAssociations = true;

    // ProgramLocations
    std::string DefaultViewer, VirusScanner, Parameters;
    bool RunMinimized = false;
    std::int32_t ViewerType = 0; // 0 associated program, 1 external viewer, 2 external when none, 3 ask
    std::int32_t AVProduct = 0;  // 0 none, 1 custom, then the presets

    // Miscellaneous
    bool ConfirmCompress = true, ConfirmDecompress = true, CommentsOpen = false, ShortcutStartMenu = true,
         ShortcutDesktop = true, StayOnTop = false, StartupOpen = false, StartupWizard = false,
         ClearMRU = true;
    std::int32_t MRUList = 8; // 0..10

    // ShellExtensions: which context-menu items and info-tip lines the shell extensions show
    bool ShellExtensions = true, Cascade = false, ShowIcon = true;
    bool cmAddToArc = true, cmAddToFile = true, cmAddToExe = true, cmMailArchive = true, cmExtractTo = true,
         cmExtractHere = true, cmExtractToFolder = true, cmExtractMultiple = true, cmExtractMultipleTo = true,
         cmExtractMultipleSep = true, cmExtractMultipleToSep = true, cmDDExtractTo = true,
         cmDDExtractHere = true, cmDDExtractToFolder = true, cmDDExtractMultipleTo = true,
         cmDDExtractMultiple = true, cmDDExtractMultipleSep = true, cmVirusScan = true, cmConvert = true,
         cmTest = true, cmMakeExe = true, cmRepairZip = true;
    bool itArcTypeInfo = true, itDateInfo = true, itPackedSizeInfo = true, itUnpackedSizeInfo = true,
         itNumFilesInfo = true, itRatioInfo = true, itShowListingInfo = true;
    std::int32_t MaxFilesInfo = 10; // 1..50
    std::int32_t adPath = 0;        // 0 relative, 1 full
    std::int32_t adArcType = 6;     // 0 bh, 1 cab, 2 jar, 3 lha, 4 lzh, 5 tar, 6 zip

    // TrayIcon
    bool EnableTray = true, ShowMRU = true;
    std::int32_t ListFormat = 0;  // 0 file name, 1 full path
    std::int32_t DoubleClick = 0; // 0 main window, 1 wizard, 2 backup manager

    bool operator==(const TAppSettings&) const = default;
};

// The process's one record.
TAppSettings& AppSettings();

// Writes the first-run settings (AppLocation, every section's defaults, and for an
// administrator the machine's association key when it is missing). False when a key cannot be
// made or a value not written: the store is reported unwritable and the program goes on.
bool WriteDefaultSettings();

// Reads the registry into the record. A value that is missing, of another type or out of its
// range takes its first-run default (the list font: the font the record holds); values added
// after the first release are written when missing (with the tray program's first start when
// its section is new). A store that cannot be written is reported once; the record then keeps
// what it could read and the defaults.
void LoadSettings();

// Writes the record to the registry; false when a section could not be written (the store is
// reported unwritable). The machine's association switches are written only for an
// administrator.
bool SaveSettings();
