// The diagnostics window's logic: the long time format, the timing labels through a search and
// the list of folder records.
#include "app/main/TTestData.h"
#include "app/main/TMainForm.h"
#include "tests/app/FakeEngine.h"
#include "tests/app/FakeMainView.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using namespace dvo::app;
using namespace dvo::test;

constexpr long long At(int h, int m, int s, int ms = 0) {
    return ((h * 60LL + m) * 60 + s) * 1000 + ms;
}

platform::LocalTime Time(int h, int m, int s, int ms = 0) {
    platform::LocalTime t;
    t.hour = h;
    t.minute = m;
    t.second = s;
    t.millisecond = ms;
    return t;
}

class RecordingTestDataView final : public ITestDataView {
public:
    void SetLabelText(TestDataLabel label, const std::string& text) override {
        order.push_back(label);
        labels[static_cast<std::size_t>(label)] = text;
    }
    void AppendLines(const std::vector<std::string>& added) override {
        lines.insert(lines.end(), added.begin(), added.end());
    }
    std::vector<TestDataLabel> order;
    std::array<std::string, kTestDataLabelCount> labels;
    std::vector<std::string> lines;
};

// Holds records the way the result views do: a reset count leaves the old list in place.
struct Records {
    std::vector<FolderRecord*> list;
    int count = 0;
    [[nodiscard]] int RecordCount() const { return count; }
    [[nodiscard]] const std::vector<FolderRecord*>& FolderRecords() const { return list; }
};

FolderRecord Record(const std::u16string& name, unsigned char kind, unsigned char depth,
                    long long size) {
    FolderRecord r{};
    std::copy(name.begin(), name.end(), r.name);
    r.kind = kind;
    r.depth = depth;
    r.size = size;
    return r;
}

TEST(LongTimeFormatTest, HourFormFollowsTheLocalePattern) {
    struct Case {
        const char* pattern;
        const char* am;
        const char* pm;
        long long time;
        const char* expected;
    };
    const Case cases[] = {
        {"HH:mm:ss t", "AM", "PM", At(9, 5, 3, 999), "09:05:03"},
        {"HH:mm:ss t", "AM", "PM", At(21, 5, 3), "21:05:03"},
        {"h:mm:ss AP t", "AM", "PM", At(21, 5, 3), "9:05:03 PM"},
        {"h:mm:ss AP t", "AM", "PM", At(0, 0, 5), "12:00:05 AM"},
        {"h:mm:ss AP t", "AM", "PM", At(12, 0, 0), "12:00:00 PM"},
        {"hh:mm:ss ap", "am", "pm", At(1, 2, 3), "01:02:03 am"},
        {"H時mm分ss秒 t", "午前", "午後", At(9, 5, 3), "9:05:03"},
        {"aph:mm:ss", "午前", "午後", At(21, 5, 3), "午後9:05:03"},
        {"AP h시 m분 s초 t", "오전", "오후", At(9, 5, 3), "오전 9:05:03"},
        {"t HH:mm:ss", "上午", "下午", At(21, 5, 3), "21:05:03"},
        {"h:mm:ss", "AM", "PM", At(21, 5, 3), "21:05:03"},       // no marker: 24-hour
        {"'ah' HH:mm:ss", "AM", "PM", At(21, 5, 3), "21:05:03"}, // quoted letters are text
        {"HH:mm:ss t", "AM", "PM", At(25, 0, 1), "01:00:01"},    // beyond one day
    };
    for (const Case& c : cases) {
        const LongTimeFormat format = LongTimeFormat::FromPattern(c.pattern, c.am, c.pm);
        EXPECT_EQ(format.FormatTimeOfDay(c.time), c.expected) << c.pattern << " at " << c.time;
    }
}

TEST(LongTimeFormatTest, DurationsUseTheTwentyFourHourClockAndWrapAtMidnight) {
    const LongTimeFormat twelve = LongTimeFormat::FromPattern("h:mm:ss AP t", "AM", "PM");
    EXPECT_EQ(twelve.FormatDuration(5000), "0:00:05");
    EXPECT_EQ(twelve.FormatDuration(At(13, 0, 0)), "13:00:00");
    const LongTimeFormat padded = LongTimeFormat::FromPattern("HH:mm:ss t", "AM", "PM");
    EXPECT_EQ(padded.FormatDuration(5999), "00:00:05");
    EXPECT_EQ(padded.FormatDuration(-1000), "23:59:59");
}

