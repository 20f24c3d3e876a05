// The program's messages, operation log and help commands, against the real log library, a
// temporary registry store (XDG_CONFIG_HOME) and a temporary data folder (XDG_DATA_HOME).
#include "app/main/OperationLog.h"
#include "DLLs/Tamsin/Tamsin.h"
#include "app/main/AppConstants.h"
#include "app/main/TIGForm.h"
#include "app/main/TMainForm.h"
#include "app/views/TTreemapForm.h"
#include "platform/Registry.h"
#include "tests/app/FakeEngine.h"
#include "tests/app/FakeMainView.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/views/FakeResultView.h"
#include "tests/views/FakeTreemapView.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace dvo::app;
using namespace dvo::test;
namespace fs = std::filesystem;

const std::string kVersionLine = "ﾒﾆｭｰ:ﾊﾞｰｼﾞｮﾝ情報 選択";
const std::string kCloseLine = "メモ:閉じるボタンクリック";

class FakeVersionView final : public IVersionView {
public:
    std::string caption;
    std::vector<std::string> memo;
    std::map<std::string, std::vector<int>> geometry; // "memo", "window", "button"
    bool shown = false;
    int focusCalls = 0;

    void SetCaption(const std::string& text) override { caption = text; }
    void AppendMemoLine(const std::string& text) override { memo.push_back(text); }
    void ClearMemo() override { memo.clear(); }
    void SetMemoBounds(int left, int top, int width, int height) override {
        geometry["memo"] = {left, top, width, height};
    }
    void SetWindowSize(int width, int height) override { geometry["window"] = {width, height}; }
    void SetCloseButtonPosition(int left, int top) override { geometry["button"] = {left, top}; }
    void FocusCloseButton() override { ++focusCalls; }
    void ShowWindow() override { shown = true; }
    void HideWindow() override { shown = false; }
};

class OperationLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.SetOperationLog(&oplog);
        form.SetVersionWindow(&versionForm);
    }

    void TearDown() override { CloseLog(); }

    // Stores "Log" values as registry strings, as people and installers write them.
    void StoreLogValues(const std::map<std::string, std::string>& values) {
        auto key = platform::RegistryKey::CreateOrOpen(std::string(RegistryKey) + "Log");
        ASSERT_TRUE(key);
        for (const auto& [name, text] : values)
            ASSERT_TRUE(key->WriteString(name, text));
    }

    // The program never closes its log; the test does, so that queued lines reach the file.
    void CloseLog() {
        if (!closed) {
            LOGTerm(oplog.LogHandle());
            closed = true;
        }
    }

    [[nodiscard]] std::vector<fs::path> LogFiles() const {
        std::vector<fs::path> files;
        if (fs::exists(data.path()))
            for (const auto& entry : fs::recursive_directory_iterator(data.path()))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        return files;
    }

    // The message texts of the one log file: what follows "TAG date :: " up to the suffix's blank.
    [[nodiscard]] std::vector<std::string> LoggedMessages() const {
        const auto files = LogFiles();
        EXPECT_EQ(files.size(), 1U);
        std::vector<std::string> messages;
        if (files.empty())
            return messages;
        std::ifstream in(files.front(), std::ios::binary);
        const std::regex head(R"(^DVO \w{3} \w{3} \d\d \d\d:\d\d:\d\d\.\d{3} \d{4} :: )");
        for (std::string line; std::getline(in, line);) {
            std::smatch match;
            if (!std::regex_search(line, match, head))
                continue; // a continuation of a multi-line report entry
            std::string text = match.suffix();
            if (!text.empty() && text.back() == ' ')
                text.pop_back();
            messages.push_back(text);
        }
        return messages;
    }

    // Lines written after the start banner and machine report, before "Log Ended".
    [[nodiscard]] std::vector<std::string> ProgramLines(std::size_t count) const {
        auto messages = LoggedMessages();
        EXPECT_GE(messages.size(), count + 1);
        EXPECT_EQ(messages.back(), "Log Ended");
        if (messages.size() < count + 1)
            return messages;
        return {messages.end() - 1 - static_cast<long>(count), messages.end() - 1};
    }

    dvo::test::TempDir config;
    dvo::test::TempDir data;
    dvo::test::TempDir scratch;
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.path().c_str()};
    ScopedEnv dataHome{"XDG_DATA_HOME", data.path().c_str()};
    ScopedEnv debugSink{"LUMETRA_DEBUG_OUTPUT", (scratch / "debug.txt").c_str()};

    EventLog events;
    FakeMainView view{events};
    FakeEngine engine{events};
    TMainForm form{view, engine};
    OperationLog oplog;
    FakeVersionView versionView;
    TIGForm versionForm{versionView, &oplog};
    bool closed = false;
};

