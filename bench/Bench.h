#pragma once
// The measurements of kelda_bench.exe; each prints its figures next to their yardstick and
// whether they meet their aim, and gives the exit code (0: measured, whatever the verdict).
#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

int StartupTime(int runs, const std::wstring& program, const std::wstring& yardstick);
int IdleCost(int seconds, const std::wstring& program, const std::wstring& yardstick);
int FreezeTime(int presses, const std::wstring& program);
int DownloadSpeed(int megabytes, int runs);
int UpdateWindowTime(int runs, const std::wstring& program, const std::wstring& yardstick);

double Now();  // seconds on the performance counter
double Median(std::vector<double> values);
void Aim(const char* aim, bool met);
std::wstring ProgramCaption();  // the frame's caption: the program's name and the build's version
