// The messages of a run over several files.
#pragma once

#include "text/message.hpp"

namespace batch_msg {

// On standard output before each file's own output, when there are several.
inline constexpr Message file_header{"==> %s <==\n", "==> %s <==\n"};
// On standard error after everything a file that failed has printed.
inline constexpr Message file_failed{
    "m2vhdr: '%s' の処理は失敗しました\n",
    "m2vhdr: '%s' failed\n"};
inline constexpr Message no_match{
    "m2vhdr: '%s' に合うファイルがありません\n",
    "m2vhdr: no file matches '%s'\n"};
inline constexpr Message folder_unreadable{
    "m2vhdr: フォルダ '%s' を読み取れません: %s\n",
    "m2vhdr: cannot read the folder '%s': %s\n"};
inline constexpr Message no_video_in_folder{
    "m2vhdr: フォルダ '%s' に映像ファイルがありません (.m2v .mpg .vob .ts など)\n",
    "m2vhdr: no video file in the folder '%s' (.m2v, .mpg, .vob, .ts, ...)\n"};
// A file's output could not be held until its turn came.
inline constexpr Message spool_failed{
    "m2vhdr: '%s' の出力を一時ファイルに書き込めません: %s\n",
    "m2vhdr: cannot hold the output of '%s' in a temporary file: %s\n"};

inline constexpr const Message* all[] = {&file_header, &file_failed, &no_match,
                                         &folder_unreadable, &no_video_in_folder, &spool_failed};

}  // namespace batch_msg
