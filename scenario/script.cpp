#include "scenario/script.h"

#include <algorithm>
#include <charconv>

#include "scenario/values.h"

namespace scenario {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A plain (unquoted) token with exactly that text: separators such as = and ~
// only count when written bare, so "=" can still be a value.
bool isBare(const Token& token, std::string_view text) {
    return !token.quoted && token.text == text;
}

int parseCount(const Token& token, const char* what) {
    int value = 0;
    const std::string& text = token.text;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0) {
        throw SyntaxError(std::string(what) + " must be a whole number, not \"" + text + "\"");
    }
    return value;
}

void expectCount(const std::vector<Token>& tokens, std::size_t count, const char* form) {
    if (tokens.size() != count) {
        throw SyntaxError(std::string("expected: ") + form);
    }
}

// "= VALUE" at tokens[at], tokens[at + 1], and nothing after.
const std::string& valueAfterEquals(const std::vector<Token>& tokens, std::size_t at,
                                    const char* form) {
    if (tokens.size() != at + 2 || !isBare(tokens[at], "=")) {
        throw SyntaxError(std::string("expected: ") + form);
    }
    return tokens[at + 1].text;
}

const std::vector<std::pair<std::string, Property>>& propertyNames() {
    static const std::vector<std::pair<std::string, Property>> names = {
        {"text", Property::Text},
        {"enabled", Property::Enabled},
        {"checked", Property::Checked},
        {"visible", Property::Visible},
        {"focused", Property::Focused},
        {"active", Property::Active},
        {"tabenabled", Property::TabEnabled},
        {"rows", Property::Rows},
        {"state", Property::State},
    };
    return names;
}

void parseSession(const std::vector<Token>& tokens, Command& command) {
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::string& text = tokens[i].text;
        const auto equals = text.find('=');
        if (equals == std::string::npos) {
            throw SyntaxError("session settings are written KEY=VALUE, not \"" + text + "\"");
        }
        const std::string key = text.substr(0, equals);
        const std::string value = text.substr(equals + 1);
        if (key == "branch") {
            command.session.branch = value;
        } else if (key == "branch-name") {
            command.session.branchName = value;
        } else if (key == "operator") {
            command.session.operatorCode = value;
        } else if (key == "fixed-branch") {
            const auto flag = parseBoolean(value);
            if (!flag) {
                throw SyntaxError("fixed-branch is yes or no, not \"" + value + "\"");
            }
            command.session.fixedBranch = *flag;
        } else if (key == "password") {
            command.session.password = value;
        } else {
            throw SyntaxError("unknown session setting \"" + key +
                              "\" (branch, branch-name, operator, fixed-branch, password)");
        }
    }
}

// operator CODE password=TEXT [name=TEXT] [branch=HOME] [branches=B[:cancel],...]
// [fixed-branch=yes|no] [active=yes|no]
void parseOperator(const std::vector<Token>& tokens, Command& command) {
    const char* form =
        "operator CODE password=TEXT [name=TEXT] [branch=HOME] [branches=0001:cancel,0002] "
        "[fixed-branch=yes|no] [active=yes|no]";
    if (tokens.size() < 2 || tokens[1].text.find('=') != std::string::npos) {
        throw SyntaxError(std::string("expected: ") + form);
    }
    OperatorSettings& settings = command.operatorSettings;
    settings.code = tokens[1].text;
    bool hasPassword = false;
    for (std::size_t i = 2; i < tokens.size(); ++i) {
        const std::string& text = tokens[i].text;
        const auto equals = text.find('=');
        if (equals == std::string::npos) {
            throw SyntaxError("operator settings are written KEY=VALUE, not \"" + text + "\"");
        }
        const std::string key = text.substr(0, equals);
        const std::string value = text.substr(equals + 1);
        if (key == "password") {
            settings.password = value;
            hasPassword = true;
        } else if (key == "name") {
            settings.name = value;
        } else if (key == "branch") {
            settings.branch = value;
        } else if (key == "branches") {
            settings.branches.clear();
            std::string entry;
            for (const char c : value + ",") {
                if (c != ',') {
                    entry += c;
                    continue;
                }
                const auto colon = entry.find(':');
                OperatorBranchSetting branch{entry.substr(0, colon), false};
                if (colon != std::string::npos) {
                    if (entry.substr(colon + 1) != "cancel") {
                        throw SyntaxError("a branch is written CODE or CODE:cancel, not \"" +
                                          entry + "\"");
                    }
                    branch.mayCancel = true;
                }
                if (branch.branch.empty()) {
                    throw SyntaxError("empty branch in branches=" + value);
                }
                settings.branches.push_back(branch);
                entry.clear();
            }
        } else if (key == "fixed-branch" || key == "active") {
            const auto flag = parseBoolean(value);
            if (!flag) {
                throw SyntaxError(key + " is yes or no, not \"" + value + "\"");
            }
            (key == "active" ? settings.active : settings.fixedBranch) = *flag;
        } else {
            throw SyntaxError("unknown operator setting \"" + key +
                              "\" (password, name, branch, branches, fixed-branch, active)");
        }
    }
    if (!hasPassword) {
        throw SyntaxError("an operator needs password=TEXT");
    }
    if (settings.branch.empty()) {
        if (settings.branches.empty()) {
            throw SyntaxError("an operator needs branch=HOME or branches=...");
        }
        settings.branch = settings.branches.front().branch;
    }
}

