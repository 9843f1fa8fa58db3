#include "byte_search.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace varnex {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Whether the needle's inner bytes (all but the first and last, already matched) follow at `at`.
bool inner_matches(const char* at, std::string_view needle) {
    for (std::size_t k = 1; k + 1 < needle.size(); ++k)
        if (at[k] != needle[k]) return false;
    return true;
}

#if defined(__x86_64__) && defined(__GNUC__)
// Thirty-two candidate offsets at a time where the processor allows: returns the first match
// (setting `found`), or the offset where fewer than thirty-two candidates are left.
__attribute__((target("avx2"))) std::size_t find_wide(const char* s, std::size_t i, std::size_t last_start,
                                                      std::string_view needle, bool& found) {
    const std::size_t k = needle.size();
    const __m256i firsts = _mm256_set1_epi8(needle[0]);
    const __m256i lasts = _mm256_set1_epi8(needle[k - 1]);
    for (; i + 31 <= last_start; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + k - 1));
        auto mask = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, firsts), _mm256_cmpeq_epi8(b, lasts))));
        while (mask != 0) {
            const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
            if (inner_matches(s + i + bit, needle)) {
                found = true;
                return i + bit;
            }
            mask &= mask - 1;
        }
    }
    found = false;
    return i;
}

// Read before any search can run; the initialisation call makes the answer safe this early.
const bool kHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#endif

}  // namespace

std::size_t find_bytes(std::string_view haystack, std::string_view needle, std::size_t from) {
    const std::size_t size = haystack.size();
    if (from > size) return npos;
    const std::size_t k = needle.size();
    if (k == 0) return from;
    if (k > size - from) return npos;
    const char* s = haystack.data();
    if (k == 1) {
        const void* hit = std::memchr(s + from, needle[0], size - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - s) : npos;
    }
    const char first = needle[0];
    const char last = needle[k - 1];
    const std::size_t last_start = size - k;  // the last offset where the needle fits
    std::size_t i = from;
#if defined(__x86_64__) && defined(__GNUC__)
    if (kHasAvx2 && i + 31 <= last_start) {
        bool found = false;
        i = find_wide(s, i, last_start, needle, found);
        if (found) return i;
    }
#endif
#if defined(__SSE2__)
    // Sixteen candidate offsets at a time: those whose first and last bytes both match are
    // rare in XML even when the first byte ('<') is everywhere.
    const __m128i firsts = _mm_set1_epi8(first);
    const __m128i lasts = _mm_set1_epi8(last);
    while (i + 15 <= last_start) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + k - 1));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, firsts), _mm_cmpeq_epi8(b, lasts))));
        while (mask != 0) {
            const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
            if (inner_matches(s + i + bit, needle)) return i + bit;
            mask &= mask - 1;
        }
        i += 16;
    }
#endif
    for (; i <= last_start; ++i) {
        if (s[i] == first && s[i + k - 1] == last && inner_matches(s + i, needle)) return i;
    }
    return npos;
}

}  // namespace varnex
