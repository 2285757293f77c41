#include "ui/LmPlacesBar.h"

#include "platform/Registry.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <charconv>

namespace {

const std::string PlacePrefix = "Place_";

// The index of a "Place_<n>" key name, or -1.
long PlaceIndex(const std::string& KeyName) {
    if (KeyName.size() <= PlacePrefix.size()) return -1;
    std::string_view digits(KeyName);
    digits.remove_prefix(PlacePrefix.size());
    long index = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (error != std::errc() || end != digits.data() + digits.size()) return -1;
    return index;
}

QString ReadText(const TRegistry& Reg, const char* Name) {
    try {
        return QString::fromStdString(Reg.ReadString(Name));
    } catch (const ERegistryException&) {
        return {};
    }
}

int ReadNumber(const TRegistry& Reg, const char* Name, int Default) {
    try {
        return Reg.ReadInteger(Name);
    } catch (const ERegistryException&) {
        return Default;
    }
}

QString StandardFolder(QStandardPaths::StandardLocation Location) {
    return QStandardPaths::writableLocation(Location);
}

} // namespace

bool SavePlaces(const QString& Key, const TLmPlaces& Places) {
    try {
        TRegistry reg;
        const std::string key = Key.toStdString();
        if (!reg.OpenKey(key, true)) return false;
        for (const std::string& name : reg.GetKeyNames())
            reg.DeleteKey(name);
        for (std::size_t i = 0; i < Places.size(); ++i) {
            const TLmPlace& place = Places[i];
            TRegistry item;
            if (!item.OpenKey(key + "\\" + PlacePrefix + std::to_string(i), true)) return false;
            item.WriteValues({
                TRegValue{"Name", rdString, place.PlaceName.toStdString(), 0},
                TRegValue{"Path", rdString, place.PlacePath.toStdString(), 0},
                TRegValue{"RegPath", rdString, place.PlaceRegPath.toStdString(), 0},
                TRegValue{"IconDll", rdString, place.PlaceIconDll.toStdString(), 0},
                TRegValue{"Icon", rdInteger, {}, place.PlaceIcon},
                TRegValue{"IconHot", rdInteger, {}, place.PlaceHotIcon},
                TRegValue{"Hint", rdString, place.PlaceDesc.toStdString(), 0},
                TRegValue{"SpecFolder", rdInteger, {}, place.PlaceSpecPath},
                TRegValue{"AutoCaption", rdInteger, {}, place.AutoCaption ? 1 : 0},
            });
        }
        return true;
    } catch (const ERegistryException&) {
        return false;
    }
}

bool LoadPlaces(const QString& Key, TLmPlaces& Places) {
    TRegistry reg;
    const std::string key = Key.toStdString();
    if (!reg.OpenKeyReadOnly(key)) return false;
    // By index, not by name: "Place_10" comes after "Place_2".
    std::vector<std::pair<long, std::string>> keys;
    for (const std::string& name : reg.GetKeyNames()) {
        if (const long index = PlaceIndex(name); index >= 0) keys.emplace_back(index, name);
    }
    std::sort(keys.begin(), keys.end());
    for (const auto& [index, name] : keys) {
        TRegistry item;
        if (!item.OpenKeyReadOnly(key + "\\" + name)) continue;
        TLmPlace read;
        read.PlaceName = ReadText(item, "Name");
        read.PlacePath = ReadText(item, "Path");
        read.PlaceRegPath = ReadText(item, "RegPath");
        read.PlaceIconDll = ReadText(item, "IconDll");
        read.PlaceIcon = ReadNumber(item, "Icon", 0);
        read.PlaceHotIcon = ReadNumber(item, "IconHot", 0);
        read.PlaceDesc = ReadText(item, "Hint");
        read.PlaceSpecPath = SpecFolderFromStored(ReadNumber(item, "SpecFolder", ftNone));
        read.AutoCaption = ReadNumber(item, "AutoCaption", 0) != 0;
        const auto same = std::find_if(Places.begin(), Places.end(), [&](const TLmPlace& Place) {
            return Place.PlaceSpecPath == read.PlaceSpecPath &&
                   (read.PlaceSpecPath != ftNone || Place.PlaceName == read.PlaceName);
        });
        if (same != Places.end())
            *same = read;
        else
            Places.push_back(read);
    }
    return true;
}

void DeletePlace(TLmPlaces& Places, int Index) {
    if (Index >= 0 && Index < static_cast<int>(Places.size())) Places.erase(Places.begin() + Index);
}

void MovePlace(TLmPlaces& Places, int From, int To) {
    const int count = static_cast<int>(Places.size());
    if (From < 0 || From >= count || To < 0 || To >= count || From == To) return;
    if (From < To)
        std::rotate(Places.begin() + From, Places.begin() + From + 1, Places.begin() + To + 1);
    else
        std::rotate(Places.begin() + To, Places.begin() + From, Places.begin() + From + 1);
}

QString DeletePlaceQuestion(const TLmPlace& Place) {
    return QStringLiteral("Are you sure you want to delete this place?\rPlace: ") + Place.PlaceName;
}

TLmSpecShellFolder SpecFolderFromStored(int Value) {
    switch (Value) {
    case ftDesktop:
    case ftDrives:
    case ftPersonal:
    case ftFavorites:
        return static_cast<TLmSpecShellFolder>(Value);
    default:
        return ftNone;
    }
}

QString AutoCaptionOf(TLmSpecShellFolder Folder) {
    switch (Folder) {
    case ftDesktop:
        return "Desktop";
    case ftDrives:
        return "My Computer";
    case ftPersonal:
        return "My Documents";
    case ftFavorites:
        return "Favorites";
    case ftRecent:
        return "Recent";
    default:
        return {};
    }
}

QString PlaceFolder(const TLmPlace& Place) {
    switch (Place.PlaceSpecPath) {
    case ftDesktop:
        return StandardFolder(QStandardPaths::DesktopLocation);
    case ftDrives:
        return "/";
    case ftPersonal:
        return StandardFolder(QStandardPaths::DocumentsLocation);
    case ftFavorites:
        return QDir::homePath();
    default:
        break;
    }
    if (!Place.PlaceRegPath.isEmpty()) {
        // "\Key\Value" names its key and value; a bare name is a value of the shell's folders.
        std::string path = Place.PlaceRegPath.toStdString();
        std::string key = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
        std::string value = path;
        if (path.starts_with('\\')) {
            const std::size_t last = path.rfind('\\');
            key = path.substr(0, last);
            value = path.substr(last + 1);
        }
        TRegistry reg;
        if (!reg.OpenKeyReadOnly(key)) return {};
        return ReadText(reg, value.c_str());
    }
    return Place.PlacePath;
}