void parseExpect(const std::vector<Token>& tokens, Command& command) {
    if (tokens.size() < 2) {
        throw SyntaxError("expect what?");
    }
    const Token& what = tokens[1];
    if (isBare(what, "message")) {
        if (tokens.size() == 4 && isBare(tokens[2], "~")) {
            command.kind = CommandKind::ExpectMessageContains;
            command.expected = tokens[3].text;
            return;
        }
        expectCount(tokens, 3, "expect message \"TEXT\" or expect message ~ \"PART\"");
        command.kind = CommandKind::ExpectMessage;
        command.expected = tokens[2].text;
        return;
    }
    if (isBare(what, "no")) {
        if (tokens.size() != 3 || !isBare(tokens[2], "message")) {
            throw SyntaxError("expected: expect no message");
        }
        command.kind = CommandKind::ExpectNoMessage;
        return;
    }
    if (isBare(what, "cell")) {
        const char* form = "expect cell GRID ROW FIELD = \"TEXT\"";
        if (tokens.size() < 5) {
            throw SyntaxError(std::string("expected: ") + form);
        }
        command.kind = CommandKind::ExpectCell;
        command.target = tokens[2].text;
        command.row = parseCount(tokens[3], "ROW");
        if (command.row < 1) {
            throw SyntaxError("ROW counts from 1");
        }
        command.field = tokens[4].text;
        command.expected = valueAfterEquals(tokens, 5, form);
        return;
    }
    if (isBare(what, "field")) {
        const char* form = "expect field DATASET.FIELD = \"TEXT\"";
        if (tokens.size() < 3) {
            throw SyntaxError(std::string("expected: ") + form);
        }
        const std::string& path = tokens[2].text;
        const auto dot = path.find('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == path.size()) {
            throw SyntaxError(std::string("expected: ") + form);
        }
        command.kind = CommandKind::ExpectField;
        command.target = path.substr(0, dot);
        command.field = path.substr(dot + 1);
        command.expected = valueAfterEquals(tokens, 3, form);
        return;
    }
    if (isBare(what, "filter")) {
        const char* form = "expect filter PATH = \"TEXT\"";
        if (tokens.size() < 3) {
            throw SyntaxError(std::string("expected: ") + form);
        }
        command.kind = CommandKind::ExpectFilter;
        command.target = tokens[2].text;
        command.expected = valueAfterEquals(tokens, 3, form);
        return;
    }
    if (isBare(what, "calls")) {
        const char* form = "expect calls METHOD = N";
        if (tokens.size() < 3) {
            throw SyntaxError(std::string("expected: ") + form);
        }
        command.kind = CommandKind::ExpectCalls;
        command.target = tokens[2].text;
        const auto& methods = remoteMethodNames();
        if (std::find(methods.begin(), methods.end(), command.target) == methods.end()) {
            throw SyntaxError("unknown remote method \"" + command.target + "\"");
        }
        valueAfterEquals(tokens, 3, form);
        command.row = parseCount(tokens[4], "N");
        command.expected = std::to_string(command.row);
        return;
    }
    if (isBare(what, "db")) {
        const char* form = "expect db \"SELECT ...\" = \"TEXT\"";
        if (tokens.size() < 3) {
            throw SyntaxError(std::string("expected: ") + form);
        }
        command.kind = CommandKind::ExpectDb;
        command.target = tokens[2].text;
        command.expected = valueAfterEquals(tokens, 3, form);
        return;
    }
    const char* form = "expect NAME.PROP = VALUE";
    const std::string& path = what.text;
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == path.size()) {
        throw SyntaxError(std::string("expected: ") + form + ", or expect message, no message, " +
                          "cell, field, filter, calls, db");
    }
    const std::string propertyText = path.substr(dot + 1);
    const auto& names = propertyNames();
    const auto found = std::find_if(names.begin(), names.end(),
                                    [&](const auto& entry) { return entry.first == propertyText; });
    if (found == names.end()) {
        throw SyntaxError("unknown property \"" + propertyText +
                          "\" (text, enabled, checked, visible, focused, active, tabenabled, "
                          "rows, state)");
    }
    command.kind = CommandKind::ExpectProperty;
    command.target = path.substr(0, dot);
    command.property = found->second;
    command.expected = valueAfterEquals(tokens, 2, form);
    switch (command.property) {
        case Property::Text:
            break;
        case Property::Rows:
            command.row = parseCount(tokens[3], "rows");
            break;
        case Property::State:
            if (command.expected != "inactive" && command.expected != "browse" &&
                command.expected != "edit" && command.expected != "insert") {
                throw SyntaxError("state is inactive, browse, edit or insert, not \"" +
                                  command.expected + "\"");
            }
            break;
        default:
            if (!parseBoolean(command.expected)) {
                throw SyntaxError(std::string(propertyName(command.property)) +
                                  " is yes or no, not \"" + command.expected + "\"");
            }
            break;
    }
}

}  // namespace

