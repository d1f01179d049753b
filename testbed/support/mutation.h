// Deterministic mutation of inputs for the hostile-input tests: a fixed seed
// and a fixed number of cases, so that a failing case can be run again alone.
// The number of cases is the test's own unless KOPIWA_FUZZ_CASES says more
// (make fuzz); KOPIWA_FUZZ_SEED replaces the seed.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace mutation {

// xorshift64*: small, fast and the same on every compiler.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    std::uint64_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // 0 .. bound-1; 0 when bound is 0.
    std::size_t Below(std::size_t bound) { return bound ? static_cast<std::size_t>(Next() % bound) : 0; }

private:
    std::uint64_t state_;
};

// The environment's number, or `fallback` when it names none.
inline std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    return std::strtoull(text, nullptr, 0);
}
inline std::uint64_t Seed(std::uint64_t fallback) { return EnvNumber("KOPIWA_FUZZ_SEED", fallback); }
inline std::size_t Cases(std::size_t fallback) {
    return static_cast<std::size_t>(EnvNumber("KOPIWA_FUZZ_CASES", fallback));
}
// Whether case `n` comes before KOPIWA_FUZZ_FIRST: a slow loop still makes
// such a case, so that the later ones are the same, but does not run it.
inline bool BeforeFirst(std::size_t n) { return n < EnvNumber("KOPIWA_FUZZ_FIRST", 0); }

// One random edit of `data`: flip a bit, set a byte to a value that often
// breaks parsers, insert, delete, duplicate a run, or cut the end off.
// `extra` bytes (a format's own separators and keywords, say) are inserted too.
inline void MutateOnce(std::vector<unsigned char>& data, Random& random,
                       const std::vector<std::string>& extra = {}) {
    static const unsigned char kInteresting[] = {0x00, 0x01, 0x7F, 0x80, 0xFF, 0x81, 0x9F, 0xE0,
                                                 0xFC, '\\', '%', '"', '\r', '\n', '\t', ' '};
    const std::size_t size = data.size();
    switch (random.Below(extra.empty() ? 6 : 7)) {
    case 0:
        if (size) data[random.Below(size)] ^= static_cast<unsigned char>(1u << random.Below(8));
        break;
    case 1:
        if (size) data[random.Below(size)] = kInteresting[random.Below(sizeof kInteresting)];
        break;
    case 2:
        data.insert(data.begin() + random.Below(size + 1), kInteresting[random.Below(sizeof kInteresting)]);
        break;
    case 3:
        if (size) {
            const std::size_t at = random.Below(size);
            data.erase(data.begin() + at, data.begin() + at + 1 + random.Below(size - at));
        }
        break;
    case 4:
        if (size) {
            const std::size_t at = random.Below(size);
            const std::size_t length = 1 + random.Below(size - at);
            const std::vector<unsigned char> run(data.begin() + at, data.begin() + at + length);
            const std::size_t times = 1 + random.Below(8);
            for (std::size_t i = 0; i < times; ++i)
                data.insert(data.begin() + random.Below(data.size() + 1), run.begin(), run.end());
        }
        break;
    case 5:
        data.resize(random.Below(size + 1));
        break;
    default: {
        const std::string& word = extra[random.Below(extra.size())];
        data.insert(data.begin() + random.Below(size + 1), word.begin(), word.end());
        break;
    }
    }
}

// A case: `seed` edited 1 to `maxEdits` times.
inline std::vector<unsigned char> Mutate(const std::vector<unsigned char>& seed, Random& random,
                                         std::size_t maxEdits = 4,
                                         const std::vector<std::string>& extra = {}) {
    std::vector<unsigned char> data = seed;
    const std::size_t edits = 1 + random.Below(maxEdits);
    for (std::size_t i = 0; i < edits; ++i) MutateOnce(data, random, extra);
    return data;
}

}  // namespace mutation
