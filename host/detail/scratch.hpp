#pragma once
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace host::detail {

/// Working storage for model evaluations: a per-thread stack of doubles that only grows. A
/// Scratch frame takes arrays from it and gives them back when it goes out of scope, so that
/// after the first evaluation at a given size no evaluation allocates. Being per thread, it
/// keeps the models' const evaluations free of shared mutable state. Arrays are uninitialised.
class ScratchArena {
public:
    struct Mark {
        std::size_t block = 0;
        std::size_t used = 0;
    };

    static ScratchArena& local() noexcept;

    Mark mark() const noexcept { return Mark{block_, used_}; }
    void release(Mark m) noexcept {
        block_ = m.block;
        used_ = m.used;
    }
    double* take(std::size_t count);

private:
    struct Block {
        std::unique_ptr<double[]> data;
        std::size_t capacity = 0;
    };
    std::vector<Block> blocks_;
    std::size_t block_ = 0;
    std::size_t used_ = 0;
};

class Scratch {
public:
    Scratch() noexcept : arena_(ScratchArena::local()), mark_(arena_.mark()) {}
    ~Scratch() { arena_.release(mark_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::span<double> take(std::size_t count) { return {arena_.take(count), count}; }

private:
    ScratchArena& arena_;
    ScratchArena::Mark mark_;
};

}  // namespace host::detail
