#include "mss_table.h"

#include <exception>

#include "mss_db.h"
#include "mss_engi.h"
#include "mss_literal.h"
#include "mss_msgs.h"
#include "mss_stream.h"
#include "mss_vali.h"
#include "odb_diag.h"
#include "odb_exce.h"
#include "odb_mdat.h"
#include "ole_date.h"
#include "ole_numeric.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

constexpr const char* source_name = "mss_tab";

bool truthy(const ole_variant& v) {
  if (v.get_type() == VT_BOOL) return v.to_bool();
  const std::u16string t = v.to_wstring();
  return t == u"1" || t == u"-1" || tk_iequal(t, u"true");
}

std::u16string text_at(const udb_record& row, size_t i) {
  return i < row.size() ? row[i].to_wstring() : std::u16string();
}

}  // namespace

mss_table::mss_table(const std::u16string& name, const odb_session& session, int32_t flags,
                     mss_database* database)
    : odb_table(name, session, flags, database), command_(session) {
  tk_wtrace(2, u"mss_table::mss_table(%s)", name);
  init_schema();
  std::u16string table, owner;
  if (!mss_split_tab_name(this->name, table, owner)) table = this->name;
  if ((flags & open_skip_indexes) != open_skip_indexes) init_indexes(table, owner);
  if (!(flags & open_read_only))
    for (const t_ftd* f : schema)
      if (f->auto_increment) has_identity_ = true;
}

mss_table::mss_table(const std::u16string& name, const std::u16string& query,
                     const odb_session& session, int32_t flags, mss_database* database)
    : odb_table(name, query, session, flags, database), command_(session) {
  tk_wtrace(2, u"mss_table::ctor(%s)", name);
}

mss_table::~mss_table() noexcept(false) {
  if (std::uncaught_exceptions() > 0) {
    try {
      close_load_and_identity();
    } catch (const tk_exception& e) {
      tk_trace(3, "%s", e.what());
    }
    return;
  }
  close_load_and_identity();
}

void mss_table::close_load_and_identity() {
  std::exception_ptr failure;
  if (loader_.is_open()) {
    try {
      loader_.close_table();
    } catch (const tk_exception&) {
      failure = std::current_exception();
    }
  }
  if (identity_insert_on_) {
    identity_insert_on_ = false;
    try {
      command_.execute(u"SET IDENTITY_INSERT " + sql_name() + u" OFF");
    } catch (const odb_exception& e) {
      tk_trace(2, "%s", e.what());
    }
  }
  if (failure) std::rethrow_exception(failure);
}

std::u16string mss_table::get_fld_append_str(const ole_variant* value, const t_ftd* field) {
  return ::get_fld_append_str(value, field);
}
std::u16string mss_table::to_mssql_str(const std::u16string& text, VARTYPE type) {
  return ::to_mssql_str(text, type);
}
bool mss_table::dec_is_out_of_range(const ole_variant& value, const t_ftd* field) {
  return ::dec_is_out_of_range(value, field);
}
std::u16string mss_table::gen_dec_value(const t_ftd* field, bool negative) {
  return ::gen_dec_value(field, negative);
}

ole_variant mss_table::get_def_value(VARTYPE type, const std::u16string& source) {
  tk_wtrace(2, u"mss_table::get_def_value(type=0x%08X, src='%s')", type, source);
  std::u16string text = source;
  size_t open = 0;
  while (open < text.size() && text[open] == u'(') ++open;
  if (open > 0) {
    tk_trace(1, "Before removing round brackets, pos0=%d, size=%d", static_cast<int>(open),
             static_cast<int>(text.size()));
    text = text.size() >= 2 * open ? text.substr(open, text.size() - 2 * open) : std::u16string();
    tk_wtrace(1, u"mss_table::get_def_value - buf=[%s]", text);
  }
  // A Unicode literal as the server lists it: N'...'.
  if (text.size() > 2 && text[0] == u'N' && text[1] == u'\'' && text.back() == u'\'')
    text.erase(0, 1);
  if (text.size() > 2 && text.front() == u'\'' && text.back() == u'\'')
    text = text.substr(1, text.size() - 2);
  if (type == VT_DATE) {
    if (text.size() > 1 && text.front() == u'\'' && text.back() == u'\'')
      text = text.substr(1, text.size() - 2);
    ole_date date(text);
    return date.is_valid() ? date.to_variant() : ole_variant();
  }
  if (text.size() > 2) tk_wstring::replace_all(text, u"''", u"\x01");
  for (char16_t& c : text)
    if (c == u'\x01') c = u'\'';
  try {
    return ole_variant::from_wstring(text, type);
  } catch (const ole_type_exception&) {
    return ole_variant();
  }
}

