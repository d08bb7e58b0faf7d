// Containers other than MPEG's that a file may be, told by their signature.
#pragma once

#include <cstdint>

// The name of the container whose signature the file's first `held` bytes
// show (WTV, ASF, MXF, MP4/MOV, Matroska, AVI), or null for none of them.
const char* foreign_container(const std::uint8_t* bytes, std::uint32_t held);
