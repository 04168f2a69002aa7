#pragma once
// Where the bundled sample project is: beside an installed confluxtool, or in the source tree it
// was built from.
#include <string>

namespace ConfluxCli
{
/// The sample project's file, or empty when neither place has it. An installed confluxtool finds it
/// under ../share/confluxtool/examples of its own folder, so a moved installation keeps working;
/// a confluxtool run from its build folder uses the source tree's examples/.
std::string bundledSample();
} // namespace ConfluxCli
