#include "settings/KeyValueDocument.h"

#include <charconv>
#include <cmath>
#include <string>

#include "settings/Scramble.h"

namespace {
bool SameText(const std::wstring& text, const wchar_t* other) {
    return text == (other ? other : L"");
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsWhiteSpace(wchar_t c) { return (c >= L'\t' && c <= L'\r') || c == L' ' || c == 0xA0; }

// Only the plain decimal form counts: no hexadecimal, "inf" or "nan", and the
// point is the separator whatever the locale. The checked digits go to
// from_chars, which is locale-independent and rounds correctly.
double ParseLeadingDecimal(const std::wstring& text) {
    std::size_t i = 0, n = text.size();
    while (i < n && IsWhiteSpace(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';

    std::string number;
    long long magnitude = 0;  // decimal position of the first nonzero digit, for out-of-range results
    bool seenNonzero = false, seenPoint = false;
    std::size_t digits = 0;
    for (; i < n; ++i) {
        wchar_t c = text[i];
        if (c == L'.' && !seenPoint) {
            seenPoint = true;
        } else if (IsDigit(c)) {
            ++digits;
            if (c != L'0') seenNonzero = true;
            if (!seenPoint && seenNonzero) ++magnitude;
            if (seenPoint && !seenNonzero) --magnitude;
        } else {
            break;
        }
        number.push_back(static_cast<char>(c));
    }
    if (digits == 0) return 0.0;

    if (i < n && (text[i] == L'e' || text[i] == L'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < n && (text[j] == L'+' || text[j] == L'-')) negativeExponent = text[j++] == L'-';
        if (j < n && IsDigit(text[j])) {
            number.push_back('e');
            if (negativeExponent) number.push_back('-');
            long long exponent = 0;
            for (; j < n && IsDigit(text[j]); ++j) {
                number.push_back(static_cast<char>(text[j]));
                if (exponent < 1000000) exponent = exponent * 10 + (text[j] - L'0');
            }
            magnitude += negativeExponent ? -exponent : exponent;
        }
    }

    double value = 0.0;
    auto result = std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) value = magnitude > 0 ? HUGE_VAL : 0.0;
    return negative ? -value : value;
}
}  // namespace

void KeyValueDocument::Clear() { sections_.clear(); }

KeyValueSection* KeyValueDocument::FindSection(const wchar_t* name) {
    for (KeyValueSection& section : sections_) {
        if (SameText(section.name, name)) return &section;
    }
    return nullptr;
}

KeyValueSection* KeyValueDocument::GetOrAddSection(const wchar_t* name) {
    if (KeyValueSection* found = FindSection(name)) return found;
    sections_.push_back(KeyValueSection{name ? name : L"", {}});
    return &sections_.back();
}

KeyValueEntry* KeyValueDocument::FindEntry(KeyValueSection* section, const wchar_t* key) {
    if (!section) return nullptr;
    for (KeyValueEntry& entry : section->entries) {
        if (SameText(entry.key, key)) return &entry;
    }
    return nullptr;
}

void KeyValueDocument::SetEntry(KeyValueSection* section, const std::wstring& key, const std::wstring& value,
                                bool scrambled) {
    if (!section) return;
    for (KeyValueEntry& entry : section->entries) {
        if (entry.key == key) {
            entry.value = value;
            entry.scrambled = scrambled;
            return;
        }
    }
    section->entries.push_back(KeyValueEntry{key, value, scrambled});
}

bool KeyValueDocument::GetValue(const wchar_t* sectionName, const wchar_t* key, std::wstring& out) {
    const KeyValueEntry* entry = FindEntry(FindSection(sectionName), key);
    if (!entry) return false;
    out = entry->scrambled ? UnscrambleText(entry->value.c_str()) : entry->value;
    return true;
}

double KeyValueDocument::GetNumber(const wchar_t* sectionName, const wchar_t* key, double defaultValue) {
    std::wstring value;
    if (!GetValue(sectionName, key, value)) return defaultValue;
    return ParseLeadingDecimal(value);
}
