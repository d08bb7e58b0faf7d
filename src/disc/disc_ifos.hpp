// Every IFO and BUP of a disc, read.
#pragma once

#include <vector>

#include "disc/disc_files.hpp"
#include "disc/ifo.hpp"

struct TitleSetIfos {
    unsigned title_set = 0;
    IfoVts ifo;
    IfoVts bup;
};

struct DiscIfos {
    IfoVmg vmg_ifo;
    IfoVmg vmg_bup;
    std::vector<TitleSetIfos> title_sets;  // as in DiscFiles::title_sets
};

DiscIfos disc_read_ifos(const DiscFiles& files);
