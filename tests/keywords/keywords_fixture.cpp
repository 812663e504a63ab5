#include "keywords_fixture.h"

#include "core/decompile_context.h"
#include "firstpass/keyword_footnotes.h"

KeywordRun::KeywordRun(const hlptest::Bytes& help_file, bool minor_above_21) : help(help_file) {
    ctx().minor_above_21 = minor_above_21;
    rtf = output_open("test.rtf", "wb");
    output_add(ctx().outputs, rtf);
}

std::string KeywordRun::write(int32_t t) {
    uint32_t before = rtf->length;
    testing::internal::CaptureStderr();
    write_keyword_footnotes(ctx(), rtf, help.file, t);
    progress += testing::internal::GetCapturedStderr();
    return std::string(reinterpret_cast<const char*>(rtf->buffer) + before, rtf->length - before);
}

int KeywordRun::collections() const {
    int n = 0;
    for (size_t at = progress.find("Collecting keywords..."); at != std::string::npos;
         at = progress.find("Collecting keywords...", at + 1)) {
        ++n;
    }
    return n;
}

std::vector<Footnote> parse_footnotes(const std::string& rtf) {
    std::vector<Footnote> notes;
    size_t at = 0;
    while (at < rtf.size()) {
        size_t mark_end = rtf.find('}', at);
        if (rtf.compare(at, 5, "{\\up ") != 0 || mark_end == std::string::npos) {
            ADD_FAILURE() << "no footnote at " << at << " of\n" << rtf;
            break;
        }
        std::string mark = rtf.substr(at + 5, mark_end - at - 5);
        std::string opening = "{\\footnote\\pard\\plain{\\up " + mark + "} ";
        if (rtf.compare(mark_end + 1, opening.size(), opening) != 0) {
            ADD_FAILURE() << "bad footnote opening at " << at << " of\n" << rtf;
            break;
        }
        size_t text_start = mark_end + 1 + opening.size();
        size_t p = text_start;
        while (p < rtf.size() && rtf[p] != '}') p += rtf[p] == '\\' ? 2 : 1;
        if (rtf.compare(p, 2, "}\n") != 0) {
            ADD_FAILURE() << "footnote not closed at " << at << " of\n" << rtf;
            break;
        }
        notes.push_back({mark, rtf.substr(text_start, p - text_start)});
        at = p + 2;
    }
    return notes;
}

std::vector<std::string> split_keywords(const std::string& text) {
    std::vector<std::string> keywords(1);
    for (size_t p = 0; p < text.size(); ++p) {
        if (text[p] == ';') {
            keywords.emplace_back();
        } else {
            if (text[p] == '\\' && p + 1 < text.size()) keywords.back() += text[p++];
            keywords.back() += text[p];
        }
    }
    return keywords;
}

std::vector<WrittenKeyword> written_keywords(const std::string& rtf) {
    std::vector<WrittenKeyword> words;
    for (const Footnote& note : parse_footnotes(rtf)) {
        for (std::string& k : split_keywords(note.text)) words.push_back({note.mark, k});
    }
    return words;
}

hlptest::Bytes help_with(std::vector<hlptest::InternalFile> files) {
    // Every help file has a |SYSTEM; the keyword routines never read it.
    files.push_back({"|SYSTEM", hlptest::build_system_file(33, 0, {})});
    return hlptest::build_help_file(std::move(files));
}
