#pragma once
#include <deque>
#include <string>

// In-memory form of the small key-value files from the provider's server:
// ordered sections of ordered entries, looked up exactly (case-sensitive).
struct KeyValueEntry {
    std::wstring key;
    std::wstring value;      // as stored: the scrambled form when `scrambled`
    bool scrambled = false;  // unscrambled whenever the value is read
};

struct KeyValueSection {
    std::wstring name;
    std::deque<KeyValueEntry> entries;  // a deque: appending never moves an entry
};

class KeyValueDocument {
public:
    // Pointers handed out stay valid until Clear() or destruction.
    void Clear();
    const std::deque<KeyValueSection>& sections() const { return sections_; }

    KeyValueSection* FindSection(const wchar_t* name);
    // A null name means the unnamed section "".
    KeyValueSection* GetOrAddSection(const wchar_t* name = nullptr);
    static KeyValueEntry* FindEntry(KeyValueSection* section, const wchar_t* key);
    // Replaces an existing entry's value and flag in place, or appends a new one;
    // a null section does nothing. The value is stored exactly as given.
    static void SetEntry(KeyValueSection* section, const std::wstring& key, const std::wstring& value,
                         bool scrambled);

    // A null section name means "". False, with `out` untouched, when the
    // section or the key is missing.
    bool GetValue(const wchar_t* sectionName, const wchar_t* key, std::wstring& out);
    // The value's leading decimal number (sign, digits, one point, exponent),
    // 0 when it has none, `defaultValue` when the section or the key is missing.
    double GetNumber(const wchar_t* sectionName, const wchar_t* key, double defaultValue);

    // Reads a key-value text file; false when it cannot be opened.
    bool LoadFile(const wchar_t* path, bool clearFirst);

private:
    std::deque<KeyValueSection> sections_;
};
