#include "DamageSweep.h"

#include "engine/core/krvCrc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string_view>
#include <zlib.h>

namespace testsupport {

namespace {

using I = std::int64_t;
using TRange = TArchiveMap::TRange;
using TField = TArchiveMap::TField;

// Why a format cannot see damage: a change there ('@': a cut there).
const std::string Name = "no checksum covers the stored name",
                  FirstName = "the first member's name names the output; no checksum covers it",
                  Line = "an encoded line has no checksum",
                  HeaderCut = "@cut where a header begins, it is a whole archive of fewer entries",
                  MemberCut = "@cut where a member begins, it is a whole gzip file of fewer members",
                  FileCut = "@cut after a file's end line, the text is a whole one of fewer files",
                  DataCut = "@a .Z keeps neither length nor checksum: data cut at a code is a shorter file",
                  RarCut = "@rar 4 may end without an end block: cut where a block begins, it is a whole "
                           "archive of fewer entries (lsar and unar pass it)",
                  RefittedTar =
                      "tar keeps no checksum of the data: a size ending in the same last block, or in "
                      "the zeros after the last entry, with the header checksum made to fit";

constexpr std::size_t U(I Value) {
    return static_cast<std::size_t>(Value);
}

bool Has(const std::string& A, I At, I Count) {
    return At >= 0 && Count >= 0 && At <= std::ssize(A) - Count;
}

// The little-endian number of Width bytes at At (bytes past the end read as 0).
I Get(const std::string& A, I At, int Width) {
    I v = 0;
    for (int i = Width - 1; i >= 0; --i)
        v = v << 8 | (Has(A, At + i, 1) ? static_cast<unsigned char>(A[U(At + i)]) : 0);
    return v;
}

// Puts Value little-endian into Width bytes at At.
void Put(std::string& A, I At, std::uint64_t Value, int Width) {
    for (int i = 0; i < Width; ++i, Value >>= 8)
        A[U(At + i)] = static_cast<char>(Value & 0xFF);
}

// The CRC-32 of [From, To).
std::uint32_t Crc32(const std::string& A, I From, I To) {
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(A.data() + From, To - From, crc);
    return ~crc;
}

// The rar 5 number at Q (seven bits a byte, the high bit marking that more follow); Q moves past it.
I Vint(const std::string& A, I& Q) {
    std::uint64_t v = 0;
    for (int shift = 0; Has(A, Q, 1) && shift < 64; shift += 7) {
        const I b = Get(A, Q++, 1);
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) break;
    }
    return static_cast<I>(v);
}

// Whether a field holds an entry's packed or unpacked size.
bool EntrySize(const TField& F) {
    return F.What.ends_with(": size") || F.What.ends_with("packed size") || F.What.ends_with("data size");
}

// Whether [From, To) holds nothing but zeros.
bool Zeros(const std::string& A, I From, I To) {
    return A.find_first_not_of('\0', U(From)) >= U(To);
}

// The NUL-terminated text at At, at most Max bytes.
std::string Text(const std::string& A, I At, I Max) {
    if (!Has(A, At, 0)) return {};
    const std::string t = A.substr(U(At), U(Max));
    return t.substr(0, t.find('\0'));
}

// The little-endian fields of the header at Base named Of: "offset:width what" separated by ';'.
void Fields(TArchiveMap& M, I Base, const std::string& Of, const char* List) {
    std::istringstream in(List);
    for (std::string field; std::getline(in, field, ';');) {
        const auto colon = field.find(':'), blank = field.find(' ');
        M.Sizes.push_back({Base + std::stoll(field), std::stoi(field.substr(colon + 1)), 'L',
                           Of + ": " + field.substr(blank + 1), Base});
    }
}

// A header [Begin, End) named What, with its fields; Label as for TRange.
void Hdr(TArchiveMap& M, I Begin, I End, const std::string& What, const char* List = "",
         const std::string& Label = "") {
    M.Headers.push_back({Begin, End, What, Label});
    Fields(M, Begin, What, List);
}

const char* Alphabet(const TField& F) {
    return F.Coding == 'U' ? "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_"
                           : "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
}

// The value of a size field, and its encoding of another value ("" when it cannot hold it).
std::uint64_t FieldValue(const std::string& A, const TField& F) {
    const char c = A[U(F.At)];
    if (F.Coding == 'O') return std::stoull("0" + Text(A, F.At, F.Width), nullptr, 8);
    if (F.Coding == 'U' || F.Coding == 'X') {
        const char* at = std::strchr(Alphabet(F), c == ' ' ? '`' : c);
        return at && c ? static_cast<std::uint64_t>(at - Alphabet(F)) : 0;
    }
    std::uint64_t v = 0;
    for (int i = F.Width - 1; i >= 0; --i)
        v = F.Coding == 'V' ? v << 7 | (Get(A, F.At + i, 1) & 0x7F) : v << 8 | Get(A, F.At + i, 1);
    return v;
}

std::string FieldBytes(const TField& F, std::uint64_t Value) {
    if (F.Coding == 'U' || F.Coding == 'X') return Value < 64 ? std::string(1, Alphabet(F)[Value]) : "";
    // Octal: the digits the field held, ending in its last byte (NUL or blank) as before. 'V':
    // seven bits a byte, the high bit set on all but the last.
    std::string out;
    for (int i = 0; i < F.Width - (F.Coding == 'O'); ++i) {
        const int bits = F.Coding == 'O' ? 3 : F.Coding == 'V' ? 7 : 8;
        const auto c = static_cast<char>((Value & ((1u << bits) - 1)) + (F.Coding == 'O' ? '0' : 0) +
                                         (F.Coding == 'V' && i + 1 < F.Width ? 0x80 : 0));
        out.insert(F.Coding == 'O' ? out.begin() : out.end(), c);
        Value >>= bits;
    }
    return Value ? "" : out;
}

// Runs In through zlib: Bits 0 deflates it into a gzip member without name or time, other Bits
// inflate with that window; Used gets the input taken (-1 unless the stream ends).
std::string Zlib(std::string_view In, int Bits, I* Used = nullptr) {
    z_stream z{};
    if ((Bits ? inflateInit2(&z, Bits) : deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY)) != Z_OK)
        return {};
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(In.data()));
    z.avail_in = static_cast<uInt>(In.size());
    int status = Z_OK;
    for (char chunk[65536]; status == Z_OK;) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        status = Bits ? inflate(&z, Z_NO_FLUSH) : deflate(&z, Z_FINISH);
        out.append(chunk, sizeof chunk - z.avail_out);
    }
    if (Used) *Used = status == Z_STREAM_END ? static_cast<I>(z.total_in) : -1;
    Bits ? inflateEnd(&z) : deflateEnd(&z);
    return status == Z_STREAM_END ? out : std::string();
}

} // namespace

