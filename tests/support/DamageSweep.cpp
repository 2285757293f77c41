#include "DamageSweep.h"

#include "engine/core/krvCrc.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>
#include <zlib.h>

namespace testsupport {

namespace {

using TRange = TArchiveMap::TRange;
using TField = TArchiveMap::TField;

bool Has(const std::string& A, std::int64_t At, std::int64_t Count) {
    return At >= 0 && Count >= 0 && At <= std::ssize(A) - Count;
}

std::uint64_t Get(const std::string& A, std::int64_t At, int Width) {
    std::uint64_t v = 0;
    for (int i = Width - 1; i >= 0; --i)
        v = v << 8 |
            (Has(A, At + i, 1) ? static_cast<unsigned char>(A[static_cast<std::size_t>(At + i)]) : 0);
    return v;
}

// The NUL-terminated text at At, at most Max bytes.
std::string Text(const std::string& A, std::int64_t At, std::int64_t Max) {
    if (!Has(A, At, 0)) return {};
    const std::string t = A.substr(static_cast<std::size_t>(At), static_cast<std::size_t>(Max));
    return t.substr(0, t.find('\0'));
}

std::string Hex(unsigned Value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(Value >> 4) & 15] + digits[Value & 15];
}

// Adds the fields of a header starting at Base: (offset, width, what).
void AddFields(TArchiveMap& M, std::int64_t Base, const std::string& Of,
               std::initializer_list<std::tuple<int, int, const char*>> Fields) {
    for (const auto& [offset, width, what] : Fields)
        M.Sizes.push_back({Base + offset, width, 'L', Of + ": " + what, ""});
}

constexpr const char* UuAlphabet = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
constexpr const char* XxAlphabet = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// The value of a size field and its encoding of another value ("" when it cannot hold it).
std::uint64_t FieldValue(const std::string& A, const TField& F) {
    switch (F.Coding) {
    case 'O':
        return std::stoull("0" + Text(A, F.At, F.Width), nullptr, 8);
    case 'U':
    case 'X': {
        const char* abc = F.Coding == 'U' ? UuAlphabet : XxAlphabet;
        const char c = A[static_cast<std::size_t>(F.At)];
        const char* at = std::strchr(abc, c == ' ' ? '`' : c);
        return at && c ? static_cast<std::uint64_t>(at - abc) : 0;
    }
    case 'V': {
        std::uint64_t v = 0;
        for (int i = 0; i < F.Width; ++i)
            v |= static_cast<std::uint64_t>(Get(A, F.At + i, 1) & 0x7F) << (7 * i);
        return v;
    }
    default:
        return Get(A, F.At, F.Width);
    }
}

std::string FieldBytes(const TField& F, std::uint64_t Value) {
    std::string out;
    switch (F.Coding) {
    case 'O': {
        // The digits the field held, ending in its last byte (NUL or blank) as before.
        for (int i = 0; i < F.Width - 1; ++i, Value >>= 3)
            out.insert(out.begin(), static_cast<char>('0' + (Value & 7)));
        return Value ? "" : out;
    }
    case 'U':
    case 'X':
        return Value < 64 ? std::string(1, (F.Coding == 'U' ? UuAlphabet : XxAlphabet)[Value]) : "";
    case 'V':
        // Seven bits a byte, the high bit set on all but the last.
        for (int i = 0; i < F.Width; ++i, Value >>= 7)
            out += static_cast<char>((Value & 0x7F) | (i + 1 < F.Width ? 0x80 : 0));
        return Value ? "" : out;
    default:
        for (int i = 0; i < F.Width; ++i, Value >>= 8)
            out += static_cast<char>(Value & 0xFF);
        return Value ? "" : out;
    }
}

std::uint64_t FieldMax(const TField& F) {
    if (F.Coding == 'U' || F.Coding == 'X') return 63;
    const int bits = F.Coding == 'O' ? 3 * (F.Width - 1) : F.Coding == 'V' ? 7 * F.Width : 8 * F.Width;
    return bits >= 64 ? ~0ULL : (1ULL << bits) - 1;
}

} // namespace

