// Conversions between SQL Server types with SQL Server's checks: range, precision, length, date
// syntax. Every INSERT, UPDATE, bulk row, CAST/CONVERT and implicit conversion goes through here,
// so the error numbers of a refused value are decided in one place.
#pragma once

#include <string>

#include "eng_datetime.h"
#include "eng_decimal.h"
#include "engine.h"

namespace mssim {

struct conv_opts {
  bool explicit_ = false;     // CAST/CONVERT: strings truncate silently, more conversions allowed
  bool ansi_warnings = true;  // OFF: too long strings are cut instead of raising 8152
  date_order order = date_order::mdy;
  int style = 0;  // CONVERT style
};

// `v` of type `from` as a value of type `to`. Throws sql_error (245, 8114, 8115, 220, 244, 248,
// 241, 242, 8152, 257, 529, 8169, 206, ...). NULL stays NULL.
value convert(const value& v, const type_desc& from, const type_desc& to, const conv_opts& o);

// Whether SQL Server converts `from` to `to` without CAST (false: 257/206/529 when attempted).
bool implicit_allowed(const type_desc& from, const type_desc& to);

dec to_dec(const value& v);  // numeric, i64 or f64 values
value from_dec(const dec& d);

// The value as SQL Server prints it in messages (duplicate key values): numbers plainly, strings
// unquoted, dates in ISO form, NULL as <NULL>.
std::u16string display_text(const value& v, const type_desc& t);

// Character text of a value for string conversion with CONVERT `style`.
std::u16string to_text(const value& v, const type_desc& from, int style);

// varchar keeps the characters of its code page (Windows-1252); others become '?'.
std::u16string to_code_page(const std::u16string& s);
std::string guid_text_to_wire(const std::u16string& s, bool& ok);  // "6F9619FF-8B86-..." / {...}
std::u16string guid_wire_to_text(const std::string& wire);

}  // namespace mssim