std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == '#') {
            break;
        }
        Token token;
        while (i < line.size() && !isBlank(line[i]) && line[i] != '#') {
            if (line[i] != '"') {
                token.text += line[i++];
                continue;
            }
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\') {
                    if (i >= line.size()) {
                        break;
                    }
                    const char escaped = line[i++];
                    // \n stands for a line break, so a memo of several lines
                    // can be expected in one line of the script.
                    if (escaped == 'n') {
                        token.text += '\n';
                        continue;
                    }
                    if (escaped != '"' && escaped != '\\') {
                        throw SyntaxError(std::string("unknown escape \\") + escaped +
                                          " (only \\\", \\\\ and \\n)");
                    }
                    token.text += escaped;
                    continue;
                }
                token.text += c;
            }
            if (!closed) {
                throw SyntaxError("unclosed quote");
            }
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::optional<Command> parseLine(std::string_view line, int lineNumber) {
    std::vector<Token> tokens = tokenize(line);
    if (tokens.empty()) {
        return std::nullopt;
    }
    Command command;
    command.line = lineNumber;
    {
        // The source without its comment and surrounding blanks, for the transcript.
        std::size_t end = 0;
        bool inQuote = false;
        for (; end < line.size(); ++end) {
            const char c = line[end];
            if (inQuote && c == '\\') {
                ++end;
            } else if (c == '"') {
                inQuote = !inQuote;
            } else if (c == '#' && !inQuote) {
                break;
            }
        }
        std::string_view source = line.substr(0, std::min(end, line.size()));
        while (!source.empty() && isBlank(source.front())) {
            source.remove_prefix(1);
        }
        while (!source.empty() && isBlank(source.back())) {
            source.remove_suffix(1);
        }
        command.source = std::string(source);
    }
    if (tokens.front().quoted) {
        throw SyntaxError("a command starts with its word, not a quoted text");
    }
    command.word = tokens.front().text;
    const std::string& word = command.word;
    const std::size_t count = tokens.size();

    if (word == "database") {
        expectCount(tokens, 2, "database demo|empty");
        if (tokens[1].text != "demo" && tokens[1].text != "empty") {
            throw SyntaxError("database is demo or empty, not \"" + tokens[1].text + "\"");
        }
        command.kind = CommandKind::Database;
        command.emptyDatabase = tokens[1].text == "empty";
    } else if (word == "sql") {
        expectCount(tokens, 2, "sql \"STATEMENT\"");
        command.kind = CommandKind::Sql;
        command.target = tokens[1].text;
    } else if (word == "session") {
        command.kind = CommandKind::Session;
        parseSession(tokens, command);
    } else if (word == "operator") {
        command.kind = CommandKind::Operator;
        parseOperator(tokens, command);
    } else if (word == "server") {
        if (count != 2 || !isBare(tokens[1], "off")) {
            throw SyntaxError("expected: server off");
        }
        command.kind = CommandKind::ServerOff;
    } else if (word == "open") {
        expectCount(tokens, 2, "open SCREEN");
        command.kind = CommandKind::Open;
        command.target = tokens[1].text;
    } else if (word == "close") {
        if (count > 2) {
            throw SyntaxError("expected: close [FORM]");
        }
        command.kind = CommandKind::Close;
        command.target = count == 2 ? tokens[1].text : std::string();
    } else if (word == "focus" || word == "click") {
        expectCount(tokens, 2, word == "focus" ? "focus NAME" : "click NAME");
        command.kind = word == "focus" ? CommandKind::Focus : CommandKind::Click;
        command.target = tokens[1].text;
    } else if (word == "type") {
        expectCount(tokens, 3, "type NAME TEXT");
        command.kind = CommandKind::Type;
        command.target = tokens[1].text;
        command.expected = tokens[2].text;
    } else if (word == "key") {
        expectCount(tokens, 3, "key NAME|form KEYS");
        command.kind = CommandKind::Key;
        command.target = tokens[1].text;
        if (!host::ParseShortCut(tokens[2].text, command.key, command.shift)) {
            throw SyntaxError("unknown key \"" + tokens[2].text + "\"");
        }
    } else if (word == "select") {
        expectCount(tokens, 3, "select GRID ROW");
        command.kind = CommandKind::Select;
        command.target = tokens[1].text;
        command.row = parseCount(tokens[2], "ROW");
        if (command.row < 1) {
            throw SyntaxError("ROW counts from 1");
        }
    } else if (word == "answer") {
        expectCount(tokens, 2, "answer yes|no|ok");
        command.kind = CommandKind::Answer;
        const std::string& answer = tokens[1].text;
        if (answer == "yes") {
            command.answer = host::mrYes;
        } else if (answer == "no") {
            command.answer = host::mrNo;
        } else if (answer == "ok") {
            command.answer = host::mrOk;
        } else {
            throw SyntaxError("answer is yes, no or ok, not \"" + answer + "\"");
        }
    } else if (word == "pick") {
        expectCount(tokens, 2, "pick CODE[,CODE...] or pick none");
        command.kind = CommandKind::Pick;
        if (isBare(tokens[1], "none")) {
            command.pick = std::nullopt;
        } else {
            std::vector<std::string> keys;
            const std::string& list = tokens[1].text;
            std::size_t start = 0;
            for (;;) {
                const auto comma = list.find(',', start);
                keys.push_back(list.substr(start, comma - start));
                if (comma == std::string::npos) {
                    break;
                }
                start = comma + 1;
            }
            if (std::any_of(keys.begin(), keys.end(),
                            [](const auto& key) { return key.empty(); })) {
                throw SyntaxError("empty code in pick list \"" + list + "\"");
            }
            command.pick = std::move(keys);
        }
    } else if (word == "expect") {
        parseExpect(tokens, command);
    } else if (word == "reset") {
        if (count != 2 || !isBare(tokens[1], "calls")) {
            throw SyntaxError("expected: reset calls");
        }
        command.kind = CommandKind::ResetCalls;
    } else if (word == "dump") {
        expectCount(tokens, 1, "dump");
        command.kind = CommandKind::Dump;
    } else {
        command.kind = CommandKind::Extension;
    }
    command.tokens = std::move(tokens);
    return command;
}

Script parseScript(std::string_view text, std::string fileName) {
    Script script;
    script.fileName = std::move(fileName);
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        const std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        ++lineNumber;
        try {
            if (auto command = parseLine(line, lineNumber)) {
                script.commands.push_back(std::move(*command));
            }
        } catch (const SyntaxError& error) {
            script.errors.push_back({lineNumber, error.what()});
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return script;
}

const std::vector<std::string>& remoteMethodNames() {
    static const std::vector<std::string> names = {
        "GetEncomenda",  "GetItemEnc",   "GetEncomendaFilha",
        "CancAprovaEnc", "SetEncomenda", "PreviewCancAprovaEnc",
    };
    return names;
}

const char* propertyName(Property property) {
    for (const auto& [name, value] : propertyNames()) {
        if (value == property) {
            return name.c_str();
        }
    }
    return "?";
}

}  // namespace scenario
