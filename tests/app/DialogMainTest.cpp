#include "app/DialogMain.h"
#include "link/FrameCodec.h"
#include "res/resource.h"
#include "tests/app/RecordingView.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tarvane {
namespace {

using test::RecordingView;
using Lines = std::vector<std::string>;

const std::vector<int> kRadiosNotesBrowse{IDC_DISPLAY_BOARD, IDC_INTERFACE_BOARD, IDC_NOTES, IDC_BROWSE};
const std::vector<int> kStepTexts{IDC_STEP2, IDC_STEP3,     IDC_STEP4,     IDC_STEP5,
                                  IDC_STEP6, IDC_FIRST_TIME, IDC_FILE_NAME, IDC_LOG};

struct DialogMainTest : ::testing::Test {
    RecordingView view;
    DialogMain dialog{view};
    test::ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();

    std::string goodFile(const std::string& name) {
        const auto path = dir / name;
        std::ofstream(path) << ":020000041D00DD\n:0400000001020304F2\n:00000001FF\n";
        return path.string();
    }
};

TEST_F(DialogMainTest, BoardClickFillsTheStepsEmptiesTheLogAndDropsTheFile) {
    // At start only the radios, Notes and the first texts can be used.
    for (int id : {IDC_INTERFACE_BOARD, IDC_DISPLAY_BOARD, IDC_NOTES, IDC_STEP1, IDC_STEP2, IDC_FIRST_TIME})
        EXPECT_TRUE(view.enabled(id)) << id;
    for (int id : {IDC_BROWSE, IDC_UPDATE, IDC_STEP3, IDC_STEP4, IDC_STEP5, IDC_STEP6, IDC_FILE_NAME, IDC_LOG})
        EXPECT_FALSE(view.enabled(id)) << id;
    EXPECT_FALSE(view.controls[IDC_PROGRESS].visible);

    dialog.onInterfaceBoard();
    EXPECT_EQ(dialog.board(), BoardKind::Interface);
    EXPECT_EQ(view.logLines(), Lines{"Interface board selected"});
    EXPECT_EQ(view.controls[IDC_STEP3].text,
              "STEP 3) Remove the Firmware Access cover. Install the micro\xE2\x80\x93" "B USB end of the cable into "
              "Interface Port J8 and the USB A end into the PC.");
    EXPECT_EQ(view.controls[IDC_STEP4].text,
              "STEP 4) Slide switch S4 to OFF and then to ON. Press and hold Interface Switch S1. Connect the battery "
              "charger to USB-C CHARGER and immediately release S1.");
    EXPECT_NE(view.controls[IDC_STEP5].text.find("use the 2048 version."), std::string::npos);
    EXPECT_EQ(view.controls[IDC_BOARD_PICTURE].picture, IDB_BOARD_INTERFACE);
    EXPECT_EQ(view.controls[IDC_DEVICE_PICTURE].picture, IDB_DEVICE_ACCESS);
    for (int id : kStepTexts) EXPECT_TRUE(view.enabled(id)) << id;
    for (int id : kRadiosNotesBrowse) EXPECT_TRUE(view.enabled(id)) << id;
    EXPECT_FALSE(view.enabled(IDC_UPDATE));

    view.fileAnswers.push_back(goodFile("Tarvane_Interface_Board_2048.hex"));
    dialog.onBrowse();
    EXPECT_TRUE(view.enabled(IDC_UPDATE));

    // Switching boards (or clicking the same one again) starts the choice over.
    dialog.onDisplayBoard();
    EXPECT_EQ(view.logLines(), Lines{"Display board selected"});
    EXPECT_TRUE(dialog.hexPath().empty());
    EXPECT_EQ(view.controls[IDC_FILE_NAME].text, "<No file loaded>");
    EXPECT_FALSE(view.enabled(IDC_UPDATE));
    EXPECT_EQ(view.controls[IDC_BOARD_PICTURE].picture, IDB_BOARD_DISPLAY);
    EXPECT_NE(view.controls[IDC_STEP3].text.find("Display Port J3"), std::string::npos);
    EXPECT_NE(view.controls[IDC_STEP4].text.find("Display Switch S2"), std::string::npos);
    EXPECT_NE(view.controls[IDC_STEP5].text.find("use the 2064 version."), std::string::npos);
}

TEST_F(DialogMainTest, FileDialogOffersTheBoardsFilterAndCancelKeepsTheChoice) {
    EXPECT_EQ(dialog.fileFilter(), "All Files (*.*)|*.*|");
    dialog.onInterfaceBoard();
    EXPECT_EQ(dialog.fileFilter(), "Interface HEX Files (*.hex)|*Interface_Board*.hex|All Files (*.*)|*.*|");

    dialog.onBrowse(); // cancelled with nothing chosen
    EXPECT_FALSE(view.enabled(IDC_UPDATE));
    EXPECT_EQ(view.logLines(), Lines{"Interface board selected"});
    EXPECT_EQ(view.fileDialogs.back().second, std::filesystem::current_path().string());

    const std::string path = goodFile("Tarvane_Interface_Board_2048.hex");
    view.fileAnswers.push_back(path);
    dialog.onBrowse();
    EXPECT_EQ(dialog.hexPath(), path);
    EXPECT_EQ(view.controls[IDC_FILE_NAME].text, "Tarvane_Interface_Board_2048.hex");
    EXPECT_EQ(view.logLines(), (Lines{"Interface board selected", "HEX file selected"}));

    dialog.onBrowse(); // cancelled after a choice: the choice stands
    EXPECT_EQ(dialog.hexPath(), path);
    EXPECT_TRUE(view.enabled(IDC_UPDATE));
    EXPECT_EQ(view.logLines().size(), 2u);

    dialog.onDisplayBoard();
    dialog.onBrowse();
    EXPECT_EQ(view.fileDialogs.back().first, "Display HEX Files (*.hex)|*Display_Board*.hex|All Files (*.*)|*.*|");

    dialog.onNotes();
    EXPECT_EQ(view.notesShown, 1);
}

TEST_F(DialogMainTest, UpdateWithoutABoardOrWithABadFileEndsAtOnceWithControlsBack) {
    dialog.onDisplayBoard();
    view.fileAnswers.push_back(goodFile("Tarvane_Display_Board_2064.hex"));
    dialog.onBrowse();
    dialog.onUpdate(); // no back-end: nothing is found
    EXPECT_EQ(view.logLines(), Lines{"Update started"});
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Device not found");
    EXPECT_EQ(view.boxes[0].icon, MessageIcon::Error);
    EXPECT_TRUE(view.boxes[0].caption.empty());
    EXPECT_FALSE(view.boxes[0].ownedByWindow);
    for (int id : kRadiosNotesBrowse) EXPECT_TRUE(view.enabled(id)) << id;
    EXPECT_TRUE(view.enabled(IDC_UPDATE));
    EXPECT_FALSE(dialog.updating());
    EXPECT_TRUE(view.timers.empty());
    EXPECT_EQ(view.outcomes, std::vector<UpdateOutcome>{UpdateOutcome::DeviceNotFound});

    // A checksum fault on line 2: refused before any device is looked for.
    const auto bad = dir / "Tarvane_Display_Board_bad.hex";
    std::ofstream(bad) << ":020000041D00DD\n:0400000001020304F3\n:00000001FF\n";
    view.fileAnswers.push_back(bad.string());
    dialog.onBrowse();
    dialog.onUpdate();
    const Lines lines = view.logLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "");
    EXPECT_EQ(lines[lines.size() - 2], ">> Cannot load the HEX file.");
    EXPECT_NE(lines.back().find("line 2"), std::string::npos);
    EXPECT_EQ(view.boxes.back().text, "Cannot load the HEX file.");
    EXPECT_TRUE(view.boxes.back().ownedByWindow);
    EXPECT_EQ(view.boxes.back().icon, MessageIcon::None);
    EXPECT_EQ(view.outcomes.back(), UpdateOutcome::FileNotLoaded);

