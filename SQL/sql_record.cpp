#include "sql_record.h"

#include <mysql.h>

#include <cstring>

#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

constexpr unsigned binary_charset = 63;
constexpr unsigned flag_binary = 128;

// Formatting a level-1 detail costs more than reading the value; only do it for a log that
// wants it.
bool tracing(int level) {
  tk_log* log = tk_log::instance_or_null();
  return log && log->accepts(level);
}

bool is_blob_type(int type) {
  return type >= MYSQL_TYPE_TINY_BLOB && type <= MYSQL_TYPE_BLOB;  // 249 to 252
}

// String-like types: what may hold text or bytes depending on the character set.
bool is_string_type(int type) {
  return type == MYSQL_TYPE_VAR_STRING || type == MYSQL_TYPE_STRING || type == MYSQL_TYPE_VARCHAR ||
         type == MYSQL_TYPE_ENUM || type == MYSQL_TYPE_SET || type == MYSQL_TYPE_GEOMETRY ||
         is_blob_type(type);
}

// The field type of the published mapping (type code, UNSIGNED flag, BLOB-to-text switch).
VARTYPE mapped_type(int type, bool is_unsigned, bool blob_to_text) {
  switch (type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      return VT_DECIMAL;
    case MYSQL_TYPE_TINY:
      return is_unsigned ? VT_UI1 : VT_I1;
    case MYSQL_TYPE_SHORT:
      return is_unsigned ? VT_UI2 : VT_I2;
    case MYSQL_TYPE_LONG:
      return is_unsigned ? VT_UI4 : VT_I4;
    case MYSQL_TYPE_INT24:
      return VT_I4;
    case MYSQL_TYPE_LONGLONG:
      return is_unsigned ? VT_UI8 : VT_I8;
    case MYSQL_TYPE_FLOAT:
      return VT_R4;
    case MYSQL_TYPE_DOUBLE:
      return VT_R8;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
      return VT_DATE;
    case MYSQL_TYPE_YEAR:
      return VT_UI2;
    case MYSQL_TYPE_BIT:
      return VT_BOOL;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
      return blob_to_text ? VT_BSTR : VT_BLOB;
    default:
      return VT_BSTR;
  }
}

ole_variant unsigned_value(VARTYPE vt, uint64_t v) {
  switch (vt) {
    case VT_UI1:
      return ole_variant(static_cast<unsigned char>(v));
    case VT_UI2:
      return ole_variant(static_cast<unsigned short>(v));
    case VT_UI4:
      return ole_variant(static_cast<unsigned int>(v));
    default:
      return ole_variant(static_cast<unsigned long long>(v));
  }
}

// The bits of a BIT value, most significant byte first as the server sends them.
uint64_t bits_of(const char* data, unsigned long length) {
  uint64_t v = 0;
  for (unsigned long i = 0; i < length; ++i) v = v << 8 | static_cast<unsigned char>(data[i]);
  return v;
}

}  // namespace

sql_column sql_column::describe(std::u16string name, int type, unsigned flags, unsigned charsetnr,
                                unsigned long length, unsigned decimals, bool blob_to_text) {
  sql_column c;
  c.name = std::move(name);
  c.type = type;
  c.flags = flags;
  c.charsetnr = charsetnr;
  c.length = length;
  c.decimals = decimals;
  c.vartype = mapped_type(type, flags & 32, blob_to_text);

  // Text or bytes is told by the character set, not by the BINARY flag: a TEXT or VARCHAR with
  // a binary collation (JSON is one) carries the flag and is still text, while BINARY,
  // VARBINARY, BLOB and GEOMETRY are of the binary character set. The switch makes every BLOB
  // type text, as the user asked.
  bool binary =
      is_string_type(type) && charsetnr == binary_charset && !(blob_to_text && is_blob_type(type));
  if (binary) {
    c.how = sql_extract::binary;
    c.vartype = VT_BLOB;
  } else if (is_string_type(type) || type == MYSQL_TYPE_NULL) {
    c.how = sql_extract::text;
    c.vartype = VT_BSTR;
  } else if (type == MYSQL_TYPE_BIT) {
    if (length <= 1) {
      c.how = sql_extract::bit_bool;
    } else {
      c.how = sql_extract::bit_integer;
      c.vartype = length <= 8 ? VT_UI1 : length <= 16 ? VT_UI2 : length <= 32 ? VT_UI4 : VT_UI8;
    }
  } else {
    c.how = sql_extract::scalar;
  }

  switch (type) {
    case MYSQL_TYPE_DATETIME:
      c.reserved = 1;
      break;
    case MYSQL_TYPE_DATE:
      c.reserved = 2;
      break;
    case MYSQL_TYPE_TIME:
      c.reserved = 3;
      break;
    case MYSQL_TYPE_LONGLONG:
      c.reserved = (flags & 32) ? 2 : 1;
      break;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: {
      // The display length counts the digits, the point when there are decimals, and the sign
      // unless the column is unsigned.
      long precision = static_cast<long>(length) - (decimals ? 1 : 0) - ((flags & 32) ? 0 : 1);
      if (precision < 0) precision = 0;
      c.reserved = static_cast<int32_t>(decimals | precision << 8);
      break;
    }
    default:
      break;
  }
  if (c.vartype == VT_UI8) c.reserved = 2;
  return c;
}