std::vector<TVariant> DamageVariants(const std::string& Whole, const TArchiveMap& Map, int MaxBytes) {
    std::vector<TVariant> out = {{"whole archive", "", Whole}};
    const I size = std::ssize(Whole);
    // The innermost range holding At: among the headers and their parts (Bytes), or among the
    // ranges that only say where cuts fall.
    const auto inner = [&](I At, bool Bytes) -> const TRange* {
        const TRange* best = nullptr;
        for (const TRange& r : Map.Headers)
            if (r.Begin <= At && At < r.End && Bytes != r.Label.starts_with('@') &&
                (!best || r.End - r.Begin < best->End - best->Begin))
                best = &r;
        return best;
    };
    const auto where = [&](I At) {
        const TRange* r = inner(At, true) ? inner(At, true) : inner(At, false);
        return " (" + (r ? r->What + " +" + std::to_string(At - r->Begin) : "past the headers") + ")";
    };
    const auto label = [&](I At, bool Cut) {
        const TRange* r = inner(At, !Cut);
        return !r ? std::string() : r->Label.substr(Cut && !r->Label.empty());
    };
    const auto add = [&](std::string What, std::string Label) -> std::string& {
        return out.emplace_back(std::move(What), std::move(Label), Whole).Bytes;
    };

    std::set<I> cuts, bytes;
    for (const TRange& r : Map.Headers) {
        for (int d = -3; d <= 3; ++d)
            cuts.insert({r.Begin + d, r.End + d});
        cuts.insert((r.Begin + r.End) / 2);
        for (I p = std::max<I>(r.Begin, 0); p < std::min(r.End, size) && !r.Label.starts_with('@'); ++p)
            bytes.insert(p);
    }
    for (const I c : cuts)
        if (c >= 0 && c < size) add("cut at " + std::to_string(c) + where(c), label(c, true)).resize(c);
    const std::vector<I> all(bytes.begin(), bytes.end());
    const std::size_t stride = std::max<std::size_t>(1, (all.size() + MaxBytes - 1) / MaxBytes);
    for (std::size_t i = 0; i < all.size(); i += stride) {
        const I p = all[i];
        char mask[8];
        std::snprintf(mask, sizeof mask, " ^0x%02X", 1 << p % 8);
        add("byte " + std::to_string(p) + mask + where(p), label(p, false))[U(p)] ^=
            static_cast<char>(1 << p % 8);
    }

    for (const TField& f : Map.Sizes) {
        if (!Has(Whole, f.At, f.Width)) continue;
        const std::uint64_t v = FieldValue(Whole, f);
        // An encoded line's length moves by a whole group of three bytes: within its last
        // group of four characters it is data, which no checksum covers.
        const std::uint64_t step = f.Coding == 'U' || f.Coding == 'X' ? 3 : 1;
        const int bits = f.Coding == 'U' || f.Coding == 'X' ? 6
                         : f.Coding == 'O'                  ? 3 * (f.Width - 1)
                                                            : (f.Coding == 'V' ? 7 : 8) * f.Width;
        const std::uint64_t max = bits >= 64 ? ~0ULL : (1ULL << bits) - 1;
        std::set<std::uint64_t> seen = {v};
        for (const std::uint64_t n : {v + step, v + v / 2 + 16, max, v - step, v / 2, std::uint64_t{0}}) {
            const std::string field = FieldBytes(f, n);
            if (!seen.insert(n).second || field.empty()) continue;
            std::string& b = add(f.What + " at " + std::to_string(f.At) + " " + std::to_string(v) + " -> " +
                                     std::to_string(n),
                                 "");
            b.replace(U(f.At), field.size(), field);
            if (Map.Refit) out.back().Label = Map.Refit(b, f, v, n);
            if (!Map.Seal || !EntrySize(f)) continue;
            std::string sealed = b;
            Map.Seal(sealed, f.Header);
            out.push_back({out.back().What + ", header sealed", "", std::move(sealed)});
        }
    }
    return out;
}

