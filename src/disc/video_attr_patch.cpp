// Planning the IFO and BUP patches of a new aspect ratio.
#include "disc/video_attr_patch.hpp"

#include "disc/video_attr.hpp"

namespace {

// permitted_df by display_aspect_ratio: a 4:3 picture has no other way to
// be shown (the field says so with 3); a 16:9 one may be panned and scanned or
// letterboxed.
constexpr unsigned PERMITTED_DF_4_3 = 3;
constexpr unsigned PERMITTED_DF_16_9 = 0;

struct Planner {
    unsigned aspect_ratio_information;
    PatchPlan* plan;
    std::vector<IfoPatch> ifo;
    std::vector<IfoPatch> bup;
};

void add(Planner* p, const VideoAttrSite& site, std::vector<IfoPatch>* to) {
    std::uint8_t old_byte = site.bytes[0];
    std::uint8_t new_byte = aspect_attr_byte(old_byte, p->aspect_ratio_information);
    if (old_byte != new_byte) to->push_back({site.file, site.offset, old_byte, new_byte});
}

bool usable(Planner* p, IfoFault fault, const std::string& file) {
    if (fault == IfoFault::NONE) return true;
    if (p->plan->fault == PlanFault::NONE) {
        p->plan->fault = PlanFault::TABLE_UNUSABLE;
        p->plan->file = file;
        p->plan->ifo_fault = fault;
    }
    return false;
}

// The VMG's statements of what is chosen, from its IFO or its BUP.
void plan_vmg(Planner* p, const DiscFiles& files, const IfoVmg& vmg, PatchChoice choice,
              std::vector<IfoPatch>* to) {
    if (!usable(p, vmg.fault, vmg.file)) return;
    if (choice.menus && choice.title_set == 0 && !files.vmg_vob.empty())
        add(p, vmg.vmgm_video_attr, to);
    for (const TitleSetFiles& t : files.title_sets) {
        if (choice.title_set != 0 && t.title_set != choice.title_set) continue;
        if (t.title_set > vmg.vts_atrt.size()) continue;  // the table lacks it: nothing to patch
        const AtrtEntry& e = vmg.vts_atrt[t.title_set - 1];
        if (choice.menus && !t.menu_vob.empty()) add(p, e.vtsm_vobs_attr, to);
        add(p, e.vtstt_vobs_video_attr, to);
    }
}

void plan_vts(Planner* p, const TitleSetFiles& t, const IfoVts& vts, PatchChoice choice,
              std::vector<IfoPatch>* to) {
    if (!usable(p, vts.fault, vts.file)) return;
    if (choice.menus && !t.menu_vob.empty()) add(p, vts.vtsm_video_attr, to);
    add(p, vts.vts_video_attr, to);
}

}  // namespace

std::uint8_t aspect_attr_byte(std::uint8_t old, unsigned aspect_ratio_information) {
    unsigned display_aspect_ratio =
        aspect_ratio_information == 3 ? DISPLAY_ASPECT_16_9 : DISPLAY_ASPECT_4_3;
    unsigned permitted_df = aspect_ratio_information == 3 ? PERMITTED_DF_16_9 : PERMITTED_DF_4_3;
    return static_cast<std::uint8_t>((old & 0xF0u) | display_aspect_ratio << 2 | permitted_df);
}

PatchPlan aspect_patch_plan(const DiscFiles& files, const DiscIfos& ifos,
                            unsigned aspect_ratio_information, PatchChoice choice) {
    PatchPlan plan;
    if (aspect_ratio_information != 2 && aspect_ratio_information != 3) {
        plan.fault = PlanFault::NOT_A_DVD_ASPECT;
        return plan;
    }
    bool found = choice.title_set == 0;
    for (const TitleSetFiles& t : files.title_sets)
        found = found || t.title_set == choice.title_set;
    if (!found) {
        plan.fault = PlanFault::NO_SUCH_TITLE_SET;
        return plan;
    }
    Planner p{aspect_ratio_information, &plan, {}, {}};
    plan_vmg(&p, files, ifos.vmg_ifo, choice, &p.ifo);
    plan_vmg(&p, files, ifos.vmg_bup, choice, &p.bup);
    for (std::size_t i = 0; i < files.title_sets.size() && i < ifos.title_sets.size(); ++i) {
        const TitleSetFiles& t = files.title_sets[i];
        if (choice.title_set != 0 && t.title_set != choice.title_set) continue;
        plan_vts(&p, t, ifos.title_sets[i].ifo, choice, &p.ifo);
        plan_vts(&p, t, ifos.title_sets[i].bup, choice, &p.bup);
    }
    if (plan.fault != PlanFault::NONE) return plan;
    plan.patches = p.ifo;
    plan.patches.insert(plan.patches.end(), p.bup.begin(), p.bup.end());
    return plan;
}
