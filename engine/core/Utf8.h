#pragma once
// UTF-8, the engine's text encoding above the drivers: encoding a code point, and a lenient
// decoder for text that may hold stray bytes (names typed elsewhere, keys of damaged files).
#include <cstddef>
#include <string>
#include <string_view>

namespace kx4 {

void appendUtf8(std::string& out, char32_t c);

// The code point of the sequence at s[i], advancing i past it; a byte that starts no complete
// sequence is returned as itself.
char32_t nextCodePoint(std::string_view s, std::size_t& i);

}  // namespace kx4
