// Small helpers shared by the engine: case-insensitive names, number texts, UTF-16 literals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mssim {

// Names compare as SQL Server's default collation does: case-insensitively. fold() gives the
// key under which a name is looked up.
std::u16string fold(std::u16string_view s);
bool ieq(std::u16string_view a, std::u16string_view b);
bool ieq_ascii(std::u16string_view a, const char* b);  // `b` is upper or lower ASCII
std::u16string upper(std::u16string_view s);
std::u16string lower(std::u16string_view s);

std::u16string u16(std::string_view ascii);  // ASCII/UTF-8 literal to UTF-16
std::u16string num(int64_t v);
std::u16string rtrim_spaces(std::u16string_view s);

// `]` doubled, in brackets, as QUOTENAME does.
std::u16string bracket(std::u16string_view name);

}  // namespace mssim
