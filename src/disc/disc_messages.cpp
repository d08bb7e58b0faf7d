// The messages of the disc's faults, by fault.
#include "disc/disc_messages.hpp"

const Message* ifo_fault_message(IfoFault fault) {
    switch (fault) {
        case IfoFault::NONE: return nullptr;
        case IfoFault::MISSING: return &disc_msg::ifo_missing;
        case IfoFault::OPEN_FAILED: return &disc_msg::ifo_open_failed;
        case IfoFault::READ_FAILED: return &disc_msg::ifo_read_failed;
        case IfoFault::TOO_LARGE: return &disc_msg::ifo_too_large;
        case IfoFault::WRONG_IDENTIFIER: return &disc_msg::ifo_wrong_identifier;
        case IfoFault::CUT_SHORT: return &disc_msg::ifo_cut_short;
        case IfoFault::NO_ATRT: return &disc_msg::ifo_no_atrt;
        case IfoFault::ATRT_PAST_END: return &disc_msg::ifo_atrt_past_end;
        case IfoFault::ATRT_ENTRY_PAST_END: return &disc_msg::ifo_atrt_entry_past_end;
    }
    return nullptr;
}

const Message* disc_fault_message(DiscFault fault) {
    switch (fault) {
        case DiscFault::NONE: return nullptr;
        case DiscFault::OPEN_FAILED: return &disc_msg::open_failed;
        case DiscFault::NOT_A_DISC_FILE: return &disc_msg::not_a_disc_file;
        case DiscFault::NOT_A_DISC: return &disc_msg::not_a_disc;
    }
    return nullptr;
}

const Message* disc_damage_message(DiscDamage damage) {
    switch (damage) {
        case DiscDamage::MISSING_IFO: return &disc_msg::missing_ifo;
        case DiscDamage::MISSING_BUP: return &disc_msg::missing_bup;
        case DiscDamage::NO_TITLE_VOB: return &disc_msg::no_title_vob;
        case DiscDamage::TITLE_VOB_GAP: return &disc_msg::title_vob_gap;
        case DiscDamage::SAME_NAME_TWICE: return &disc_msg::same_name_twice;
    }
    return nullptr;
}
