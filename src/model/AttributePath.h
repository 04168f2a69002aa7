#pragma once
#include <compare>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace Conflux::Model
{
/// A path in the exchange model: a sequence of node names. Its text form puts "." between the
/// names; a "." or "\" inside a name is written with a "\" in front, so that text and path
/// convert both ways.
class AttributePath
{
public:
    AttributePath() = default;
    AttributePath(std::initializer_list<std::string> names);
    explicit AttributePath(std::vector<std::string> names);
    /// Parses the text form; an empty text is the empty path.
    explicit AttributePath(const std::string& text);
    explicit AttributePath(const char* text) : AttributePath(std::string(text)) {}

    std::string toString() const;
    /// Appends the text form to `text` (what toString gives, without a string of its own).
    void appendTo(std::string& text) const;
    std::size_t size() const { return m_names.size(); }
    bool empty() const { return m_names.empty(); }
    const std::string& front() const { return m_names.front(); }
    const std::string& back() const { return m_names.back(); }
    const std::string& operator[](std::size_t index) const { return m_names[index]; }
    /// `count` names from `first` (clipped to the path's end).
    AttributePath subPath(std::size_t first, std::size_t count = std::string::npos) const;
    /// This path followed by `name`.
    AttributePath operator/(const std::string& name) const;
    AttributePath operator/(const AttributePath& tail) const;
    bool startsWith(const AttributePath& head) const;

    std::vector<std::string>::const_iterator begin() const { return m_names.begin(); }
    std::vector<std::string>::const_iterator end() const { return m_names.end(); }
    const std::vector<std::string>& names() const { return m_names; }

    bool operator==(const AttributePath&) const = default;
    std::strong_ordering operator<=>(const AttributePath& other) const { return m_names <=> other.m_names; }

private:
    std::vector<std::string> m_names;
};
} // namespace Conflux::Model