std::vector<TVariant> InnerDamageVariants(const std::string& Gzipped, TWalker Map, int MaxBytes) {
    const std::string inner = Zlib(Gzipped, 31);
    std::vector<TVariant> out = DamageVariants(inner, Map(inner), MaxBytes);
    out.erase(out.begin());
    for (TVariant& v : out) {
        v.What = "inside: " + v.What;
        v.Bytes = Zlib(v.Bytes, 0);
    }
    return out;
}

TArchiveMap MapZip(const std::string& A) {
    TArchiveMap m;
    const auto e = static_cast<I>(A.rfind(std::string("PK\5\6", 4)));
    if (e < 0 || !Has(A, e, 22)) return m;
    Hdr(m, e, e + 22 + Get(A, e + 20, 2), "end record",
        "8:2 entries here;10:2 entries;12:4 directory size;16:4 directory offset");
    for (I p = Get(A, e + 16, 4), next; Has(A, p, 46) && Get(A, p, 4) == 0x02014B50; p = next) {
        const std::string name = Text(A, p + 46, Get(A, p + 28, 2));
        const I l = Get(A, p + 42, 4);
        next = p + 46 + Get(A, p + 28, 2) + Get(A, p + 30, 2) + Get(A, p + 32, 2);
        Hdr(m, p, next, "central record of " + name,
            "20:4 packed size;24:4 size;28:2 name length;30:2 extra length;42:4 local header offset");
        if (Has(A, l, 30) && Get(A, l, 4) == 0x04034B50)
            Hdr(m, l, l + 30 + Get(A, l + 26, 2) + Get(A, l + 28, 2), "local header of " + name,
                "18:4 packed size;22:4 size;26:2 name length;28:2 extra length");
    }
    return m;
}

