// The files of a DVD-Video disc in its VIDEO_TS folder, found by name.
//
//   VIDEO_TS.IFO/.BUP/.VOB     the video manager (VMG) and its menus
//   VTS_nn_0.IFO/.BUP          title set nn's tables (nn 01 to 99)
//   VTS_nn_0.VOB               its menus
//   VTS_nn_1.VOB .. VTS_nn_9.VOB  its titles, one stream cut into files
//
// Names match whatever their case (a disc copied from an ISO image is upper
// case, some copies are lower case).
#pragma once

#include <string>
#include <vector>

// One title set's files; a path is empty when the file is absent.
struct TitleSetFiles {
    unsigned title_set = 0;  // nn
    std::string ifo;
    std::string bup;
    std::string menu_vob;
    std::vector<std::string> title_vobs;  // VTS_nn_1.VOB onwards, up to the first gap
};

// What is wrong with a disc's set of files, file by file; the disc can
// still be read as far as its files go.
enum class DiscDamage {
    MISSING_IFO,      // a title set (or the VMG: 0) without its IFO
    MISSING_BUP,      // ... without the IFO's backup
    NO_TITLE_VOB,     // a title set without VTS_nn_1.VOB
    TITLE_VOB_GAP,    // `name` follows a missing title VOB and is not read
    SAME_NAME_TWICE,  // `name` differs from another file's name only in case
};

struct DiscDamageAt {
    DiscDamage damage;
    unsigned title_set;  // 0: the VMG
    std::string name;    // the file concerned, where one is
};

enum class DiscFault {
    NONE,
    OPEN_FAILED,      // the path or its folder could not be listed (`error`)
    NOT_A_DISC_FILE,  // a file that is not an .IFO or .BUP
    NOT_A_DISC,       // a folder with neither disc files nor a VIDEO_TS folder
};

struct DiscFiles {
    DiscFault fault = DiscFault::NONE;
    int error = 0;         // the system's code for OPEN_FAILED
    std::string video_ts;  // the VIDEO_TS folder, as found
    std::string vmg_ifo;
    std::string vmg_bup;
    std::string vmg_vob;
    std::vector<TitleSetFiles> title_sets;  // by title set number
    std::vector<DiscDamageAt> damage;
};

// The disc that `path` names: its VIDEO_TS folder, the folder that holds
// that, or an .IFO or .BUP file in it.
DiscFiles disc_find(const char* path);

// The files of the VIDEO_TS folder `folder`, from the names in it (as
// platform_list_folder gives them, in byte order).
DiscFiles disc_files_from_names(const std::string& folder, const std::vector<std::string>& names);
