#include "engine/core/krvKernelCopy.h"

#include <cerrno>
#include <unistd.h>

std::int64_t KernelCopy(const THandleStream32& From, THandleStream32& To, std::int64_t Count) {
    return KernelCopyAt(From.Handle, nullptr, To.Handle, nullptr, Count);
}

std::int64_t KernelCopyAt(int From, std::int64_t* FromAt, int To, std::int64_t* ToAt, std::int64_t Count) {
    if (From < 0 || To < 0) return KernelCopyRefused;
    if (Count <= 0) return 0;
    loff_t in = FromAt ? *FromAt : 0, out = ToAt ? *ToAt : 0;
    for (;;) {
        const ssize_t n = ::copy_file_range(From, FromAt ? &in : nullptr, To, ToAt ? &out : nullptr,
                                            static_cast<std::size_t>(Count), 0);
        if (n >= 0) {
            if (FromAt) *FromAt = in;
            if (ToAt) *ToAt = out;
            return n;
        }
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)
            return KernelCopyRefused;
        return -1;
    }
}
