#include "engine/formats/zip/krvZipRecords.h"

#include "engine/core/krvByteAccess.h"

TZipLocalHeader TZipLocalHeader::FromBytes(const std::uint8_t* P) {
    TZipLocalHeader h;
    h.Signature = GetU32LE(P);
    h.VersionNeeded = GetU16LE(P + 4);
    h.Flags = GetU16LE(P + 6);
    h.Method = GetU16LE(P + 8);
    h.DosDateTime = GetU32LE(P + 10);
    h.Crc = GetU32LE(P + 14);
    h.CompressedSize = GetU32LE(P + 18);
    h.UncompressedSize = GetU32LE(P + 22);
    h.NameLength = GetU16LE(P + 26);
    h.ExtraLength = GetU16LE(P + 28);
    return h;
}

void TZipLocalHeader::ToBytes(std::uint8_t* P) const {
    PutU32LE(P, Signature);
    PutU16LE(P + 4, VersionNeeded);
    PutU16LE(P + 6, Flags);
    PutU16LE(P + 8, Method);
    PutU32LE(P + 10, DosDateTime);
    PutU32LE(P + 14, Crc);
    PutU32LE(P + 18, CompressedSize);
    PutU32LE(P + 22, UncompressedSize);
    PutU16LE(P + 26, NameLength);
    PutU16LE(P + 28, ExtraLength);
}

TZipCentralHeader TZipCentralHeader::FromBytes(const std::uint8_t* P) {
    TZipCentralHeader h;
    h.Signature = GetU32LE(P);
    h.VersionMadeBy = GetU16LE(P + 4);
    h.VersionNeeded = GetU16LE(P + 6);
    h.Flags = GetU16LE(P + 8);
    h.Method = GetU16LE(P + 10);
    h.DosDateTime = GetU32LE(P + 12);
    h.Crc = GetU32LE(P + 16);
    h.CompressedSize = GetU32LE(P + 20);
    h.UncompressedSize = GetU32LE(P + 24);
    h.NameLength = GetU16LE(P + 28);
    h.ExtraLength = GetU16LE(P + 30);
    h.CommentLength = GetU16LE(P + 32);
    h.DiskNumberStart = GetU16LE(P + 34);
    h.InternalAttr = GetU16LE(P + 36);
    h.ExternalAttr = GetU32LE(P + 38);
    h.LocalHeaderOffset = GetU32LE(P + 42);
    return h;
}

void TZipCentralHeader::ToBytes(std::uint8_t* P) const {
    PutU32LE(P, Signature);
    PutU16LE(P + 4, VersionMadeBy);
    PutU16LE(P + 6, VersionNeeded);
    PutU16LE(P + 8, Flags);
    PutU16LE(P + 10, Method);
    PutU32LE(P + 12, DosDateTime);
    PutU32LE(P + 16, Crc);
    PutU32LE(P + 20, CompressedSize);
    PutU32LE(P + 24, UncompressedSize);
    PutU16LE(P + 28, NameLength);
    PutU16LE(P + 30, ExtraLength);
    PutU16LE(P + 32, CommentLength);
    PutU16LE(P + 34, DiskNumberStart);
    PutU16LE(P + 36, InternalAttr);
    PutU32LE(P + 38, ExternalAttr);
    PutU32LE(P + 42, LocalHeaderOffset);
}

TZipEndRecord TZipEndRecord::FromBytes(const std::uint8_t* P) {
    TZipEndRecord e;
    e.Signature = GetU32LE(P);
    e.ThisDisk = GetU16LE(P + 4);
    e.CentralDisk = GetU16LE(P + 6);
    e.EntriesOnDisk = GetU16LE(P + 8);
    e.TotalEntries = GetU16LE(P + 10);
    e.CentralSize = GetU32LE(P + 12);
    e.CentralOffset = GetU32LE(P + 16);
    e.CommentLength = GetU16LE(P + 20);
    return e;
}

void TZipEndRecord::ToBytes(std::uint8_t* P) const {
    PutU32LE(P, Signature);
    PutU16LE(P + 4, ThisDisk);
    PutU16LE(P + 6, CentralDisk);
    PutU16LE(P + 8, EntriesOnDisk);
    PutU16LE(P + 10, TotalEntries);
    PutU32LE(P + 12, CentralSize);
    PutU32LE(P + 16, CentralOffset);
    PutU16LE(P + 20, CommentLength);
}

TZipDataDescriptor TZipDataDescriptor::FromBytes(const std::uint8_t* P) {
    TZipDataDescriptor d;
    d.Signature = GetU32LE(P);
    d.Crc = GetU32LE(P + 4);
    d.CompressedSize = GetU32LE(P + 8);
    d.UncompressedSize = GetU32LE(P + 12);
    return d;
}

void TZipDataDescriptor::ToBytes(std::uint8_t* P) const {
    PutU32LE(P, Signature);
    PutU32LE(P + 4, Crc);
    PutU32LE(P + 8, CompressedSize);
    PutU32LE(P + 12, UncompressedSize);
}

TZip64EndRecord TZip64EndRecord::FromBytes(const std::uint8_t* P) {
    TZip64EndRecord r;
    r.Signature = GetU32LE(P);
    r.RecordSize = GetU64LE(P + 4);
    r.VersionMadeBy = GetU16LE(P + 12);
    r.VersionNeeded = GetU16LE(P + 14);
    r.ThisDisk = GetU32LE(P + 16);
    r.CentralDisk = GetU32LE(P + 20);
    r.EntriesOnDisk = GetU64LE(P + 24);
    r.TotalEntries = GetU64LE(P + 32);
    r.CentralSize = GetU64LE(P + 40);
    r.CentralOffset = GetU64LE(P + 48);
    return r;
}

void TZip64EndRecord::ToBytes(std::uint8_t* P) const {
    PutU32LE(P, Signature);
    PutU64LE(P + 4, RecordSize);
    PutU16LE(P + 12, VersionMadeBy);
    PutU16LE(P + 14, VersionNeeded);
    PutU32LE(P + 16, ThisDisk);
    PutU32LE(P + 20, CentralDisk);
    PutU64LE(P + 24, EntriesOnDisk);
    PutU64LE(P + 32, TotalEntries);
    PutU64LE(P + 40, CentralSize);
    PutU64LE(P + 48, CentralOffset);
}

TZip64Locator TZip64Locator::FromBytes(const std::uint8_t* P) {
    TZip64Locator l;
    l.Signature = GetU32LE(P);
    l.EndRecordDisk = GetU32LE(P + 4);
    l.EndRecordOffset = GetU64LE(P + 8);
    l.TotalDisks = GetU32LE(P + 16);
    return l;
}

void TZip64Locator::ToBytes(std::uint8_t* P) const {
    PutU32LE(P, Signature);
    PutU32LE(P + 4, EndRecordDisk);
    PutU64LE(P + 8, EndRecordOffset);
    PutU32LE(P + 16, TotalDisks);
}
