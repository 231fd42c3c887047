#include "host/ui/scripted_platform.h"

#include <algorithm>

namespace host {

namespace {

std::string trimRight(std::string text) {
    const auto end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

}  // namespace

std::string ScriptedPlatform::unansweredQuestion() const {
    for (const Message& message : m_messages) {
        if (message.unanswered) {
            return message.text;
        }
    }
    return {};
}

int ScriptedPlatform::MessageDialog(const std::string& text, TMsgDlgType type,
                                    TMsgDlgButtons buttons) {
    Message message{text, type, buttons, mrNone, false};
    const bool okOnly = (buttons & ~mbOK) == 0;
    if (okOnly) {
        if (!m_answers.empty() && m_answers.front() == mrOk) {
            m_answers.pop_front();
        }
        message.answer = mrOk;
    } else if (!m_answers.empty()) {
        message.answer = m_answers.front();
        m_answers.pop_front();
    } else {
        message.unanswered = true;
        message.answer = (buttons & mbNo) != 0 ? mrNo : mrCancel;
        m_failures.push_back("unanswered question: " + text);
    }
    m_messages.push_back(message);
    return message.answer;
}

void ScriptedPlatform::RunModal(TForm& form) {
    m_modalForms.push_back(form.Name());
    if (modalLoop) {
        modalLoop(form);
    }
}

void ScriptedPlatform::ShowForm(TForm& form) {
    m_shownForms.push_back(form.Name());
}

void ScriptedPlatform::FormClosed(TForm& form) {
    m_closedForms.push_back(form.Name());
}

void ScriptedPlatform::BusyOn(int kind) {
    ++m_busyDepth;
    ++m_busyOnCount;
    m_busyKinds.push_back(kind);
}

void ScriptedPlatform::BusyOff() {
    if (m_busyDepth == 0) {
        m_failures.push_back("busy animation stopped while not running");
        return;
    }
    --m_busyDepth;
}

std::optional<std::vector<int>> ScriptedPlatform::PickList(const PickListRequest& request) {
    PickRecord record;
    record.title = request.title;
    record.keyField = request.keyField;
    record.multiple = request.multiple;
    record.preselected = request.preselected;
    record.rowCount =
        request.rows != nullptr && request.rows->Active() ? request.rows->RecordCount() : 0;

    auto fail = [&](const std::string& why) -> std::optional<std::vector<int>> {
        m_failures.push_back("pick list \"" + request.title + "\": " + why);
        m_pickLists.push_back(record);
        return std::nullopt;
    };
    if (m_picks.empty()) {
        return fail("no choice queued");
    }
    const std::optional<std::vector<std::string>> keys = m_picks.front();
    m_picks.pop_front();
    if (!keys) {
        m_pickLists.push_back(record);
        return std::nullopt;
    }
    if (request.rows == nullptr) {
        return fail("no rows");
    }
    const TField* keyField = request.rows->FindField(request.keyField);
    if (keyField == nullptr) {
        return fail("no field " + request.keyField);
    }
    std::vector<int> chosen;
    for (const std::string& key : *keys) {
        int found = -1;
        for (int row = 1; row <= record.rowCount && found < 0; ++row) {
            const std::string value = keyField->ValueAt(row).AsString();
            if (value == key || trimRight(value) == trimRight(key)) {
                found = row - 1;
            }
        }
        if (found < 0) {
            return fail("no row with " + request.keyField + " \"" + key + "\"");
        }
        chosen.push_back(found);
    }
    if (!request.multiple && chosen.size() > 1) {
        return fail("several rows chosen in a single-choice list");
    }
    // A checked list gives its rows in list order, whatever order they were checked in.
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    record.chosen = *keys;
    m_pickLists.push_back(record);
    return chosen;
}

void ScriptedPlatform::SetCursor(TCursor cursor) {
    m_cursor = cursor;
    m_cursorHistory.push_back(cursor);
}

bool ScriptedPlatform::InputText(const std::string& caption, const std::string& /*prompt*/,
                                 std::string& value) {
    // The scenario language has no way to type into this prompt: without a
    // queued text the proposed one is accepted, as an operator pressing OK.
    if (m_texts.empty()) {
        m_acceptedTexts.push_back(caption + ": " + value);
        return true;
    }
    const std::optional<std::string> text = m_texts.front();
    m_texts.pop_front();
    if (!text) {
        return false;
    }
    value = *text;
    return true;
}

std::optional<std::string> ScriptedPlatform::SaveFileName(const SaveFileRequest& request) {
    m_saveDialogs.push_back(request.title + ": " + request.fileName);
    if (m_savePaths.empty()) {
        m_failures.push_back("save dialog \"" + request.title + "\" without a queued answer");
        return std::nullopt;
    }
    std::optional<std::string> path = m_savePaths.front();
    m_savePaths.pop_front();
    return path;
}

}  // namespace host
