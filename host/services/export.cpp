#include "host/services/export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "host/data/exceptions.h"
#include "host/ui/form.h"

namespace host {

namespace {

[[noreturn]] void failWriting(const std::string& path, int error) {
    throw Exception("Não foi possível gravar o arquivo " + path + ": " + std::strerror(error) +
                    ".");
}

}  // namespace

std::optional<std::string> SaveDialog(const SaveFileRequest& request) {
    return Application().Platform().SaveFileName(request);
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    if (path.empty()) {
        throw Exception("Não foi possível gravar o arquivo: nenhum nome foi dado.");
    }
    const std::filesystem::path target(path);
    std::error_code folderError;
    if (std::filesystem::is_directory(target, folderError)) {
        failWriting(path, EISDIR);
    }
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        failWriting(path, errno);
    }
    int error = 0;
    // Readable by others as a file the operator saved would be.
    if (::fchmod(fd, 0644) != 0) {
        error = errno;
    }
    std::size_t written = 0;
    while (error == 0 && written < bytes.size()) {
        const ssize_t step = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (step < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
        } else {
            written += static_cast<std::size_t>(step);
        }
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        failWriting(path, error);
    }
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(";\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    return quoted + '"';
}

std::string GridToCsv(const TDBGrid& grid) {
    std::string csv = "\xEF\xBB\xBF";
    const int columns = grid.ColumnCount();
    for (int column = 0; column < columns; ++column) {
        csv += (column == 0 ? "" : ";") + CsvField(grid.ColumnTitle(column));
    }
    csv += "\r\n";
    const int rows = grid.RowCount();
    for (int row = 1; row <= rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            csv += (column == 0 ? "" : ";") + CsvField(grid.CellText(row, column));
        }
        csv += "\r\n";
    }
    return csv;
}

}  // namespace host
