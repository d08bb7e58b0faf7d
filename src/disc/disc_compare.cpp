// Comparing the restatements of a disc's video attributes.
#include "disc/disc_compare.hpp"

#include "disc/video_attr.hpp"

namespace {

unsigned word(const VideoAttrSite& s) {
    return static_cast<unsigned>(s.bytes[0] << 8 | s.bytes[1]);
}

DiscFinding finding(FindingKind kind, const VideoAttrSite& site, unsigned value, unsigned other) {
    DiscFinding f;
    f.kind = kind;
    f.field = site.field;
    f.title_set = site.title_set;
    f.file = site.file;
    f.offset = site.offset;
    f.value = value;
    f.other = other;
    return f;
}

// `site` against `reference`, byte for byte.
void compare_bytes(FindingKind kind, const VideoAttrSite& site, const VideoAttrSite& reference,
                   std::vector<DiscFinding>* findings) {
    if (site.bytes[0] == reference.bytes[0] && site.bytes[1] == reference.bytes[1]) return;
    DiscFinding f = finding(kind, site, word(site), word(reference));
    f.other_file = reference.file;
    f.other_offset = reference.offset;
    findings->push_back(f);
}

}  // namespace

unsigned aspect_ratio_information_of(unsigned display_aspect_ratio) {
    if (display_aspect_ratio == DISPLAY_ASPECT_4_3) return 2;
    if (display_aspect_ratio == DISPLAY_ASPECT_16_9) return 3;
    return 0;
}

unsigned video_format_of(unsigned frame_rate_code) {
    switch (frame_rate_code) {
        case 1:  // 23.976, shown at 59.94 fields with 3:2 pulldown
        case 4:  // 29.97
            return 0;
        case 3:  // 25
            return 1;
        default: return 4;
    }
}

void compare_with_stream(const VideoAttrSite& site, const StreamFacts& stream,
                         std::vector<DiscFinding>* findings) {
    VideoAttr a = video_attr_decode(site.bytes);
    if (aspect_ratio_information_of(a.display_aspect_ratio) != stream.aspect_ratio_information) {
        findings->push_back(finding(FindingKind::ASPECT_RATIO, site, a.display_aspect_ratio,
                                    stream.aspect_ratio_information));
    }
    if (a.video_format != video_format_of(stream.frame_rate_code)) {
        findings->push_back(
            finding(FindingKind::TV_SYSTEM, site, a.video_format, stream.frame_rate_code));
    }
    PictureSize size = picture_size_of(a);
    if (size.horizontal_size != stream.horizontal_size ||
        size.vertical_size != stream.vertical_size) {
        DiscFinding f =
            finding(FindingKind::PICTURE_SIZE, site, a.picture_size, stream.horizontal_size);
        f.other_vertical = stream.vertical_size;
        findings->push_back(f);
    }
    unsigned stream_version = stream.mpeg2 ? 1 : 0;
    if (a.mpeg_version != stream_version) {
        findings->push_back(
            finding(FindingKind::MPEG_VERSION, site, a.mpeg_version, stream_version));
    }
}

void compare_bup(const IfoVmg& ifo, const IfoVmg& bup, std::vector<DiscFinding>* findings) {
    if (ifo.fault != IfoFault::NONE || bup.fault != IfoFault::NONE) return;
    compare_bytes(FindingKind::BUP_DIFFERS, bup.vmgm_video_attr, ifo.vmgm_video_attr, findings);
    for (std::size_t i = 0; i < bup.vts_atrt.size() && i < ifo.vts_atrt.size(); ++i) {
        compare_bytes(FindingKind::BUP_DIFFERS, bup.vts_atrt[i].vtsm_vobs_attr,
                      ifo.vts_atrt[i].vtsm_vobs_attr, findings);
        compare_bytes(FindingKind::BUP_DIFFERS, bup.vts_atrt[i].vtstt_vobs_video_attr,
                      ifo.vts_atrt[i].vtstt_vobs_video_attr, findings);
    }
}

void compare_bup(const IfoVts& ifo, const IfoVts& bup, std::vector<DiscFinding>* findings) {
    if (ifo.fault != IfoFault::NONE || bup.fault != IfoFault::NONE) return;
    compare_bytes(FindingKind::BUP_DIFFERS, bup.vtsm_video_attr, ifo.vtsm_video_attr, findings);
    compare_bytes(FindingKind::BUP_DIFFERS, bup.vts_video_attr, ifo.vts_video_attr, findings);
}

void compare_atrt(const IfoVmg& vmg, const IfoVts& vts, std::vector<DiscFinding>* findings) {
    if (vmg.fault != IfoFault::NONE || vts.fault != IfoFault::NONE) return;
    if (vts.title_set == 0 || vts.title_set > vmg.vts_atrt.size()) return;
    const AtrtEntry& e = vmg.vts_atrt[vts.title_set - 1];
    compare_bytes(FindingKind::ATRT_DIFFERS, e.vtsm_vobs_attr, vts.vtsm_video_attr, findings);
    compare_bytes(FindingKind::ATRT_DIFFERS, e.vtstt_vobs_video_attr, vts.vts_video_attr, findings);
}

void compare_title_set_count(const IfoVmg& vmg, unsigned title_sets,
                             std::vector<DiscFinding>* findings) {
    if (vmg.fault != IfoFault::NONE) return;
    auto count = [&](std::uint64_t offset, unsigned value) {
        if (value == title_sets) return;
        DiscFinding f;
        f.kind = FindingKind::TITLE_SET_COUNT;
        f.file = vmg.file;
        f.offset = offset;
        f.value = value;
        f.other = title_sets;
        findings->push_back(f);
    };
    count(VMG_NR_OF_TITLE_SETS, vmg.vmg_nr_of_title_sets);
    count(vmg.vts_atrt_offset, vmg.nr_of_vtss);
}

void compare_disc_tables(const DiscIfos& ifos, std::vector<DiscFinding>* findings) {
    unsigned highest = 0;
    for (const TitleSetIfos& t : ifos.title_sets)
        highest = t.title_set > highest ? t.title_set : highest;
    compare_title_set_count(ifos.vmg_ifo, highest, findings);
    compare_bup(ifos.vmg_ifo, ifos.vmg_bup, findings);
    for (const TitleSetIfos& t : ifos.title_sets) {
        compare_bup(t.ifo, t.bup, findings);
        compare_atrt(ifos.vmg_ifo, t.ifo, findings);
    }
}