TArchiveMap MapLha(const std::string& A) {
    TArchiveMap m;
    // Levels 0 and 1: the header's checksum (the sum of its bytes after the first two) made to
    // fit; level 2: the CRC-16 of the whole header, the common extension header's.
    m.Seal = [](std::string& B, I p) {
        if (Get(B, p + 20, 1) < 2) {
            unsigned sum = 0;
            for (I i = p + 2; i < p + 2 + Get(B, p, 1); ++i)
                sum += static_cast<unsigned char>(B[U(i)]);
            Put(B, p + 1, sum, 1);
        }
        for (I e = p + 26, s = Get(B, p + 24, 2); Get(B, p + 20, 1) == 2 && s && Has(B, e, s);
             e += s, s = Get(B, e - 2, 2))
            if (Get(B, e, 1) == 0) {
                std::uint16_t crc = 0;
                Put(B, e + 1, 0, 2);
                UpdateCrc16Buf(B.data() + p, Get(B, p, 2), crc);
                Put(B, e + 1, crc, 2);
            }
    };
    for (I p = 0, i = 1; Has(A, p, 1); ++i) {
        const int level = Has(A, p, 24) && Get(A, p, 1) ? static_cast<int>(Get(A, p + 20, 1)) : -1;
        if (level == -1) Hdr(m, p, p + 1, "end mark");
        if (level < 0 || level > 2) break;
        const std::string of = "header of entry " + std::to_string(i);
        const I size = level == 2 ? Get(A, p, 2) : Get(A, p, 1) + 2;
        Hdr(m, p, p + size, of, level == 2 ? "0:2 header size" : "0:1 header size;21:1 name length");
        Fields(m, p, of, "7:4 packed size;11:4 size");
        // Extension headers, each ending in the size of the next; level 1 counts them as data.
        I ext = level == 1 ? p + size - 2 : level == 2 ? p + 24 : 0;
        for (I q = level == 2 ? p + 26 : p + size, s; ext && (s = Get(A, ext, 2)) != 0 && Has(A, q, s);
             q += s, ext = q - 2) {
            m.Sizes.push_back({ext, 2, 'L', of + ": extension size", p});
            if (level == 1) Hdr(m, q, q + s, of + " extension");
        }
        p += size + Get(A, p + 7, 4);
    }
    return m;
}

namespace {

// The CRC-32 of the arj header at p's basic header, after it, made to fit.
void SealArj(std::string& A, I p) {
    Put(A, p + 4 + Get(A, p + 2, 2), Crc32(A, p + 4, p + 4 + Get(A, p + 2, 2)), 4);
}

// Calls Visit(start, number, basic header size) for every arj header (number 0: the main one)
// until it returns false, and Extension(start, its header's name) for each extended header.
template <class TVisit, class TExtension>
void WalkArj(const std::string& A, TVisit Visit, TExtension Extension) {
    for (I p = 0, i = 0, q; Has(A, p, 4) && Get(A, p, 2) == 0xEA60 && Visit(p, i, Get(A, p + 2, 2)); ++i) {
        for (q = p + 8 + Get(A, p + 2, 2); Has(A, q, 2) && Get(A, q, 2) != 0; q += 6 + Get(A, q, 2))
            Extension(q);
        p = q + 2 + (i > 0 ? Get(A, p + 16, 4) : 0);
    }
}

} // namespace

