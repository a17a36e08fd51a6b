#include "host/detail/scratch.hpp"

#include <algorithm>

namespace host::detail {

ScratchArena& ScratchArena::local() noexcept {
    thread_local ScratchArena arena;
    return arena;
}

double* ScratchArena::take(std::size_t count) {
    // 64 K doubles hold every array of a 100-component NRTL evaluation with its derivatives, so
    // a second block is the exception.
    constexpr std::size_t kFirstBlock = std::size_t{1} << 16;
    while (true) {
        if (block_ < blocks_.size()) {
            Block& b = blocks_[block_];
            if (b.capacity - used_ >= count) {
                double* p = b.data.get() + used_;
                used_ += count;
                return p;
            }
            if (block_ + 1 < blocks_.size()) {
                ++block_;
                used_ = 0;
                continue;
            }
        }
        const std::size_t capacity =
            std::max(count, blocks_.empty() ? kFirstBlock : 2 * blocks_.back().capacity);
        blocks_.push_back(Block{std::unique_ptr<double[]>(new double[capacity]), capacity});
        block_ = blocks_.size() - 1;
        used_ = 0;
    }
}

}  // namespace host::detail
