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

// Every message above, for the tests.
inline constexpr const Message* all[] = {
    &usage,         &open_failed,   &seek_error,
    &read_error,    &write_error,   &system_stream,
    &sequence_layer_warning,        &picture_layer_warning,
    &progress,      &out_of_memory,
};

}  // namespace msg