void FixArjTimes(std::string& A) {
    // Each header's cipher modifier (arj varies it from run to run); the main header's creation
    // and change times, an entry's access and creation times: each header's checksum again after.
    const auto visit = [&](I p, I i, I size) {
        const I b = p + 4, fixed = Get(A, b, 1);
        if (size == 0 || !Has(A, b, size + 4)) return false;
        for (const auto& [from, to] : i == 0 ? std::vector<std::pair<I, I>>{{7, 8}, {8, 16}}
                                             : std::vector<std::pair<I, I>>{{7, 8}, {34, 42}})
            for (I at = b + from; at < std::min(b + to, b + fixed); ++at)
                A[U(at)] = "\x00\x20\x43\x2A"[(at - b - from) % 4]; // 2001-02-03 04:00
        SealArj(A, p);
        return true;
    };
    WalkArj(A, visit, [](I) {});
}

TArchiveMap MapArj(const std::string& A) {
    TArchiveMap m;
    // The basic header's CRC-32 (after it) made to fit.
    m.Seal = SealArj;
    std::string of;
    const auto visit = [&](I p, I i, I basic) {
        of = basic == 0 ? "end header"
             : i == 0   ? "main header"
                        : "header of " + Text(A, p + 4 + Get(A, p + 4, 1), 256);
        Hdr(m, p, p + (basic ? 8 + basic : 4), of,
            !basic ? ""
            : i    ? "2:2 header size;4:1 fixed part size;16:4 packed size;20:4 size"
                   : "2:2 header size;4:1 fixed part size");
        return basic != 0;
    };
    WalkArj(A, visit, [&](I q) {
        Hdr(m, q, q + 6 + Get(A, q, 2), of + " extension");
        m.Sizes.push_back({q, 2, 'L', of + ": extension size", q});
    });
    return m;
}

TArchiveMap MapArc(const std::string& A) {
    TArchiveMap m;
    for (I p = 0; Has(A, p, 2) && A[U(p)] == 0x1A;) {
        const int method = A[U(p + 1)];
        const I size = method == 0 ? 2 : method == 1 ? 25 : 29;
        const std::string of = method == 0 ? "end mark" : "header of " + Text(A, p + 2, 13);
        Hdr(m, p, p + size, of,
            method == 0   ? ""
            : method == 1 ? "15:4 packed size"
                          : "15:4 packed size;25:4 size");
        if (method == 0) break;
        Hdr(m, p + 2, p + 15, of + " name", "", Name);
        p += size + Get(A, p + 15, 4);
    }
    return m;
}

TArchiveMap MapZoo(const std::string& A) {
    TArchiveMap m;
    constexpr I tag = 0xFDC4A7DC;
    if (Get(A, 20, 4) != tag) return m;
    Hdr(m, 0, 35, "archive header", "24:4 first entry offset;28:4 its complement");
    std::set<I> seen;
    for (I p = Get(A, 24, 4); Has(A, p, 56) && Get(A, p, 4) == tag && seen.insert(p).second;
         p = Get(A, p + 6, 4)) {
        const bool last = Get(A, p + 6, 4) == 0;
        const std::string of = last ? "closing entry" : "entry " + Text(A, p + 38, 13);
        Hdr(m, p, p + 56 + (last ? 0 : Get(A, p + 51, 2)), of,
            last ? ""
                 : "6:4 next entry offset;10:4 data offset;20:4 size;24:4 packed size;51:2 variable part "
                   "length");
        if (last) break;
        Hdr(m, p + 38, p + 51, of + " name", "", Name);
    }
    return m;
}

