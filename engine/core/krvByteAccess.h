// Little-endian numbers in byte buffers, and positioned reads from a stream that never
// raise: the record images of the archive formats are read and written through these.
#pragma once

#include "engine/core/krvStreams.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

inline std::uint16_t GetU16LE(const std::uint8_t* P) {
    return static_cast<std::uint16_t>(P[0] | (P[1] << 8));
}

inline std::uint32_t GetU32LE(const std::uint8_t* P) {
    return static_cast<std::uint32_t>(P[0]) | (static_cast<std::uint32_t>(P[1]) << 8) |
           (static_cast<std::uint32_t>(P[2]) << 16) | (static_cast<std::uint32_t>(P[3]) << 24);
}

inline std::uint64_t GetU64LE(const std::uint8_t* P) {
    return static_cast<std::uint64_t>(GetU32LE(P)) | (static_cast<std::uint64_t>(GetU32LE(P + 4)) << 32);
}

inline void PutU16LE(std::uint8_t* P, std::uint16_t V) {
    P[0] = static_cast<std::uint8_t>(V);
    P[1] = static_cast<std::uint8_t>(V >> 8);
}

inline void PutU32LE(std::uint8_t* P, std::uint32_t V) {
    P[0] = static_cast<std::uint8_t>(V);
    P[1] = static_cast<std::uint8_t>(V >> 8);
    P[2] = static_cast<std::uint8_t>(V >> 16);
    P[3] = static_cast<std::uint8_t>(V >> 24);
}

inline void PutU64LE(std::uint8_t* P, std::uint64_t V) {
    PutU32LE(P, static_cast<std::uint32_t>(V));
    PutU32LE(P + 4, static_cast<std::uint32_t>(V >> 32));
}

// The bytes of a text, for the record parsers that take byte spans.
inline std::span<const std::uint8_t> AsBytes(std::string_view Text) {
    return {reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()};
}

// A positioned reader of the record parsers: up to Count bytes at At, returning the count
// read; the lister reads through its cache, a reader through its archive stream.
using TReadAtFunc = std::function<std::int64_t(std::int64_t At, void* Buffer, std::int64_t Count)>;

// Reads up to Count bytes at Pos; returns the count read (0 when Pos is negative or the
// stream cannot seek there).
inline std::int64_t ReadAt(TStream32& Stream, std::int64_t Pos, void* Buffer, std::int64_t Count) {
    if (Pos < 0 || Count <= 0 || Stream.Seek(Pos, soBeginning) != Pos) return 0;
    return Stream.Read(Buffer, Count);
}

// ReadAt of Stream as a positioned reader of the record parsers (Stream outlives it).
inline TReadAtFunc StreamReader(TStream32& Stream) {
    return [&Stream](std::int64_t At, void* Buffer, std::int64_t Count) {
        return ReadAt(Stream, At, Buffer, Count);
    };
}
