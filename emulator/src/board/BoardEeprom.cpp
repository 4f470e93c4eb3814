#include "BoardEeprom.h"

#include <cstddef>

namespace emulator {

namespace {

constexpr std::uint16_t kUnset = 0xFFFF;
constexpr std::size_t kDigitWords = 4;   // words 31, 30, 29, 28
constexpr int kFirstDigitWord = 31;
constexpr int kTextWord = 56;
constexpr std::size_t kMaxTextChars = 15;

constexpr std::uint16_t ByteSwap(std::uint16_t v)
{
    return static_cast<std::uint16_t>((v << 8) | (v >> 8));
}

// Digits from each word's lowest nibble up, after a byte swap; 0xF ends them.
void PutDigits(EepromWords& words, std::string_view digits)
{
    std::array<std::uint16_t, kDigitWords> plain{kUnset, kUnset, kUnset, kUnset};
    for (std::size_t i = 0; i < digits.size() && i < kDigitWords * 4 - 3; ++i) {
        const auto nibble = static_cast<std::uint16_t>((digits[i] - '0') & 0xF);
        const std::size_t shift = (i % 4) * 4;
        std::uint16_t& word = plain[i / 4];
        word = static_cast<std::uint16_t>((word & ~(0xF << shift)) | (nibble << shift));
    }
    for (std::size_t w = 0; w < kDigitWords; ++w) {
        if (plain[w] != kUnset)
            words[kFirstDigitWord - w] = ByteSwap(plain[w]);
    }
}

// Word 56 = (first character << 8) | length, then two characters a word, low
// byte first, a spare byte 0xFF.
void PutText(EepromWords& words, std::string_view text)
{
    if (text.empty())
        return;
    if (text.size() > kMaxTextChars)
        text = text.substr(0, kMaxTextChars);
    auto byteAt = [&](std::size_t i) -> std::uint16_t {
        return i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0xFF;
    };
    words[kTextWord] = static_cast<std::uint16_t>((byteAt(0) << 8) | text.size());
    for (std::size_t i = 1, w = kTextWord + 1; i < text.size(); i += 2, ++w)
        words[w] = static_cast<std::uint16_t>(byteAt(i) | (byteAt(i + 1) << 8));
}

} // namespace

EepromWords MakeEepromWords(const BoardProfile& board)
{
    EepromWords words;
    words.fill(kUnset);
    if (board.eepromBlank)
        return words;
    words[0] = board.vendorId;
    words[1] = board.productId;
    words[4] = board.optionWord;
    const std::uint32_t v = board.boardVersion;
    words[6] = static_cast<std::uint16_t>((((v >> 16) & 0xFF) << 8) | (v >> 24));
    words[7] = static_cast<std::uint16_t>(((v & 0xFF) << 8) | ((v >> 8) & 0xFF));
    PutDigits(words, board.serialDigits);
    PutText(words, board.modelText);
    return words;
}

} // namespace emulator
