#include <cstdio>

// Placeholder entry point; the command line arrives with the CLI core.
int main()
{
    std::printf("kovru-cli\n");
    return 0;
}
