// Reading every IFO and BUP that a disc's files name.
#include "disc/disc_ifos.hpp"

DiscIfos disc_read_ifos(const DiscFiles& files) {
    DiscIfos ifos;
    ifos.vmg_ifo = ifo_read_vmg(files.vmg_ifo);
    ifos.vmg_bup = ifo_read_vmg(files.vmg_bup);
    for (const TitleSetFiles& t : files.title_sets) {
        TitleSetIfos s;
        s.title_set = t.title_set;
        s.ifo = ifo_read_vts(t.ifo, t.title_set);
        s.bup = ifo_read_vts(t.bup, t.title_set);
        ifos.title_sets.push_back(s);
    }
    return ifos;
}
