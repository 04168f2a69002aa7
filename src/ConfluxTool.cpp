// The library's version, so a loaded ConfluxTool can be told apart from another build.
namespace Conflux
{
const char* version() { return "0.1.0"; }
} // namespace Conflux
