#include "PeBuilder.h"

#include <vector>

namespace testsupport {

namespace {

void Put16(std::string& S, std::size_t At, std::uint32_t V) {
    if (S.size() < At + 2) S.resize(At + 2, '\0');
    S[At] = static_cast<char>(V & 0xFF);
    S[At + 1] = static_cast<char>((V >> 8) & 0xFF);
}

void Put32(std::string& S, std::size_t At, std::uint32_t V) {
    Put16(S, At, V & 0xFFFF);
    Put16(S, At + 2, V >> 16);
}

// A resource directory header with Count id entries.
void PutDirectory(std::string& S, std::size_t At, std::uint32_t Count) {
    Put32(S, At + 12, 0);
    Put16(S, At + 14, Count);
}

} // namespace

std::string MakePeFile(const std::map<std::uint32_t, std::string>& Strings, const TPeOptions& Options) {
    constexpr std::uint32_t sectionRva = 0x1000;
    constexpr std::uint32_t rsrc = PeResourceOffset;

    // Group the strings into blocks of sixteen.
    std::map<std::uint32_t, std::map<std::uint32_t, std::string>> blocks;
    for (const auto& [id, text] : Strings)
        blocks[id / 16 + 1][id % 16] = text;
    const auto blockCount = static_cast<std::uint32_t>(blocks.size());

    // Resource layout, relative to the root: root, type directory, one name directory per
    // block, one data entry per block, the string blocks.
    const std::uint32_t typeDir = 16 + 8;
    const std::uint32_t nameDirs = typeDir + 16 + 8 * blockCount;
    const std::uint32_t dataEntries = nameDirs + blockCount * (16 + 8);
    std::uint32_t blockData = dataEntries + blockCount * 16;

    std::string r;
    PutDirectory(r, 0, 1);
    Put32(r, 16, 6); // RT_STRING
    Put32(r, 20, 0x80000000U | typeDir);
    PutDirectory(r, typeDir, blockCount);
    std::uint32_t i = 0;
    for (const auto& [block, texts] : blocks) {
        Put32(r, typeDir + 16 + 8 * i, block);
        Put32(r, typeDir + 20 + 8 * i, 0x80000000U | (nameDirs + 24 * i));
        const std::uint32_t nameDir = nameDirs + 24 * i;
        PutDirectory(r, nameDir, 1);
        Put32(r, nameDir + 16, Options.Language);
        Put32(r, nameDir + 20, dataEntries + 16 * i);

        std::string data;
        for (std::uint32_t k = 0; k < 16; ++k) {
            auto it = texts.find(k);
            const std::string text = it == texts.end() ? std::string() : it->second;
            const std::size_t at = data.size();
            Put16(data, at, static_cast<std::uint32_t>(text.size()));
            for (std::size_t c = 0; c < text.size(); ++c)
                Put16(data, at + 2 + 2 * c, static_cast<unsigned char>(text[c]));
        }
        Put32(r, dataEntries + 16 * i, sectionRva + blockData);
        Put32(r, dataEntries + 16 * i + 4, static_cast<std::uint32_t>(data.size()));
        if (r.size() < blockData) r.resize(blockData, '\0');
        r.replace(blockData, data.size(), data);
        blockData += static_cast<std::uint32_t>(data.size());
        ++i;
    }
    if (r.size() % 16 != 0) r.resize((r.size() / 16 + 1) * 16, '\0');
    const auto rsrcSize = static_cast<std::uint32_t>(r.size());

    std::string pe(rsrc, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    Put16(pe, 2, 0x80); // bytes in the last page
    Put16(pe, 4, 1);    // pages: the DOS image ends at 0x80
    Put32(pe, 0x3C, PeHeaderOffset);
    const std::size_t h = PeHeaderOffset;
    pe.replace(h, 4, std::string("PE\0\0", 4));
    const std::uint16_t optSize = Options.Pe32Plus ? 240 : 224;
    Put16(pe, h + 4, Options.Pe32Plus ? 0x8664 : 0x14C);
    Put16(pe, h + 6, 1); // sections
    Put16(pe, h + 20, optSize);
    Put16(pe, h + 22, 0x0102);
    const std::size_t opt = h + 24;
    Put16(pe, opt, Options.Pe32Plus ? 0x20B : 0x10B);
    const std::size_t countPos = opt + (Options.Pe32Plus ? 108 : 92);
    const std::size_t dirPos = opt + (Options.Pe32Plus ? 112 : 96);
    Put32(pe, countPos, 16);
    Put32(pe, dirPos + 16, sectionRva);
    Put32(pe, dirPos + 20, rsrcSize);
    const std::size_t section = opt + optSize;
    pe.replace(section, 8, std::string(".rsrc\0\0\0", 8));
    Put32(pe, section + 8, rsrcSize); // virtual size
    Put32(pe, section + 12, sectionRva);
    Put32(pe, section + 16, rsrcSize); // raw size
    Put32(pe, section + 20, rsrc);     // raw offset
    pe.resize(rsrc, '\0');
    pe += r;
    if (pe.size() < Options.MinSize) pe.resize(Options.MinSize, '\0');
    return pe;
}

} // namespace testsupport
