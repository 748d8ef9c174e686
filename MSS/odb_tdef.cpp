#include "odb_tdef.h"

#include <charconv>

#include "mss_literal.h"
#include "mss_vali.h"
#include "mss_vers.h"
#include "odb_cmd.h"
#include "odb_exce.h"
#include "odb_rec.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_wformat.h"

namespace {

constexpr const char* source_name = "mss_db";

constexpr int32_t db_e_badprecision = static_cast<int32_t>(0x80040E3A);
constexpr int32_t db_e_badscale = static_cast<int32_t>(0x80040E3B);
constexpr int32_t db_e_badtype = static_cast<int32_t>(0x80040E3D);

// The long-column marker of a column description: one more than the longest short column.
constexpr uint32_t long_column_size = 8001;

[[noreturn]] void refuse(int32_t hresult, const std::u16string& text) {
  odb_diag_record record;
  record.sqlstate = "HY000";
  record.message = text;
  throw odb_exception(hresult, odb_diag_records{record});
}

std::u16string number(uint32_t n) { return tk_wformat(u"%u", n); }

// The literal of a default that is not a text.
std::u16string default_literal(const ole_variant& value) {
  char buf[64];
  if (value.get_type() == VT_R8 || value.get_type() == VT_R4) {
    const double d = value.to_double();
    std::to_chars_result r = value.get_type() == VT_R4
                                 ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(d))
                                 : std::to_chars(buf, buf + sizeof buf, d);
    return std::u16string(buf, r.ptr);
  }
  return value.to_wstring();
}

bool is_text_or_binary(VARTYPE vt) {
  return vt == VT_BSTR || vt == VT_BLOB || vt == VT_BLOB_OBJECT;
}

}  // namespace

uint16_t odb_column_type(VARTYPE vt, int version_code) {
  // 64-bit unsigned integers as floats would lose every value above 2^53 (keys among them):
  // from version code 3 on they are exact numeric(20,0) columns, which also take identity.
  if (vt == VT_UI8 && version_code >= mss_version_2000) return dbtype::numeric;
  return odb_record::get_oledb_type(vt, version_code);
}

std::u16string odb_server_type(const odb_column_desc& c, int version_code) {
  const bool max_types = version_code >= mss_version_2005;
  switch (c.type) {
    case dbtype::boolean:
      return u"bit";
    case dbtype::ui1:
      return u"tinyint";
    case dbtype::i2:
      return u"smallint";
    case dbtype::i4:
      return u"int";
    case dbtype::i8:
      return u"bigint";
    case dbtype::r4:
      return u"real";
    case dbtype::r8:
      return u"float";
    case dbtype::cy:
      return u"money";
    case dbtype::dbtimestamp:
      return u"datetime";
    case dbtype::guid:
      return u"uniqueidentifier";
    case dbtype::numeric:
      if (c.precision < 1 || c.precision > 38)
        refuse(db_e_badprecision,
               tk_wformat(u"Invalid precision %d for column '%s'.", c.precision, c.name));
      if (c.scale > c.precision)
        refuse(db_e_badscale, tk_wformat(u"Invalid scale %d for column '%s'.", c.scale, c.name));
      return tk_wformat(u"numeric(%d,%d)", c.precision, c.scale);
    case dbtype::wstr:
      if (c.size >= 1 && c.size <= 4000) return u"nvarchar(" + number(c.size) + u")";
      return max_types ? u"nvarchar(max)" : u"ntext";
    case dbtype::str:
      if (c.size >= 1 && c.size <= 8000) return u"varchar(" + number(c.size) + u")";
      return max_types ? u"varchar(max)" : u"text";
    case dbtype::bytes:
      if (c.size >= 1 && c.size <= 8000) return u"varbinary(" + number(c.size) + u")";
      return max_types ? u"varbinary(max)" : u"image";
    default:
      refuse(db_e_badtype, tk_wformat(u"Invalid type %d for column '%s'.", c.type, c.name));
  }
}

std::u16string odb_create_table_text(const std::u16string& table, const odb_column_descs& columns,
                                     int version_code) {
  std::u16string text = u"CREATE TABLE " + table + u" (";
  for (size_t i = 0; i < columns.size(); ++i) {
    const odb_column_desc& c = columns[i];
    if (i > 0) text += u", ";
    text += mss_bracket(c.name) + u" " + odb_server_type(c, version_code);
    if (c.autoincrement) text += u" IDENTITY(1,1)";
    text += c.nullable ? u" NULL" : u" NOT NULL";
    if (c.has_default) {
      text += u" DEFAULT ";
      text += c.default_value.get_type() == VT_BSTR ? c.default_value.get_bstr()
                                                    : default_literal(c.default_value);
    }
  }
  text += u")";
  return text;
}

std::u16string odb_create_index_text(const std::u16string& table, const odb_index_desc& index) {
  std::u16string columns;
  for (size_t i = 0; i < index.columns.size(); ++i) {
    if (i > 0) columns += u", ";
    columns += mss_bracket(index.columns[i]);
  }
  if (index.primary) {
    return u"ALTER TABLE " + table + u" ADD CONSTRAINT " + mss_bracket(index.name) +
           u" PRIMARY KEY " + (index.clustered ? u"CLUSTERED" : u"NONCLUSTERED") + u" (" + columns +
           u")";
  }
  return std::u16string(index.unique ? u"CREATE UNIQUE INDEX " : u"CREATE INDEX ") +
         mss_bracket(index.name) + u" ON " + table + u" (" + columns + u")";
}

