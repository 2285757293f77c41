// Lists of header records that writers and readers keep per entry: each record is a copied
// buffer of a fixed size, with optional extra data; the writers' list also keeps the stored
// name and a 16-bit value (the entry's kind) per record. The layout of a record is the
// owner's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class THeaderObj {
public:
    virtual ~THeaderObj() = default;

    // Sets the record size and empties the list.
    void Init(std::size_t ARecordSize);
    // Appends a copy of RecordSize bytes of Buffer.
    void AddRaw(const void* Buffer);
    // The record buffer (RecordSize bytes); Index must be below Count.
    std::uint8_t* GetHeader(int Index);
    const std::uint8_t* GetHeader(int Index) const;
    // The extra data of a record (empty when it has none).
    const std::vector<std::uint8_t>& GetExtra(int Index) const;
    virtual void Clear();
    void Done() { Clear(); }

    int Count() const { return static_cast<int>(FHeaders.size()); }
    std::size_t RecordSize() const { return FRecordSize; }

protected:
    void AddRecord(const void* Header, const void* Extra, std::size_t ExtraLen);
    std::size_t CheckedIndex(int Index) const;

    std::size_t FRecordSize = 0;
    std::vector<std::vector<std::uint8_t>> FHeaders;
    std::vector<std::vector<std::uint8_t>> FExtra;
};

// The writers' list: 24-byte records unless a writer sets another size.
class TCompHeaderObj : public THeaderObj {
public:
    static constexpr std::size_t DefaultRecordSize = 24;

    TCompHeaderObj() { Init(DefaultRecordSize); }
    void Init(std::size_t ARecordSize = DefaultRecordSize) { THeaderObj::Init(ARecordSize); }
    void Add(const void* Header, const std::string& Name, std::uint16_t Value, const void* Extra,
             std::size_t ExtraLen);
    void AddRaw(const void* Buffer);
    void Clear() override;

    const std::string& Name(int Index) const { return FNames[CheckedIndex(Index)]; }
    void SetName(int Index, const std::string& Name) { FNames[CheckedIndex(Index)] = Name; }
    std::uint16_t Value(int Index) const { return FValues[CheckedIndex(Index)]; }
    void SetValue(int Index, std::uint16_t Value) { FValues[CheckedIndex(Index)] = Value; }

    // Scratch space for the owner.
    std::vector<std::uint8_t> WorkBuffer;

private:
    std::vector<std::string> FNames;
    std::vector<std::uint16_t> FValues;
};

// The readers' list: 10-byte records.
class TUnBaseHeaderObj : public THeaderObj {
public:
    static constexpr std::size_t DefaultRecordSize = 10;

    TUnBaseHeaderObj() { Init(DefaultRecordSize); }
    void Init(std::size_t ARecordSize = DefaultRecordSize) { THeaderObj::Init(ARecordSize); }
    void Add(const void* Header, const void* Extra, std::size_t ExtraLen) {
        AddRecord(Header, Extra, ExtraLen);
    }
};
