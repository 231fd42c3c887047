#include "host/screens/option_sets.h"

#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace host {

namespace {

// Set names become section headers; brackets and line breaks would break them.
std::string cleanSetName(const std::string& name) {
    std::string clean;
    for (const char c : name) {
        clean += (c == '[' || c == ']' || c == '\n' || c == '\r') ? '_' : c;
    }
    return clean;
}

std::string cleanValue(const std::string& value) {
    std::string clean;
    for (const char c : value) {
        clean += (c == '\n' || c == '\r') ? ' ' : c;
    }
    return clean;
}

}  // namespace

std::filesystem::path OptionSetStore::defaultFolder() {
    if (const char* folder = std::getenv("ORE_CONFIG_DIR"); folder && *folder) {
        return folder;
    }
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return std::filesystem::path(xdg) / "ore06100";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".config" / "ore06100";
}

OptionSetStore::OptionSetStore(std::filesystem::path folder, std::string screenCode)
    : m_file(std::move(folder) / ("opcoes-" + screenCode + ".ini")) {}

OptionSetStore::Sets OptionSetStore::readAll() const {
    Sets sets;
    std::ifstream in(m_file);
    std::string line;
    std::vector<std::string>* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            current = &sets[line.substr(1, line.size() - 2)];
        } else if (current != nullptr && line.find('=') != std::string::npos) {
            current->push_back(line);
        }
    }
    return sets;
}

std::vector<std::string> OptionSetStore::setNames() const {
    std::vector<std::string> names;
    for (const auto& [name, options] : readAll()) {
        names.push_back(name);
    }
    return names;
}

std::optional<std::vector<std::string>> OptionSetStore::load(const std::string& setName) const {
    Sets sets = readAll();
    const auto found = sets.find(cleanSetName(setName));
    if (found == sets.end()) {
        return std::nullopt;
    }
    return found->second;
}

void OptionSetStore::save(const std::string& setName,
                          const std::vector<std::string>& options) const {
    Sets sets = readAll();
    std::vector<std::string>& target = sets[cleanSetName(setName)];
    target.clear();
    for (const std::string& option : options) {
        target.push_back(cleanValue(option));
    }

    std::error_code error;
    std::filesystem::create_directories(m_file.parent_path(), error);
    const std::filesystem::path temporary =
        m_file.string() + ".tmp" + std::to_string(static_cast<long>(::getpid()));
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const auto& [name, lines] : sets) {
            out << '[' << name << "]\n";
            for (const std::string& line : lines) {
                out << line << '\n';
            }
        }
        out.flush();
        if (!out) {
            std::filesystem::remove(temporary, error);
            throw std::runtime_error("Não foi possível gravar as opções em " + m_file.string());
        }
    }
    std::filesystem::rename(temporary, m_file, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw std::runtime_error("Não foi possível gravar as opções em " + m_file.string());
    }
}

std::string optionValue(const std::vector<std::string>& options, const std::string& name) {
    for (const std::string& option : options) {
        if (option.size() > name.size() && option.compare(0, name.size(), name) == 0 &&
            option[name.size()] == '=') {
            return option.substr(name.size() + 1);
        }
    }
    return {};
}

void setOptionValue(std::vector<std::string>& options, const std::string& name,
                    const std::string& value) {
    for (auto it = options.begin(); it != options.end(); ++it) {
        if (it->size() > name.size() && it->compare(0, name.size(), name) == 0 &&
            (*it)[name.size()] == '=') {
            if (value.empty()) {
                options.erase(it);
            } else {
                *it = name + "=" + value;
            }
            return;
        }
    }
    if (!value.empty()) {
        options.push_back(name + "=" + value);
    }
}

}  // namespace host
