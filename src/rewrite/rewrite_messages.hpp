// The rewrite's own messages and the lines of a dry run.
#pragma once

#include "text/message.hpp"

namespace rewrite_msg {

// After the closing progress line, on standard output, per element that some
// sequences could not take: the element, the count, the sequences in all.
inline constexpr Message missed{
    "%s: %llu/%llu 個のシーケンスには設定できませんでした\n",
    "%s: %llu of %llu sequences could not take it\n"};

// On standard error, per element that went into no sequence of the file.
inline constexpr Message nowhere{
    "m2vhdr: %s: ファイルのどのシーケンスにも設定できません\n",
    "m2vhdr: %s: no sequence of the file can take it\n"};

// After the closing progress line of `m2vhdr FILE BITRATE`, on standard
// error, outside the C locale's Shift_JIS: the sequences without extension
// (MPEG-1) that this form leaves alone, of the sequences in all.
inline constexpr Message mpeg1_rate_kept{
    "m2vhdr: MPEG-1 のシーケンスのビットレートは変更していません (%llu/%llu)。"
    "--set bit_rate=N で書き換えられます\n",
    "m2vhdr: MPEG-1 sequences kept their bit rate (%llu of %llu); "
    "--set bit_rate=N rewrites it\n"};

// The last line of a rewrite on standard output (but in the original
// command lines in the C locale): each sequence counted once.
inline constexpr Message summary{
    "シーケンス: %llu 個を書き換え、%llu 個は変更不要、%llu 個は書き換えできませんでした\n",
    "Sequences: %llu patched, %llu already right, %llu could not be patched\n"};

// A patch of a dry run (a format, the same in every language): offset, then
// the old and the new bytes.
inline constexpr char dry_run_offset[] = "%08llx:";
inline constexpr char dry_run_byte[] = " %02x";
inline constexpr char dry_run_arrow[] = " ->";

// Every message above, for the tests.
inline constexpr const Message* all[] = {&missed, &nowhere, &mpeg1_rate_kept, &summary};

}  // namespace rewrite_msg
