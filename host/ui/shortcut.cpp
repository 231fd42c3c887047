#include <cctype>
#include <sstream>
#include <utility>
#include <vector>

#include "host/ui/types.h"

namespace host {

namespace {

const std::vector<std::pair<std::string, Word>>& namedKeys() {
    static const std::vector<std::pair<std::string, Word>> keys = {
        {"Enter", VK_RETURN}, {"Tab", VK_TAB},       {"Esc", VK_ESCAPE},     {"Escape", VK_ESCAPE},
        {"Del", VK_DELETE},   {"Delete", VK_DELETE}, {"Backspace", VK_BACK}, {"Up", 38},
        {"Down", 40},         {"Left", 37},          {"Right", 39},          {"Home", 36},
        {"End", 35},          {"PgUp", 33},          {"PgDn", 34},           {"Space", 32},
        {"Ins", 45},          {"Insert", 45},
    };
    return keys;
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool parseKey(const std::string& name, Word& key) {
    const std::string wanted = lower(name);
    for (const auto& [keyName, code] : namedKeys()) {
        if (lower(keyName) == wanted) {
            key = code;
            return true;
        }
    }
    if (wanted.size() >= 2 && wanted[0] == 'f' &&
        std::isdigit(static_cast<unsigned char>(wanted[1]))) {
        const int number = std::stoi(wanted.substr(1));
        if (number >= 1 && number <= 24) {
            key = static_cast<Word>(VK_F1 + number - 1);
            return true;
        }
        return false;
    }
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
        key = static_cast<Word>(std::toupper(static_cast<unsigned char>(name[0])));
        return true;
    }
    return false;
}

}  // namespace

bool ParseShortCut(const std::string& text, Word& key, TShiftState& shift) {
    shift = 0;
    key = 0;
    std::string part;
    std::vector<std::string> parts;
    std::istringstream stream(text);
    while (std::getline(stream, part, '+')) {
        parts.push_back(part);
    }
    if (parts.empty()) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string modifier = lower(parts[i]);
        if (modifier == "ctrl") {
            shift |= ssCtrl;
        } else if (modifier == "shift") {
            shift |= ssShift;
        } else if (modifier == "alt") {
            shift |= ssAlt;
        } else {
            return false;
        }
    }
    return parseKey(parts.back(), key);
}

std::string ShortCutToText(Word key, TShiftState shift) {
    std::string text;
    if (shift & ssCtrl) {
        text += "Ctrl+";
    }
    if (shift & ssShift) {
        text += "Shift+";
    }
    if (shift & ssAlt) {
        text += "Alt+";
    }
    for (const auto& [name, code] : namedKeys()) {
        if (code == key) {
            return text + name;
        }
    }
    if (key >= VK_F1 && key < VK_F1 + 24) {
        return text + "F" + std::to_string(key - VK_F1 + 1);
    }
    return text + std::string(1, static_cast<char>(key));
}

}  // namespace host
