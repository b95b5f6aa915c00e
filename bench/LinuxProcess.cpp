#include "LinuxProcess.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "framework/UniqueHandle.h"

namespace {
// Linux reports times in clock ticks of 1/100 s on every architecture Wine runs on.
constexpr double kTicksPerSecond = 100;

std::string ProcFile(int pid, const char* name) {
    char path[64];
    std::snprintf(path, sizeof path, "Z:\\proc\\%d\\%s", pid, name);
    std::string text;
    UniqueFile file(std::fopen(path, "rb"));
    if (!file) return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, n);
    return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}
}  // namespace

int FindLinuxProcess(const std::wstring& windowsExe) {
    std::string wanted(windowsExe.begin(), windowsExe.end());  // the benchmark's paths are ASCII
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int found = 0;
    do {
        int pid = std::atoi(entry.cFileName);
        if (pid <= 0) continue;
        std::string commandLine = ProcFile(pid, "cmdline");
        std::string first = commandLine.substr(0, commandLine.find('\0'));
        if (SameIgnoringCase(first, wanted)) found = pid;
    } while (!found && FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

double LinuxCpuSeconds(int pid) {
    std::string stat = ProcFile(pid, "stat");
    size_t name = stat.rfind(')');  // the name in parentheses may hold blanks
    if (name == std::string::npos) return -1;
    unsigned long long user = 0, system = 0;
    // After the name: state, ppid, pgrp, session, tty, tpgid, flags, minflt,
    // cminflt, majflt, cmajflt, then utime and stime.
    if (std::sscanf(stat.c_str() + name + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                    &system) != 2) {
        return -1;
    }
    return static_cast<double>(user + system) / kTicksPerSecond;
}

long LinuxResidentKb(int pid) {
    std::string status = ProcFile(pid, "status");
    size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}
