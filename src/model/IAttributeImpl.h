#pragma once
#include "src/model/IAttributeImplCommon.h"

namespace Conflux::Model
{
/// The SDK adapter of a node presenting interface I; specialised per interface.
template <class I>
class IAttributeImpl;

/// The SDK adapter of a value attribute. Every call clears the last message, forwards to the
/// node's checked operation and turns exceptions into status codes; doubles cross in double
/// precision.
template <class T>
class IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>
    : public IAttributeImplCommon<TesseraSDK::Model::IValueAttribute<T>>
{
    using Common = IAttributeImplCommon<TesseraSDK::Model::IValueAttribute<T>>;
    using Status = TesseraSDK::Status;
    using Chronology = TesseraSDK::Chronology;
    using Common::assign;
    using Common::out;

public:
    explicit IAttributeImpl(Attribute* attribute) : Common(attribute) {}

    Status getStringValue(TesseraSDK::IString& value, Chronology chronology) const override
    {
        return this->call([&] { assign(value, IAttributeImplBase::getStringValue(chronology)); });
    }
    Status setStringValue(const char* value, const char* unit, Chronology chronology) override
    {
        return this->call(
            [&] { IAttributeImplBase::setStringValue(detail::text(value), detail::text(unit), chronology); });
    }
    Status getFloatValue(float* value, Chronology chronology) const override
    {
        return out(value, [&] { *value = IAttributeImplBase::getFloatValue(chronology); });
    }
    Status setFloatValue(float value, const char* unit, Chronology chronology) override
    {
        return this->call([&] { IAttributeImplBase::setFloatValue(value, detail::text(unit), chronology); });
    }
    Status getDoubleValue(double* value, Chronology chronology) const override
    {
        return out(value, [&] { *value = IAttributeImplBase::getDoubleValue(chronology); });
    }
    Status setDoubleValue(double value, const char* unit, Chronology chronology) override
    {
        return this->call([&] { IAttributeImplBase::setDoubleValue(value, detail::text(unit), chronology); });
    }
    Status getIntValue(int* value, Chronology chronology) const override
    {
        return out(value, [&] { *value = IAttributeImplBase::getIntValue(chronology); });
    }
    Status setIntValue(int value, const char* unit, Chronology chronology) override
    {
        return this->call([&] { IAttributeImplBase::setIntValue(value, detail::text(unit), chronology); });
    }
    Status getBoolValue(bool* value, Chronology chronology) const override
    {
        return out(value, [&] { *value = IAttributeImplBase::getBoolValue(chronology); });
    }
    Status setBoolValue(bool value, const char* unit, Chronology chronology) override
    {
        return this->call([&] { IAttributeImplBase::setBoolValue(value, detail::text(unit), chronology); });
    }
    Status hasValue(bool* result, Chronology chronology) const override
    {
        return out(result, [&] { *result = IAttributeImplBase::hasValue(chronology); });
    }
    Status hasUnits(bool* result) const override
    {
        return out(result, [&] { *result = IAttributeImplBase::hasUnits(); });
    }
    Status getUnit(TesseraSDK::IString& unit) const override
    {
        return this->call([&] { assign(unit, IAttributeImplBase::getUnit()); });
    }
    Status getAccessType(TesseraSDK::AccessType* access) const override
    {
        return out(access, [&] { *access = IAttributeImplBase::getAccessType(); });
    }

};
} // namespace Conflux::Model
