// Why a disc or one of its tables cannot be used, in the user's language
// (text/message.hpp). The first argument is always the file or folder.
#pragma once

#include "disc/disc_files.hpp"
#include "disc/ifo.hpp"
#include "text/message.hpp"

namespace disc_msg {

// DiscFault; the last argument of open_failed is the system's reason.
inline constexpr Message open_failed{
    "m2vhdr: %s: フォルダを読めません: %s\n",
    "m2vhdr: %s: the folder cannot be listed: %s\n"};
inline constexpr Message not_a_disc_file{
    "m2vhdr: %s: ディスクの IFO ファイルでも BUP ファイルでもありません\n",
    "m2vhdr: %s: not a disc's IFO or BUP file\n"};
inline constexpr Message not_a_disc{
    "m2vhdr: %s: VIDEO_TS フォルダもディスクの IFO ファイルもありません\n",
    "m2vhdr: %s: no VIDEO_TS folder and no disc IFO file\n"};

// DiscDamage: the folder, then the file concerned (TITLE_VOB_GAP: the
// first file not read, and the title set).
inline constexpr Message missing_ifo{
    "m2vhdr: %s: %s がありません\n",
    "m2vhdr: %s: %s is missing\n"};
inline constexpr Message missing_bup{
    "m2vhdr: %s: バックアップ %s がありません\n",
    "m2vhdr: %s: the backup %s is missing\n"};
inline constexpr Message no_title_vob{
    "m2vhdr: %s: タイトルセットの最初の VOB %s がありません\n",
    "m2vhdr: %s: the title set's first VOB %s is missing\n"};
inline constexpr Message title_vob_gap{
    "m2vhdr: %s: タイトルセット %u の VOB が欠けているため %s 以降は読みません\n",
    "m2vhdr: %s: a VOB of title set %u is missing, so %s and the VOBs after it are not read\n"};
inline constexpr Message same_name_twice{
    "m2vhdr: %s: %s は大文字と小文字だけが違う別の名前と重なるため読みません\n",
    "m2vhdr: %s: %s differs from another file's name only in case and is not read\n"};

// IfoFault, for the file; the system's reason or the offset follows.
inline constexpr Message ifo_missing{
    "m2vhdr: %s: ファイルがありません\n",
    "m2vhdr: %s: the file is missing\n"};
inline constexpr Message ifo_open_failed{
    "m2vhdr: %s: 開けません: %s\n",
    "m2vhdr: %s: cannot be opened: %s\n"};
inline constexpr Message ifo_read_failed{
    "m2vhdr: %s: 読み取りエラーです: %s\n",
    "m2vhdr: %s: read error: %s\n"};
inline constexpr Message ifo_too_large{
    "m2vhdr: %s: IFO ファイルとしては大きすぎます\n",
    "m2vhdr: %s: too large for an IFO file\n"};
inline constexpr Message ifo_wrong_identifier{
    "m2vhdr: %s: 識別子が DVDVIDEO-VMG でも DVDVIDEO-VTS でもありません\n",
    "m2vhdr: %s: the identifier is not the one of its kind (DVDVIDEO-VMG, DVDVIDEO-VTS)\n"};
inline constexpr Message ifo_cut_short{
    "m2vhdr: %s: ファイルが途中で切れています (映像属性には %llu バイト必要です)\n",
    "m2vhdr: %s: the file is cut short (the video attributes need %llu bytes)\n"};
inline constexpr Message ifo_no_atrt{
    "m2vhdr: %s: タイトルセット属性テーブルがありません\n",
    "m2vhdr: %s: there is no title set attribute table\n"};
inline constexpr Message ifo_atrt_past_end{
    "m2vhdr: %s: タイトルセット属性テーブルがファイルの終わりを越えています (%llu バイトまで)\n",
    "m2vhdr: %s: the title set attribute table runs past the end of the file (to byte %llu)\n"};
inline constexpr Message ifo_atrt_entry_past_end{
    "m2vhdr: %s: %llu のタイトルセット属性がテーブルの終わりを越えています\n",
    "m2vhdr: %s: the title set attributes at %llu run past the end of their table\n"};

}  // namespace disc_msg

// The message that says why a table could not be read; null for NONE.
const Message* ifo_fault_message(IfoFault fault);
// ... why a disc could not be found; null for NONE.
const Message* disc_fault_message(DiscFault fault);
// ... what is wrong with a disc's set of files.
const Message* disc_damage_message(DiscDamage damage);
