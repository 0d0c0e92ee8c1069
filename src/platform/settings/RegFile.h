#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// A registry export in the REGEDIT4 text format, the settings file's format:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Spinlorex]
//   "Skin"="Night \"blue\""
//   "ToolTip"=dword:00000001
//   "Column Sizes"=hex:c3,00,00,00,80,00,00,00,2e,00,00,00,9a,00,00,00,fb,00,00,00,<BS>
//     95,00,00,00
//
// where <BS> stands for the backslash that carries a long hex list on to the next line.
// A value is a name, a registry type and its data as the registry holds it: a string
// with its terminating zero, a DWORD as 4 little-endian bytes. Besides the three forms
// above, "hex(N):" gives the data of any type N (a string with line breaks is written as
// hex(1)), "@" names a key's default value and "Name"=- removes a value.
//
// Reading never fails: a line that is not understood is skipped, so one damaged line
// costs only its own value. Names of values and keys are compared without case.

namespace spinlorex::reg {

enum Type : uint32_t {
    kString = 1,  // REG_SZ
    kBinary = 3,  // REG_BINARY
    kDword = 4,   // REG_DWORD
};

struct Value {
    std::string name;
    uint32_t type = kBinary;
    std::vector<uint8_t> data;
};

struct Key {
    std::string path;  // e.g. "HKEY_LOCAL_MACHINE\Software\Spinlorex"
    std::vector<Value> values;

    const Value* find(std::string_view name) const;
    // Replaces the value of that name (in place) or appends it.
    void set(Value value);
    void remove(std::string_view name);
};

struct File {
    std::deque<Key> keys;  // in file order, each path once; adding keeps references valid

    Key* find(std::string_view path);
    const Key* find(std::string_view path) const;
    Key& findOrAdd(std::string_view path);
};

bool equalNoCase(std::string_view a, std::string_view b);

Value stringValue(std::string name, std::string_view text);
Value dwordValue(std::string name, uint32_t value);
Value binaryValue(std::string name, std::vector<uint8_t> data);

// Values that come before the first key header are given to `defaultKey`.
File parse(std::string_view text, std::string_view defaultKey);
std::string format(const File& file);

}  // namespace spinlorex::reg
