#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace host {

// Saved filter option sets of one screen, kept in a file under the user's
// configuration folder: one section per set name, one name=value line per
// option. Writes go to a temporary file renamed over the old one, so a crash
// never leaves half a file.
class OptionSetStore {
public:
    // $ORE_CONFIG_DIR, else $XDG_CONFIG_HOME/ore06100, else ~/.config/ore06100.
    static std::filesystem::path defaultFolder();

    OptionSetStore(std::filesystem::path folder, std::string screenCode);

    std::vector<std::string> setNames() const;
    std::optional<std::vector<std::string>> load(const std::string& setName) const;
    // Replaces the set; raises std::runtime_error when the file cannot be written.
    void save(const std::string& setName, const std::vector<std::string>& options) const;

    const std::filesystem::path& file() const { return m_file; }

private:
    using Sets = std::map<std::string, std::vector<std::string>>;
    Sets readAll() const;
    std::filesystem::path m_file;
};

// name=value access to an option list, as the platform's text lists give it.
std::string optionValue(const std::vector<std::string>& options, const std::string& name);
// Sets the value; an empty value removes the entry.
void setOptionValue(std::vector<std::string>& options, const std::string& name,
                    const std::string& value);

}  // namespace host
