// The recent-archive list: the paths of the archives opened last, newest first, at most
// MaxCount of them, kept under the per-user key "\Software\Quillar\MRU" (values "File1"...).
#pragma once

#include <string>
#include <vector>

class TMruList {
public:
    static constexpr const char* Key = "\\Software\\Quillar\\MRU";

    void Load();
    // Writes the list unless saving was switched off.
    void Save() const;
    bool AutoSave = true;

    const std::vector<std::string>& Items() const { return FItems; }
    int MaxCount() const { return FMaxCount; }
    // 0..10; a smaller maximum drops the oldest entries.
    void SetMaxCount(int Value);
    // Puts Path at the top (once).
    void Add(const std::string& Path);
    void Remove(const std::string& Path);
    // Removes the entries whose files no longer exist, from the last to the first.
    void RemoveMissing();

private:
    void Trim();
    std::vector<std::string> FItems;
    int FMaxCount = 8;
};
