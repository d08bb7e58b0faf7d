// Every message of the scan, the report and the rewrite, in one place.
//
// Each is written here once, in Japanese (UTF-8) and in English side by
// side; print_message writes the language and the encoding of the user's
// locale (text/message.hpp).
#pragma once

#include "text/message.hpp"

namespace msg {

inline constexpr Message usage{
    "引数が不正です。\nusage: %s [input file] {bitrate(bit)}\n",
    "Invalid arguments.\nusage: %s [input file] {bitrate(bit)}\n"};
inline constexpr Message open_failed{
    "読み取りファイルが開けませんでした。\n",
    "The input file could not be opened.\n"};
inline constexpr Message seek_error{"シークエラーです\n", "Seek error\n"};
inline constexpr Message read_error{"読み取りエラーです\n", "Read error\n"};
inline constexpr Message write_error{"書き込みエラーです\n", "Write error\n"};
inline constexpr Message system_stream{
    "MPEG System ヘッダが見つかりました。MPEG System ファイルは取り扱えません。\n",
    "Found an MPEG System header. MPEG System files cannot be handled.\n"};
inline constexpr Message sequence_layer_warning{
    "警告: シーケンス層以外でシーケンス拡張コードが見つかりました。\n",
    "Warning: found a sequence extension code outside the sequence layer.\n"};
inline constexpr Message picture_layer_warning{
    "警告: ピクチャ層以外でピクチャ拡張コードが見つかりました。\n",
    "Warning: found a picture extension code outside the picture layer.\n"};
// The end ("\r" or "\n") is the last argument.
inline constexpr Message progress{
    "処理: %llu/%lluバイト (%llu%%)%s",
    "Progress: %llu/%llu bytes (%llu%%)%s"};
inline constexpr Message out_of_memory{
    "メモリが確保できませんでした。\n",
    "Out of memory.\n"};

// A file that could not be used, with its name and the system's reason
// (the texts above stay for the original command lines in the C locale).
inline constexpr Message open_failed_named{
    "m2vhdr: '%s' を開けません: %s\n",
    "m2vhdr: cannot open '%s': %s\n"};
inline constexpr Message read_failed_named{
    "m2vhdr: '%s' を読み取れません: %s\n",
    "m2vhdr: cannot read '%s': %s\n"};
inline constexpr Message seek_failed_named{
    "m2vhdr: '%s' の中を移動できません: %s\n",
    "m2vhdr: cannot seek in '%s': %s\n"};
inline constexpr Message write_failed_named{
    "m2vhdr: '%s' に書き込めません: %s\n",
    "m2vhdr: cannot write '%s': %s\n"};
inline constexpr Message reason_unknown{"原因は不明です", "reason unknown"};
// After system_stream, outside the original texts.
inline constexpr Message demux_hint{
    "m2vhdr: プログラムストリームやトランスポートストリームの映像は --demux で読めます\n",
    "m2vhdr: the video in a program or transport stream can be read with --demux\n"};

// Usage errors: what is wrong and the argument as typed, then try_help.
inline constexpr Message unknown_option{
    "m2vhdr: 不明なオプションです '%s'\n",
    "m2vhdr: unknown option '%s'\n"};
inline constexpr Message missing_value{
    "m2vhdr: オプションに値がありません '%s'\n",
    "m2vhdr: option needs a value '%s'\n"};
inline constexpr Message unwanted_value{
    "m2vhdr: 値を取らないオプションです '%s'\n",
    "m2vhdr: option takes no value '%s'\n"};
// The option's long name, then the values it accepts.
inline constexpr Message bad_value{
    "m2vhdr: --%s に使えない値です (使える値: %s) '%s'\n",
    "m2vhdr: invalid value for --%s (accepted: %s) '%s'\n"};
inline constexpr Message unknown_element{
    "m2vhdr: --set に不明な要素です (要素と値の一覧は m2vhdr --help) '%s'\n",
    "m2vhdr: unknown element for --set (m2vhdr --help lists the elements and values) '%s'\n"};
// The element, then the setting.
inline constexpr Message bad_element_value{
    "m2vhdr: --set で %s に使えない値です (値の一覧は m2vhdr --help) '%s'\n",
    "m2vhdr: invalid value of %s for --set (m2vhdr --help lists the values) '%s'\n"};
// What the option needs, then the option.
inline constexpr Message needs_option{
    "m2vhdr: %s と一緒にしか使えません '%s'\n",
    "m2vhdr: only valid with %s '%s'\n"};
// The options, one of which it needs, then the option.
inline constexpr Message needs_one_of{
    "m2vhdr: %s のどれかと一緒にしか使えません '%s'\n",
    "m2vhdr: only valid with one of %s '%s'\n"};
inline constexpr Message excluded_option{
    "m2vhdr: '%s' と一緒には使えません '%s'\n",
    "m2vhdr: cannot be combined with '%s' '%s'\n"};
inline constexpr Message extra_argument{
    "m2vhdr: 余分な引数です '%s'\n",
    "m2vhdr: extra argument '%s'\n"};
inline constexpr Message missing_file{
    "m2vhdr: ファイルが指定されていません\n",
    "m2vhdr: missing FILE argument\n"};
inline constexpr Message rate_with_unit{
    "m2vhdr: BITRATE は単位を付けないビット/秒の整数です '%s'\n",
    "m2vhdr: BITRATE is a whole number of bit/s, without a unit '%s'\n"};
inline constexpr Message bad_rate{
    "m2vhdr: BITRATE は 0 から 4294967295 までの整数です '%s'\n",
    "m2vhdr: BITRATE must be a whole number from 0 to 4294967295 '%s'\n"};
inline constexpr Message rewrite_standard_input{
    "m2vhdr: 標準入力は書き換えられません (- という名前のファイルは ./- と指定します) '%s'\n",
    "m2vhdr: standard input cannot be rewritten in place (name a file called - as ./-) '%s'\n"};
inline constexpr Message one_file_only{
    "m2vhdr: ファイルが一つのときにしか使えません '%s'\n",
    "m2vhdr: only valid with one FILE '%s'\n"};
inline constexpr Message try_help{
    "詳しくは 'm2vhdr --help' を実行してください。\n",
    "Try 'm2vhdr --help'.\n"};

// Every message above, for the tests.
inline constexpr const Message* all[] = {
    &usage,         &open_failed,   &seek_error,
    &read_error,    &write_error,   &system_stream,
    &sequence_layer_warning,        &picture_layer_warning,
    &progress,      &out_of_memory,
    &open_failed_named, &read_failed_named, &seek_failed_named, &write_failed_named,
    &reason_unknown, &demux_hint,   &unknown_option, &missing_value,
    &unwanted_value, &bad_value,    &unknown_element, &bad_element_value,
    &needs_option,  &needs_one_of,  &excluded_option, &extra_argument, &missing_file,
    &rate_with_unit, &bad_rate,     &rewrite_standard_input, &one_file_only, &try_help,
};

}  // namespace msg