std::vector<TVariant> DamageVariants(const std::string& Whole, const TArchiveMap& Map, int MaxBytes) {
    std::vector<TVariant> out = {{"whole archive", "", Whole}};
    const std::int64_t size = std::ssize(Whole);
    // The innermost range holding At: among the headers and their parts (Bytes), or among the
    // ranges that only say where cuts fall.
    const auto inner = [&](std::int64_t At, bool Bytes) -> const TRange* {
        const TRange* best = nullptr;
        for (const TRange& r : Map.Headers)
            if (r.Begin <= At && At < r.End && Bytes != (!r.Label.empty() && r.Label[0] == '@') &&
                (!best || r.End - r.Begin < best->End - best->Begin))
                best = &r;
        return best;
    };
    const auto where = [&](std::int64_t At) {
        const TRange* r = inner(At, true) ? inner(At, true) : inner(At, false);
        return r ? r->What + " +" + std::to_string(At - r->Begin) : std::string("past the headers");
    };
    // A label beginning with '@' names cuts that the format cannot see; any other, changes.
    const auto label = [&](std::int64_t At, bool Cut) {
        const TRange* r = inner(At, !Cut);
        if (!r || r->Label.empty() || (r->Label[0] == '@') != Cut) return std::string();
        return Cut ? r->Label.substr(1) : r->Label;
    };

    std::set<std::int64_t> cuts;
    for (const TRange& r : Map.Headers) {
        for (int d = -3; d <= 3; ++d) {
            cuts.insert(r.Begin + d);
            cuts.insert(r.End + d);
        }
        cuts.insert((r.Begin + r.End) / 2);
    }
    for (const std::int64_t c : cuts)
        if (c >= 0 && c < size)
            out.push_back({"cut at " + std::to_string(c) + " (" + where(c) + ")", label(c, true),
                           Whole.substr(0, static_cast<std::size_t>(c))});

    std::set<std::int64_t> bytes;
    for (const TRange& r : Map.Headers)
        if (r.Label.empty() || r.Label[0] != '@')
            for (std::int64_t p = std::max<std::int64_t>(r.Begin, 0); p < std::min(r.End, size); ++p)
                bytes.insert(p);
    const std::vector<std::int64_t> all(bytes.begin(), bytes.end());
    const std::size_t stride = std::max<std::size_t>(1, (all.size() + MaxBytes - 1) / MaxBytes);
    for (std::size_t i = 0; i < all.size(); i += stride) {
        const std::int64_t p = all[i];
        const unsigned mask = 1u << (p % 8);
        TVariant v{"byte " + std::to_string(p) + " ^" + Hex(mask) + " (" + where(p) + ")", label(p, false),
                   Whole};
        v.Bytes[static_cast<std::size_t>(p)] ^= static_cast<char>(mask);
        out.push_back(std::move(v));
    }

    for (const TField& f : Map.Sizes) {
        if (!Has(Whole, f.At, f.Width)) continue;
        const std::uint64_t v = FieldValue(Whole, f), max = FieldMax(f);
        // An encoded line's length moves by a whole group of three bytes: within its last
        // group of four characters it is data, which no checksum covers.
        const std::uint64_t step = f.Coding == 'U' || f.Coding == 'X' ? 3 : 1;
        std::set<std::uint64_t> seen = {v};
        for (const std::uint64_t n : {v + step, v + v / 2 + 16, max, v - step, v / 2, std::uint64_t{0}}) {
            if (n > max || !seen.insert(n).second) continue;
            const std::string field = FieldBytes(f, n);
            if (field.empty()) continue;
            TVariant var{f.What + " at " + std::to_string(f.At) + " " + std::to_string(v) + " -> " +
                             std::to_string(n),
                         f.Label, Whole};
            var.Bytes.replace(static_cast<std::size_t>(f.At), field.size(), field);
            if (Map.Refit) {
                const std::string refit = Map.Refit(var.Bytes, f, v, n);
                if (!refit.empty()) var.Label = refit;
            }
            out.push_back(std::move(var));
        }
    }
    return out;
}

