// Deterministic damage of whole archives: where a format's headers and size fields lie (a
// small walker per format, independent of the engine's own parsers), and the variants made
// from them: cuts at and around every header boundary and inside every header, every header
// byte changed, every size or offset field enlarged and shrunk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct TArchiveMap {
    // A header, or a part of one, [Begin, End). Label, when not empty, says why the format cannot
    // see a change there (a name no checksum covers, data without a checksum); with a leading
    // '@', why it cannot see a cut there (and the range only says where cuts fall).
    struct TRange {
        std::int64_t Begin = 0, End = 0;
        std::string What, Label;
    };
    // A size, length, count or offset field of the header at Header. Coding: 'L' little-endian,
    // 'O' octal text, 'U' a uuencoded line's length character, 'X' an xxencoded one's, 'V' a
    // number of seven bits a byte, the high bit marking that more follow (rar 5).
    struct TField {
        std::int64_t At = 0;
        int Width = 0;
        char Coding = 'L';
        std::string What;
        std::int64_t Header = 0;
    };
    std::vector<TRange> Headers;
    std::vector<TField> Sizes;
    // Makes the header of a changed size field agree with it again (its checksum), as a hostile
    // writer would; returns why the format then cannot see the change, or "" (tar).
    std::function<std::string(std::string& Bytes, const TField& Field, std::uint64_t Old, std::uint64_t New)>
        Refit;
    // Seals the header at Header (its checksum) as a hostile writer would: every change of an
    // entry's packed or unpacked size is a variant again, with its header sealed.
    std::function<void(std::string& Bytes, std::int64_t Header)> Seal;
};

struct TVariant {
    std::string What;  // what was cut or changed where, for failure messages
    std::string Label; // why the format cannot see the damage ("": it can)
    std::string Bytes;
};

// The whole archive first (what: "whole archive"), then its damaged variants, in a fixed
// order. Header bytes beyond MaxBytes are taken at a fixed stride.
std::vector<TVariant> DamageVariants(const std::string& Whole, const TArchiveMap& Map, int MaxBytes = 240);

// A walker maps an archive's headers; it stops quietly at anything it does not understand.
using TWalk = TArchiveMap(const std::string& A);
using TWalker = TWalk*;
TWalk MapZip, MapLha, MapArj, MapArc, MapZoo, MapBh, MapTar, MapGzip, MapCompress, MapCab, MapRar, MapRar5,
    MapUu, MapXx;

// The variants of the archive that Gzipped (a gzip file of one member) holds, each gzipped
// again (without the whole archive): damage a compressed archive's reader meets inside it.
std::vector<TVariant> InnerDamageVariants(const std::string& Gzipped, TWalker Map, int MaxBytes = 240);

// Gives an arj archive's main header fixed creation and change times (arj stamps it with the
// time it was made) and its header checksum again: the same bytes on every run.
void FixArjTimes(std::string& A);

} // namespace testsupport
