// The input's reads and views of a mapped file (input.cpp dispatches).
#pragma once

#include "input/input.hpp"

// Maps the file's first window; false when the file cannot be mapped.
bool mapped_open(Input& in);
void mapped_close(Input& in);

// As input_read and input_view, from the mapped windows.
bool mapped_read(Input& in, std::uint64_t file_offset, std::uint8_t* dest, std::uint32_t count,
                 std::uint32_t* got);
bool mapped_view(Input& in, std::uint64_t file_offset, std::uint32_t need, InputView* view);