namespace {

// Runs Data through a zlib stream (Deflate: a gzip member without name or time; else its
// inflation); empty on failure.
std::string Zlib(const std::string& Data, bool Deflate) {
    z_stream z{};
    if ((Deflate ? deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) : inflateInit2(&z, 31)) != Z_OK)
        return {};
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    z.avail_in = static_cast<uInt>(Data.size());
    int status = Z_OK;
    for (char chunk[65536]; status == Z_OK;) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        status = Deflate ? deflate(&z, Z_FINISH) : inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
    }
    Deflate ? deflateEnd(&z) : inflateEnd(&z);
    return status == Z_STREAM_END ? out : std::string();
}

} // namespace

std::vector<TVariant> InnerDamageVariants(const std::string& Gzipped, TArchiveMap (*Map)(const std::string&),
                                          int MaxBytes) {
    const std::string inner = Zlib(Gzipped, false);
    std::vector<TVariant> out = DamageVariants(inner, Map(inner), MaxBytes);
    out.erase(out.begin());
    for (TVariant& v : out) {
        v.What = "inside: " + v.What;
        v.Bytes = Zlib(v.Bytes, true);
    }
    return out;
}

TArchiveMap MapZip(const std::string& A) {
    TArchiveMap m;
    const std::size_t end = A.rfind(std::string("PK\5\6", 4));
    if (end == std::string::npos || !Has(A, static_cast<std::int64_t>(end), 22)) return m;
    const auto e = static_cast<std::int64_t>(end);
    m.Headers.push_back({e, e + 22 + static_cast<std::int64_t>(Get(A, e + 20, 2)), "end record", ""});
    AddFields(
        m, e, "end record",
        {{8, 2, "entries here"}, {10, 2, "entries"}, {12, 4, "directory size"}, {16, 4, "directory offset"}});
    auto p = static_cast<std::int64_t>(Get(A, e + 16, 4));
    while (Has(A, p, 46) && A.compare(static_cast<std::size_t>(p), 4, "PK\1\2") == 0) {
        const auto n = static_cast<std::int64_t>(Get(A, p + 28, 2));
        const auto rest = n + static_cast<std::int64_t>(Get(A, p + 30, 2) + Get(A, p + 32, 2));
        const std::string name = Text(A, p + 46, n);
        m.Headers.push_back({p, p + 46 + rest, "central record of " + name, ""});
        AddFields(m, p, "central record of " + name,
                  {{20, 4, "packed size"},
                   {24, 4, "size"},
                   {28, 2, "name length"},
                   {30, 2, "extra length"},
                   {42, 4, "local header offset"}});
        const auto l = static_cast<std::int64_t>(Get(A, p + 42, 4));
        if (Has(A, l, 30) && A.compare(static_cast<std::size_t>(l), 4, "PK\3\4") == 0) {
            const auto lrest = static_cast<std::int64_t>(Get(A, l + 26, 2) + Get(A, l + 28, 2));
            m.Headers.push_back({l, l + 30 + lrest, "local header of " + name, ""});
            AddFields(
                m, l, "local header of " + name,
                {{18, 4, "packed size"}, {22, 4, "size"}, {26, 2, "name length"}, {28, 2, "extra length"}});
        }
        p += 46 + rest;
    }
    return m;
}

TArchiveMap MapLha(const std::string& A) {
    TArchiveMap m;
    std::int64_t p = 0;
    for (int i = 1; Has(A, p, 1); ++i) {
        if (A[static_cast<std::size_t>(p)] == 0 || !Has(A, p, 24)) {
            m.Headers.push_back({p, p + 1, "end mark", ""});
            break;
        }
        const int level = A[static_cast<std::size_t>(p + 20)];
        const std::string of = "header of entry " + std::to_string(i);
        const auto packed = static_cast<std::int64_t>(Get(A, p + 7, 4));
        std::int64_t size = 0, ext = 0; // the base header's size; where the first extension size lies
        if (level == 0 || level == 1) {
            size = static_cast<std::int64_t>(Get(A, p, 1)) + 2;
            ext = level == 1 ? p + size - 2 : 0;
            AddFields(m, p, of, {{0, 1, "header size"}, {21, 1, "name length"}});
        } else if (level == 2) {
            size = static_cast<std::int64_t>(Get(A, p, 2));
            ext = p + 24;
            AddFields(m, p, of, {{0, 2, "header size"}});
        } else {
            break;
        }
        AddFields(m, p, of, {{7, 4, "packed size"}, {11, 4, "size"}});
        m.Headers.push_back({p, p + size, of, ""});
        // Extension headers, each ending in the size of the next; level 1 counts them as data.
        std::int64_t q = level == 2 ? p + 26 : p + size;
        for (std::uint64_t s; ext && (s = Get(A, ext, 2)) != 0 && Has(A, q, static_cast<std::int64_t>(s));) {
            m.Sizes.push_back({ext, 2, 'L', of + ": extension size", ""});
            if (level == 1) m.Headers.push_back({q, q + static_cast<std::int64_t>(s), of + " extension", ""});
            ext = q + static_cast<std::int64_t>(s) - 2;
            q += static_cast<std::int64_t>(s);
        }
        p += size + packed;
    }
    return m;
}

