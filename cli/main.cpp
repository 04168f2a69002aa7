// confluxtool: runs ConfluxTool's main jobs on a project file.
#include <cstdio>
#include <cstring>

static const char* const usage = "Usage: confluxtool [--help] COMMAND [ARGS]\n";

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0)
    {
        std::fputs(usage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    std::fprintf(stderr, "confluxtool: unknown command '%s'\n%s", argv[1], usage);
    return 2;
}
