// Start codes (the 32-bit value of 00 00 01 xx) and extension identifiers.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t PICTURE_START_CODE = 0x100;
inline constexpr std::uint32_t USER_DATA_START_CODE = 0x1B2;
inline constexpr std::uint32_t SEQUENCE_HEADER_CODE = 0x1B3;
inline constexpr std::uint32_t EXTENSION_START_CODE = 0x1B5;
inline constexpr std::uint32_t SEQUENCE_END_CODE = 0x1B7;
inline constexpr std::uint32_t GROUP_START_CODE = 0x1B8;
// System-layer codes: a file holding them is a program or system stream.
inline constexpr std::uint32_t PACK_START_CODE = 0x1BA;
inline constexpr std::uint32_t SYSTEM_HEADER_START_CODE = 0x1BB;

// extension_start_code_identifier, the high nibble after 00 00 01 B5.
enum ExtensionId : std::uint8_t {
    SEQUENCE_EXTENSION_ID = 1,
    SEQUENCE_DISPLAY_EXTENSION_ID = 2,
    QUANT_MATRIX_EXTENSION_ID = 3,
    COPYRIGHT_EXTENSION_ID = 4,
    SEQUENCE_SCALABLE_EXTENSION_ID = 5,
    PICTURE_DISPLAY_EXTENSION_ID = 7,
    PICTURE_CODING_EXTENSION_ID = 8,
    PICTURE_SPATIAL_SCALABLE_EXTENSION_ID = 9,
    PICTURE_TEMPORAL_SCALABLE_EXTENSION_ID = 10,
};
