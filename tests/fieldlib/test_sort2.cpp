// The keyed quicksort: ascending keys, the carried array following its key,
// for sizes below, at and above the insertion limit and for long ordered,
// reversed and repetitive inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "fieldlib/sort2.hpp"

namespace {

TEST(KeyedSort, KeysAscendAndTheCarriedArrayFollows) {
    for (int n : {0, 1, 2, 7, 8, 9, 100, 10000}) {
        std::mt19937 gen(12345u + unsigned(n));
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        std::vector<double> random, few, sorted;
        for (int i = 0; i < n; ++i) random.push_back(u(gen)), few.push_back(double(gen() % 3u)), sorted.push_back(i);
        const std::vector<double> reversed(sorted.rbegin(), sorted.rend());
        for (const auto& orig : {random, sorted, reversed, few}) {
            std::vector<double> key = orig, carry(orig.size());
            std::iota(carry.begin(), carry.end(), 0.0);  // the original position of each key
            fieldlib::sort2(key, carry);
            ASSERT_TRUE(std::is_sorted(key.begin(), key.end())) << "n=" << n;
            std::vector<double> seen(carry);
            std::sort(seen.begin(), seen.end());
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(seen[std::size_t(i)], double(i)) << "carry is not a permutation, n=" << n;
                ASSERT_EQ(key[std::size_t(i)], orig[std::size_t(carry[std::size_t(i)])]) << "n=" << n;
            }
        }
    }
    // integer keys with an integer carry
    std::vector<std::int32_t> key = {5, 3, 9, 3, 1, 8, 2, 7, 6, 4, 0, 3}, carry(key.size());
    std::iota(carry.begin(), carry.end(), 100);
    const std::vector<std::int32_t> orig = key;
    fieldlib::keyed_sort(std::span<std::int32_t>(key), std::span<std::int32_t>(carry));
    EXPECT_TRUE(std::is_sorted(key.begin(), key.end()));
    for (std::size_t i = 0; i < key.size(); ++i) EXPECT_EQ(key[i], orig[std::size_t(carry[i] - 100)]);
}

}  // namespace
