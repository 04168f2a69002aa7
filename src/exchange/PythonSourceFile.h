#pragma once
#include <string>

namespace Conflux
{
/// The whole text of a Python controller's source file. A file that cannot be opened or read (a
/// folder included) throws std::runtime_error "Unable to read : " followed by the path: the one
/// text that generation and checking give for it. The path is UTF-8 whatever the locale.
std::string readPythonSourceFile(const std::string& path);
} // namespace Conflux