t_ftd sql_column::to_ftd() const {
  uint32_t size = length > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<uint32_t>(length);
  t_ftd f(name, vartype, size, not_null(), reserved);
  f.auto_increment = auto_increment();
  return f;
}

ole_variant sql_get_variant(const sql_column& column, const char* data, unsigned long length) {
  if (tracing(1)) {
    tk_trace(1, "get_variant(2), type=%d, lenght=%d", column.type, static_cast<int>(length));
  }
  if (!data) {
    tk_trace(1, "process NULL-values");
    return ole_variant();
  }
  switch (column.how) {
    case sql_extract::text:
      tk_trace(1, "Extract as Unicode");
      return ole_variant(tk_utf8_to_wide(data, length));
    case sql_extract::binary:
      tk_trace(1, "Extract BINARY value");
      return ole_variant(static_cast<size_t>(length), reinterpret_cast<const uint8_t*>(data));
    case sql_extract::bit_bool:
      return ole_variant(length > 0 && data[0] != 0);
    case sql_extract::bit_integer:
      return unsigned_value(column.vartype, bits_of(data, length));
    case sql_extract::scalar:
      break;
  }
  tk_trace(1, "Extract as ANSI");
  if (tracing(1)) {
    tk_trace(1, "Type=%d, src=%s", column.vartype, std::string(data, length).c_str());
  }
  return ole_variant::from_string(std::string_view(data, length), column.vartype);
}

ole_variant sql_default_value(const sql_column& column, VARTYPE vartype, const std::string& text) {
  if (column.how == sql_extract::bit_bool || column.how == sql_extract::bit_integer) {
    // SHOW COLUMNS prints a BIT default as b'101'.
    if (text.size() >= 3 && (text[0] == 'b' || text[0] == 'B') && text[1] == '\'' &&
        text.back() == '\'') {
      uint64_t v = 0;
      for (size_t i = 2; i + 1 < text.size(); ++i) v = v << 1 | (text[i] == '1');
      if (column.how == sql_extract::bit_bool) return ole_variant(v != 0);
      return unsigned_value(vartype, v);
    }
    if (column.how == sql_extract::bit_bool) return ole_variant(!text.empty() && text[0] != '\0');
    return ole_variant::from_string(text, vartype);
  }
  std::string value = text;
  // Servers that allow defaults on TEXT and BLOB columns print those defaults as quoted
  // literals ('abc', with inner quotes doubled) while other columns' defaults come bare.
  if (is_blob_type(column.type) && value.size() >= 2 && value.front() == '\'' &&
      value.back() == '\'') {
    std::string inner;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
      inner += value[i];
      if (value[i] == '\'' && i + 2 < value.size() && value[i + 1] == '\'') ++i;
    }
    value = inner;
  }
  if (vartype == VT_DATE || vartype == VT_BSTR) return ole_variant(tk_utf8_to_wide(value));
  if (column.how == sql_extract::binary) {
    return ole_variant(value.size(), reinterpret_cast<const uint8_t*>(value.data()));
  }
  return ole_variant::from_string(value, vartype);
}

sql_field::sql_field(const std::u16string& name, int32_t size, const ole_variant& value)
    : udb_field(name, size, value) {}

sql_record::sql_record(const std::vector<sql_column>& columns, const unsigned long* lengths,
                       char** row) {
  load(columns, lengths, row);
}

void sql_record::load(const std::vector<sql_column>& columns, const unsigned long* lengths,
                      char** row) {
  tk_trace(1, "sql_record::ctor (n_fields=%d)", static_cast<int>(columns.size()));
  if (!row || !lengths) throw tk_mail_assertion("sql_rec", __LINE__);
  if (size() != columns.size()) {
    clear();
    reserve(columns.size());
    for (const sql_column& c : columns) push_back(sql_field(c.name, 0, ole_variant()));
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    const sql_column& c = columns[i];
    if (tracing(1)) {
      tk_trace(1, "field #%d has type %d", static_cast<int>(i), c.type);
      tk_trace(1, "BINARY FLAG=%d", (c.flags & flag_binary) ? 1 : 0);
    }
    udb_field& f = (*this)[i];
    f.size = row[i] ? static_cast<int32_t>(lengths[i]) : 0;
    static_cast<ole_variant&>(f) = sql_get_variant(c, row[i], row[i] ? lengths[i] : 0);
  }
}