    // No file chosen, or one that cannot be opened: the two lines alone, the reason in the box.
    dialog.onInterfaceBoard();
    dialog.onUpdate();
    EXPECT_EQ(view.logLines(), (Lines{"Interface board selected", "", ">> Cannot load the HEX file."}));
    view.fileAnswers.push_back((dir / "Tarvane_Interface_Board_gone.hex").string());
    dialog.onBrowse();
    dialog.onUpdate();
    EXPECT_EQ(view.logLines(), (Lines{"Interface board selected", "", ">> Cannot load the HEX file.", "HEX file selected",
                                      "", ">> Cannot load the HEX file."}));
    EXPECT_NE(view.boxes.back().detail.find("No such file or directory"), std::string::npos) << view.boxes.back().detail;
    EXPECT_EQ(view.outcomes.back(), UpdateOutcome::FileNotLoaded);
}

TEST_F(DialogMainTest, SupportReportOnlyAfterAnUpdateAndAnUnwritableOneSaysWhy) {
    dialog.onSaveReport(); // nothing has run: nothing is offered
    EXPECT_FALSE(dialog.canSaveReport());
    EXPECT_TRUE(view.savesProposed.empty());

    dialog.onDisplayBoard();
    dialog.onUpdate();
    ASSERT_TRUE(dialog.canSaveReport());
    const std::size_t boxes = view.boxes.size();
    view.saveAnswer = (dir / "no such folder" / "report.txt").string();
    dialog.onSaveReport();
    ASSERT_EQ(view.savesProposed.size(), 1u);
    EXPECT_EQ(view.savesProposed[0].rfind("tarvane-report-", 0), 0u) << view.savesProposed[0];
    ASSERT_EQ(view.boxes.size(), boxes + 1);
    EXPECT_EQ(view.boxes.back().text, "Cannot save the support report.");
    EXPECT_NE(view.boxes.back().detail.find(*view.saveAnswer), std::string::npos) << view.boxes.back().detail;
    EXPECT_EQ(view.logLines(), (Lines{"Display board selected", "", ">> Cannot load the HEX file."}))
        << "the log is untouched";

    // The HEX file of the update, reached by another path, is refused and left as it was.
    const std::string hex = goodFile("Tarvane_Display_Board_2064.hex");
    const auto hexSize = std::filesystem::file_size(hex);
    view.fileAnswers.push_back(hex);
    dialog.onBrowse();
    dialog.onUpdate();
    view.saveAnswer = (dir / "." / "Tarvane_Display_Board_2064.hex").string();
    dialog.onSaveReport();
    EXPECT_EQ(view.boxes.back().text, "Cannot save the support report.");
    EXPECT_EQ(view.boxes.back().detail,
              *view.saveAnswer + ": this is the HEX file of the update; the report cannot be saved over it.");
    EXPECT_EQ(view.boxes.back().icon, MessageIcon::Error);
    EXPECT_EQ(std::filesystem::file_size(hex), hexSize);
}

