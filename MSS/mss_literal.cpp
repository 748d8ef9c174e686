#include "mss_literal.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "mss_msgs.h"
#include "mss_vali.h"
#include "ole_date.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

constexpr const char* source_name = "mss_tab";

using u128 = unsigned __int128;

u128 pow10(int n) {
  u128 r = 1;
  while (n-- > 0) r *= 10;
  return r;
}

bool is_hex(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string ascii(const char* s, size_t n) { return std::u16string(s, s + n); }

// The text a value is written with. Floating numbers use the shortest text that reads back as the
// same number: the standard text form keeps 16 significant digits of a double (7 of a float),
// and a statement would then store a neighbour of the value the bulk path binds.
std::u16string literal_text(const ole_variant& value) {
  char buf[64];
  if (value.get_type() == VT_R8) {
    auto r = std::to_chars(buf, buf + sizeof buf, value.to_double());
    return ascii(buf, r.ptr - buf);
  }
  if (value.get_type() == VT_R4) {
    auto r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(value.to_double()));
    return ascii(buf, r.ptr - buf);
  }
  return value.to_wstring();
}

std::u16string escape_quotes(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size() + 2);
  for (char16_t c : text) {
    out.push_back(c);
    if (c == u'\'') out.push_back(u'\'');
  }
  return out;
}

int32_t field_scale(const t_ftd* field) { return field->reserved & 0xFF; }
int32_t field_precision(const t_ftd* field) { return (field->reserved >> 8) & 0xFF; }

}  // namespace

ole_variant mssql_get_safe_variant(const ole_variant& value) {
  tk_trace(2, "mssql_get_safe_variant");
  tk_trace(1, "ole_variant::get_type");
  if (value.get_type() == VT_DATE) {
    const SYSTEMTIME st = value.get_systemtime();
    if (st.wYear < 1753 || st.wYear > 9999) {
      tk_trace(1, "Skip date-out-of-range");
      return ole_date("9999-12-30").to_variant();
    }
    return value;
  }
  if (value.get_type() == VT_R8) {
    const double d = value.to_double();
    if (d == 0) return value;
    constexpr double tiny = 2.23e-308;
    constexpr double huge = 1.79e308;
    if (d > 0) {
      if (d <= tiny) return ole_variant(tiny);
      if (d >= huge) return ole_variant(huge);
    } else {
      if (d >= -tiny) return ole_variant(-tiny);
      if (d <= -huge) return ole_variant(-huge);
    }
  }
  return value;
}

ole_variant mss_row_safe_value(const ole_variant& value) {
  if (value.get_type() == VT_DATE) {
    SYSTEMTIME st = value.get_systemtime();
    if (st.wYear < 1753) {
      tk_trace(1, "Found 0000-00-00 date");
      st.wYear = 1899;
      st.wMonth = 12;
      st.wDay = 30;
      return ole_variant(st);
    }
  }
  return mssql_get_safe_variant(value);
}

ole_variant mss_not_null_substitute(const t_ftd& field) {
  const VARTYPE dt = field.default_value.get_type();
  if (dt != VT_EMPTY && dt != VT_NULL) return field.default_value;
  if (field.vartype == VT_BSTR) return ole_variant(std::u16string());
  if (ole_variant::is_blob_type(field.vartype)) return ole_variant(std::vector<uint8_t>());
  if (field.vartype == VT_DATE) {
    SYSTEMTIME st;
    st.wYear = 1900;
    st.wMonth = 1;
    st.wDay = 1;
    return ole_variant(st);
  }
  ole_variant zero(0);
  try {
    zero.change_type(field.vartype);
  } catch (const ole_cast_exception&) {
    return ole_variant();
  }
  return zero;
}

std::u16string to_mssql_str(const std::u16string& text, VARTYPE type) {
  tk_wtrace(2, u"to_mssql_str(%s)", text);
  if (text.empty()) return u"''";
  std::u16string out;
  if (type == VT_DATE) {
    ole_date date(text);
    out = date.to_wstring();
    if (out.find(u"0000-00-00") != std::u16string::npos) {
      tk_trace(1, "Null date has been found");
      tk_wstring::replace_all(out, u"0000-00-00", u"1899-12-30");
    }
    std::u16string compact;
    for (char16_t c : out)
      if (c != u'-') compact.push_back(c);
    return u"'" + escape_quotes(compact) + u"'";
  }
  if (type == VT_BSTR) {
    ole_guid_extractor guid(text);
    // A text that names a GUID is kept whole: written as the GUID alone it would lose the rest of
    // its characters, and the bulk path stores the whole text.
    if (guid.is_found()) tk_trace(1, "BSTR IS AN GUID");
    return u"N'" + escape_quotes(text) + u"'";
  }
  if (ole_variant::is_blob_type(type)) {
    tk_trace(1, "GOT BLOB!!!");
    if (text.size() < 2) return std::u16string();
    ole_guid_extractor guid(text);
    if (guid.is_found()) {
      tk_trace(1, "BLOB IS AN GUID");
      return u"0x" + guid.get_guid_digits();
    }
    if (is_digit(text[0]) && (text[1] == u'x' || text[1] == u'X')) {
      bool hex = text[0] == u'0';
      for (size_t i = 2; hex && i < text.size(); ++i) hex = is_hex(text[i]);
      if (hex) return text;
    } else if (is_digit(text[0]) && is_digit(text[1])) {
      bool digits = true;
      for (size_t i = 2; digits && i < text.size(); ++i) digits = is_digit(text[i]);
      if (digits) return text;
    }
    return u"'" + escape_quotes(text) + u"'";
  }
  return escape_quotes(text);
}

