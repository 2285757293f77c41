// A large file copied into the tar by the kernel on several threads: steps of Step bytes at
// their own offsets of both files (copy_file_range with explicit offsets, so neither file's
// position moves), begun by the workers in order. The writer takes the steps in order as they
// are done, so its events are those of a copy on one thread; a step that was not copied whole
// is left to the writer, which copies it again itself and meets whatever went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class TParallelKernelCopy {
public:
    TParallelKernelCopy(int In, int Out, std::int64_t OutStart, std::int64_t Size, std::int64_t Step,
                        unsigned Threads);
    // The workers stop after the step in hand.
    ~TParallelKernelCopy();
    TParallelKernelCopy(const TParallelKernelCopy&) = delete;
    TParallelKernelCopy& operator=(const TParallelKernelCopy&) = delete;

    // Waits for step Index (the host runs meanwhile); true when it was copied whole.
    bool Copied(std::size_t Index);

private:
    class TWork;
    std::unique_ptr<TWork> FWork;
};
