#include "host/entitymodel/CurveAttribute.h"

#include "host/entitymodel/AttributeVisitor.h"

#include <charconv>
#include <cmath>

namespace EntityModel
{
namespace
{
bool parseNumber(std::string_view text, double& value)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool validPoints(const std::vector<CurveAttribute::Point>& points)
{
    for (std::size_t i = 0; i < points.size(); ++i)
    {
        if (!std::isfinite(points[i].first) || !std::isfinite(points[i].second))
            return false;
        if (i > 0 && !(points[i].first > points[i - 1].first))
            return false;
    }
    return true;
}
} // namespace

CurveAttribute::CurveAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition))
{
    const auto& d = getDefinition();
    if (!d.xQuantity.empty())
        xUnit_ = std::make_unique<UnitTypeAttribute>(d.xQuantity, d.xUnit);
    if (!d.quantity.empty())
        yUnit_ = std::make_unique<UnitTypeAttribute>(d.quantity, d.unit);
    if (!d.defaultValue.empty())
        setValueFromString(d.defaultValue);
}

CurveAttribute::~CurveAttribute() = default;

void CurveAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

double CurveAttribute::standardVal() const
{
    return valueAt(0.0);
}

std::string CurveAttribute::getValue() const
{
    std::string text;
    for (const auto& [x, y] : getPoints())
    {
        if (!text.empty())
            text += ';';
        text += DoubleAttribute::format(x) + ':' + DoubleAttribute::format(y);
    }
    return text;
}

bool CurveAttribute::setValueFromString(const std::string& text)
{
    std::vector<Point> points;
    std::string_view rest(text);
    while (!rest.empty())
    {
        std::size_t end = rest.find(';');
        std::string_view item = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        std::size_t colon = item.find(':');
        Point p;
        if (colon == std::string_view::npos || !parseNumber(item.substr(0, colon), p.first) ||
            !parseNumber(item.substr(colon + 1), p.second))
            return false;
        points.push_back(p);
    }
    return setPoints(std::move(points));
}

const std::vector<CurveAttribute::Point>& CurveAttribute::getPoints() const
{
    ensureComputed();
    return points_;
}

bool CurveAttribute::setPoints(std::vector<Point> points)
{
    if (!validPoints(points))
        return false;
    points_ = std::move(points);
    valueChanged();
    return true;
}

double CurveAttribute::valueAt(double x) const
{
    const auto& points = getPoints();
    if (points.empty())
        return 0.0;
    if (x <= points.front().first)
        return points.front().second;
    if (x >= points.back().first)
        return points.back().second;
    for (std::size_t i = 1; i < points.size(); ++i)
        if (x <= points[i].first)
        {
            const auto& [x0, y0] = points[i - 1];
            const auto& [x1, y1] = points[i];
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
        }
    return points.back().second;
}
} // namespace EntityModel
