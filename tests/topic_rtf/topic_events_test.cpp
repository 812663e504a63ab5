// The record walk's events as any writer meets them: a writer takes only
// the events it declares (the base ignores the rest), and a tee hands each
// event to its writers in turn, as the walk produced it once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/walk/record_walk.h"
#include "rtf_fixture.h"

using namespace hlptest;

namespace {

// Logs the events it declares as "name:detail", after its tag.
struct Recorder : TopicEventsBase {
    using TopicEventsBase::on;
    std::vector<std::string>& log;
    char tag;
    void add(const std::string& entry) { log.push_back(tag + entry); }
    void on(DecompileContext&, const TopicStart& t) { add("topic:" + std::string(t.text, t.title_length)); }
    void on(DecompileContext&, const TextRun& r) {
        if (r.length > 0) add("text:" + std::string(r.text, r.length));
    }
    void on(DecompileContext&, const Tab&) { add("tab"); }
    void on(DecompileContext&, const ParagraphEnd&) { add("end"); }
};

struct NoEvents {};

static_assert(TopicWriter<Recorder>);
static_assert(TopicWriter<TopicTee<Recorder, Recorder>>);
static_assert(!TopicWriter<NoEvents>);

TEST(TopicEvents, TeeHandsEachEventToEveryWriterInTurn) {
    RtfRun run;
    std::vector<TopicRecord> records{topic_header_record("Intro", 0),
                                     segments_record({{"Left", cmd_tab()}, {"Right", cmd_par()}, {"", cmd_end()}})};
    std::vector<InternalFile> files{{"|TOPIC", build_topic_file(records, run.layout).data}};
    OpenBytes help(build_help_file(files));
    std::vector<std::string> log;
    Recorder first{{}, log, 'a'}, second{{}, log, 'b'};
    TopicTee<Recorder, Recorder> both(first, second);
    testing::internal::CaptureStderr();  // the progress line
    walk_topic_records(run.ctx, help.file, both);
    testing::internal::GetCapturedStderr();
    const std::vector<std::string> expected{"atopic:Intro", "btopic:Intro", "atext:Left", "btext:Left", "atab",
                                            "btab", "atext:Right", "btext:Right", "aend", "bend"};
    EXPECT_EQ(log, expected);
}

}  // namespace
