#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/ui/types.h"

namespace scenario {

// One word of a scenario line. Quoted parts may sit inside a word
// (branch-name="MATRIZ SP" is one token); `quoted` tells whether any part was.
struct Token {
    std::string text;
    bool quoted = false;
    friend bool operator==(const Token&, const Token&) = default;
};

// A line that cannot be read, with the reason.
class SyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits one line into tokens: blanks separate, "..." quotes (escapes \" and
// \\), # outside quotes ends the line. Raises SyntaxError for an unclosed
// quote or an unknown escape.
std::vector<Token> tokenize(std::string_view line);

enum class CommandKind {
    // setup
    Database,
    Sql,
    Session,
    Operator,
    ServerOff,
    // operator
    Open,
    Close,
    Focus,
    Type,
    Click,
    Key,
    Select,
    Answer,
    Pick,
    // checks
    ExpectProperty,
    ExpectMessage,
    ExpectMessageContains,
    ExpectNoMessage,
    ExpectCell,
    ExpectField,
    ExpectFilter,
    ExpectCalls,
    ResetCalls,
    ExpectDb,
    Dump,
    // a word this language does not know, left to the host's extra commands
    Extension,
};

enum class Property { Text, Enabled, Checked, Visible, Focused, Active, TabEnabled, Rows, State };

// What a `session` line sets; a later line replaces an earlier one whole.
struct SessionSettings {
    std::string branch = "0001";
    std::string branchName = "MATRIZ";
    std::string operatorCode = "OPER01";
    bool fixedBranch = false;
    // What the runner signs the operator on with; an operator it creates
    // because the database has none of that code gets this password.
    std::string password = "cenario";
    friend bool operator==(const SessionSettings&, const SessionSettings&) = default;
};

// One branch of an `operator` line: "0001:cancel" or "0002".
struct OperatorBranchSetting {
    std::string branch;
    bool mayCancel = false;
    friend bool operator==(const OperatorBranchSetting&, const OperatorBranchSetting&) = default;
};

// What an `operator` line defines.
struct OperatorSettings {
    std::string code;
    std::string name;
    std::string password;
    std::string branch;  // home branch; empty: the first of `branches`
    bool fixedBranch = false;
    bool active = true;
    std::vector<OperatorBranchSetting> branches;
    friend bool operator==(const OperatorSettings&, const OperatorSettings&) = default;
};

struct Command {
    int line = 0;
    std::string source;  // the line as written, without its comment
    CommandKind kind = CommandKind::Extension;
    std::string word;           // first word of the line
    std::vector<Token> tokens;  // every token, the word included

    // The operands the kind uses; the others stay empty.
    std::string target;  // NAME, GRID, DATASET, PATH, METHOD, screen code, statement
    std::string field;   // FIELD of cell and field checks
    Property property = Property::Text;
    std::string expected;  // the value a check compares with
    bool emptyDatabase = false;
    int row = 0;
    host::Word key = 0;
    host::TShiftState shift = 0;
    int answer = 0;                                // mrYes, mrNo, mrOk
    std::optional<std::vector<std::string>> pick;  // nothing: `pick none`
    SessionSettings session;
    OperatorSettings operatorSettings;
};

struct ScriptError {
    int line = 0;
    std::string message;
    friend bool operator==(const ScriptError&, const ScriptError&) = default;
};

struct Script {
    std::string fileName;
    std::vector<Command> commands;
    std::vector<ScriptError> errors;  // every line that could not be read
};

// Reads a whole scenario text. Lines that cannot be read are listed in
// errors (with their line numbers) and left out of commands.
Script parseScript(std::string_view text, std::string fileName);

// Reads one line into a command; raises SyntaxError. Blank and comment-only
// lines give nothing.
std::optional<Command> parseLine(std::string_view line, int lineNumber);

// The remote methods whose calls `expect calls` counts.
const std::vector<std::string>& remoteMethodNames();

const char* propertyName(Property property);

}  // namespace scenario
