// What is done with each decoded header: a table of output functions.
//
// The handlers decode a header, keep what later headers need in the context
// and hand the decoded record to the run's sink; the sink prints it (the text
// report, the JSON document), counts it (the statistics) or patches it (the
// rewrites). During a call `pos` is at the first byte of the header's start
// code, and the header's bytes are in the window from there. An entry may be
// null: the header is then only decoded and skipped. Only a rewrite returns
// STOP, after a failed write it has already reported.
#pragma once

#include "headers/syntax.hpp"
#include "scan/stream_context.hpp"

// Extensions found outside their layer.
enum class LayerWarning {
    SEQUENCE_EXTENSION_OUTSIDE_SEQUENCE_LAYER,
    PICTURE_EXTENSION_OUTSIDE_PICTURE_LAYER,
};

struct HeaderSink {
    ParseResult (*sequence_header)(StreamContext&, const syntax::SequenceHeader&);
    ParseResult (*sequence_extension)(StreamContext&, const syntax::SequenceExtension&);
    ParseResult (*sequence_display_extension)(StreamContext&,
                                              const syntax::SequenceDisplayExtension&);
    ParseResult (*quant_matrix_extension)(StreamContext&, const syntax::QuantMatrixExtension&);
    ParseResult (*copyright_extension)(StreamContext&, const syntax::CopyrightExtension&);
    ParseResult (*picture_display_extension)(StreamContext&,
                                             const syntax::PictureDisplayExtension&);
    ParseResult (*group_of_pictures_header)(StreamContext&, const syntax::GroupOfPicturesHeader&);
    ParseResult (*picture_header)(StreamContext&, const syntax::PictureHeader&);
    ParseResult (*picture_coding_extension)(StreamContext&, const syntax::PictureCodingExtension&);
    // USER_DATA_START_CODE and SEQUENCE_END_CODE, which carry no fields here.
    ParseResult (*bare_start_code)(StreamContext&, std::uint32_t start_code);
    // Called before the extension is handed on.
    void (*layer_warning)(StreamContext&, LayerWarning);
};

// The text report, and the sink of a run that prints nothing but warnings.
extern const HeaderSink report_text_sink;
// Prints a layer warning as the text report and the rewrite do.
void print_layer_warning(StreamContext& ctx, LayerWarning warning);
