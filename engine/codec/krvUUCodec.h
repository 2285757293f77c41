// The 64-character alphabets of uuencoded and xxencoded text and the decoding of their data
// lines: a count character (the line's byte count in the alphabet), then groups of four
// characters of six bits that give three bytes each.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TUUAlphabet {
public:
    static constexpr int Size = 64;
    static constexpr int FullLineBytes = 45;

    // '`' for 0, then '!' to '_'; a blank also reads as 0 (older encoders wrote blanks).
    static TUUAlphabet UU();
    // "+-", the digits, the upper and the lower case letters.
    static TUUAlphabet XX();
    // An alphabet given by 64 characters (a "table" or "charmap" of the text); a character
    // given twice keeps its first value. Nothing when fewer than 64 are given.
    static std::optional<TUUAlphabet> Custom(std::string_view Chars);

    // The value of C, or -1 when C is not in the alphabet.
    int Value(char C) const { return FTable[static_cast<std::uint8_t>(C)]; }
    // The count character of a line of 45 bytes.
    char FullLine() const { return FFullLine; }
    // The length of a data line that carries Count bytes.
    static std::size_t LineLength(int Count) { return 1 + 4 * static_cast<std::size_t>((Count + 2) / 3); }

private:
    TUUAlphabet() { FTable.fill(-1); }
    void Set(std::string_view Chars);

    std::array<std::int8_t, 256> FTable{};
    char FFullLine = 0;
};

enum class TUULine {
    Data,    // decoded: Out holds the line's bytes
    NotData, // an empty line, or one whose count character is not in the alphabet
    Damaged, // fewer characters than the count needs, or one outside the alphabet
};

// Decodes one data line (without its line end), appending its bytes to Out (left as it was
// when the line is not a whole data line); only the characters the count needs are read,
// never beyond the line.
TUULine DecodeUULine(const TUUAlphabet& Alphabet, std::string_view Line, std::string& Out);

// The alphabet of a text without a table, found from its first data line: the one in which
// the line's count character gives the line's length (uu before xx), else the one in which the
// line holds at least what its count needs. Nothing when neither fits.
std::optional<TUUAlphabet> AlphabetOfFirstLine(std::string_view Line);
