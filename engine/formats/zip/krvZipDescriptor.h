// The data descriptor that ends the data of an entry whose sizes were not known when its
// local header was written, for the local-header walks: the search for the first "PK" 7 8
// after the data whose compressed size is its distance from the data's start (and, when
// asked, for a descriptor without that signature), and the test of a descriptor where the
// data are known to end.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>

struct TZipDescriptorSearch {
    // Reads up to Count bytes at Pos into Buffer; returns the count read.
    std::function<std::int64_t(std::int64_t Pos, void* Buffer, std::int64_t Count)> ReadAt;
    // Asked before each block is read with the count of bytes it reads; false ends the search
    // (a cancel, a search budget spent). Not set: the search goes on to the end.
    std::function<bool(std::int64_t Bytes)> Proceed;
    // Nothing at or beyond this position is searched.
    std::int64_t Limit = std::numeric_limits<std::int64_t>::max();
    // The entry has a zip64 field: a descriptor of 64-bit sizes is taken before one of 32.
    bool Zip64 = false;
    // A local or central header met before any descriptor ends the data there.
    bool StopAtHeader = false;
    // Descriptors without their signature are found too: one whose compressed size is its
    // distance from the data and that a zip record or the archive's end follows.
    bool Unsigned = false;
    // The data are stored: a descriptor without signature must give the uncompressed size
    // that follows from its distance, and (data not Enciphered) the CRC-32 of the bytes.
    bool Stored = false;
    bool Enciphered = false;

    // The first block read is FirstBlockSize bytes, each further one twice the one before, up
    // to BlockSize: data that end soon are found without reading far ahead.
    static constexpr std::int64_t FirstBlockSize = 4096;
    static constexpr std::int64_t BlockSize = 65536;
};

enum class TZipDescriptorFound { None, Descriptor, Header };

struct TZipDescriptorHit {
    std::int64_t Position = 0;      // where the descriptor (or the header) begins
    std::int64_t Next = 0;          // after the descriptor
    std::uint32_t Crc = 0;          // a descriptor's CRC-32
    std::int64_t Compressed = 0;    // the distance from the data's start
    std::uint64_t Uncompressed = 0; // a descriptor's uncompressed size
};

// Searches from DataStart; Hit is set for Descriptor and Header.
TZipDescriptorFound FindZipDataDescriptor(const TZipDescriptorSearch& Search, std::int64_t DataStart,
                                          TZipDescriptorHit& Hit);

// The descriptor at Pos, right after Compressed bytes of data: with or without its signature,
// 32- or 64-bit, whose compressed size is Compressed. One without signature counts only when
// a zip record or the archive's end follows it or its CRC-32 is *Crc (when Crc is given). Of
// the forms that fit, the one a record follows is taken, then the 64-bit one for a Zip64
// entry, else the 32-bit one. False when none fits.
bool ZipDescriptorAt(const TZipDescriptorSearch& Search, std::int64_t Pos, std::int64_t Compressed,
                     const std::uint32_t* Crc, TZipDescriptorHit& Hit);

// Whether Signature begins a record that may follow an entry: a local header or directory
// record (plain or enciphered), an end record or a Zip64 end record.
bool IsZipRecordSignature(std::uint32_t Signature);
