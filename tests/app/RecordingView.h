#pragma once

#include "app/DialogMain.h"
#include "app/DialogTemplates.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvane::test {

// A window that remembers what DialogMain did to it, starting from the
// template's states, and answers dialogs from a script.
struct RecordingView : DialogView {
    struct Control {
        std::string text;
        bool enabled = false;
        bool visible = true;
        int picture = 0;
    };
    std::map<int, Control> controls;
    std::string log;
    int progressMax = 0;
    int progressPos = 0;
    std::vector<MessageBoxRequest> boxes;
    std::deque<std::optional<std::string>> fileAnswers;
    std::vector<std::pair<std::string, std::string>> fileDialogs; // filter, initial directory
    int notesShown = 0;
    std::vector<std::string> savesProposed;
    std::optional<std::string> saveAnswer;
    std::map<int, int> timers;
    std::vector<int> pauses;
    std::vector<LinkMessage> posted;
    std::vector<UpdateOutcome> outcomes;

    RecordingView() {
        for (const ControlTemplate& c : mainDialogTemplate().controls) {
            controls[c.id] = Control{std::string(c.text), c.enabledAtStart, c.visibleAtStart, c.bitmapId};
        }
    }

    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        std::size_t pos = 0;
        while (pos < log.size()) {
            const std::size_t end = log.find("\r\n", pos);
            lines.push_back(log.substr(pos, end - pos));
            pos = end + 2;
        }
        return lines;
    }
    bool enabled(int id) { return controls.at(id).enabled; }

    bool hasControl(int id) const override { return controls.count(id) != 0; }
    void setControlText(int id, const std::string& text) override { controls.at(id).text = text; }
    void enableControl(int id, bool on) override { controls.at(id).enabled = on; }
    void showControl(int id, bool visible) override { controls.at(id).visible = visible; }
    void setPicture(int id, int bitmap) override { controls.at(id).picture = bitmap; }
    void setLogText(const std::string& text) override { log = text; }
    void setProgressRange(int maximum) override { progressMax = maximum; }
    void setProgressPosition(int position) override { progressPos = position; }
    void messageBox(const MessageBoxRequest& request) override { boxes.push_back(request); }
    std::optional<std::string> openFileDialog(const std::string& filter, const std::string& dir) override {
        fileDialogs.emplace_back(filter, dir);
        if (fileAnswers.empty()) return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
    void showNotes() override { ++notesShown; }
    std::optional<std::string> saveFileDialog(const std::string& suggestedName) override {
        savesProposed.push_back(suggestedName);
        return saveAnswer;
    }
    void startTimer(int id, int period) override { timers[id] = period; }
    void killTimer(int id) override { timers.erase(id); }
    void pause(int ms) override { pauses.push_back(ms); }
    void postLinkMessage(LinkMessage message) override { posted.push_back(std::move(message)); }
    void updateEnded(UpdateOutcome outcome) override { outcomes.push_back(outcome); }
};

} // namespace tarvane::test