TArchiveMap MapBh(const std::string& A) {
    TArchiveMap m;
    for (I p = 0; Has(A, p, 6) && Get(A, p, 4) == 0x07054842; p += Get(A, p + 4, 2) + Get(A, p + 15, 4)) {
        const I total = Get(A, p + 4, 2), nameLength = Get(A, p + 33, 2);
        if (total == 0 || !Has(A, p, 37)) {
            Hdr(m, p, std::min(p + 37, std::ssize(A)), "end header");
            break;
        }
        const std::string of = "header of " + Text(A, p + 37, nameLength);
        Hdr(m, p, p + total, of,
            "4:2 header length;15:4 packed size;19:4 size;33:2 name length;35:2 extra length");
        Hdr(m, p + 37, p + 37 + nameLength, of + " name", "", Name);
        // bh has no end mark: a file cut where a header begins is a whole archive of fewer entries.
        if (p > 0) Hdr(m, p, p + 1, "start of " + of, "", HeaderCut);
    }
    return m;
}

TArchiveMap MapTar(const std::string& A) {
    TArchiveMap m;
    // The header checksum made to fit the new size. Tar keeps no checksum of the data: a size
    // that still ends in the entry's last block, or in the zeros after the last entry, reads as
    // whole.
    m.Refit = [](std::string& B, const TField& F, std::uint64_t Old, std::uint64_t New) {
        std::uint64_t sum = 8 * ' ';
        for (I i = 0; i < 512; ++i)
            sum += i >= 148 && i < 156 ? 0 : static_cast<unsigned char>(B[U(F.Header + i)]);
        for (int i = 0; i < 6; ++i, sum >>= 3)
            B[U(F.Header + 153 - i)] = static_cast<char>('0' + (sum & 7));
        const auto end = [&](std::uint64_t Size) {
            return F.Header + 512 +
                   static_cast<I>(std::min<std::uint64_t>((Size + 511) / 512 * 512, 1ULL << 40));
        };
        const bool zeros = end(New) > end(Old) && end(New) <= std::ssize(B) && Zeros(B, end(Old), end(New));
        return end(Old) == end(New) || zeros ? RefittedTar : std::string();
    };
    for (I p = 0; Has(A, p, 512);
         p += 512 + (std::stoll("0" + Text(A, p + 124, 12), nullptr, 8) + 511) / 512 * 512) {
        const bool end = Zeros(A, p, p + 512);
        Hdr(m, p, p + 512, end ? "end block" : "header of " + Text(A, p, 100));
        if (end) break;
        m.Sizes.push_back({p + 124, 12, 'O', "header of " + Text(A, p, 100) + ": size", p});
    }
    return m;
}

TArchiveMap MapGzip(const std::string& A) {
    TArchiveMap m;
    for (I p = 0, i = 1, t = 0; Has(A, p, 10) && Get(A, p, 2) == 0x8B1F; ++i, p = t + 8) {
        const std::string of = "member " + std::to_string(i);
        const I flags = Get(A, p + 3, 1);
        I q = p + 10;
        if (flags & 4) Fields(m, q, of, "0:2 extra length");
        q += flags & 4 ? 2 + Get(A, q, 2) : 0;
        for (const I bit : {8, 16})
            if (flags & bit) {
                const auto nul = static_cast<I>(A.find('\0', U(q)));
                if (nul < 0) return m;
                if (bit == 8) Hdr(m, q, nul, of + " name", "", i == 1 ? FirstName : "");
                q = nul + 1;
            }
        q += flags & 2 ? 2 : 0;
        Hdr(m, p, q, "header of " + of);
        // The member's end: where raw inflate stops.
        Zlib(std::string_view(A).substr(U(q)), -15, &t);
        if (t < 0 || !Has(A, t += q, 8)) return m;
        Hdr(m, q, t, "data of " + of, "", "@");
        Hdr(m, t, t + 8, "trailer of " + of, "4:4 size");
        if (i > 1) Hdr(m, p, p + 1, "start of " + of, "", MemberCut);
    }
    return m;
}