void mss_table::init_schema() {
  tk_trace(2, "mss_table::init_schema");
  std::u16string table, owner;
  if (!mss_split_tab_name(name, table, owner)) table = name;
  std::u16string text = u"EXEC sp_columns @table_name=" + mss_bracket(table);
  if (!owner.empty()) text += u", @table_owner=" + mss_bracket(owner);
  std::unique_ptr<odb_rowset> rowset;
  odb_command(session_).execute(text, &rowset);
  odb_recordset rows(std::move(rowset));
  for (rows.reset(); !rows.is_eof(); rows.next()) {
    const udb_record& row = rows.get_item();
    // The procedure reads its table name as a pattern: keep only the rows of this very table.
    if (!tk_iequal(text_at(row, 2), table) ||
        (!owner.empty() && !tk_iequal(text_at(row, 1), owner)))
      continue;
    const std::u16string column = text_at(row, 3);
    const std::u16string type_name = text_at(row, 5);
    tk_wtrace(1, u"Got field name/type: %s/%s", column, type_name);
    if (!schema.find_field(column)) continue;
    t_ftd& field = schema.get_field(column);
    const std::u16string def = text_at(row, 12);
    if (!def.empty()) {
      tk_wtrace(1, u"Got default string: %s", def);
      ole_variant value = get_def_value(field.vartype, def);
      tk_wtrace(1, u"Got default variant: %s", value.to_wstring());
      if (field.vartype == VT_BSTR && value.to_wstring().size() > field.size) {
        tk_wtrace(1, u"Def.value '%s' is out of range", value.to_wstring());
      } else {
        field.default_value = value;
      }
    }
    const std::u16string suffix = u"identity";
    field.auto_increment =
        type_name.size() >= suffix.size() &&
        type_name.compare(type_name.size() - suffix.size(), suffix.size(), suffix) == 0;
    if (field.vartype == VT_DECIMAL) {
      // The declared precision (PRECISION); LENGTH is the transfer size, two more than it.
      const int precision = row.size() > 6 ? row[6].to_long() : 0;
      const int scale = row.size() > 8 ? row[8].to_long() : 0;
      field.reserved = (scale & 0xFF) | (precision & 0xFF) << 8;
    }
    tk_trace(1, ">>> reserved=%d", field.reserved);
  }
}

void mss_table::init_indexes(const std::u16string& table, const std::u16string& owner) {
  tk_wtrace(2, u"odb_table::init_indexes(%s,%s)", table, owner);
  {
    odb_pk_meta_data rows(session_, table, owner);
    udb_index pk;
    pk.unique = pk.primary = true;
    for (rows.reset(); !rows.is_eof(); rows.next()) {
      const udb_record& row = rows.get_item();
      const std::u16string pk_name = row.get_field(u"PK_NAME").to_wstring();
      if (pk.fields.empty()) {
        pk.name = pk_name;
        tk_wtrace(1, u"Got pr.key: %s", pk_name);
      } else if (pk_name != pk.name) {
        throw tk_mail_assertion(source_name, __LINE__);
      }
      pk.fields.push_back(row.get_field(u"COLUMN_NAME").to_wstring());
    }
    if (!pk.fields.empty()) add_index(pk);
  }
  if (database_) {
    odb_fk_meta_data rows(session_, table, owner);
    udb_relationships& keys = database_->relationships;
    for (rows.reset(); !rows.is_eof(); rows.next()) {
      const udb_record& row = rows.get_item();
      const std::u16string fk_name = row.get_field(u"FK_NAME").to_wstring();
      if (keys.is_acceptable_name(fk_name)) {
        tk_wtrace(1, u"GOT FOREIGN KEY: %s", fk_name);
        udb_relationship key;
        key.name = fk_name;
        key.ref_key_name = row.get_field(u"PK_NAME").to_wstring();
        key.table = row.get_field(u"FK_TABLE_NAME").to_wstring();
        key.ref_table = row.get_field(u"PK_TABLE_NAME").to_wstring();
        key.fields.push_back(row.get_field(u"FK_COLUMN_NAME").to_wstring());
        key.ref_fields.push_back(row.get_field(u"PK_COLUMN_NAME").to_wstring());
        keys.push_back(std::move(key));
      } else {
        udb_relationship& key = keys.get_index(fk_name);
        key.fields.push_back(row.get_field(u"FK_COLUMN_NAME").to_wstring());
        key.ref_fields.push_back(row.get_field(u"PK_COLUMN_NAME").to_wstring());
      }
    }
  }
  {
    odb_id_meta_data rows(session_, table, owner);
    for (rows.reset(); !rows.is_eof(); rows.next()) {
      const udb_record& row = rows.get_item();
      const std::u16string index_name = row.get_field(u"INDEX_NAME").to_wstring();
      const std::u16string column = row.get_field(u"COLUMN_NAME").to_wstring();
      if (indexes.is_acceptable_name(index_name)) {
        tk_wtrace(1, u"Got index: %s", index_name);
        udb_index index;
        index.name = index_name;
        index.fields.push_back(column);
        index.unique = truthy(row.get_field(u"UNIQUE"));
        index.primary = truthy(row.get_field(u"PRIMARY_KEY"));
        add_index(index);
      } else {
        udb_index& index = indexes.get_index(index_name);
        if (index.primary) {
          tk_trace(1, "Skip Primary Key DoubleInitialization");
        } else {
          index.fields.push_back(column);
        }
      }
    }
  }
}