void FixArjTimes(std::string& A) {
    // The main header's creation and change times; an entry's cipher modifier, access and
    // creation times: each header's checksum again after.
    for (std::int64_t p = 0, i = 0; Has(A, p, 4) && Get(A, p, 2) == 0xEA60; ++i) {
        const auto size = static_cast<std::int64_t>(Get(A, p + 2, 2));
        if (size == 0 || !Has(A, p + 4, size + 4)) return;
        const std::int64_t b = p + 4, fixed = static_cast<std::int64_t>(Get(A, b, 1));
        const auto set = [&](std::int64_t From, std::int64_t To) {
            for (std::int64_t at = From; at < std::min(To, b + fixed); ++at)
                A[static_cast<std::size_t>(at)] = "\x00\x20\x43\x2A"[(at - From) % 4]; // 2001-02-03 04:00
        };
        if (i == 0)
            set(b + 8, b + 16);
        else {
            set(b + 7, b + 8);
            set(b + 34, b + 42);
        }
        std::uint32_t crc = 0xFFFFFFFF;
        UpdateCrc32Buf(A.data() + b, size, crc);
        crc ^= 0xFFFFFFFF;
        for (int k = 0; k < 4; ++k)
            A[static_cast<std::size_t>(b + size + k)] = static_cast<char>(crc >> (8 * k));
        std::int64_t q = b + size + 4;
        while (Has(A, q, 2) && Get(A, q, 2) != 0)
            q += 6 + static_cast<std::int64_t>(Get(A, q, 2));
        p = q + 2 + (i > 0 ? static_cast<std::int64_t>(Get(A, b + 12, 4)) : 0);
    }
}

TArchiveMap MapArj(const std::string& A) {
    TArchiveMap m;
    std::int64_t p = 0;
    for (int i = 0; Has(A, p, 4) && Get(A, p, 2) == 0xEA60; ++i) {
        const auto basic = static_cast<std::int64_t>(Get(A, p + 2, 2));
        if (basic == 0) {
            m.Headers.push_back({p, p + 4, "end header", ""});
            break;
        }
        const std::string of = i == 0 ? "main header" : "header of " + Text(A, p + 4 + Get(A, p + 4, 1), 256);
        m.Headers.push_back({p, p + 8 + basic, of, ""});
        AddFields(m, p, of, {{2, 2, "header size"}, {4, 1, "fixed part size"}});
        if (i > 0) AddFields(m, p + 4, of, {{12, 4, "packed size"}, {16, 4, "size"}});
        std::int64_t q = p + 8 + basic;
        for (std::uint64_t s; Has(A, q, 2) && (s = Get(A, q, 2)) != 0;
             q += 6 + static_cast<std::int64_t>(s)) {
            m.Headers.push_back({q, q + 6 + static_cast<std::int64_t>(s), of + " extension", ""});
            m.Sizes.push_back({q, 2, 'L', of + ": extension size", ""});
        }
        p = q + 2 + (i > 0 ? static_cast<std::int64_t>(Get(A, p + 16, 4)) : 0);
    }
    return m;
}