TArchiveMap MapCompress(const std::string& A) {
    TArchiveMap m;
    if (Get(A, 0, 2) != 0x9D1F) return m;
    Hdr(m, 0, 3, "header");
    Hdr(m, 3, std::ssize(A), "data", "", DataCut);
    Hdr(m, std::ssize(A) / 3, std::ssize(A) / 3 + 1, "data", "", DataCut);
    return m;
}

TArchiveMap MapCab(const std::string& A) {
    TArchiveMap m;
    if (A.compare(0, 4, "MSCF") != 0 || !Has(A, 0, 36)) return m;
    Hdr(m, 0, 36, "cabinet header", "8:4 cabinet size;16:4 files offset;26:2 folders;28:2 files");
    for (I f = 0, p = 36; f < Get(A, 26, 2); ++f, p += 8) {
        const std::string of = "folder " + std::to_string(f + 1);
        Hdr(m, p, p + 8, of, "0:4 data offset;4:2 data blocks");
        for (I b = 0, q = Get(A, p, 4); b < Get(A, p + 4, 2) && Has(A, q, 8); ++b, q += 8 + Get(A, q + 4, 2))
            Hdr(m, q, q + 8, of + " block " + std::to_string(b + 1), "4:2 packed size;6:2 size");
    }
    for (I i = 0, p = Get(A, 16, 4), n; i < Get(A, 28, 2) && Has(A, p, 17); ++i, p += 17 + n) {
        const std::string name = Text(A, p + 16, 256), of = "file record of " + name;
        n = std::ssize(name);
        Hdr(m, p, p + 17 + n, of, "0:4 size;4:4 offset in its folder;8:2 folder");
        Hdr(m, p + 16, p + 16 + n, of + " name", "", Name);
    }
    return m;
}

TArchiveMap MapRar(const std::string& A) {
    TArchiveMap m;
    if (A.compare(0, 7, std::string("Rar!\x1A\x07\x00", 7)) != 0) return m;
    // The low half of the header's CRC-32 (its first two bytes) made to fit.
    m.Seal = [](std::string& B, I p) { Put(B, p, Crc32(B, p + 2, p + Get(B, p + 5, 2)) & 0xFFFF, 2); };
    Hdr(m, 0, 7, "marker");
    for (I p = 7; Has(A, p, 7);) {
        const I type = Get(A, p + 2, 1), data = type == 0x74 || (Get(A, p + 3, 2) & 0x8000),
                size = Get(A, p + 5, 2);
        if (size < 7) break;
        const std::string of = type == 0x73   ? std::string("archive header")
                               : type == 0x74 ? "header of " + Text(A, p + 32, Get(A, p + 26, 2))
                               : type == 0x7B ? std::string("end header")
                                              : "block of type " + std::to_string(type);
        Hdr(m, p, p + size, of);
        // rar 1.5 to 4 may end without an end block (older versions wrote none).
        if (type != 0x73) Hdr(m, p, p + 1, "start of " + of, "", RarCut);
        Fields(m, p, of,
               type == 0x74 ? "5:2 header size;7:4 packed size;11:4 size;26:2 name length"
               : data       ? "5:2 header size;7:4 data size"
                            : "5:2 header size");
        if (type == 0x7B) break;
        p += size + (data ? Get(A, p + 7, 4) : 0);
    }
    return m;
}

