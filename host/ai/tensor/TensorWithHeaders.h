#pragma once
#include "host/ai/tensor/Tensor.h"

#include <cstdint>
#include <string>
#include <vector>

namespace AISystem
{
/// A two-dimensional tensor (rows are cases) with one header per column, read from and written
/// to comma-separated files (RFC 4180: fields with commas, quotes or line breaks are quoted,
/// quotes doubled). Numbers are written so that they read back exactly.
class TensorWithHeaders
{
public:
    TensorWithHeaders() = default;
    /// Headers may be empty (no header row); otherwise one per column, else
    /// std::invalid_argument naming both counts.
    TensorWithHeaders(Tensor tensor, std::vector<std::string> headers);

    /// Reads a file; with `hasHeaders` the first record holds the headers. Blank lines are
    /// skipped. Throws std::runtime_error naming the file, line and column for a ragged row, a
    /// cell that is no number, an unterminated quote, or a file that cannot be read.
    static TensorWithHeaders fromCSVFile(const std::string& path, TensorElementType type, bool hasHeaders);
    /// Reads the text of a file as fromCSVFile does; `name` stands for the file in messages.
    static TensorWithHeaders fromCSVText(const std::string& text, const std::string& name,
                                         TensorElementType type, bool hasHeaders);
    /// Writes the file (header row first when there are headers); false when it cannot be written.
    bool toCSVFile(const std::string& path) const;

    const Tensor& getTensor() const { return m_tensor; }
    const std::vector<std::string>& getHeaders() const { return m_headers; }
    std::int64_t getColumnCount() const;
    /// Column i as a {rows, 1} tensor; throws std::out_of_range naming index and count.
    Tensor getColumn(std::int64_t index) const;
    /// Index of the first column with this header, or -1.
    std::int64_t findColumn(const std::string& header) const;

private:
    Tensor m_tensor;
    std::vector<std::string> m_headers;
};
} // namespace AISystem
