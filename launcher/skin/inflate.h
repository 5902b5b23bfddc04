// The skin reader's own deflate decoder: one table lookup per symbol, every
// code and length validated, output bounded by the caller's limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

// Inflates a raw deflate stream into `out`, at most `limit` bytes. False on
// any fault (with the reason in `error`): a bad block type, code lengths
// that make an over-subscribed or incomplete code, a repeat without a
// previous length or past the lengths' end, a symbol or distance code that
// cannot occur, a distance beyond the output, a stored length that does not
// match its complement, output beyond the limit, or input that ends early.
bool Inflate(const uint8_t* data, size_t size, size_t limit, std::vector<uint8_t>* out, std::string* error);

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

}  // namespace skin
