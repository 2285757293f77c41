#include "engine/core/krvBhHeader.h"

#include "engine/core/krvCheckedMath.h"

TBhHeader TBhHeader::FromBytes(const std::uint8_t* P) {
    TBhHeader h;
    h.Sig = GetU32LE(P);
    h.TotalLength = GetU16LE(P + 4);
    h.HeaderSize = P[6];
    h.VersionMadeBy = P[7];
    h.VersionNeeded = P[8];
    h.Flags = P[9];
    h.Method = P[10];
    h.DosDateTime = GetU32LE(P + 11);
    h.PackedSize = GetU32LE(P + 15);
    h.UnpackedSize = GetU32LE(P + 19);
    h.Crc = GetU32LE(P + 23);
    h.Attr = GetU16LE(P + 27);
    h.Reserved = GetU32LE(P + 29);
    h.NameLength = GetU16LE(P + 33);
    h.ExtraLength = GetU16LE(P + 35);
    return h;
}

void TBhHeader::ToBytes(std::uint8_t* P) const {
    PutU32LE(P, Sig);
    PutU16LE(P + 4, TotalLength);
    P[6] = HeaderSize;
    P[7] = VersionMadeBy;
    P[8] = VersionNeeded;
    P[9] = Flags;
    P[10] = Method;
    PutU32LE(P + 11, DosDateTime);
    PutU32LE(P + 15, PackedSize);
    PutU32LE(P + 19, UnpackedSize);
    PutU32LE(P + 23, Crc);
    PutU16LE(P + 27, Attr);
    PutU32LE(P + 29, Reserved);
    PutU16LE(P + 33, NameLength);
    PutU16LE(P + 35, ExtraLength);
}

TBhRead ReadBhEntry(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size, TBhEntry& E) {
    E = TBhEntry{};
    E.HeaderPos = At;
    if (At >= Size) return TBhRead::End;
    std::uint8_t h[TBhHeader::Size];
    if (Read(At, h, TBhHeader::Size) != TBhHeader::Size) return TBhRead::Bad;
    E.Header = TBhHeader::FromBytes(h);
    if (E.Header.Sig != TBhHeader::Signature) return TBhRead::Bad;
    if (E.Header.TotalLength == 0) return TBhRead::End;
    E.ExtraPos = At + TBhHeader::Size + E.Header.NameLength;
    E.DataPos = E.ExtraPos + E.Header.ExtraLength;
    if (!CheckedAdd(E.DataPos, static_cast<std::int64_t>(E.Header.PackedSize), E.NextPos) || E.NextPos > Size)
        return TBhRead::Bad;
    E.Name.resize(E.Header.NameLength);
    if (Read(At + TBhHeader::Size, E.Name.data(), E.Header.NameLength) != E.Header.NameLength)
        return TBhRead::Bad;
    return TBhRead::Ok;
}
