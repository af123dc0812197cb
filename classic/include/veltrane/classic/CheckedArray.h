#pragma once

#include <array>

namespace veltrane::classic {

// Throws SubscriptError (Errors.h) naming the index.
[[noreturn, gnu::cold]] void raiseSubscriptOutOfRange(int index);

// A fixed array with declared bounds First..Last, both inclusive, whose every access tests
// the index and raises subscript out of range outside them.
template <typename T, int First, int Last> class CheckedArray {
public:
    T& operator()(int i) { return m_items[offset(i)]; }
    const T& operator()(int i) const { return m_items[offset(i)]; }

private:
    static std::size_t offset(int i) {
        if (i < First || i > Last) [[unlikely]] {
            raiseSubscriptOutOfRange(i);
        }
        return static_cast<std::size_t>(i - First);
    }

    std::array<T, Last - First + 1> m_items{};
};

} // namespace veltrane::classic