bool dec_is_out_of_range(const ole_variant& value, const t_ftd* field) {
  tk_trace(2, "mss_table::dec_is_out_of_range");
  if (!field || value.get_type() != VT_DECIMAL) throw tk_mail_assertion(source_name, __LINE__);
  const DECIMAL& d = value.get_decimal();
  const int vscale = d.scale;
  const u128 magnitude = (static_cast<u128>(d.hi32) << 64) | d.lo64;
  const int scale = field_scale(field);
  const int precision = field_precision(field);
  // The integer part of the value once rounded (half away from zero) to the column's scale.
  u128 integer_part;
  if (vscale > scale) {
    const u128 unit = pow10(vscale - scale);
    u128 at_scale = magnitude / unit;
    if (magnitude % unit >= unit / 2 + unit % 2) ++at_scale;
    integer_part = at_scale / pow10(scale);
  } else {
    integer_part = magnitude / pow10(vscale);
  }
  int integer_digits = 0;
  for (u128 v = integer_part; v != 0; v /= 10) ++integer_digits;
  tk_trace(1, "Got decimal: %s, scale=%d, prec=%d", value.to_string().c_str(), vscale,
           integer_digits + vscale);
  if (field->reserved == 0) return false;
  const int room = precision > scale ? precision - scale : 0;
  return integer_digits > room;
}

std::u16string gen_dec_value(const t_ftd* field, bool negative) {
  tk_trace(2, "mss_table::gen_dec_value");
  if (!field) throw tk_mail_assertion(source_name, __LINE__);
  const int scale = field_scale(field);
  const int precision = field_precision(field);
  std::u16string out = negative ? u"-" : u"";
  out.append(precision > scale ? precision - scale : 0, u'9');
  out.push_back(u'.');
  out.append(scale, u'9');
  return out;
}

std::u16string get_fld_append_str(const ole_variant* value, const t_ftd* field) {
  tk_trace(2, "mss_table::get_fld_append_str");
  if (!value || !field) throw tk_mail_assertion(source_name, __LINE__);
  const VARTYPE t = value->get_type();
  tk_wtrace(1, u"Got initial string: %s", value->to_wstring());

  std::u16string literal;
  const ole_variant safe = mss_row_safe_value(*value);
  const uint8_t* bytes = nullptr;
  if (ole_variant::is_blob_type(t) && safe.get_bytes(bytes) == 0) {
    // An empty binary value is a value, not a missing one: it stays empty, as in the bulk path.
    literal = u"0x";
  } else {
    literal = to_mssql_str(literal_text(safe), t);
    const SYSTEMTIME st = safe.get_systemtime();
    if (t == VT_DATE && st.wMilliseconds != 0 && literal.size() > 10) {
      // The text form has no milliseconds; the datetime column keeps them.
      char ms[8];
      std::snprintf(ms, sizeof ms, ".%03u", static_cast<unsigned>(st.wMilliseconds));
      literal.insert(literal.size() - 1, ascii(ms, 4));
    }
  }
  tk_wtrace(1, u"Got string: %s", literal);

  if (t != VT_NULL && (t == VT_BSTR || (!literal.empty() && literal != u"''"))) {
    if (t == VT_DECIMAL && dec_is_out_of_range(*value, field)) {
      tk_trace(1, "Decimal is out of range");
      const DECIMAL& d = value->get_decimal();
      const bool negative = (d.sign & ole_decimal_negative) != 0;
      return gen_dec_value(field, negative);
    }
    return literal;
  }

  tk_trace(1, "Put NULL-field");
  if (!field->b_not_null) return u"NULL";
  const ole_variant substitute = mss_not_null_substitute(*field);
  if (substitute.get_type() == VT_EMPTY) return u"NULL";
  if (ole_variant::is_blob_type(substitute.get_type()) && substitute.get_bytes(bytes) == 0)
    return u"0x";
  std::u16string text = literal_text(substitute);
  if (text.empty() && field->vartype != VT_BSTR) return u"NULL";
  return to_mssql_str(text, field->vartype);
}

std::u16string mss_insert_statement(const std::u16string& table_name, bool has_identity,
                                    const udb_schema& schema, const udb_record& record) {
  if (record.size() != schema.size()) throw tk_exception(mss_msg_structure_mismatch, 0);
  if (schema.empty()) return std::u16string();
  std::u16string columns;
  std::u16string values;
  for (size_t i = 0; i < schema.size(); ++i) {
    const t_ftd& field = schema[i];
    // By name, not by position; the same position is tried first since it is nearly always it.
    const udb_field* value = nullptr;
    if (i < record.size() && tk_iequal(record[i].name, field.name)) {
      value = &record[i];
    } else {
      for (const udb_field& f : record)
        if (tk_iequal(f.name, field.name)) {
          value = &f;
          break;
        }
    }
    if (!value) {
      tk_wtrace(1, u"Field %s not found", field.name);
      throw tk_exception(mss_msg_structure_mismatch, 0);
    }
    if (i > 0) {
      columns += u", ";
      values += u", ";
    }
    columns += mss_bracket(field.name);
    values += get_fld_append_str(value, &field);
  }
  std::u16string statement = u"SET QUOTED_IDENTIFIER OFF; ";
  if (has_identity) statement += u"SET IDENTITY_INSERT " + table_name + u" ON; ";
  statement += u"INSERT INTO " + table_name + u"(" + columns + u")" + u" VALUES( " + values + u")";
  return statement;
}
