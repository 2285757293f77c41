// SHA-256 for comparing extracted content with the digests of the sample corpus.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace testsupport {

class TSha256 {
public:
    TSha256();
    void Update(const void* Data, std::size_t Count);
    void Update(std::string_view Data) { Update(Data.data(), Data.size()); }
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string HexDigest();

private:
    void Block(const std::uint8_t* P);

    std::array<std::uint32_t, 8> FState;
    std::array<std::uint8_t, 64> FBuffer{};
    std::size_t FFill = 0;
    std::uint64_t FLength = 0;
};

// The SHA-256 of Data as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view Data);

} // namespace testsupport
