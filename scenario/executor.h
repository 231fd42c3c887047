#pragma once

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/ui/form.h"
#include "host/ui/scripted_platform.h"
#include "scenario/environment.h"
#include "scenario/script.h"

namespace scenario {

// A check that did not hold or a command that could not be carried out; its
// text follows "FAIL: " in the transcript.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Totals {
    int passed = 0;
    int failed = 0;
    Totals& operator+=(const Totals& other) {
        passed += other.passed;
        failed += other.failed;
        return *this;
    }
};

// Plays a scenario: each command as one operator event through the forms'
// User* actions, with the scripted platform answering dialogs, and echoes
// each command with "ok" or "FAIL: ...". A modal form shown during a command
// takes the commands that follow until it closes; then the interrupted
// command finishes.
class Executor {
public:
    // Handles a command word this language does not know (the host's own,
    // such as `shot NAME`); returns false when it does not know it either.
    // An exception it raises is the command's failure.
    using ExtraCommands =
        std::function<bool(const std::string& word, const std::vector<std::string>& args)>;

    // environment may be null: setup, open and the database, call and filter
    // checks then fail.
    Executor(host::ScriptedPlatform& platform, Environment* environment, std::ostream& out);
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;
    ~Executor();

    void setExtraCommands(ExtraCommands handler) { m_extra = std::move(handler); }

    // Plays every command of the script (none when it has syntax errors, each
    // of which counts as a failure).
    Totals run(const Script& script);

    // Forms in view, the one on top first: the modal forms (innermost first),
    // then the other forms showing, the most recent first.
    std::vector<host::TForm*> formsInView() const;

private:
    struct Found {
        host::TForm* form = nullptr;
        host::TComponent* component = nullptr;
        host::TClientDataSet* dataSet = nullptr;
    };

    void runNext();
    void execute(const Command& command);
    void modalLoop(host::TForm& form);
    std::string location(const Command& command) const;
    void printHeader();

    Found find(const std::string& name) const;
    host::TForm& topForm() const;
    template <class T>
    T* findAs(const std::string& name, const char* what, Found* where = nullptr) const;
    host::TClientDataSet& findDataSet(const std::string& name) const;

    void operatorCommand(const Command& command);
    void checkProperty(const Command& command);
    void checkMessage(const Command& command);
    void checkCell(const Command& command);
    void checkField(const Command& command);
    void dump() const;
    void requireEnvironment() const;

    host::ScriptedPlatform& m_platform;
    Environment* m_environment;
    std::ostream& m_out;
    ExtraCommands m_extra;

    const Script* m_script = nullptr;
    std::size_t m_next = 0;
    bool m_aborted = false;
    Totals m_totals;
    std::size_t m_messagesChecked = 0;
    std::size_t m_failuresSeen = 0;
    std::vector<host::TForm*> m_modalStack;

    // Commands being played, outermost first; a command that hands the
    // following ones to a modal form gets its line printed before theirs.
    struct Frame {
        const Command* command;
        bool headerPrinted;
    };
    std::vector<Frame> m_frames;
};

}  // namespace scenario
