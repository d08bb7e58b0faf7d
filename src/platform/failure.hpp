// The backend's own: notes why an operation failed, for
// platform_last_error, and gives false.
#pragma once

#include <cstdint>

bool platform_note_failure(std::uint32_t code);