TEST(TTestDataTest, TimingLabelsShowTimesAndDurations) {
    RecordingTestDataView view;
    TTestData data(view, LongTimeFormat::FromPattern("h:mm:ss AP", "AM", "PM"), {});
    data.FormCreate();
    for (const std::string& label : view.labels)
        EXPECT_EQ(label, "00:00");
    EXPECT_EQ(view.lines, std::vector<std::string>{"DataCheck"});

    // A scan of five seconds, then a display that runs across midnight.
    data.SearchStarted(Time(23, 59, 50, 250));
    data.SearchEnded(Time(23, 59, 55, 250));
    data.DisplayStarted(Time(23, 59, 58, 0));
    data.DisplayEnded(Time(0, 0, 1, 500));

    const std::array<std::string, kTestDataLabelCount> expected = {
        "11:59:50 PM", "11:59:55 PM", "0:00:05", "11:59:58 PM",
        "12:00:01 AM", "0:00:03",     "0:00:11"};
    EXPECT_EQ(view.labels, expected);
    for (int i = 0; i < kTestDataLabelCount; ++i)
        EXPECT_EQ(data.LabelText(static_cast<TestDataLabel>(i)),
                  expected[static_cast<std::size_t>(i)]);
}

TEST(TTestDataTest, DumpListsTheRecordsInOrderAtEveryClick) {
    std::u16string longName(260, u'n'); // fills the field: no NUL
    FolderRecord records[] = {
        Record(u"/srv/data", 0, 0, 5'000'000'000LL),
        Record(u"Data", 0, 1, 512),
        Record(u"f\u00e9\xDCFF", 1, 2, 0), // é and the raw byte 0xFF of a name that is not UTF-8
        Record(longName, 0, 255, -1),
    };
    Records held;
    for (FolderRecord& r : records)
        held.list.push_back(&r);
    held.list.push_back(nullptr); // the empty last slot
    RecordingTestDataView view;
    TTestData data(view, LongTimeFormat{}, RecordsOf(held));
    data.FormCreate();

    // Before any search: nothing to list.
    data.ListButtonClick();
    EXPECT_EQ(view.lines, std::vector<std::string>{"DataCheck"});

    held.count = 4;
    data.ListButtonClick();
    data.ListButtonClick();
    const std::vector<std::string> once = {"/srv/data T:0 L:0 Sz:5000000000", "Data T:0 L:1 Sz:512",
                                           "f\xC3\xA9\xFF T:1 L:2 Sz:0",
                                           std::string(260, 'n') + " T:0 L:255 Sz:-1"};
    std::vector<std::string> expected = {"DataCheck"};
    expected.insert(expected.end(), once.begin(), once.end());
    expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(view.lines, expected);
    EXPECT_EQ(data.MemoLines(), expected);

    // A new search resets the count first; the old list is not listed again.
    held.count = 0;
    data.ListButtonClick();
    EXPECT_EQ(view.lines.size(), expected.size());
}

TEST(TTestDataTest, CancelledSearchFillsAllSevenLabels) {
    EventLog log;
    FakeMainView view{log};
    FakeEngine engine{log};
    TMainForm form{view, engine};
    RecordingTestDataView dataView;
    TTestData data(dataView, LongTimeFormat::FromPattern("HH:mm:ss t", "AM", "PM"), {});
    view.form = &form;
    form.SetSearchTimings(&data);
    form.FormCreate();
    view.folderAnswers.push_back("/data");
    form.btnAddDirectoryClick();
    engine.passes.assign(10, Progress(10, u"/data/x", 1, 1));
    view.onProcessEvents = [&](int pass) {
        if (pass == 1)
            form.btnCancelClick();
    };

    form.btnExecuteClick();

    ASSERT_GE(log.IndexOf("engine:DVOAbortFileSearching"), 0);
    const std::vector<TestDataLabel> order = {
        TestDataLabel::SearchStart,  TestDataLabel::SearchEnd, TestDataLabel::SearchDuration,
        TestDataLabel::ShowStart,    TestDataLabel::ShowEnd,   TestDataLabel::ShowDuration,
        TestDataLabel::TotalDuration};
    EXPECT_EQ(dataView.order, order);
    const std::regex clock("[0-9]{2}:[0-9]{2}:[0-9]{2}");
    for (const std::string& label : dataView.labels)
        EXPECT_TRUE(std::regex_match(label, clock)) << label;
    form.FormDestroy();
}

} // namespace
