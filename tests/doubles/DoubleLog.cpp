// The call log; whether files are open is the backend's (OpenFiles*.cpp).
#include "DoubleLog.h"

#include <stdio.h>
#include <stdlib.h>

namespace doubles {

void Log(const std::string& line)
{
    const char* path = getenv("QV_DOUBLE_LOG");
    if (!path || !*path)
        return;
    if (FILE* f = fopen(path, "a")) {
        fprintf(f, "%s\n", line.c_str());
        fclose(f);
    }
}

std::string OpenFiles()
{
    return std::string(" input=") + (IsOpen("QV_DOUBLE_INPUT") ? "1" : "0") +
           " output=" + (IsOpen("QV_DOUBLE_OUTPUT") ? "1" : "0");
}

}  // namespace doubles
