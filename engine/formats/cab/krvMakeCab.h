// The cabinet writer: gathers files through the writer base and feeds them to the cabinet
// library's FCI context, stored or compressed with MSZIP, LZX or Quantum. The entries of an
// existing cabinet are kept: they are unpacked through the cabinet reader into a private
// scratch folder and written into the new cabinet with the gathered files. Every cabinet of
// the new set is built in a temporary file beside its name and put in place only when the
// whole set was written; any failure of the library is reported and leaves the old cabinet.
#pragma once

#include "engine/core/krvCompBase.h"
#include "platform/CabinetFci.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TCompressionType : std::uint8_t { ctStore, ctMsZip, ctLzx };

using TGetNextCabinetEvent =
    std::function<void(TZipCommon& Sender, TCCAB& CabParameters, std::string& NewCabFileName,
                       int PreviousCabEstimatedSize, bool& AbortCreation)>;

class TMakeCab : public TCompBase {
public:
    TMakeCab();

    bool FailOnIncompressible = true;
    TCompressionType QuantumType = ctMsZip;
    // Largest cabinet of a set; a set goes on in the cabinets OnGetNextCabinet names.
    std::uint32_t MaxCabinetSize = 0x7FFFFFFF;
    TGetNextCabinetEvent OnGetNextCabinet;

    void SetLzxLevel(int Value) { FLzxLevel = std::clamp(Value, 15, 21); }
    int LzxLevel() const { return FLzxLevel; }
    void SetQuantumLevel(int Value) { FQuantumLevel = std::clamp(Value, 1, 7); }
    int QuantumLevel() const { return FQuantumLevel; }
    void SetQuantumMemory(int Value) { FQuantumMemory = std::clamp(Value, 10, 21); }
    int QuantumMemory() const { return FQuantumMemory; }

    void SetArcType(TArcType Value) override;
    // The compression word of CompressMethod.
    TCOMP CompressionWord() const;

protected:
    void DoCompress(TCompHeaderObj& List) override;
    bool AddFile(TCompHeaderObj& List, int Index) override;
    void CopyKeptEntry(TCompHeaderObj& List, int Index) override;
    void CopyEntry(TCompHeaderObj& List, int Index) override;
    int GetHeadSize() override { return 36; }
    int GetLocalHeadSize() override { return 36; }
    void InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) override;
    void HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) override;
    void StartPrefetch(TCompHeaderObj& /*List*/) override {}
    void CheckLimits(TCompHeaderObj& List) override;

private:
    // Unpacks the old cabinet into Scratch and enters its entries into List (kept).
    void LoadOldEntries(TCompHeaderObj& List, const std::string& Scratch);
    // Feeds one file to the library under StoredName; false when the file cannot be opened
    // (reported), raises on any other failure.
    bool AddToCabinet(const std::string& Source, const std::string& StoredName);
    [[noreturn]] void FailFci(const std::string& FileName);

    int FLzxLevel = 21;
    int FQuantumLevel = 7;
    int FQuantumMemory = 21;
    std::unique_ptr<TFciContext> FFci;
    TFciGetNextCabinet FNextCabinet;
    std::vector<std::unique_ptr<TTempFileStream>> FCabinets;
};
