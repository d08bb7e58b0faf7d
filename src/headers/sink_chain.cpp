// The sink that hands each header to several sinks in turn.
#include "headers/header_sink.hpp"

namespace {

const SinkChain& chain_of(void* state) { return *static_cast<const SinkChain*>(state); }

// The entry `member` of every link that has one, in order, until a STOP.
template <typename Record>
ParseResult walk(StreamContext& ctx, void* state,
                 ParseResult (*const HeaderSink::*member)(StreamContext&, void*, const Record&),
                 const Record& record) {
    const SinkChain& chain = chain_of(state);
    for (unsigned i = 0; i < chain.count; ++i) {
        auto handler = chain.sink[i]->*member;
        if (handler && handler(ctx, chain.state[i], record) == STOP) return STOP;
    }
    return CONTINUE;
}

ParseResult sequence_header(StreamContext& ctx, void* state, const syntax::SequenceHeader& h) {
    return walk(ctx, state, &HeaderSink::sequence_header, h);
}

ParseResult sequence_extension(StreamContext& ctx, void* state,
                               const syntax::SequenceExtension& e) {
    return walk(ctx, state, &HeaderSink::sequence_extension, e);
}

ParseResult sequence_display_extension(StreamContext& ctx, void* state,
                                       const syntax::SequenceDisplayExtension& e) {
    return walk(ctx, state, &HeaderSink::sequence_display_extension, e);
}

ParseResult quant_matrix_extension(StreamContext& ctx, void* state,
                                   const syntax::QuantMatrixExtension& e) {
    return walk(ctx, state, &HeaderSink::quant_matrix_extension, e);
}

ParseResult copyright_extension(StreamContext& ctx, void* state,
                                const syntax::CopyrightExtension& e) {
    return walk(ctx, state, &HeaderSink::copyright_extension, e);
}

ParseResult picture_display_extension(StreamContext& ctx, void* state,
                                      const syntax::PictureDisplayExtension& e) {
    return walk(ctx, state, &HeaderSink::picture_display_extension, e);
}

ParseResult group_of_pictures_header(StreamContext& ctx, void* state,
                                     const syntax::GroupOfPicturesHeader& g) {
    return walk(ctx, state, &HeaderSink::group_of_pictures_header, g);
}

ParseResult picture_header(StreamContext& ctx, void* state, const syntax::PictureHeader& h) {
    return walk(ctx, state, &HeaderSink::picture_header, h);
}

ParseResult picture_coding_extension(StreamContext& ctx, void* state,
                                     const syntax::PictureCodingExtension& e) {
    return walk(ctx, state, &HeaderSink::picture_coding_extension, e);
}

ParseResult bare_start_code(StreamContext& ctx, void* state, std::uint32_t start_code) {
    const SinkChain& chain = chain_of(state);
    for (unsigned i = 0; i < chain.count; ++i) {
        auto handler = chain.sink[i]->bare_start_code;
        if (handler && handler(ctx, chain.state[i], start_code) == STOP) return STOP;
    }
    return CONTINUE;
}

void layer_warning(StreamContext& ctx, void* state, LayerWarning warning) {
    const SinkChain& chain = chain_of(state);
    for (unsigned i = 0; i < chain.count; ++i)
        if (chain.sink[i]->layer_warning) chain.sink[i]->layer_warning(ctx, chain.state[i], warning);
}

}  // namespace

bool chain_add(SinkChain& chain, const HeaderSink& sink, void* state) {
    if (chain.count == MAX_CHAINED_SINKS) return false;
    chain.sink[chain.count] = &sink;
    chain.state[chain.count] = state;
    ++chain.count;
    return true;
}

const HeaderSink chain_sink = {
    sequence_header,        sequence_extension,       sequence_display_extension,
    quant_matrix_extension, copyright_extension,      picture_display_extension,
    group_of_pictures_header, picture_header,         picture_coding_extension,
    bare_start_code,        layer_warning,
};
