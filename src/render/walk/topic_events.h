// Both writers fed by one walk, when the HTML edition is on: every event
// goes to the rich-text writer, then to the HTML writer, so the topics are
// read and expanded once and the rich text is written exactly as alone. The
// rich-text writer keeps the walk's state; the HTML writer only reads it
// (its `forwarded` switch).
#pragma once

#include "render/html/html_writer.h"
#include "render/rtf/rtf_writer.h"

struct BothWriters {
    HtmlWriter& h;
    RtfWriter& r;
    void walk_started(DecompileContext& ctx) { r.walk_started(ctx); }
    void topic_start(DecompileContext& ctx, const TopicWalk& walk) {
        r.topic_start(ctx, walk);
        h.topic_start(ctx, walk);
    }
    void recovered_topic(DecompileContext& ctx, const TopicWalk& walk) {
        r.recovered_topic(ctx, walk);
        h.recovered_topic(ctx, walk);
    }
    void paragraph_start(bool keep_next, bool in_table) {
        r.paragraph_start(keep_next, in_table);
        h.paragraph_start(keep_next, in_table);
    }
    void keep() { r.keep(); }
    void align(char side) { r.align(side); h.align(side); }
    void measure(int index, long twips) { r.measure(index, twips); h.measure(index, twips); }
    void border(uint8_t border) { r.border(border); h.border(border); }
    void tab_stop(uint16_t type, long twips) { r.tab_stop(type, twips); }
    void paragraph_text() { r.paragraph_text(); }
    void text(DecompileContext& ctx, const char* text, long length) {
        r.text(ctx, text, length);
        h.text(ctx, text, length);
    }
    void row_start() { r.row_start(); h.row_start(); }
    void row_centered() { r.row_centered(); }
    void row_cells(DecompileContext& ctx, int columns, const uint8_t* entry, int64_t width) {
        r.row_cells(ctx, columns, entry, width);
        h.row_cells(ctx, columns, entry, width);
    }
    void field(int32_t n) { r.field(n); }
    void dtype(int16_t n) { r.dtype(n); }
    void font(DecompileContext& ctx, int16_t font) { r.font(ctx, font); h.font(ctx, font); }
    void line_break() { r.line_break(); h.line_break(); }
    void paragraph_end() { r.paragraph_end(); h.paragraph_end(); }
    void table_paragraph_end() { r.table_paragraph_end(); h.table_paragraph_end(); }
    void cell_paragraph_end() { r.cell_paragraph_end(); h.cell_paragraph_end(); }
    void cell_end() { r.cell_end(); h.cell_end(); }
    void row_end() { r.row_end(); h.row_end(); }
    void tab() { r.tab(); h.tab(); }
    void non_breaking_space() { r.non_breaking_space(); h.non_breaking_space(); }
    void soft_hyphen() { r.soft_hyphen(); h.soft_hyphen(); }
    void picture(DecompileContext& ctx, char side, unsigned number) {
        r.picture(ctx, side, number);
        h.picture(ctx, side, number);
    }
    void embedded_window(const char* command, const char* text) {
        r.embedded_window(command, text);
        h.embedded_window(command, text);
    }
    void macro_hotspot(DecompileContext& ctx, uint8_t code, const char* macro) {
        r.macro_hotspot(ctx, code, macro);
        h.macro_hotspot(ctx, code, macro);
    }
    void topic_hotspot(DecompileContext& ctx, uint8_t code, uint32_t operand) {
        r.topic_hotspot(ctx, code, operand);
        h.topic_hotspot(ctx, code, operand);
    }
    void extended_hotspot(DecompileContext& ctx, uint8_t code, uint8_t link_type, uint32_t hash, int8_t window_number,
                          const char* window, const char* file) {
        r.extended_hotspot(ctx, code, link_type, hash, window_number, window, file);
        h.extended_hotspot(ctx, code, link_type, hash, window_number, window, file);
    }
    void hotspot_end(DecompileContext& ctx) { r.hotspot_end(ctx); h.hotspot_end(ctx); }
};
