#include "tests/windows/twao_com/records.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <sstream>

#include "base/error.h"
#include "platform/codepage.h"
#include "platform/registry_win.h"
#include "platform/win_text.h"
#include "server/listing.h"
#include "support/settings.h"

namespace seedwell::twao_com {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const std::string& path, const wchar_t* mode) {
    const auto wide = platform::win::Widen(path);
    if (!wide) throw Error("the path '" + path + "' is not UTF-8 text");
    return File(_wfopen(wide->c_str(), mode));
}

Row Split(const std::string& line) {
    Row fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(Unescape(line.substr(start, tab - start)));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

RecordFile::RecordFile(const std::string& name, const std::string& header)
    : header_(header), columns_(Split(header).size()) {
    platform::WinRegistry registry;
    const std::string data = support::GetDataDirectory(registry, platform::CodePage::System());
    if (data.empty()) {
        throw Error("the mail server's data directory is not set in the registry");
    }
    path_ = data + (data.back() == '\\' ? "" : "\\") + "Config\\" + name;

    File file = Open(path_, L"rb");
    if (!file) return;  // no records yet
    std::string text;
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, read);
    std::istringstream lines(text);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (first) {
            if (line != header) {
                throw Error("the record file '" + path_ + "' does not start with the header '" +
                            server::ListingField(header) + "'");
            }
            first = false;
            continue;
        }
        if (line.empty()) continue;
        Row row = Split(line);
        row.resize(columns_);
        rows.push_back(std::move(row));
    }
}

void RecordFile::Save() const {
    std::string text = header_ + "\n";
    for (const Row& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            text += (i ? "\t" : "") + server::ListingField(row[i]);
        text += "\n";
    }
    File file = Open(path_, L"wb");
    if (!file || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0) {
        throw Error("cannot write the record file '" + path_ +
                    "': " + platform::win::Win32Reason(GetLastError()));
    }
}

}  // namespace seedwell::twao_com