TArchiveMap MapArc(const std::string& A) {
    TArchiveMap m;
    for (std::int64_t p = 0; Has(A, p, 2) && A[static_cast<std::size_t>(p)] == 0x1A;) {
        const int method = A[static_cast<std::size_t>(p + 1)];
        if (method == 0) {
            m.Headers.push_back({p, p + 2, "end mark", ""});
            break;
        }
        const std::int64_t size = method == 1 ? 25 : 29;
        const std::string of = "header of " + Text(A, p + 2, 13);
        m.Headers.push_back({p, p + size, of, ""});
        m.Headers.push_back({p + 2, p + 15, of + " name", "name"});
        AddFields(m, p, of, {{15, 4, "packed size"}});
        if (method > 1) AddFields(m, p, of, {{25, 4, "size"}});
        p += size + static_cast<std::int64_t>(Get(A, p + 15, 4));
    }
    return m;
}

TArchiveMap MapZoo(const std::string& A) {
    TArchiveMap m;
    constexpr std::uint64_t tag = 0xFDC4A7DC;
    if (Get(A, 20, 4) != tag) return m;
    m.Headers.push_back({0, 35, "archive header", ""});
    AddFields(m, 0, "archive header", {{24, 4, "first entry offset"}, {28, 4, "its complement"}});
    std::set<std::int64_t> seen;
    for (auto p = static_cast<std::int64_t>(Get(A, 24, 4)); Has(A, p, 56) && Get(A, p, 4) == tag;) {
        if (!seen.insert(p).second) break;
        const auto next = static_cast<std::int64_t>(Get(A, p + 6, 4));
        if (next == 0) {
            m.Headers.push_back({p, p + 56, "closing entry", ""});
            break;
        }
        const std::string of = "entry " + Text(A, p + 38, 13);
        m.Headers.push_back({p, p + 56 + static_cast<std::int64_t>(Get(A, p + 51, 2)), of, ""});
        m.Headers.push_back({p + 38, p + 51, of + " name", "name"});
        AddFields(m, p, of,
                  {{6, 4, "next entry offset"},
                   {10, 4, "data offset"},
                   {20, 4, "size"},
                   {24, 4, "packed size"},
                   {51, 2, "variable part length"}});
        p = next;
    }
    return m;
}

TArchiveMap MapBh(const std::string& A) {
    TArchiveMap m;
    for (std::int64_t p = 0; Has(A, p, 6) && Get(A, p, 4) == 0x07054842;) {
        const auto total = static_cast<std::int64_t>(Get(A, p + 4, 2));
        if (total == 0 || !Has(A, p, 37)) {
            m.Headers.push_back({p, std::min(p + 37, std::ssize(A)), "end header", ""});
            break;
        }
        const auto nameLength = static_cast<std::int64_t>(Get(A, p + 33, 2));
        const std::string of = "header of " + Text(A, p + 37, nameLength);
        m.Headers.push_back({p, p + total, of, ""});
        m.Headers.push_back({p + 37, p + 37 + nameLength, of + " name", "name"});
        // bh has no end mark: a file cut where a header begins is a whole archive of fewer entries.
        if (p > 0) m.Headers.push_back({p, p + 1, "start of " + of, "@header cut"});
        AddFields(m, p, of,
                  {{4, 2, "header length"},
                   {15, 4, "packed size"},
                   {19, 4, "size"},
                   {33, 2, "name length"},
                   {35, 2, "extra length"}});
        p += total + static_cast<std::int64_t>(Get(A, p + 15, 4));
    }
    return m;
}