// Every line the program writes, with the answers that produce them.
void WriteEveryKindOfLine(TMainForm& form, FakeMainView& view, TIGForm& versionForm) {
    for (int answer : {MessageResult::OK, MessageResult::Cancel, MessageResult::Abort,
                       MessageResult::Retry, MessageResult::Ignore, MessageResult::Yes,
                       MessageResult::No, MessageResult::YesToAll, MessageResult::Help})
        view.messageBoxAnswers.push_back(answer);
    for (int i = 0; i < 9; ++i)
        form.ShowMessageDlg("ファイル：/d/100%s%d%n.txt を削除しますか？",
                            MessageKind::Confirmation, 523);
    form.mnuVersionClick();
    versionForm.CloseButtonClick();
}

TEST_F(OperationLogTest, WithoutLogSubkeyTheDefaultsApplyAndNothingIsWritten) {
    oplog.OpenOperationLog();

    EXPECT_EQ(oplog.LogLevel(), 0);
    EXPECT_EQ(oplog.LogEnable(), 0);
    EXPECT_EQ(oplog.LogDebugMessage(), 0);
    EXPECT_EQ(oplog.LogFlush(), 0);
    EXPECT_EQ(oplog.LogDate(), 1);
    // The settings key is made; the subkey is only ever read.
    const fs::path key = platform::RegistryRoot() + "/Software/Lumetra/DVO";
    EXPECT_TRUE(fs::is_directory(key));
    EXPECT_FALSE(fs::exists(key / "Log"));

    WriteEveryKindOfLine(form, view, versionForm);
    CloseLog();
    EXPECT_TRUE(LogFiles().empty());
    EXPECT_FALSE(fs::exists(scratch / "debug.txt"));
    EXPECT_EQ(view.boxes.size(), 9U); // the boxes appear all the same
}

TEST_F(OperationLogTest, LevelThreeWritesEveryLineLiterallyToADailyFile) {
    StoreLogValues({{"Level", "3"}, {"Enable", "1"}});
    oplog.OpenOperationLog();
    WriteEveryKindOfLine(form, view, versionForm);
    CloseLog();

    const std::string question = "メッセージ出力：[ファイル：/d/100%s%d%n.txt を削除しますか？]";
    std::vector<std::string> expected;
    for (const char* name : {"OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No", "", ""}) {
        expected.push_back(question);
        expected.push_back(std::string("メッセージダイアログボタン：[") + name + "]クリック");
    }
    expected.push_back(kVersionLine);
    expected.push_back(kCloseLine);
    EXPECT_EQ(ProgramLines(expected.size()), expected);

    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1U);
    EXPECT_TRUE(
        std::regex_match(files.front().filename().string(), std::regex(R"(DVO_\d{8}\.txt)")));
    EXPECT_EQ(files.front().parent_path().parent_path(), fs::path(data.path()) / "Lumetra");
    EXPECT_FALSE(fs::exists(scratch / "debug.txt")); // the debugger output stays off
}

TEST_F(OperationLogTest, LevelTwoWritesOnlyTheUserActions) {
    StoreLogValues({{"Level", "2"}, {"Enable", "1"}, {"Date", "0"}});
    oplog.OpenOperationLog();
    WriteEveryKindOfLine(form, view, versionForm);
    CloseLog();

    EXPECT_EQ(ProgramLines(2), (std::vector<std::string>{kVersionLine, kCloseLine}));
    for (const std::string& message : LoggedMessages())
        EXPECT_EQ(message.find("メッセージ"), std::string::npos) << message;
    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1U);
    EXPECT_EQ(files.front().filename(), "DVO.txt");
}

TEST_F(OperationLogTest, FlushWritesEachLineBeforeReturningAndDebugMessageCopiesIt) {
    StoreLogValues({{"Level", "2"}, {"Enable", "1"}, {"Flush", "1"}, {"DebugMessage", "1"}});
    oplog.OpenOperationLog();
    form.LogUserAction("direct line");

    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1U);
    std::ifstream in(files.front(), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(text.find(":: direct line \n"), std::string::npos);
    std::ifstream debug(scratch / "debug.txt", std::ios::binary);
    const std::string debugText{std::istreambuf_iterator<char>(debug), {}};
    EXPECT_NE(debugText.find(":: direct line "), std::string::npos);
}

TEST_F(OperationLogTest, ValuesThatAreNotDecimalNumbersGiveTheirDefaults) {
    struct Case {
        const char* text;
        int level; // read as "Level", default 0
        int date;  // read as "Date", default 1
    };
    const Case cases[] = {
        {"3", 3, 3},   {"-1", -1, -1}, {"+2", 2, 2},         {"007", 7, 7},
        {"abc", 0, 1}, {"", 0, 1},     {"3x", 0, 1},         {" 3", 0, 1},
        {"+-3", 0, 1}, {"0x10", 0, 1}, {"2147483648", 0, 1}, {"-2147483648", INT32_MIN, INT32_MIN}};
    for (const Case& c : cases) {
        StoreLogValues({{"Level", c.text}, {"Date", c.text}});
        OperationLog settings;
        settings.OpenOperationLog();
        LOGTerm(settings.LogHandle());
        EXPECT_EQ(settings.LogLevel(), c.level) << '"' << c.text << '"';
        EXPECT_EQ(settings.LogDate(), c.date) << '"' << c.text << '"';
    }
}

