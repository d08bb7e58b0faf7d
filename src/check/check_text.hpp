// What --check prints on standard output. These lines are read by scripts:
// they are English in every locale.
#pragma once

namespace check_text {

// "FAIL rule: found (first at 0x00001234, 3 times)", then the fix, if any.
inline constexpr char fail[] = "FAIL %s: %s (first at 0x%08llx, %llu times)";
inline constexpr char fix[] = " - fix: %s";
// In place of the fix when the file's name cannot be written for cmd.exe (a
// double quote or a line break in it).
inline constexpr char fix_unwritable[] =
    " - fix: none that cmd.exe would read back with this file name; rename it";
inline constexpr char compliant[] = "%s: compliant\n";
inline constexpr char one_broken[] = "%s: 1 rule broken\n";
inline constexpr char broken[] = "%s: %u rules broken\n";

// What the VIDEO rule and the VBV rule find.
inline constexpr char no_sequence[] = "no sequence header";
inline constexpr char no_picture[] = "no picture";
// The GOP rule counts frames; "frames (field pictures count as half)" is
// the term --stats uses too.
inline constexpr char gop_length[] = "a GOP of %s frames (field pictures count as half), at most %u";
inline constexpr char underflow[] = "VBV underflow at %llu bit/s with a buffer of %llu bits";

}  // namespace check_text
