// Every message the tool shows a user, in one place.
//
// The messages are Japanese. Each is written here once, as UTF-8; its
// Shift_JIS (code page 932) form is derived from it while compiling
// (text/shift_jis.hpp). print_message writes the form the user's system
// reads.
#pragma once

#include "text/message.hpp"

namespace msg {

inline constexpr Message usage{"引数が不正です。\nusage: %s [input file] {bitrate(bit)}\n"};
inline constexpr Message open_failed{"読み取りファイルが開けませんでした。\n"};
inline constexpr Message seek_error{"シークエラーです\n"};
inline constexpr Message read_error{"読み取りエラーです\n"};
inline constexpr Message write_error{"書き込みエラーです\n"};
inline constexpr Message system_stream{
    "MPEG System ヘッダが見つかりました。MPEG System ファイルは取り扱えません。\n"};
inline constexpr Message sequence_layer_warning{
    "警告: シーケンス層以外でシーケンス拡張コードが見つかりました。\n"};
inline constexpr Message picture_layer_warning{
    "警告: ピクチャ層以外でピクチャ拡張コードが見つかりました。\n"};
// The end ("\r" or "\n") is the last argument.
inline constexpr Message progress{"処理: %llu/%lluバイト (%llu%%)%s"};
inline constexpr Message out_of_memory{"メモリが確保できませんでした。\n"};

// Every message above, for the tests.
inline constexpr const Message* all[] = {
    &usage,         &open_failed,           &seek_error,            &read_error,
    &write_error,   &system_stream,         &sequence_layer_warning, &picture_layer_warning,
    &progress,      &out_of_memory,
};

}  // namespace msg