TEST_F(OperationLogTest, VersionWindowShowsThreeLinesPerChoiceAndEmptiesOnClose) {
    form.mnuVersionClick();
    form.mnuVersionClick();

    const std::vector<std::string> once = {"<<ドルミナ>>", "Version 1.0.1",
                                           std::string(MakerAddress)};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(versionView.memo, twice);
    EXPECT_EQ(versionView.caption, "バージョン情報");
    EXPECT_TRUE(versionView.shown);
    EXPECT_EQ(versionView.geometry["memo"], (std::vector<int>{16, 24, 248, 64}));
    EXPECT_EQ(versionView.geometry["window"], (std::vector<int>{288, 161}));
    EXPECT_EQ(versionView.geometry["button"], (std::vector<int>{191, 96}));

    versionForm.FormActivate();
    EXPECT_EQ(versionView.focusCalls, 1);
    versionForm.CloseButtonClick();
    EXPECT_TRUE(versionView.memo.empty());
    EXPECT_FALSE(versionView.shown);
}

TEST_F(OperationLogTest, ManualOpensFromTheProgramFolderOnlyWhenItIsKnown) {
    form.N2Click(); // before the start-up steps: no folder
    oplog.FindProgramDirectoryOf("DVO");
    EXPECT_EQ(oplog.ProgramDirectory(), "");
    form.N2Click();
    EXPECT_TRUE(view.opened.empty());

    oplog.FindProgramDirectory();
    EXPECT_EQ(oplog.ProgramDirectory(), fs::read_symlink("/proc/self/exe").parent_path().string());
    form.N2Click();
    form.N5Click();
    EXPECT_EQ(view.opened,
              (std::vector<std::string>{oplog.ProgramDirectory() + "/KZ-DVOユーザーズガイド.pdf",
                                        "https://www.lumetra.example/dvo.html"}));
}

TEST_F(OperationLogTest, HelpItemsShowWhyTheDesktopCouldNotOpenThem) {
    oplog.FindProgramDirectory();
    const std::string manual = oplog.ProgramDirectory() + "/KZ-DVOユーザーズガイド.pdf";
    form.N2Click();
    form.N5Click();
    form.N5Click();
    ASSERT_EQ(view.openDone.size(), 3u);
    view.openDone[0](2, "xdg-open: file '" + manual + "' does not exist\n");
    view.openDone[1](0, "");
    view.openDone[2](-1, "xdg-open がインストールされていません");
    std::vector<std::string> boxes;
    for (const auto& box : view.boxes) {
        boxes.push_back(box.text);
        EXPECT_EQ(box.layout.buttons.size(), 1u);
    }
    EXPECT_EQ(boxes,
              (std::vector<std::string>{
                  "開けません: " + manual + "\nxdg-open: file '" + manual + "' does not exist",
                  "開けません: https://www.lumetra.example/dvo.html\nxdg-open "
                  "がインストールされていません"}));
}

TEST_F(OperationLogTest, TreemapMenuItemIsALevelTwoUserActionEachTime) {
    StoreLogValues({{"Level", "2"}, {"Enable", "1"}, {"Date", "0"}});
    oplog.OpenOperationLog();
    FakeResultView resultView;
    ResultViews results{form, engine, resultView};
    FakeTreemapView mapView;
    TTreemapForm treemap{form, results, mapView};
    treemap.mnuTreemapClick(true);
    treemap.mnuTreemapClick(false);
    CloseLog();
    const std::string line = "ﾒﾆｭｰ:ﾂﾘｰﾏｯﾌﾟ表示 選択";
    EXPECT_EQ(ProgramLines(2), (std::vector<std::string>{line, line}));
}

TEST_F(OperationLogTest, SizeCountItemsAreLevelTwoUserActionsEachTime) {
    StoreLogValues({{"Level", "2"}, {"Enable", "1"}, {"Date", "0"}});
    oplog.OpenOperationLog();
    form.mnuSizeDiskClick();
    form.mnuSizeDiskClick(); // already in force: still the user's choice
    form.mnuSizeFileClick();
    CloseLog();
    const std::string disk = "ﾒﾆｭｰ:ｻｲｽﾞの数え方 ﾃﾞｨｽｸ使用量 選択";
    EXPECT_EQ(ProgramLines(3),
              (std::vector<std::string>{disk, disk, "ﾒﾆｭｰ:ｻｲｽﾞの数え方 ﾌｧｲﾙｻｲｽﾞ 選択"}));
}

} // namespace
