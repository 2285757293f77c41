#include "engine/core/krvKernelCopy.h"

#include <cerrno>
#include <unistd.h>

std::int64_t KernelCopy(const THandleStream32& From, THandleStream32& To, std::int64_t Count) {
    if (From.Handle < 0 || To.Handle < 0) return KernelCopyRefused;
    if (Count <= 0) return 0;
    for (;;) {
        const ssize_t n =
            ::copy_file_range(From.Handle, nullptr, To.Handle, nullptr, static_cast<std::size_t>(Count), 0);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)
            return KernelCopyRefused;
        return -1;
    }
}