void set_def_value(const t_ftd* field, odb_column_desc* column) {
  tk_trace(2, "odb_database::set_def_value");
  if (!field || !column) throw tk_mail_assertion(source_name, __LINE__);
  const std::u16string text = field->default_value.to_wstring();
  tk_wtrace(1, u"Got default value: %s", text);
  if (text.empty()) return;
  ole_variant converted;
  try {
    converted = mssql_get_safe_variant(ole_variant::from_wstring(text, field->vartype));
  } catch (const ole_type_exception&) {
    tk_trace(1, "Invalid default value");
    return;
  }
  // A text that is no value of the type (a date default such as CURRENT_TIMESTAMP, a number
  // default that is no number) converts to nothing: the column gets no default rather than a
  // made-up one.
  if (converted.get_type() == VT_EMPTY || converted.get_type() == VT_NULL) {
    tk_trace(1, "Invalid default value");
    return;
  }
  const std::u16string safe = converted.to_wstring();
  tk_wtrace(1, u"Got safe default value: %s", safe);
  column->has_default = true;
  if (field->vartype == VT_BSTR || field->vartype == VT_DATE) {
    column->default_value = ole_variant(u"'" + mss_escape_literal(safe) + u"'");
  } else {
    column->default_value = converted;
  }
}

odb_column_descs odb_make_column_descs(const udb_schema& schema, const udb_indexes& indexes,
                                       int version_code) {
  tk_trace(1, "Schema size=%d", static_cast<int>(schema.size()));
  odb_column_descs columns;
  columns.reserve(schema.size());
  for (size_t i = 0; i < schema.size(); ++i) {
    const t_ftd& field = schema[i];
    tk_wtrace(1, u"Creating column '%s', size=%d", field.name, field.size);
    odb_column_desc c;
    c.name = field.name;

    const VARTYPE vt = field.vartype;
    bool identity = false;
    if (field.auto_increment) {
      identity = vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_INT || vt == VT_UI1 ||
                 vt == VT_UI2 || vt == VT_BOOL;
      if (version_code >= mss_version_2000)
        identity = identity || vt == VT_UI4 || vt == VT_I8 || vt == VT_UINT || vt == VT_UI8;
    }
    c.autoincrement = identity;

    if (indexes.is_idx_field(field.name, true)) {
      tk_trace(1, "Field is a part of Primary Key");
      c.nullable = false;
    } else {
      c.nullable = !(identity || field.b_not_null);
    }

    c.type = odb_column_type(vt, version_code);
    c.size = field.size;
    tk_trace(1, "Binding column #%d (%d, %d)", static_cast<int>(i + 1), c.type,
             static_cast<int>(c.size));

    if (vt == VT_DECIMAL) {
      const int precision = (field.reserved >> 8) & 0xFF;
      const int scale = field.reserved & 0xFF;
      tk_trace(1, "Scale/precision for decimal column: (%d, %d)", scale, precision);
      if (precision < 29) {
        c.precision = static_cast<uint8_t>(precision);
        c.scale = static_cast<uint8_t>(scale);
      } else {
        c.type = dbtype::r8;
      }
    } else if (vt == VT_UI8 && c.type == dbtype::numeric) {
      c.precision = 20;
      c.scale = 0;
    }

    const bool long_column = field.size == 0 && (c.type == dbtype::str || c.type == dbtype::wstr ||
                                                 c.type == dbtype::bytes);
    if (long_column) {
      tk_trace(1, "Got MEMO/BLOB field");
      c.size = long_column_size;
    } else if (!identity && c.type != dbtype::bytes) {
      set_def_value(&field, &c);
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

bool odb_make_index_desc(const std::u16string& table_name, const udb_index& index,
                         const udb_schema& schema, odb_index_desc& out) {
  tk_wtrace(1, u"Creating index '%s'", index.name);
  uint32_t total = 0;
  bool skip = index.fields.empty();
  for (size_t i = 0; i < index.fields.size() && !skip; ++i) {
    const std::u16string& column = index.fields[i];
    tk_wtrace(1, u"Process field #%d - '%s'", static_cast<int>(i), column);
    const VARTYPE vt = schema.get_field_type(column);
    uint32_t size = schema.get_field_size(column);
    if (vt == VT_BSTR) size *= 2;
    tk_trace(1, "vt=%08X, size=%d", vt, static_cast<int>(size));
    total += size;
    tk_trace(1, "Total index size=%d", static_cast<int>(total));
    skip = total >= 901 || vt == VT_BOOL || (is_text_or_binary(vt) && (size == 0 || size > 8000));
  }
  if (skip) {
    tk_wtrace(3, u"Index '%s' has been skipped", index.name);
    tk_wtrace(2, u"Skip index '%s'", index.name);
    return false;
  }
  out = odb_index_desc{};
  out.name = index.primary ? u"PK_" + table_name : index.name;
  out.columns = index.fields;
  out.primary = index.primary;
  out.clustered = index.primary;
  out.unique = !index.primary && index.unique;
  return true;
}

void odb_create_table(const odb_session& session, const std::u16string& name,
                      const udb_schema& schema, const udb_indexes& indexes, int version_code) {
  tk_wtrace(2, u"odb_database::create_table(%s)", name);
  if (!session) throw tk_mail_assertion(source_name, __LINE__);
  const std::u16string table = mss_bracket(name);
  tk_wtrace(1, u"Got safe table name: %s", table);

  const odb_column_descs columns = odb_make_column_descs(schema, indexes, version_code);
  const std::u16string create = odb_create_table_text(table, columns, version_code);
  odb_command command(session);
  tk_trace(1, "Right before creating the table");
  command.execute(create);

  for (const udb_index& index : indexes) {
    odb_index_desc desc;
    if (!odb_make_index_desc(name, index, schema, desc)) continue;
    command.execute(odb_create_index_text(table, desc));
  }
}
