// Entry selection by name masks: the one implementation behind the readers, the lister and
// the writers.
#include "engine/core/krvMatchSpec.h"

#include "engine/core/krvGbls.h"
#include "engine/core/krvOutputPath.h"
#include "engine/core/krvWildMatch.h"

#include <algorithm>
#include <string_view>

namespace {

// Position just after the last folder separator (0 when the name has no folder). A ':' is
// part of a name here, as on the local file system.
std::size_t NameStart(std::string_view Name) {
    for (std::size_t i = Name.size(); i > 0; --i)
        if (IsPathSeparator(Name[i - 1])) return i;
    return 0;
}

// Folders as stored may use either separator: both sides are compared with '/'.
std::string Normalized(std::string_view Text) {
    std::string s(Text);
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

bool HasDot(std::string_view Text) {
    return Text.substr(NameStart(Text)).find('.') != std::string_view::npos;
}

// A mask without wildcards is a name: on Linux readme.txt and README.TXT are two files, so it
// takes only the very same name. A mask with wildcards matches without regard to case.
bool IsPlainName(std::string_view Mask) {
    return Mask.find_first_of("*?") == std::string_view::npos;
}

bool Matches(std::string_view Name, std::string_view Mask, bool Plain) {
    return Plain ? Name == Mask : WildMatch(Name, Mask);
}

bool SameText(std::string_view A, std::string_view B, bool Plain) {
    return Plain ? A == B : SameTextNoCase(A, B);
}

// The mask test, repeated with '.' appended to whichever side has no dot.
bool MatchWithDot(std::string_view Name, std::string_view Mask, bool Plain) {
    if (Matches(Name, Mask, Plain)) return true;
    const bool nameDot = HasDot(Name);
    const bool maskDot = HasDot(Mask);
    if (nameDot && maskDot) return false;
    const std::string name = nameDot ? std::string(Name) : std::string(Name) + '.';
    const std::string mask = maskDot ? std::string(Mask) : std::string(Mask) + '.';
    return Matches(name, mask, Plain);
}

bool IsExactMask(const std::string& Mask) {
    return !Mask.empty() && Mask.front() == ExactNameMark;
}

// An exact-name mask against a '/'-separated name. A name holding control bytes is also taken by
// the form in which it is listed, with those bytes escaped.
bool MatchesExactly(const std::string& Name, const std::string& Mask) {
    const std::string mask = Normalized(std::string_view(Mask).substr(1));
    if (Name == mask) return true;
    const bool control = std::any_of(
        Name.begin(), Name.end(), [](char C) { return static_cast<unsigned char>(C) < 0x20 || C == 0x7F; });
    return control && Normalized(ShownStoredName(Name)) == mask;
}

bool Excluded(const std::string& Name, const std::vector<std::string>& ExcludeSpec) {
    for (const std::string& mask : ExcludeSpec) {
        if (mask.empty()) continue;
        if (IsExactMask(mask)) {
            if (MatchesExactly(Name, mask)) return true;
            continue;
        }
        const std::string m = Normalized(mask);
        const std::size_t mStart = NameStart(m);
        // An exclusion mask without folder excludes the name wherever it lies.
        const std::string_view tested =
            mStart == 0 ? std::string_view(Name).substr(NameStart(Name)) : std::string_view(Name);
        if (MatchWithDot(tested, m, IsPlainName(m))) return true;
    }
    return false;
}

} // namespace

std::string ExactNameMask(const std::string& Name) {
    return ExactNameMark + Name;
}

bool MatchEntrySpec(const std::string& EntryName, const std::vector<std::string>& FileSpec,
                    const std::vector<std::string>& ExcludeSpec, bool RecurseDirs) {
    if (EntryName.empty()) return false;
    const std::string name = Normalized(EntryName);
    const std::size_t nStart = NameStart(name);
    const std::string_view nameFolder = std::string_view(name).substr(0, nStart);
    const std::string_view namePart = std::string_view(name).substr(nStart);

    for (const std::string& rawMask : FileSpec) {
        if (rawMask.empty()) continue;
        if (IsExactMask(rawMask)) {
            if (MatchesExactly(name, rawMask)) return !Excluded(name, ExcludeSpec);
            continue;
        }
        const std::string mask = Normalized(rawMask);
        const bool plain = IsPlainName(mask);
        if (SameText(mask, name, plain)) return true;
        const std::size_t mStart = NameStart(mask);
        bool match;
        if (!RecurseDirs) {
            if (!SameText(std::string_view(mask).substr(0, mStart), nameFolder, plain)) continue;
            match = MatchWithDot(namePart, std::string_view(mask).substr(mStart), plain);
        } else if (mStart == 0) {
            match = MatchWithDot(namePart, mask, plain);
        } else {
            match = MatchWithDot(name, mask, plain);
        }
        if (match) return !Excluded(name, ExcludeSpec);
    }
    return false;
}

bool MatchFileSpec(const std::string& FileName, const std::vector<std::string>& IncludeMasks,
                   const std::vector<std::string>& ExcludeMasks) {
    const std::string name = Normalized(FileName);
    const bool nameDot = HasDot(name);
    bool included = false;
    for (const std::string& rawMask : IncludeMasks) {
        if (rawMask.empty()) continue;
        if (IsExactMask(rawMask)) {
            if (MatchesExactly(name, rawMask)) {
                included = true;
                break;
            }
            continue;
        }
        const std::string mask = Normalized(rawMask);
        const bool plain = IsPlainName(mask);
        if (Matches(name, mask, plain) ||
            (!nameDot && mask.find('.') != std::string::npos && Matches(name + '.', mask, plain))) {
            included = true;
            break;
        }
    }
    return included && !Excluded(name, ExcludeMasks);
}
