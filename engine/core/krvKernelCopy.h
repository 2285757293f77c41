// File-to-file copies done by the kernel (copy_file_range): the bytes never pass through the
// process's memory.
#pragma once

#include "engine/core/krvStreams.h"

#include <cstdint>

// Returned by KernelCopy when the kernel cannot copy between the two files (other file systems,
// special files, a kernel without the call): nothing was copied, the caller copies through memory.
inline constexpr std::int64_t KernelCopyRefused = -2;

// Copies up to Count bytes from From's position to To's position, both positions advancing.
// Returns the bytes copied, 0 at the end of From, KernelCopyRefused, or -1 on another error
// (errno tells which).
std::int64_t KernelCopy(const THandleStream32& From, THandleStream32& To, std::int64_t Count);
// The same between descriptors: at *FromAt and *ToAt, which advance by what was copied, or at a
// descriptor's own position where its offset is nullptr.
std::int64_t KernelCopyAt(int From, std::int64_t* FromAt, int To, std::int64_t* ToAt, std::int64_t Count);
