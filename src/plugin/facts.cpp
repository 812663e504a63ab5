// GetHlpunpackFacts: counts a report wants that no entry states outright.
#include <cctype>
#include <string_view>

#include "core/memory_file.h"
#include "firstpass/keyword_window.h"
#include "hlpunpack/wcx.h"
#include "plugin/archive_session.h"
#include "topics/code_page.h"

namespace {

// K keywords of the ordinary index and of MediaView's keyword indexes; the
// table is read once the topics' keywords are collected.
int k_keyword_count(const DecompileContext& ctx) {
    if (!ctx.keyword_table_loaded || ctx.keyword_sources == nullptr) return 0;
    int count = 0;
    for (int64_t i = 0; i < ctx.keyword_source_count; ++i)
        if (ctx.keyword_sources[i].letter == 'K') ++count;
    return count;
}

bool is_topic_file(const MemoryFile& file) {
    size_t n = 0;
    while (n < memory_file_name_units && file.name[n]) ++n;
    return n > 4 && file.name[n - 4] == u'.' && file.name[n - 3] == u'r' && file.name[n - 2] == u't' &&
           file.name[n - 1] == u'f';
}

// Topics of the topic file: every topic after the first starts with \page,
// and any topic writes a footnote or a paragraph. Escaped backslashes and
// braces are passed over, so text that reads "\page" is not counted.
int topic_count(const MemoryFile& rtf) {
    int pages = 0;
    bool content = false;
    const uint8_t* text = rtf.buffer;
    for (uint32_t i = 0; text != nullptr && i + 1 < rtf.length; ++i) {
        if (text[i] != '\\') continue;
        uint32_t end = i + 1;
        while (end < rtf.length && std::isalpha(text[end])) ++end;
        const std::string_view word(reinterpret_cast<const char*>(text + i + 1), end - i - 1);
        if (word == "page") ++pages;
        content |= word == "footnote" || word == "par";
        i = word.empty() ? i + 1 : end - 1;
    }
    return pages + (content || pages > 0 ? 1 : 0);
}

// The topic file is written after any baggage, so it is listed before
// a baggage file that happens to end in .rtf too.
int topic_count(const OutputList& outputs) {
    for (const OutputNode* node = outputs.head; node != nullptr; node = node->next)
        if (node->file != nullptr && is_topic_file(*node->file)) return topic_count(*node->file);
    return 0;
}

}  // namespace

extern "C" int WCX_API GetHlpunpackFacts(WCX_HANDLE handle, tHlpunpackFacts* facts) {
    const ArchiveSession* session = static_cast<const ArchiveSession*>(handle);
    if (session == nullptr || facts == nullptr) return E_END_ARCHIVE;
    const DecompileContext& ctx = session->context;
    facts->SystemMinor = ctx.system_minor;
    facts->MediaView = ctx.mediaview ? 1 : 0;
    facts->Topics = topic_count(ctx.outputs);
    facts->Keywords = k_keyword_count(ctx);
    facts->ContextIds = ctx.context_count;
    facts->CodePage = topic_code_page(ctx);
    return 0;
}
