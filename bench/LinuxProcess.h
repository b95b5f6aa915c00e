#pragma once
// The Linux side of a program running under Wine. Wine's GetProcessTimes gives
// zero user and kernel time for any process but the caller, so CPU time comes
// from Linux: each Wine process is a Linux process whose command line starts
// with its Windows path, and /proc (seen through drive Z:, the root) has its times.
#include <string>

// The Linux process id of the Wine process started from windowsExe, or 0.
int FindLinuxProcess(const std::wstring& windowsExe);

// User + system time of all its threads, in seconds; negative when it cannot be read.
double LinuxCpuSeconds(int pid);

// Its resident set as Linux counts it, in KB (VmRSS); negative when it cannot be read.
long LinuxResidentKb(int pid);
