#include "html_attack_files.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "context_builder.h"
#include "keyword_index_builder.h"
#include "large_help_file.h"
#include "paragraph_builder.h"
#include "picture_builder.h"

namespace hlptest {

namespace {

struct AttackTopic {
    std::string title;
    std::vector<std::string> contexts;  // naming this topic
    std::vector<Paragraph> paragraphs;
    int64_t browse_previous = -1;  // topic numbers
    int64_t browse_next = -1;
};

struct AttackFile {
    std::vector<AttackTopic> topics;
    std::vector<InternalFile> extra;
    std::vector<std::vector<size_t>> keyword_topics;  // K keyword "kN" -> its listings
};

// Lays the topics out (two records each) with the linear topic builder,
// and names their offsets in |CONTEXT and the keyword index.
Bytes build(const AttackFile& file) {
    std::vector<LargeTopicRecord> records;
    std::vector<size_t> header_of;
    for (const AttackTopic& topic : file.topics) {
        TopicHeaderSpec header;
        header.title = topic.title;
        header_of.push_back(records.size());
        records.push_back({topic_header(header), -1, -1});
        // One paragraph a record: long text takes several records.
        const std::vector<Paragraph> paragraphs =
            topic.paragraphs.empty() ? std::vector<Paragraph>{plain_paragraph(" ")} : topic.paragraphs;
        for (size_t p = 0; p < paragraphs.size(); ++p) {
            TextRecordSpec text;
            text.paragraphs = {paragraphs[p]};
            records.push_back({text_record(text), -1, -1});
        }
    }
    for (size_t t = 0; t < file.topics.size(); ++t) {
        if (file.topics[t].browse_previous >= 0)
            records[header_of[t]].browse_previous = static_cast<int64_t>(header_of[file.topics[t].browse_previous]);
        if (file.topics[t].browse_next >= 0)
            records[header_of[t]].browse_next = static_cast<int64_t>(header_of[file.topics[t].browse_next]);
    }
    std::vector<TopicRecord> plain;
    for (auto& r : records) plain.push_back(r.record);
    link_topic_headers(plain);
    for (size_t i = 0; i < records.size(); ++i) records[i].record = plain[i];
    const LargeTopicFile topic = build_large_topic_file(records);
    std::vector<ContextPair> pairs;
    for (size_t t = 0; t < file.topics.size(); ++t)
        for (const std::string& name : file.topics[t].contexts)
            pairs.push_back({context_string_hash(name), topic.topic_offsets[header_of[t]]});
    std::sort(pairs.begin(), pairs.end(), [](const ContextPair& a, const ContextPair& b) { return a.hash < b.hash; });
    std::vector<InternalFile> files = file.extra;
    files.push_back({"|SYSTEM", build_system_file(33, 4, {system_string_record(1, "Attack")})});
    files.push_back({"|TOPIC", topic.data});
    files.push_back({"|CONTEXT", build_context_tree(pairs)});
    std::vector<KeywordSpec> keywords;
    for (size_t k = 0; k < file.keyword_topics.size(); ++k) {
        KeywordSpec keyword{"k" + std::to_string(k), {}};
        for (size_t t : file.keyword_topics[k])
            keyword.topic_offsets.push_back(static_cast<uint32_t>(topic.topic_offsets[header_of[t]]));
        keywords.push_back(keyword);
    }
    if (!keywords.empty()) {
        BTreeOptions tree;
        tree.structure = "z2l";
        for (auto& f : keyword_index_files('K', false, build_keyword_index(keywords, tree))) files.push_back(f);
    }
    return build_help_file(files);
}

}  // namespace

Bytes popup_bomb_file(size_t pages, size_t ids, size_t popup_bytes) {
    AttackFile file;
    AttackTopic popup{"Popup", {}, {}};
    for (size_t i = 0; i < ids; ++i) popup.contexts.push_back("p" + std::to_string(i));
    const std::string line(1000, 'w');
    for (size_t n = 0; n < popup_bytes; n += line.size()) popup.paragraphs.push_back(plain_paragraph(line));
    file.topics.push_back(popup);
    for (size_t p = 0; p < pages; ++p) {
        Paragraph links;
        for (size_t i = 0; i < ids; ++i) {
            links.segments.push_back({"", cmd_link(0xE2, context_string_hash("p" + std::to_string(i)))});
            links.segments.push_back({"x", cmd_hotspot_end()});
        }
        links.segments.push_back({"", cmd_end()});
        file.topics.push_back({"Page " + std::to_string(p), {}, {links}});
    }
    return build(file);
}

Bytes keyword_bomb_file(size_t title_length, size_t listings, size_t keywords) {
    AttackFile file;
    file.topics.push_back({std::string(title_length, 't'), {}, {}});
    file.keyword_topics.push_back(std::vector<size_t>(listings, 0));
    for (size_t k = 1; k < keywords; ++k) file.keyword_topics.push_back({0});
    return build(file);
}

Bytes image_map_bomb_file(size_t hotspots, size_t showings, size_t topics) {
    PictureSpec picture;
    picture.bits_per_pixel = 1;
    picture.width = picture.height = 8;
    picture.colour_table = grey_colour_table(2);
    picture.data = bitmap_rows(8, 8, 1, 4, [](uint32_t x, uint32_t y) { return (x + y) & 1u; });
    HotspotBlock block;
    for (size_t h = 0; h < hotspots; ++h) {
        HotspotSpec spot;
        spot.kind = 0xC8;
        spot.x = spot.y = 0;
        spot.w = spot.h = 8;
        spot.name = "h";
        spot.target = "ExecFile(\"x" + std::to_string(h) + "\")";
        block.hotspots.push_back(spot);
    }
    picture.hotspots = block;
    AttackFile file;
    file.extra.push_back(picture_internal_file(1, build_picture_file({picture}).data));
    Paragraph shown;
    for (size_t s = 0; s < showings; ++s) shown.segments.push_back({"", cmd_picture(0x86, 3, picture_reference(0, 1))});
    shown.segments.push_back({"", cmd_end()});
    for (size_t t = 0; t < topics; ++t) file.topics.push_back({"Pictures " + std::to_string(t), {}, {shown}});
    return build(file);
}

Bytes backward_browse_file(size_t topics) {
    AttackFile file;
    for (size_t t = 0; t < topics; ++t) {
        AttackTopic topic{"T" + std::to_string(t), {}, {}};
        if (t + 1 < topics) topic.browse_previous = static_cast<int64_t>(t + 1);
        file.topics.push_back(topic);
    }
    return build(file);
}

Bytes colliding_names_file(size_t topics) {
    static const char signs[] = "!#$%&'()*+,;=@[]^`{}~";
    constexpr size_t count = sizeof signs - 1;
    AttackFile file;
    for (size_t t = 0; t < topics; ++t) {
        std::string name = "a";
        for (size_t v = t, i = 0; i < 4; ++i, v /= count) name += signs[v % count];
        file.topics.push_back({name, {name}, {}});
    }
    return build(file);
}

Bytes device_names_file(size_t copies) {
    std::vector<std::string> devices = {"CON", "PRN", "AUX", "NUL"};
    for (char n = '1'; n <= '9'; ++n) {
        devices.push_back(std::string("COM") + n);
        devices.push_back(std::string("LPT") + n);
    }
    AttackFile file;
    for (size_t c = 1; c <= copies; ++c) {
        for (std::string name : devices) {
            // Every other copy in lower case; the later ones with an extension.
            if (c % 2 == 0)
                for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (c > 1) name += "." + std::to_string(c);
            file.topics.push_back({name, {name}, {}});
        }
    }
    file.extra.push_back({"NUL.txt", bytes_of("baggage NUL.txt")});
    return build(file);
}

Bytes baggage_like_pictures_file(size_t pictures) {
    PictureSpec picture;
    picture.width = picture.height = 8;
    picture.colour_table = grey_colour_table(2);
    picture.data = bitmap_rows(8, 8, 1, 4, [](uint32_t x, uint32_t y) { return (x ^ y) & 1u; });
    AttackFile file;
    for (uint16_t n = 1; n <= pictures; ++n) {
        const std::string name = "bm" + std::to_string(n);
        file.extra.push_back(picture_internal_file(n, build_picture_file({picture, picture}).data));
        file.extra.push_back({name + ".mrb", bytes_of("baggage " + name + ".mrb")});
        Paragraph shown;
        shown.segments.push_back({"", cmd_picture(0x86, 3, picture_reference(0, n))});
        shown.segments.push_back({"", cmd_end()});
        file.topics.push_back({"Picture " + name, {}, {shown}});
    }
    return build(file);
}

}  // namespace hlptest