void mss_table::append_record(const udb_record& record) {
  tk_trace(2, "mss_table::append_record(schema size=%d, record size=%d",
           static_cast<int>(schema.size()), static_cast<int>(record.size()));
  if (record.size() != schema.size()) throw tk_exception(mss_msg_structure_mismatch, 0);
  udb_record converted = record;
  convert_record(converted);
  if (mss_engine::instance().is_fast_load()) {
    fast_append(converted);
  } else {
    slow_record(converted);
  }
}

void mss_table::slow_record(const udb_record& record) {
  tk_trace(2, "mss_table::slow_record(schema size=%d, record size=%d",
           static_cast<int>(schema.size()), static_cast<int>(record.size()));
  const std::u16string statement = mss_insert_statement(sql_name(), has_identity_, schema, record);
  if (statement.empty()) return;
  tk_wtrace(3, u"Run SQL query: %s\n", statement);
  command_.execute(statement);
  if (has_identity_) identity_insert_on_ = true;
  ++record_count;
}

void mss_table::fast_append(const udb_record& record) {
  tk_trace(2, "mss_table::fast_append");
  if (record.size() != schema.size()) throw tk_exception(mss_msg_structure_mismatch, 0);
  if (!loader_.is_open()) {
    loader_.open_table(session_, sql_name(), schema, columns_info(),
                       mss_engine::instance().get_version_code());
    std::u16string set = u"SET QUOTED_IDENTIFIER OFF; ";
    if (has_identity_) {
      set += u"SET IDENTITY_INSERT " + sql_name() + u" ON; ";
      identity_insert_on_ = true;
    }
    command_.execute(set);
  }
  const std::vector<mss_bcp_column>& plan = loader_.plan();
  for (size_t i = 0; i < record.size(); ++i) {
    const size_t column = i + 1;
    tk_trace(1, "Field %d has type=%d", static_cast<int>(column), record[i].get_type());
    const mss_bound_value v = mss_fast_value(record[i], schema[i], plan[i], column);
    if (v.is_null) {
      loader_.BindData(nullptr, 0, 0, column);
    } else if (plan[i].stream) {
      mss_mem_stream* stream = mss_mem_stream::create();
      stream->write(v.bytes.data(), static_cast<uint32_t>(v.bytes.size()), nullptr);
      loader_.bind_stream(stream, column);
    } else {
      // An empty value is bound as an empty value, not as NULL: the source is never null here.
      loader_.BindData(v.bytes.data(), v.bytes.size(), v.bytes.size(), column);
    }
  }
  loader_.insert_data();
}

void mss_table::update(const udb_record& record) {
  tk_trace(2, "mss_table::update");
  if (update_key < 0) {
    tk_trace(1, "There's no primary/unique key");
    return;
  }
  if (static_cast<size_t>(update_key) >= indexes.size())
    throw tk_mail_assertion(source_name, __LINE__);
  const udb_index& key = indexes[update_key];
  std::u16string assignments, conditions;
  for (const udb_field& value : record) {
    tk_wtrace(1, u"Process field: %s", value.name);
    if (!schema.find_field(value.name)) {
      tk_wtrace(1, u"Field '%s' is not found in schema", value.name);
      continue;
    }
    const t_ftd& field = schema.get_field(value.name);
    bool in_key = false;
    for (const std::u16string& k : key.fields)
      if (tk_iequal(k, value.name)) in_key = true;
    ole_variant converted = value;
    try {
      converted.change_type(field.vartype);
    } catch (const ole_cast_exception&) {
    }
    const std::u16string item =
        mss_bracket(field.name) + u"=" + ::get_fld_append_str(&converted, &field);
    if (in_key) {
      tk_wtrace(1, u"Field %s is a part of UKey", value.name);
      if (!conditions.empty()) conditions += u" AND ";
      conditions += item;
    } else {
      tk_wtrace(1, u"Field %s is NOT a part of UKey", value.name);
      if (!assignments.empty()) assignments += u", ";
      assignments += item;
    }
  }
  const std::u16string statement =
      u"UPDATE " + sql_name() + u" SET " + assignments + u" WHERE " + conditions;
  tk_wtrace(1, u"UPDATE QUERY: %s", statement);
  if (conditions.empty() || assignments.empty()) {
    tk_trace(1, "Missing primary/unique key");
    return;
  }
  command_.execute(statement);
}
