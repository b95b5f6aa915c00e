#pragma once
#include <string>

// The reversible scrambling of stored credentials and of key-value entries
// marked with "&". Texts longer than 199 units are cut to 199 on both ways.
constexpr std::size_t kScrambleMaxUnits = 199;

// Scrambled form: Base64 of the key-masked units, first and third character exchanged.
std::wstring ScrambleText(const wchar_t* text);
// Inverse of ScrambleText; lenient about anything outside the Base64 alphabet.
// The result ends at the first NUL unit.
std::wstring UnscrambleText(const wchar_t* text);
