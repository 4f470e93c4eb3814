#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string_view>

namespace emulator {

// A small deterministic generator (SplitMix64): the same seed gives the same
// sequence on every build, unlike the standard distributions.
class SeededRandom {
public:
    explicit SeededRandom(std::uint64_t seed) : state_(seed) {}

    // Mixes a seed with a name and a number into an independent stream seed.
    static std::uint64_t Derive(std::uint64_t seed, std::string_view name, std::uint64_t number)
    {
        std::uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a over the name
        for (char c : name)
            h = (h ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
        SeededRandom mix(seed ^ h ^ (number * 0x9E3779B97F4A7C15ull));
        return mix.Next();
    }

    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    // Uniform in [lo, hi].
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }

    // Standard normal (Box-Muller: each pair of uniforms gives two values).
    double Gaussian()
    {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
        const double u1 = 1.0 - Uniform();  // (0, 1]
        const double u2 = Uniform();
        const double radius = std::sqrt(-2.0 * std::log(u1));
        const double angle = 2.0 * std::numbers::pi * u2;
        spare_ = radius * std::sin(angle);
        hasSpare_ = true;
        return radius * std::cos(angle);
    }

private:
    std::uint64_t state_;
    double spare_ = 0;
    bool hasSpare_ = false;
};

} // namespace emulator
