#include "engine/core/krvHeaderObj.h"

#include <cstring>
#include <stdexcept>

void THeaderObj::Init(std::size_t ARecordSize) {
    Clear();
    FRecordSize = ARecordSize;
}

std::size_t THeaderObj::CheckedIndex(int Index) const {
    if (Index < 0 || static_cast<std::size_t>(Index) >= FHeaders.size())
        throw std::out_of_range("header list index out of range");
    return static_cast<std::size_t>(Index);
}

void THeaderObj::AddRecord(const void* Header, const void* Extra, std::size_t ExtraLen) {
    std::vector<std::uint8_t> record(FRecordSize);
    if (Header && FRecordSize > 0) std::memcpy(record.data(), Header, FRecordSize);
    std::vector<std::uint8_t> extra;
    if (Extra && ExtraLen > 0) {
        const auto* p = static_cast<const std::uint8_t*>(Extra);
        extra.assign(p, p + ExtraLen);
    }
    FHeaders.push_back(std::move(record));
    FExtra.push_back(std::move(extra));
}

void THeaderObj::AddRaw(const void* Buffer) {
    AddRecord(Buffer, nullptr, 0);
}

std::uint8_t* THeaderObj::GetHeader(int Index) {
    return FHeaders[CheckedIndex(Index)].data();
}

const std::uint8_t* THeaderObj::GetHeader(int Index) const {
    return FHeaders[CheckedIndex(Index)].data();
}

const std::vector<std::uint8_t>& THeaderObj::GetExtra(int Index) const {
    return FExtra[CheckedIndex(Index)];
}

void THeaderObj::Clear() {
    FHeaders.clear();
    FExtra.clear();
}

void TCompHeaderObj::Add(const void* Header, const std::string& Name, std::uint16_t Value, const void* Extra,
                         std::size_t ExtraLen) {
    AddRecord(Header, Extra, ExtraLen);
    FNames.push_back(Name);
    FValues.push_back(Value);
}

void TCompHeaderObj::AddRaw(const void* Buffer) {
    AddRecord(Buffer, nullptr, 0);
    FNames.emplace_back();
    FValues.push_back(0);
}

void TCompHeaderObj::Clear() {
    THeaderObj::Clear();
    FNames.clear();
    FValues.clear();
    WorkBuffer.clear();
    WorkBuffer.shrink_to_fit();
}
