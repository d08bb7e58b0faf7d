#include "json/json_envelope.hpp"

namespace {

// Per kind of document, per RunStatus. A report, a rewrite and the figures
// know no rules; the check has always said "error" for a file it could not
// read whole, refused or not.
constexpr const char* status_names[JSON_DOCUMENT_COUNT][RUN_STATUS_COUNT] = {
    /* HEADERS */ {"complete", "error", "refused", "error"},
    /* PATCHES */ {"complete", "error", "refused", "error"},
    /* FIGURES */ {"complete", "error", "refused", "error"},
    /* CHECK   */ {"compliant", "noncompliant", "error", "error"},
    /* SUMMARY */ {"complete", "error", "refused", "error"},
};

}  // namespace

const char* json_status_name(JsonDocument kind, RunStatus status) {
    return status_names[static_cast<unsigned>(kind)][static_cast<unsigned>(status)];
}

void json_envelope_open(JsonWriter& w, std::FILE* out, JsonLayout layout, const char* file_name) {
    json_begin(w, out, layout);
    json_begin_object(w);
    json_member_string(w, "file", file_name);
}

void json_envelope_status(JsonWriter& w, JsonDocument kind, RunStatus status) {
    json_member_string(w, "status", json_status_name(kind, status));
}

void json_envelope_close(JsonWriter& w) {
    json_end_object(w);
    json_flush(w);
}