TArchiveMap MapTar(const std::string& A) {
    TArchiveMap m;
    // The header checksum made to fit the new size. Tar keeps no checksum of the data: a size
    // that still ends in the entry's last block, or in the zeros after the last entry, reads as
    // whole.
    m.Refit = [](std::string& B, const TField& F, std::uint64_t Old, std::uint64_t New) {
        const std::int64_t header = F.At - 124;
        std::uint64_t sum = 8 * ' ';
        for (std::int64_t i = 0; i < 512; ++i)
            sum +=
                i >= 148 && i < 156 ? 0 : static_cast<unsigned char>(B[static_cast<std::size_t>(header + i)]);
        for (int i = 0; i < 6; ++i, sum >>= 3)
            B[static_cast<std::size_t>(header + 153 - i)] = static_cast<char>('0' + (sum & 7));
        const auto padded = [](std::uint64_t Size) { return (Size + 511) / 512 * 512; };
        const std::int64_t from = header + 512 + static_cast<std::int64_t>(padded(Old));
        const std::int64_t to =
            header + 512 + static_cast<std::int64_t>(std::min(padded(New), std::uint64_t{1} << 40));
        if (padded(Old) == padded(New) ||
            (to > from && to <= std::ssize(B) &&
             B.find_first_not_of('\0', static_cast<std::size_t>(from)) >= static_cast<std::size_t>(to)))
            return std::string("refitted size");
        return std::string();
    };
    for (std::int64_t p = 0; Has(A, p, 512);) {
        if (A.find_first_not_of('\0', static_cast<std::size_t>(p)) >= static_cast<std::size_t>(p + 512)) {
            m.Headers.push_back({p, p + 512, "end block", ""});
            break;
        }
        const std::string of = "header of " + Text(A, p, 100);
        m.Headers.push_back({p, p + 512, of, ""});
        m.Sizes.push_back({p + 124, 12, 'O', of + ": size", ""});
        const auto size = static_cast<std::int64_t>(std::stoull("0" + Text(A, p + 124, 12), nullptr, 8));
        p += 512 + (size + 511) / 512 * 512;
    }
    return m;
}

TArchiveMap MapGzip(const std::string& A) {
    TArchiveMap m;
    std::int64_t p = 0;
    for (int i = 1; Has(A, p, 10) && Get(A, p, 2) == 0x8B1F; ++i) {
        const std::string of = "member " + std::to_string(i);
        const auto flags = static_cast<unsigned>(Get(A, p + 3, 1));
        std::int64_t q = p + 10;
        if (flags & 4) {
            AddFields(m, q, of, {{0, 2, "extra length"}});
            q += 2 + static_cast<std::int64_t>(Get(A, q, 2));
        }
        for (const unsigned bit : {8u, 16u})
            if (flags & bit) {
                const std::size_t nul = A.find('\0', static_cast<std::size_t>(q));
                if (nul == std::string::npos) return m;
                // The first member's name is the output's: no checksum covers it.
                if (bit == 8)
                    m.Headers.push_back(
                        {q, static_cast<std::int64_t>(nul), of + " name", i == 1 ? "name" : ""});
                q = static_cast<std::int64_t>(nul) + 1;
            }
        if (flags & 2) q += 2;
        m.Headers.push_back({p, q, "header of " + of, ""});
        // The member's end: where raw inflate stops.
        z_stream z{};
        if (inflateInit2(&z, -15) != Z_OK) return m;
        std::string out(65536, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(A.data() + q));
        z.avail_in = static_cast<uInt>(std::ssize(A) - q);
        int status = Z_OK;
        while (status == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = static_cast<uInt>(out.size());
            status = inflate(&z, Z_NO_FLUSH);
        }
        const auto t = q + static_cast<std::int64_t>(z.total_in);
        inflateEnd(&z);
        if (status != Z_STREAM_END || !Has(A, t, 8)) return m;
        m.Headers.push_back({q, t, "data of " + of, "@"});
        m.Headers.push_back({t, t + 8, "trailer of " + of, ""});
        // A file cut where a member begins is a whole gzip file of fewer members.
        if (i > 1) m.Headers.push_back({p, p + 1, "start of " + of, "@member cut"});
        AddFields(m, t, "trailer of " + of, {{4, 4, "size"}});
        p = t + 8;
    }
    return m;
}

TArchiveMap MapCompress(const std::string& A) {
    TArchiveMap m;
    if (Get(A, 0, 2) != 0x9D1F) return m;
    m.Headers.push_back({0, 3, "header", ""});
    // A .Z keeps no length and no checksum: data cut at a code's end is a shorter whole file.
    m.Headers.push_back({3, std::ssize(A), "data", "@data cut"});
    m.Headers.push_back({std::ssize(A) / 3, std::ssize(A) / 3 + 1, "data", "@data cut"});
    return m;
}

