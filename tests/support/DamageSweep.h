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
    // A header, or a part of one, [Begin, End). Label names a part whose damage the format
    // cannot see (a name no checksum covers, data without a checksum); empty for the rest.
    struct TRange {
        std::int64_t Begin = 0;
        std::int64_t End = 0;
        std::string What;
        std::string Label;
    };
    // A size, length, count or offset field. Coding: 'L' little-endian, 'O' octal text,
    // 'U' a uuencoded line's length character, 'X' an xxencoded one's, 'V' a number of seven
    // bits a byte, the high bit marking that more follow (rar 5).
    struct TField {
        std::int64_t At = 0;
        int Width = 0;
        char Coding = 'L';
        std::string What;
        std::string Label;
    };
    std::vector<TRange> Headers;
    std::vector<TField> Sizes;
    // Makes the header of a changed size field agree with it again (its checksum), as a hostile
    // writer would; returns the label of a change the format then cannot see, or "".
    std::function<std::string(std::string& Bytes, const TField& Field, std::uint64_t Old, std::uint64_t New)>
        Refit;
};

struct TVariant {
    std::string What;  // what was cut or changed where, for failure messages
    std::string Label; // the label of the damaged range or field (empty: the format can see it)
    std::string Bytes;
};

// The whole archive first (what: "whole archive"), then its damaged variants, in a fixed
// order. Header bytes beyond MaxBytes are taken at a fixed stride.
std::vector<TVariant> DamageVariants(const std::string& Whole, const TArchiveMap& Map, int MaxBytes = 240);

// The variants of the archive that Gzipped (a gzip file of one member) holds, each gzipped
// again (without the whole archive): damage a compressed archive's reader meets inside it.
std::vector<TVariant> InnerDamageVariants(const std::string& Gzipped, TArchiveMap (*Map)(const std::string&),
                                          int MaxBytes = 240);

// The walkers: they stop quietly at anything they do not understand.
TArchiveMap MapZip(const std::string& A);
TArchiveMap MapLha(const std::string& A);
TArchiveMap MapArj(const std::string& A);
TArchiveMap MapArc(const std::string& A);
TArchiveMap MapZoo(const std::string& A);
TArchiveMap MapBh(const std::string& A);
TArchiveMap MapTar(const std::string& A);
TArchiveMap MapGzip(const std::string& A);
TArchiveMap MapCompress(const std::string& A);
TArchiveMap MapCab(const std::string& A);
TArchiveMap MapRar(const std::string& A);
TArchiveMap MapRar5(const std::string& A);
TArchiveMap MapUu(const std::string& A);
TArchiveMap MapXx(const std::string& A);

// Gives an arj archive's main header fixed creation and change times (arj stamps it with the
// time it was made) and its header checksum again: the same bytes on every run.
void FixArjTimes(std::string& A);

} // namespace testsupport
