#pragma once
#include "src/model/IAttributeImplCommon.h"

// A controller's get and set run as one piece of code: the adapter, the checks, the value and the
// log are inlined into each value operation.
#if defined(__GNUC__)
#define CONFLUX_SDK_HOT_PATH [[gnu::flatten]]
#else
#define CONFLUX_SDK_HOT_PATH
#endif

namespace Conflux::Model
{
template <class T> class ValueAttribute;

/// The SDK adapter of a node presenting interface I; specialised per interface.
template <class I>
class IAttributeImpl;

/// The SDK adapter of a value attribute. Every call clears the last message, runs the node's
/// checked operation and turns exceptions into status codes; doubles cross in double precision.
///
/// Values go straight to the value attribute's own checked read and write, which take the unit
/// as C text: a controller's get and set allocate nothing and cost little more than a virtual
/// call. The operations are defined with ValueAttribute, where they are instantiated.
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
    explicit IAttributeImpl(ValueAttribute<T>* attribute);

    CONFLUX_SDK_HOT_PATH Status getStringValue(TesseraSDK::IString& value,
                                               Chronology chronology) const override;
    CONFLUX_SDK_HOT_PATH Status setStringValue(const char* value, const char* unit,
                                               Chronology chronology) override;
    CONFLUX_SDK_HOT_PATH Status getFloatValue(float* value, Chronology chronology) const override;
    CONFLUX_SDK_HOT_PATH Status setFloatValue(float value, const char* unit, Chronology chronology) override;
    CONFLUX_SDK_HOT_PATH Status getDoubleValue(double* value, Chronology chronology) const override;
    CONFLUX_SDK_HOT_PATH Status setDoubleValue(double value, const char* unit,
                                               Chronology chronology) override;
    CONFLUX_SDK_HOT_PATH Status getIntValue(int* value, Chronology chronology) const override;
    CONFLUX_SDK_HOT_PATH Status setIntValue(int value, const char* unit, Chronology chronology) override;
    CONFLUX_SDK_HOT_PATH Status getBoolValue(bool* value, Chronology chronology) const override;
    CONFLUX_SDK_HOT_PATH Status setBoolValue(bool value, const char* unit, Chronology chronology) override;
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

private:
    ValueAttribute<T>& node() const;
};
} // namespace Conflux::Model