TArchiveMap MapRar5(const std::string& A) {
    TArchiveMap m;
    if (A.compare(0, 8, std::string("Rar!\x1A\x07\x01\x00", 8)) != 0) return m;
    // The header's CRC-32 (before it) made to fit.
    m.Seal = [](std::string& B, I p) {
        I q = p + 4;
        const I size = Vint(B, q);
        Put(B, p, Crc32(B, p + 4, q + size), 4);
    };
    Hdr(m, 0, 8, "marker");
    for (I p = 8, q, end, data; Has(A, p, 7); p = end + data) {
        std::vector<TField> named;
        q = p + 4;
        // A variable-length number at q (q moves past it); Field names it as a size field.
        const auto number = [&](const char* Field = nullptr) {
            const I at = q, v = Vint(A, q);
            if (Field) named.push_back({at, static_cast<int>(q - at), 'V', Field, p});
            return v;
        };
        const I size = number("header size");
        end = q + size;
        const I type = number(), flags = number();
        if (flags & 1) number("extra area size");
        data = flags & 2 ? number("data size") : 0;
        std::string of = type == 1   ? "archive header"
                         : type == 5 ? "end header"
                                     : "header at " + std::to_string(p);
        if (type == 2 || type == 3) {
            const I fileFlags = number();
            number(type == 2 ? "size" : nullptr);
            number();
            q += (fileFlags & 2 ? 4 : 0) + (fileFlags & 4 ? 4 : 0);
            number();
            number();
            const I nameLength = number();
            of = "header of " + Text(A, q, nameLength);
        }
        Hdr(m, p, end, of);
        for (TField& f : named)
            m.Sizes.push_back({f.At, f.Width, 'V', of + ": " + f.What, p});
        if (type == 5 || size <= 0) break;
    }
    return m;
}

namespace {

// Uuencoded or xxencoded text: begin and end lines are headers (the names in them have no
// checksum, nor has the text an end of its own); the length characters of the first two and
// last two lines of each file (its closing empty line among them) are sizes; one character of
// each file's first data line stands for the data, which no checksum covers.
TArchiveMap MapEncoded(const std::string& A, char Coding) {
    TArchiveMap m;
    std::vector<std::pair<I, I>> data; // the current file's data lines
    std::string name;
    I lastEnd = -1;
    for (I s = 0, e; s < std::ssize(A); s = e) {
        const auto nl = static_cast<I>(A.find('\n', U(s)));
        e = nl < 0 ? std::ssize(A) : nl + 1;
        const std::string line = A.substr(U(s), U(e - s));
        if (line.starts_with("begin ")) {
            const auto at = static_cast<I>(line.find(' ', 6) + 1);
            name = line.substr(U(at));
            name.erase(name.find_last_not_of("\r\n") + 1);
            Hdr(m, s, e, "begin line of " + name);
            Hdr(m, s + at, s + at + std::ssize(name), "name " + name, "", Name);
            if (lastEnd >= 0) Hdr(m, lastEnd + 3, s + 7, "text between files", "", FileCut);
            data.clear();
        } else if (line.starts_with("end") && !name.empty()) {
            Hdr(m, lastEnd = s, e, "end line of " + name);
            for (std::size_t i = 0; i < data.size(); ++i)
                if (i < 2 || i + 2 >= data.size())
                    m.Sizes.push_back({data[i].first, 1, Coding,
                                       "length of line " + std::to_string(i + 1) + " of " + name, s});
            if (!data.empty()) {
                Hdr(m, data[0].first + 5, data[0].first + 6, "first data line of " + name, "", Line);
                Hdr(m, data[0].first, data.back().second, "data of " + name, "", "@");
            }
            name.clear();
        } else if (!name.empty()) {
            data.emplace_back(s, e);
        }
    }
    if (lastEnd >= 0) Hdr(m, lastEnd + 3, std::ssize(A), "text after the files", "", FileCut);
    return m;
}

} // namespace

TArchiveMap MapUu(const std::string& A) {
    return MapEncoded(A, 'U');
}

TArchiveMap MapXx(const std::string& A) {
    return MapEncoded(A, 'X');
}

} // namespace testsupport
