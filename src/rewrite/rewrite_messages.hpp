// The rewrite's own messages (English, as every newer option's).
#pragma once

namespace rewrite_msg {

// After the closing progress line, on standard output, per element that some
// sequences could not take: the element, the count, the sequences in all.
inline constexpr char missed[] = "%s: %llu of %llu sequences could not take it\n";

// On standard error, per element that went into no sequence of the file.
inline constexpr char nowhere[] = "m2vhdr: %s: no sequence of the file can take it\n";

// A patch of a dry run: offset, then the old and the new bytes.
inline constexpr char dry_run_offset[] = "%08llx:";
inline constexpr char dry_run_byte[] = " %02x";
inline constexpr char dry_run_arrow[] = " ->";

}  // namespace rewrite_msg
