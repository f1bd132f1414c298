#include "support/CommandLine.h"

const char* SkipProgramName(const char* commandLine)
{
    const char* at = commandLine != nullptr ? commandLine : "";
    for (bool quoted = false; *at != '\0' && (quoted || (*at != ' ' && *at != '\t')); ++at) {
        if (*at == '"')
            quoted = !quoted;
    }
    while (*at == ' ' || *at == '\t')
        ++at;
    return at;
}
