// The tool's version, the CMake project's (M2VHDR_VERSION, set on m2vhdr_core).
#pragma once

inline constexpr char program_version[] = M2VHDR_VERSION;
