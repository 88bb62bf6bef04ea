#include <cstdio>
#include <cstring>

#include "framework/datetime.h"
#include "framework/text.h"
#include "system/log.h"
#include "system/platform_calls.h"

void AppendLogLine(const std::string &text) {
    // Text mode: the line feed becomes CR LF on Windows. One open, append and close
    // per line, so the scheduler's and the service host's lines interleave in
    // writing order.
    FILE *file = fopen(LogFilePath().c_str(), "a+");
    if (!file)
        return;
    const CTime now = CTime::GetCurrentTime();
    const std::string date =
        StrFormat("%02d/%02d/%02d", now.GetMonth(), now.GetDay(), now.GetYear() % 100);
    const std::string time =
        StrFormat("%02d:%02d:%02d", now.GetHour(), now.GetMinute(), now.GetSecond());
    const char *body = text.c_str();
    const size_t length = strlen(body);
    fprintf(file, "%s %s: %s", date.c_str(), time.c_str(), body);
    if (length == 0 || body[length - 1] != '\n')
        fputc('\n', file);
    fclose(file);
}