// A board that stays silent until the window closes, then answers the query
// just as the window goes: the worker posts while the window is destroyed.
class AnswerOnClosePort final : public ReportPort {
public:
    AnswerOnClosePort(std::atomic<bool>& closing, std::atomic<int>& writes) : closing_(closing), writes_(writes) {}
    bool writeReport(ReportView) override {
        writes_.fetch_add(1);
        return true;
    }
    ReadResult readReport(ReportBuffer report, int) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!closing_.load() || answered_) return ReadResult::Timeout;
        // Late enough that the window's destruction is under way.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::uint8_t payload[5] = {CMD_QUERY, 1, 0};
        encodeFrame(payload, 3, report.data(), report.size());
        answered_ = true;
        return ReadResult::Report;
    }

private:
    std::atomic<bool>& closing_;
    std::atomic<int>& writes_;
    bool answered_ = false;
};

struct PostCountingView : RecordingView {
    void postLinkMessage(LinkMessage) override { posts.fetch_add(1); }
    std::atomic<int> posts{0};
};

TEST_F(DialogMainTest, ClosingWhileTheWorkerPostsStopsTheLinkBeforeTheUpdateGoes) {
    std::atomic<bool> closing{false};
    std::atomic<int> writes{0};
    PostCountingView closingView;
    auto window = std::make_unique<DialogMain>(closingView);
    window->useDevice(DeviceAddress{}, [&](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string&) {
        return std::make_unique<AnswerOnClosePort>(closing, writes);
    });
    window->onDisplayBoard();
    closingView.fileAnswers.push_back(goodFile("Tarvane_Display_Board_2064.hex"));
    window->onBrowse();
    window->onUpdate();
    ASSERT_TRUE(window->updating());
    while (writes.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));

    closing = true;
    window.reset();
    // The answer may land before the stop or not at all: never after.
    EXPECT_LE(closingView.posts.load(), 1);
}

} // namespace
} // namespace tarvane
