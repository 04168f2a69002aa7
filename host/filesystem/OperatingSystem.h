#pragma once
// Utilities::OperatingSystem: the platforms whose controller libraries a project names.

namespace Utilities
{
enum class OperatingSystem : int
{
    Windows = 1,
    Linux = 2,
};

/// The platform this program was built for.
constexpr OperatingSystem currentOperatingSystem()
{
#ifdef _WIN32
    return OperatingSystem::Windows;
#else
    return OperatingSystem::Linux;
#endif
}
} // namespace Utilities
