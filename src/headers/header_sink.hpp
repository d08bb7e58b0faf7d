// What is done with each decoded header: a table of output functions.
//
// The handlers decode a header, keep what later headers need in the context
// and hand the decoded record to the run's sink, with the sink's own state;
// the sink prints it (the text report, the JSON document), counts it (the
// statistics) or patches it (the rewrites). During a call `pos` is at the
// first byte of the header's start code, and the header's bytes are in the
// window from there. An entry may be
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

// Every entry is called with the sink's own state: the `void*` it was
// started with, which only that sink reads.
struct HeaderSink {
    ParseResult (*sequence_header)(StreamContext&, void*, const syntax::SequenceHeader&);
    ParseResult (*sequence_extension)(StreamContext&, void*, const syntax::SequenceExtension&);
    ParseResult (*sequence_display_extension)(StreamContext&, void*,
                                              const syntax::SequenceDisplayExtension&);
    ParseResult (*quant_matrix_extension)(StreamContext&, void*,
                                          const syntax::QuantMatrixExtension&);
    ParseResult (*copyright_extension)(StreamContext&, void*, const syntax::CopyrightExtension&);
    ParseResult (*picture_display_extension)(StreamContext&, void*,
                                             const syntax::PictureDisplayExtension&);
    ParseResult (*group_of_pictures_header)(StreamContext&, void*,
                                            const syntax::GroupOfPicturesHeader&);
    ParseResult (*picture_header)(StreamContext&, void*, const syntax::PictureHeader&);
    ParseResult (*picture_coding_extension)(StreamContext&, void*,
                                            const syntax::PictureCodingExtension&);
    // USER_DATA_START_CODE and SEQUENCE_END_CODE, which carry no fields here.
    ParseResult (*bare_start_code)(StreamContext&, void*, std::uint32_t start_code);
    // Called before the extension is handed on.
    void (*layer_warning)(StreamContext&, void*, LayerWarning);
};

// Makes `sink`, with `state` as its own record, the one that every header
// of the coming passes goes to.
inline void set_sink(StreamContext& ctx, const HeaderSink& sink, void* state) {
    ctx.sink = &sink;
    ctx.sink_state = state;
}

// Several sinks that read one pass: each header goes to every link in
// order, each with its own state. A STOP from one link ends the header
// there (the later links do not see it) and stops the pass.
inline constexpr unsigned MAX_CHAINED_SINKS = 4;
struct SinkChain {
    const HeaderSink* sink[MAX_CHAINED_SINKS] = {};
    void* state[MAX_CHAINED_SINKS] = {};
    unsigned count = 0;
};

// Appends a link; false (and nothing added) when the chain is full.
bool chain_add(SinkChain& chain, const HeaderSink& sink, void* state);

// The sink that walks a chain; its state is the SinkChain.
extern const HeaderSink chain_sink;

// The text report, and the sink of a run that prints nothing but warnings.
extern const HeaderSink report_text_sink;
// Prints a layer warning as the text report and the rewrite do.
void print_layer_warning(StreamContext& ctx, void* state, LayerWarning warning);
