#pragma once
#include "host/entitymodel/Attribute.h"
#include "host/entitymodel/DoubleAttribute.h"

#include <memory>
#include <utility>
#include <vector>

namespace EntityModel
{
/// A curve: points (x, y) in standard units, x increasing, each axis with a unit attribute.
/// Its scalar value (standardVal) is y at x = 0, interpolated linearly and held constant beyond
/// the end points; a curve without points has the value 0. Its text form is "x1:y1;x2:y2;...".
class CurveAttribute : public Attribute
{
public:
    using Point = std::pair<double, double>;

    explicit CurveAttribute(std::shared_ptr<const AttributeDefinition> definition);
    ~CurveAttribute() override;

    AttributeKind kind() const override { return AttributeKind::Curve; }
    void accept(AttributeVisitor& visitor) override;
    double standardVal() const override;
    std::string getValue() const override;
    /// Reads "x1:y1;x2:y2"; false for malformed text, non-finite numbers or x not increasing.
    bool setValueFromString(const std::string& text) override;

    const std::vector<Point>& getPoints() const;
    /// Replaces the points; false (unchanged) when x is not strictly increasing or a value is not finite.
    bool setPoints(std::vector<Point> points);
    /// y at x, interpolated linearly, constant beyond the ends (0 without points).
    double valueAt(double x) const;

    UnitTypeAttribute* getXUnit() const { return xUnit_.get(); }
    UnitTypeAttribute* getYUnit() const { return yUnit_.get(); }

private:
    std::vector<Point> points_;
    std::unique_ptr<UnitTypeAttribute> xUnit_;
    std::unique_ptr<UnitTypeAttribute> yUnit_;
};
} // namespace EntityModel
