#include "host/sql/statement_text.h"

#include <algorithm>
#include <cctype>

namespace host::sql {

namespace {

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

// Length of the quoted run that starts at `from` (the opening quote), doubled
// quotes included; an unterminated run goes to the end of the text.
std::size_t quotedLength(std::string_view text, std::size_t from) {
    const char quote = text[from];
    std::size_t i = from + 1;
    while (i < text.size()) {
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                i += 2;
                continue;
            }
            return i + 1 - from;
        }
        ++i;
    }
    return text.size() - from;
}

// PostgreSQL's $tag$...$tag$ strings; 0 when `from` does not open one.
std::size_t dollarQuotedLength(std::string_view text, std::size_t from) {
    std::size_t end = from + 1;
    while (end < text.size() && isNameChar(text[end])) {
        ++end;
    }
    if (end >= text.size() || text[end] != '$') {
        return 0;
    }
    if (end > from + 1 && std::isdigit(static_cast<unsigned char>(text[from + 1])) != 0) {
        return 0;  // $1 is a positional parameter, not a tag
    }
    const std::string_view tag = text.substr(from, end + 1 - from);
    const std::size_t close = text.find(tag, end + 1);
    return close == std::string_view::npos ? text.size() - from : close + tag.size() - from;
}

}  // namespace

TranslatedStatement translatePlaceholders(std::string_view statement, Engine engine) {
    TranslatedStatement result;
    result.text.reserve(statement.size() + 8);
    std::size_t i = 0;
    while (i < statement.size()) {
        const char c = statement[i];
        std::size_t skip = 0;
        if (c == '\'' || c == '"') {
            skip = quotedLength(statement, i);
        } else if (c == '-' && i + 1 < statement.size() && statement[i + 1] == '-') {
            const std::size_t end = statement.find('\n', i);
            skip = (end == std::string_view::npos ? statement.size() : end) - i;
        } else if (c == '/' && i + 1 < statement.size() && statement[i + 1] == '*') {
            const std::size_t end = statement.find("*/", i + 2);
            skip = (end == std::string_view::npos ? statement.size() : end + 2) - i;
        } else if (c == '$' && engine == Engine::postgresql) {
            skip = dollarQuotedLength(statement, i);
        } else if (c == ':' && i + 1 < statement.size() && statement[i + 1] == ':') {
            skip = 2;
        }
        if (skip > 0) {
            result.text.append(statement.substr(i, skip));
            i += skip;
            continue;
        }
        if (c == ':' && i + 1 < statement.size() && isNameStart(statement[i + 1])) {
            std::size_t end = i + 1;
            while (end < statement.size() && isNameChar(statement[end])) {
                ++end;
            }
            const std::string_view name = statement.substr(i + 1, end - i - 1);
            auto found =
                std::find_if(result.names.begin(), result.names.end(),
                             [&](const std::string& known) { return sameName(known, name); });
            if (found == result.names.end()) {
                result.names.emplace_back(name);
                found = result.names.end() - 1;
            }
            const auto number = std::to_string(found - result.names.begin() + 1);
            result.text += engine == Engine::sqlite ? "?" : "$";
            result.text += number;
            i = end;
            continue;
        }
        result.text += c;
        ++i;
    }
    return result;
}

std::vector<const Variant*> orderedValues(const std::vector<std::string>& names,
                                          const Params& params) {
    std::vector<const Variant*> values;
    values.reserve(names.size());
    for (const std::string& name : names) {
        const Variant* value = nullptr;
        for (const auto& [paramName, paramValue] : params) {
            std::string_view given = paramName;
            if (!given.empty() && given.front() == ':') {
                given.remove_prefix(1);
            }
            if (sameName(given, name)) {
                value = &paramValue;
                break;
            }
        }
        if (value == nullptr) {
            throw DatabaseError("No value for parameter :" + name);
        }
        values.push_back(value);
    }
    return values;
}

void checkRowWidths(const std::vector<std::string>& names,
                    const std::vector<std::vector<Variant>>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].size() != names.size()) {
            throw DatabaseError("Row " + std::to_string(i + 1) + " has " +
                                std::to_string(rows[i].size()) + " values for " +
                                std::to_string(names.size()) + " parameters");
        }
    }
}

bool fieldFromDeclaredType(std::string_view declared, FieldDef& field) {
    std::string upper;
    upper.reserve(declared.size());
    for (char c : declared) {
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const auto starts = [&](std::string_view prefix) { return upper.rfind(prefix, 0) == 0; };
    const auto sizeInParentheses = [&]() {
        const std::size_t open = upper.find('(');
        if (open == std::string::npos) {
            return 0;
        }
        int size = 0;
        for (std::size_t i = open + 1;
             i < upper.size() && std::isdigit(static_cast<unsigned char>(upper[i])) != 0; ++i) {
            size = size * 10 + (upper[i] - '0');
        }
        return size;
    };
    if (starts("VARCHAR") || starts("CHARACTER VARYING") || starts("NVARCHAR") || starts("CHAR") ||
        starts("CHARACTER") || starts("NCHAR")) {
        field.type = FieldType::String;
        field.size = sizeInParentheses();
        return true;
    }
    if (starts("TIMESTAMP") || starts("DATETIME") || starts("DATE")) {
        field.type = FieldType::DateTime;
        field.size = 0;
        return true;
    }
    if (starts("DOUBLE") || starts("NUMERIC") || starts("DECIMAL") || starts("REAL") ||
        starts("FLOAT")) {
        field.type = FieldType::Float;
        field.size = 0;
        return true;
    }
    if (starts("INT") || starts("BIGINT") || starts("SMALLINT")) {
        field.type = FieldType::Integer;
        field.size = 0;
        return true;
    }
    if (starts("TEXT") || starts("BLOB") || starts("CLOB")) {
        field.type = FieldType::Blob;
        field.size = 0;
        return true;
    }
    return false;
}

std::string upperCaseName(const char* name) {
    std::string upper = name != nullptr ? name : "";
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

void sizeStringColumnsByValue(DataPacket& packet, const std::vector<bool>& typedByValue) {
    for (std::size_t column = 0; column < packet.fields.size(); ++column) {
        FieldDef& field = packet.fields[column];
        if (!typedByValue[column] || field.type != FieldType::String) {
            continue;
        }
        std::size_t widest = 0;
        for (const auto& row : packet.rows) {
            if (row[column].Type() == VarType::Text) {
                widest = std::max(widest, row[column].AsString().size());
            }
        }
        field.size = static_cast<int>(std::max<std::size_t>(widest, 1));
    }
}

}  // namespace host::sql