TArchiveMap MapCab(const std::string& A) {
    TArchiveMap m;
    if (A.compare(0, 4, "MSCF") != 0 || !Has(A, 0, 36)) return m;
    m.Headers.push_back({0, 36, "cabinet header", ""});
    AddFields(m, 0, "cabinet header",
              {{8, 4, "cabinet size"}, {16, 4, "files offset"}, {26, 2, "folders"}, {28, 2, "files"}});
    const auto folders = static_cast<std::int64_t>(Get(A, 26, 2));
    for (std::int64_t f = 0; f < folders; ++f) {
        const std::int64_t p = 36 + 8 * f;
        const std::string of = "folder " + std::to_string(f + 1);
        m.Headers.push_back({p, p + 8, of, ""});
        AddFields(m, p, of, {{0, 4, "data offset"}, {4, 2, "data blocks"}});
        auto q = static_cast<std::int64_t>(Get(A, p, 4));
        for (std::uint64_t b = 0; b < Get(A, p + 4, 2) && Has(A, q, 8); ++b) {
            const std::string block = of + " block " + std::to_string(b + 1);
            m.Headers.push_back({q, q + 8, block, ""});
            AddFields(m, q, block, {{4, 2, "packed size"}, {6, 2, "size"}});
            q += 8 + static_cast<std::int64_t>(Get(A, q + 4, 2));
        }
    }
    auto p = static_cast<std::int64_t>(Get(A, 16, 4));
    for (std::uint64_t i = 0; i < Get(A, 28, 2) && Has(A, p, 17); ++i) {
        const std::string name = Text(A, p + 16, 256), of = "file record of " + name;
        m.Headers.push_back({p, p + 17 + std::ssize(name), of, ""});
        m.Headers.push_back({p + 16, p + 16 + std::ssize(name), of + " name", "name"});
        AddFields(m, p, of, {{0, 4, "size"}, {4, 4, "offset in its folder"}, {8, 2, "folder"}});
        p += 17 + std::ssize(name);
    }
    return m;
}

TArchiveMap MapRar(const std::string& A) {
    TArchiveMap m;
    if (A.compare(0, 7, std::string("Rar!\x1A\x07\x00", 7)) != 0) return m;
    m.Headers.push_back({0, 7, "marker", ""});
    for (std::int64_t p = 7; Has(A, p, 7);) {
        const auto type = static_cast<int>(Get(A, p + 2, 1));
        const auto flags = Get(A, p + 3, 2);
        const auto size = static_cast<std::int64_t>(Get(A, p + 5, 2));
        if (size < 7) break;
        const std::string of =
            type == 0x73   ? std::string("archive header")
            : type == 0x74 ? "header of " + Text(A, p + 32, static_cast<std::int64_t>(Get(A, p + 26, 2)))
            : type == 0x7B ? std::string("end header")
                           : "block of type " + Hex(static_cast<unsigned>(type));
        m.Headers.push_back({p, p + size, of, ""});
        // rar 1.5 to 4 may end without an end block (older versions wrote none): a file cut
        // where a block begins is a whole archive of fewer entries.
        if (type != 0x73) m.Headers.push_back({p, p + 1, "start of " + of, "@header cut"});
        AddFields(m, p, of, {{5, 2, "header size"}});
        std::int64_t data = 0;
        if (type == 0x74) {
            AddFields(m, p, of, {{7, 4, "packed size"}, {11, 4, "size"}, {26, 2, "name length"}});
            data = static_cast<std::int64_t>(Get(A, p + 7, 4));
        } else if (flags & 0x8000) {
            AddFields(m, p, of, {{7, 4, "data size"}});
            data = static_cast<std::int64_t>(Get(A, p + 7, 4));
        }
        if (type == 0x7B) break;
        p += size + data;
    }
    return m;
}

