// Checked arithmetic on sizes and offsets read from archives: a sum or product that leaves
// the signed 64-bit range is refused instead of wrapping (which is undefined behaviour for
// signed values and would send a walk to a wrong position).
#pragma once

#include <cstdint>
#include <optional>

// A + B, or false (Out untouched) when the sum leaves the int64 range.
inline bool CheckedAdd(std::int64_t A, std::int64_t B, std::int64_t& Out) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(A, B, &sum)) return false;
    Out = sum;
    return true;
}

// A - B, or false (Out untouched) when the difference leaves the int64 range.
inline bool CheckedSub(std::int64_t A, std::int64_t B, std::int64_t& Out) {
    std::int64_t difference = 0;
    if (__builtin_sub_overflow(A, B, &difference)) return false;
    Out = difference;
    return true;
}

// A * B, or false (Out untouched) when the product leaves the int64 range.
inline bool CheckedMul(std::int64_t A, std::int64_t B, std::int64_t& Out) {
    std::int64_t product = 0;
    if (__builtin_mul_overflow(A, B, &product)) return false;
    Out = product;
    return true;
}

// A + B, or no value when the sum leaves the int64 range; for expressions that chain sums.
inline std::optional<std::int64_t> CheckedSum(std::int64_t A, std::int64_t B) {
    std::int64_t sum = 0;
    if (!CheckedAdd(A, B, sum)) return std::nullopt;
    return sum;
}

// A + B + C + ..., or no value when a partial sum leaves the int64 range.
template <typename... TRest>
std::optional<std::int64_t> CheckedSum(std::int64_t A, std::int64_t B, std::int64_t C, TRest... Rest) {
    const std::optional<std::int64_t> head = CheckedSum(A, B);
    if (!head) return std::nullopt;
    return CheckedSum(*head, C, static_cast<std::int64_t>(Rest)...);
}
