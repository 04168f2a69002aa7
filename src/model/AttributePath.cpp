#include "src/model/AttributePath.h"

#include <algorithm>

namespace Conflux::Model
{
AttributePath::AttributePath(std::initializer_list<std::string> names) : m_names(names) {}

AttributePath::AttributePath(std::vector<std::string> names) : m_names(std::move(names)) {}

AttributePath::AttributePath(const std::string& text)
{
    if (text.empty())
        return;
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size())
            name += text[++i];
        else if (c == '.')
        {
            m_names.push_back(std::move(name));
            name.clear();
        }
        else
            name += c;
    }
    m_names.push_back(std::move(name));
}

std::string AttributePath::toString() const
{
    std::string text;
    appendTo(text);
    return text;
}

void AttributePath::appendTo(std::string& text) const
{
    for (std::size_t i = 0; i < m_names.size(); ++i)
    {
        if (i > 0)
            text += '.';
        for (char c : m_names[i])
        {
            if (c == '.' || c == '\\')
                text += '\\';
            text += c;
        }
    }
}

AttributePath AttributePath::subPath(std::size_t first, std::size_t count) const
{
    if (first >= m_names.size())
        return {};
    const std::size_t last = count >= m_names.size() - first ? m_names.size() : first + count;
    return AttributePath(std::vector<std::string>(m_names.begin() + static_cast<std::ptrdiff_t>(first),
                                                  m_names.begin() + static_cast<std::ptrdiff_t>(last)));
}

AttributePath AttributePath::operator/(const std::string& name) const
{
    AttributePath result = *this;
    result.m_names.push_back(name);
    return result;
}

AttributePath AttributePath::operator/(const AttributePath& tail) const
{
    AttributePath result = *this;
    result.m_names.insert(result.m_names.end(), tail.m_names.begin(), tail.m_names.end());
    return result;
}

bool AttributePath::startsWith(const AttributePath& head) const
{
    return head.size() <= size() && std::equal(head.m_names.begin(), head.m_names.end(), m_names.begin());
}
} // namespace Conflux::Model
