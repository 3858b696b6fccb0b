// The keyed quicksort of the program: keys sorted ascending in place, a
// second array carried along with the same rearrangement. Median-of-three
// partitioning, straight insertion for ranges of up to 7 elements, the
// larger part always deferred on the stack. The field library sorts its
// source ranges with it (sort2, real keys and real carry), the projected
// model its filter times (rsort2) and the mesh models their box keys
// (isort2, integer keys and integer carry): one algorithm for all three, so
// equal keys end in the same order whichever caller sorts them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace foundation {

// Pending sub-ranges wait as (left, right) pairs. The smaller part is always
// sorted first, so at most log2(n) pairs wait at a time: 64 pairs hold any
// range an int can index, and the stack can never be exceeded.
inline constexpr int sort_stack_pairs = 64;

// Sorts keys[0..n) ascending and applies the same permutation to carry.
// carry must be at least as long as keys.
template <class Key, class Carry>
void keyed_sort(std::span<Key> keys, std::span<Carry> carry) {
    constexpr std::ptrdiff_t M = 7;
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(keys.size());
    if (n < 2) return;
    // 1-based access to the two arrays, as the partition steps are written
    Key* const k0 = keys.data();
    Carry* const c0 = carry.data();
    auto arr = [k0](std::ptrdiff_t i) -> Key& { return k0[i - 1]; };
    auto brr = [c0](std::ptrdiff_t i) -> Carry& { return c0[i - 1]; };
    auto swap2 = [&](std::ptrdiff_t i, std::ptrdiff_t j) {
        std::swap(arr(i), arr(j));
        std::swap(brr(i), brr(j));
    };
    std::ptrdiff_t stack[2 * sort_stack_pairs];
    int jstack = 0;
    std::ptrdiff_t l = 1, ir = n;
    for (;;) {
        if (ir - l < M) {
            // straight insertion; equal keys keep their order here
            for (std::ptrdiff_t j = l + 1; j <= ir; ++j) {
                const Key a = arr(j);
                const Carry b = brr(j);
                std::ptrdiff_t i = j - 1;
                for (; i >= l; --i) {
                    if (!(arr(i) > a)) break;
                    arr(i + 1) = arr(i);
                    brr(i + 1) = brr(i);
                }
                arr(i + 1) = a;
                brr(i + 1) = b;
            }
            if (jstack == 0) return;
            ir = stack[--jstack];
            l = stack[--jstack];
            continue;
        }
        const std::ptrdiff_t k = (l + ir) / 2;
        swap2(k, l + 1);
        if (arr(l) > arr(ir)) swap2(l, ir);
        if (arr(l + 1) > arr(ir)) swap2(l + 1, ir);
        if (arr(l) > arr(l + 1)) swap2(l, l + 1);
        std::ptrdiff_t i = l + 1, j = ir;
        const Key a = arr(l + 1);
        const Carry b = brr(l + 1);
        for (;;) {
            do ++i; while (arr(i) < a);
            do --j; while (arr(j) > a);
            if (j < i) break;
            swap2(i, j);
        }
        arr(l + 1) = arr(j);
        arr(j) = a;
        brr(l + 1) = brr(j);
        brr(j) = b;
        // the larger part waits, the smaller is sorted next
        if (ir - i + 1 >= j - l) {
            stack[jstack++] = i;
            stack[jstack++] = ir;
            ir = j - 1;
        } else {
            stack[jstack++] = l;
            stack[jstack++] = j - 1;
            l = i;
        }
    }
}

// Real keys with a real array carried along (source points, mesh intervals).
inline void sort2(std::span<double> arr, std::span<double> brr) { keyed_sort(arr, brr); }

}  // namespace foundation
