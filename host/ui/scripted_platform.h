#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/ui/form.h"
#include "host/ui/platform.h"

namespace host {

// The platform of tests and of the scenario runner: records everything shown
// and answers from queues filled in advance. What the script did not foresee
// (an unqueued question, pick or text, an unknown key) is recorded, so a test
// can fail on it, and answered the harmless way (No, Cancel, nothing).
class ScriptedPlatform : public UiPlatform {
public:
    struct Message {
        std::string text;
        TMsgDlgType type = TMsgDlgType::mtInformation;
        TMsgDlgButtons buttons = mbOK;
        int answer = mrNone;
        bool unanswered = false;  // a question the script had no answer for
    };

    struct PickRecord {
        std::string title;
        std::string keyField;
        bool multiple = false;
        int rowCount = 0;
        std::vector<std::string> preselected;
        std::optional<std::vector<std::string>> chosen;  // keys returned; nothing when cancelled
    };

    // Queues. Questions (Yes/No, OK/Cancel) take answers in order; an OK-only
    // message consumes a queued mrOk at the front and is otherwise answered at once.
    void QueueAnswer(int answer) { m_answers.push_back(answer); }
    // Keys of the rows to choose (values of the request's key field); the
    // chosen rows come back in list order.
    void QueuePick(std::vector<std::string> keys) { m_picks.emplace_back(std::move(keys)); }
    void QueuePickNone() { m_picks.emplace_back(std::nullopt); }
    void QueueText(std::string text) { m_texts.emplace_back(std::move(text)); }
    void QueueTextCancel() { m_texts.emplace_back(std::nullopt); }
    // Answers of save dialogs: a path, or a cancel.
    void QueueSavePath(std::string path) { m_savePaths.emplace_back(std::move(path)); }
    void QueueSaveCancel() { m_savePaths.emplace_back(std::nullopt); }
    std::size_t pendingSavePaths() const { return m_savePaths.size(); }
    std::size_t pendingAnswers() const { return m_answers.size(); }
    std::size_t pendingPicks() const { return m_picks.size(); }
    std::size_t pendingTexts() const { return m_texts.size(); }

    // Runs the modal form's events; the scenario runner plays its commands
    // here. Without it a modal run only records the form and returns.
    std::function<void(TForm&)> modalLoop;

    const std::vector<Message>& messages() const { return m_messages; }
    // Text of the first question that had no queued answer; empty when none.
    std::string unansweredQuestion() const;
    const std::vector<PickRecord>& pickLists() const { return m_pickLists; }
    // Prompts answered with their proposed text, as "caption: text".
    const std::vector<std::string>& acceptedTexts() const { return m_acceptedTexts; }
    // Save dialogs shown, as "title: proposed name".
    const std::vector<std::string>& saveDialogs() const { return m_saveDialogs; }
    // What the script did not foresee, one line each.
    const std::vector<std::string>& failures() const { return m_failures; }

    int busyDepth() const { return m_busyDepth; }
    int busyOnCount() const { return m_busyOnCount; }
    const std::vector<int>& busyKinds() const { return m_busyKinds; }

    TCursor cursor() const { return m_cursor; }
    const std::vector<TCursor>& cursorHistory() const { return m_cursorHistory; }

    // Form names, in the order they happened.
    const std::vector<std::string>& shownForms() const { return m_shownForms; }
    const std::vector<std::string>& modalForms() const { return m_modalForms; }
    const std::vector<std::string>& closedForms() const { return m_closedForms; }

    // UiPlatform
    int MessageDialog(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
    void RunModal(TForm& form) override;
    void ShowForm(TForm& form) override;
    void FormClosed(TForm& form) override;
    void BusyOn(int kind) override;
    void BusyOff() override;
    std::optional<std::vector<int>> PickList(const PickListRequest& request) override;
    void SetCursor(TCursor cursor) override;
    bool InputText(const std::string& caption, const std::string& prompt,
                   std::string& value) override;
    std::optional<std::string> SaveFileName(const SaveFileRequest& request) override;

private:
    std::deque<int> m_answers;
    std::deque<std::optional<std::vector<std::string>>> m_picks;
    std::deque<std::optional<std::string>> m_texts;
    std::deque<std::optional<std::string>> m_savePaths;
    std::vector<std::string> m_saveDialogs;
    std::vector<std::string> m_acceptedTexts;
    std::vector<Message> m_messages;
    std::vector<PickRecord> m_pickLists;
    std::vector<std::string> m_failures;
    int m_busyDepth = 0;
    int m_busyOnCount = 0;
    std::vector<int> m_busyKinds;
    TCursor m_cursor = TCursor::crDefault;
    std::vector<TCursor> m_cursorHistory;
    std::vector<std::string> m_shownForms;
    std::vector<std::string> m_modalForms;
    std::vector<std::string> m_closedForms;
};

}  // namespace host
