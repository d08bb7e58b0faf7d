#pragma once

#include <cstddef>
#include <cstdint>

// Index of the first start-code prefix 00 00 01 that begins in [from, limit),
// or `limit` when there is none. Reads bytes up to limit + 1.
std::size_t find_start_code(const std::uint8_t* data, std::size_t from,
                            std::size_t limit);
