#pragma once
// Password protection of Paradox tables. The stored 32-bit value is a checksum of the password;
// its low 16 bits are the key that scrambles every data block (and the whole blob file).
#include <cstdint>
#include <string_view>

namespace kx4::paradox {

// The value a table header stores for `password` (bytes as typed); 0 for an empty password.
std::uint32_t passwordChecksum(std::string_view password);

// Data blocks of .DB/.PX/X files: `block` is the 1-based block number, `data` a whole number of
// 256-byte chunks from the block's start.
void encryptBlock(std::uint32_t checksum, std::uint32_t block, std::uint8_t* data, std::size_t n);
void decryptBlock(std::uint32_t checksum, std::uint32_t block, std::uint8_t* data, std::size_t n);

// The .MB file: `data` starts at a 256-byte boundary of the file and holds whole chunks.
void encryptBlobData(std::uint32_t checksum, std::uint8_t* data, std::size_t n);
void decryptBlobData(std::uint32_t checksum, std::uint8_t* data, std::size_t n);

inline constexpr std::size_t kCryptChunk = 256;

}  // namespace kx4::paradox
