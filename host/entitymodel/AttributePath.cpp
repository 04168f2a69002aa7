#include "host/entitymodel/AttributePath.h"

#include <algorithm>

namespace EntityModel
{
AttributePath::AttributePath(TypeRef element)
{
    if (!element.empty())
        elements_.push_back(element);
}

AttributePath::AttributePath(const char* dotted) : AttributePath(std::string_view(dotted ? dotted : ""), '.')
{
}

AttributePath::AttributePath(const std::string& dotted) : AttributePath(std::string_view(dotted), '.') {}

AttributePath::AttributePath(std::string_view dotted, char separator)
{
    std::size_t start = 0;
    while (start <= dotted.size())
    {
        std::size_t end = dotted.find(separator, start);
        if (end == std::string_view::npos)
            end = dotted.size();
        if (end > start)
            elements_.emplace_back(dotted.substr(start, end - start));
        start = end + 1;
    }
}

AttributePath::AttributePath(std::initializer_list<TypeRef> elements)
{
    for (auto e : elements)
        if (!e.empty())
            elements_.push_back(e);
}

AttributePath::AttributePath(std::vector<TypeRef> elements) : elements_(std::move(elements))
{
    std::erase_if(elements_, [](TypeRef t) { return t.empty(); });
}

TypeRef AttributePath::front() const
{
    return elements_.empty() ? TypeRef() : elements_.front();
}

TypeRef AttributePath::back() const
{
    return elements_.empty() ? TypeRef() : elements_.back();
}

std::string AttributePath::toString(char separator) const
{
    std::string text;
    for (std::size_t i = 0; i < elements_.size(); ++i)
    {
        if (i > 0)
            text += separator;
        text += elements_[i].getLabel();
    }
    return text;
}

bool AttributePath::startsWith(const AttributePath& prefix) const
{
    return prefix.size() <= size() && std::equal(prefix.begin(), prefix.end(), elements_.begin());
}

bool AttributePath::contains(TypeRef element) const
{
    return std::find(elements_.begin(), elements_.end(), element) != elements_.end();
}

bool AttributePath::contains(const AttributePath& part) const
{
    if (part.empty())
        return true;
    return std::search(elements_.begin(), elements_.end(), part.begin(), part.end()) != elements_.end();
}

AttributePath AttributePath::withoutFront(std::size_t n) const
{
    AttributePath result;
    if (n < elements_.size())
        result.elements_.assign(elements_.begin() + static_cast<std::ptrdiff_t>(n), elements_.end());
    return result;
}

AttributePath AttributePath::parent() const
{
    AttributePath result = *this;
    if (!result.elements_.empty())
        result.elements_.pop_back();
    return result;
}

AttributePath& AttributePath::append(TypeRef element)
{
    if (!element.empty())
        elements_.push_back(element);
    return *this;
}

AttributePath& AttributePath::append(const AttributePath& tail)
{
    elements_.insert(elements_.end(), tail.begin(), tail.end());
    return *this;
}

std::strong_ordering operator<=>(const AttributePath& a, const AttributePath& b)
{
    return std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end());
}

AttributePath operator/(const AttributePath& head, const AttributePath& tail)
{
    AttributePath result = head;
    result.append(tail);
    return result;
}
} // namespace EntityModel