TArchiveMap MapRar5(const std::string& A) {
    TArchiveMap m;
    if (A.compare(0, 8, std::string("Rar!\x1A\x07\x01\x00", 8)) != 0) return m;
    m.Headers.push_back({0, 8, "marker", ""});
    for (std::int64_t p = 8; Has(A, p, 7);) {
        std::int64_t q = p + 4;
        // A variable-length number at q (q moves past it); Field names it as a size field.
        const auto number = [&](const char* Field, const std::string& Of) {
            const std::int64_t at = q;
            std::uint64_t v = 0;
            for (int shift = 0; Has(A, q, 1) && shift < 64; shift += 7) {
                const auto b = Get(A, q++, 1);
                v |= (b & 0x7F) << shift;
                if (!(b & 0x80)) break;
            }
            if (Field) m.Sizes.push_back({at, static_cast<int>(q - at), 'V', Of + ": " + Field, ""});
            return v;
        };
        const std::int64_t sizeAt = q;
        const auto size = static_cast<std::int64_t>(number(nullptr, ""));
        const std::int64_t end = q + size;
        const std::uint64_t type = number(nullptr, ""), flags = number(nullptr, "");
        std::string of = type == 1   ? "archive header"
                         : type == 5 ? "end header"
                                     : "header at " + std::to_string(p);
        if (type == 2 || type == 3) {
            if (flags & 1) number(nullptr, "");
            if (flags & 2) number(nullptr, "");
            const std::uint64_t fileFlags = number(nullptr, "");
            number(nullptr, "");
            number(nullptr, "");
            q += (fileFlags & 2 ? 4 : 0) + (fileFlags & 4 ? 4 : 0);
            number(nullptr, "");
            number(nullptr, "");
            const auto nameLength = static_cast<std::int64_t>(number(nullptr, ""));
            of = "header of " + Text(A, q, nameLength);
        }
        m.Headers.push_back({p, end, of, ""});
        q = sizeAt;
        number("header size", of);
        number(nullptr, "");
        number(nullptr, "");
        if (flags & 1) number("extra area size", of);
        const std::uint64_t data = flags & 2 ? number("data size", of) : 0;
        if (type == 2) {
            number(nullptr, "");
            number("size", of);
        }
        if (type == 5 || size <= 0) break;
        p = end + static_cast<std::int64_t>(data);
    }
    return m;
}

namespace {

// Uuencoded or xxencoded text: begin and end lines are headers (the names in them have no
// checksum, nor has the text an end of its own); the length characters of the
// first two and last two lines of each file (its closing empty line among them) are sizes; one
// character of each file's first data line stands for the data, which no checksum covers.
TArchiveMap MapEncoded(const std::string& A, char Coding) {
    TArchiveMap m;
    std::vector<std::pair<std::int64_t, std::int64_t>> data; // the current file's data lines
    std::string name;
    std::int64_t lastEnd = -1;
    for (std::int64_t s = 0; s < std::ssize(A);) {
        const std::size_t nl = A.find('\n', static_cast<std::size_t>(s));
        const std::int64_t e = nl == std::string::npos ? std::ssize(A) : static_cast<std::int64_t>(nl) + 1;
        const std::string line = A.substr(static_cast<std::size_t>(s), static_cast<std::size_t>(e - s));
        if (line.starts_with("begin ")) {
            const auto at = static_cast<std::int64_t>(line.find(' ', 6) + 1);
            name = line.substr(static_cast<std::size_t>(at));
            name.erase(name.find_last_not_of("\r\n") + 1);
            m.Headers.push_back({s, e, "begin line of " + name, ""});
            m.Headers.push_back({s + at, s + at + std::ssize(name), "name " + name, "name"});
            // Cut after an end line, the text is a whole one of fewer files.
            if (lastEnd >= 0) m.Headers.push_back({lastEnd + 3, s + 7, "text between files", "@file cut"});
            data.clear();
        } else if (line.starts_with("end") && !name.empty()) {
            lastEnd = s;
            m.Headers.push_back({s, e, "end line of " + name, ""});
            for (std::size_t i = 0; i < data.size(); ++i)
                if (i < 2 || i + 2 >= data.size())
                    m.Sizes.push_back({data[i].first, 1, Coding,
                                       "length of line " + std::to_string(i + 1) + " of " + name, ""});
            if (!data.empty()) {
                m.Headers.push_back(
                    {data[0].first + 5, data[0].first + 6, "first data line of " + name, "data line"});
                m.Headers.push_back({data[0].first, data.back().second, "data of " + name, "@"});
            }
            name.clear();
        } else if (!name.empty()) {
            data.emplace_back(s, e);
        }
        s = e;
    }
    if (lastEnd >= 0) m.Headers.push_back({lastEnd + 3, std::ssize(A), "text after the files", "@file cut"});
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
