#pragma once

// The stand-in's records: one tab-separated file per kind in <data directory>\Config\, with a
// header line and the columns that `twao list` shows.

#include <string>
#include <vector>

namespace seedwell::twao_com {

using Row = std::vector<std::string>;

/// One file of records, read whole and written back whole.
class RecordFile {
  public:
    /// Reads `<data directory>\Config\<name>` (a file that is missing holds no records). The
    /// data directory is the registry's. Throws seedwell::Error naming the path when it cannot
    /// be read or its header is not `header`.
    RecordFile(const std::string& name, const std::string& header);
    /// Writes the records back. Throws seedwell::Error naming the path when that fails.
    void Save() const;

    std::vector<Row> rows;

  private:
    std::string path_;
    std::string header_;
    std::size_t columns_;
};

/// Field escaping as `twao list` does it: tab, CR, LF and backslash as \t, \r, \n and \\.
std::string Unescape(const std::string& text);

}  // namespace seedwell::twao_com
