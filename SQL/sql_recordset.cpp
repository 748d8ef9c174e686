#include "sql_recordset.h"

#include <cstdio>
#include <stdexcept>

#include "sql_engine.h"
#include "sql_exception.h"
#include "sql_fk_parser.h"
#include "sql_handle.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

const udb_record& empty_record() {
  static const udb_record none;
  return none;
}

}  // namespace

sql_recordset::sql_recordset(sql_database& db, const std::u16string& name)
    : udb_recordset(name), db_(db) {
  tk_trace(2, "sql_recordset::sql_recordset");
  initialize();
}

sql_recordset::sql_recordset(sql_database& db, const std::u16string& name,
                             const std::u16string& query)
    : udb_recordset(name, query), db_(db) {
  tk_trace(2, "sql_recordset::sql_recordset");
  initialize();
}

sql_recordset::~sql_recordset() noexcept(false) = default;

std::string sql_recordset::select_statement() const {
  if (!source.empty()) return tk_wide_to_utf8(source);
  return "SELECT * FROM " + db_.get_engine().quote_name_utf8(tk_wide_to_utf8(name));
}

void sql_recordset::initialize() {
  tk_trace(2, "sql_recordset::initialize");
  chunk_.clear();
  record_count = get_rec_count();
  open_stream();
  // The first layer of the schema: what the result says of its columns.
  schema.clear();
  int n = 0;
  for (const sql_column& c : columns_) {
    tk_trace(1, "Processing field #%d", ++n);
    t_ftd field = c.to_ftd();
    tk_wtrace(2, u"GOT FIELD: name=%s, type=%d, size=%d", c.name, c.type,
              static_cast<uint32_t>(field.size));
    if (c.vartype == VT_BSTR && c.type >= 249 && c.type <= 252) {
      tk_trace(2, "Change type from BLOB to TEXT");
    }
    schema.add(field);
  }
  position = 0;
  index_ = 0;
}

void sql_recordset::open_stream() {
  stream_.reset();  // an earlier stream ends (and frees its connection) first
  stream_ = std::make_unique<sql_database::sql_limited_query>(db_, select_statement());
  columns_ = stream_->columns();
  chunk_start_ = 0;
  fill_chunk();
}

void sql_recordset::fill_chunk() {
  filled_ = stream_ ? stream_->store_to(chunk_, chunk_size) : 0;
  if (filled_ < chunk_size && chunk_start_ + static_cast<int64_t>(filled_) < record_count) {
    tk_trace(2, "The rows ended at %lld of %d counted",
             static_cast<long long>(chunk_start_ + static_cast<int64_t>(filled_)), record_count);
  }
}

int32_t sql_recordset::get_rec_count() {
  tk_trace(2, "sql_recordset::get_rec_count");
  std::u16string statement = source.empty()
                                 ? u"SELECT COUNT(*) FROM " + db_.get_engine().quote_name(name)
                                 : u"SELECT COUNT(*) FROM (" + source + u") as query";
  std::unique_ptr<udb_recordset> rows = db_.query(statement);
  int32_t count = 0;
  if (rows) {
    rows->reset();
    if (!rows->is_eof() && !rows->get_item().empty()) count = rows->get_item()[0].to_long();
  }
  tk_trace(1, "get_rec_count returns %d", count);
  return count;
}

void sql_recordset::append_record(const udb_record&) {
  throw tk_mail_assertion("sql_recs", __LINE__);
}

const udb_record& sql_recordset::get_item() {
  if (position < 0 || index_ >= filled_) return empty_record();
  return chunk_[index_];
}

bool sql_recordset::is_eof() { return position >= record_count || index_ >= filled_; }

void sql_recordset::next() {
  tk_trace(1, "sql_recordset::next");
  if (index_ + 1 < chunk_size) {
    ++index_;
  } else {
    tk_trace(2, "sql_recordset::clean");
    chunk_start_ += static_cast<int64_t>(chunk_size);
    // Also past the counted rows: a stream that has ended says so at once, and its connection
    // can then serve the next table.
    fill_chunk();
    index_ = 0;
  }
  ++position;
}

void sql_recordset::prev() {
  tk_trace(1, "sql_recordset::prev");
  if (position <= 0) return;
  --position;
  if (index_ > 0) --index_;
}

void sql_recordset::reset() {
  tk_trace(1, "sql_recordset::reset");
  position = 0;
  index_ = 0;
  // The first chunk is still the one in memory: nothing to read again.
  if (chunk_start_ == 0 && stream_) return;
  open_stream();
}

// --- sql_table ---

sql_table::sql_table(sql_database& db, const std::u16string& name) : sql_recordset(db, name) {
  tk_trace(2, "sql_table::ctor");
  initialize();
}

void sql_table::initialize() {
  tk_trace(2, "sql_table::initialize");
  sql_engine& engine = db_.get_engine();
  std::u16string q = engine.quote_name(name);
  const std::vector<sql_column>& cols = columns();

  // 1. Columns: exact VARCHAR lengths, FLOAT(M,D) as exact decimals, defaults.
  std::unique_ptr<udb_recordset> rows = db_.query(u"SHOW COLUMNS FROM " + q);
  if (!rows) throw tk_mail_assertion("sql_tbl", __LINE__);
  size_t i = 0;
  for (rows->reset(); !rows->is_eof(); rows->next(), ++i) {
    const udb_record& r = rows->get_item();
    if (r.size() < 2) throw std::out_of_range("invalid vector<T> subscript");
    t_ftd& field = schema[i];
    std::string type =
        tk_wide_to_utf8(r.at(1).get_type() == VT_BSTR ? r.at(1).get_bstr() : r.at(1).to_wstring());
    tk_trace(2, "Got type: %s", type.c_str());
    int m = 0, d = 0;
    if (std::sscanf(type.c_str(), "varchar(%d)", &m) == 1) {
      tk_trace(2, "Refining size for varchar: %d", m);
      field.size = static_cast<uint32_t>(m);
    } else if (std::sscanf(type.c_str(), "float(%d,%d)", &m, &d) == 2) {
      tk_trace(2, "Refining type for FLOAT(%d,%d)", m, d);
      if (m != 0 && d != 0 && d < m) {
        field.vartype = VT_DECIMAL;
        field.reserved = d | m << 8;
      }
    }
    const udb_field& def = r.at(r.size() - 2);
    bool has_text = def.get_type() != VT_EMPTY && def.get_type() != VT_NULL;
    std::string text =
        has_text ? tk_wide_to_utf8(def.get_type() == VT_BSTR ? def.get_bstr() : def.to_wstring())
                 : std::string();
    tk_trace(2, "Got default value: %s", text.c_str());
    if (!field.b_not_null && text.empty()) continue;
    tk_trace(2, "Default value's type: %08X", field.vartype);
    if (field.vartype == VT_DATE && (text.empty() || text == "0000-00-00" ||
                                     text == "0000-00-00 00:00:00" || text == "00000000000000")) {
      tk_trace(2, "Skip empty def.values for date column");
      field.default_value.clear();
      field.b_not_null = false;
      continue;
    }
    if (i < cols.size()) field.default_value = sql_default_value(cols[i], field.vartype, text);
  }

  // 2. Indexes, their columns in key order.
  rows = db_.query(u"SHOW INDEX FROM " + q);
  if (!rows) throw tk_mail_assertion("sql_tbl", __LINE__);
  for (rows->reset(); !rows->is_eof(); rows->next()) {
    const udb_record& r = rows->get_item();
    bool unique = !r.at(1).to_bool();
    std::u16string key = r.at(2).to_wstring();
    bool primary = key == u"PRIMARY";
    std::u16string column =
        r.at(4).get_type() == VT_BSTR ? r.at(4).get_bstr() : r.at(4).to_wstring();
    tk_wtrace(2, u"Got index '%s' (primary=%d, unique=%d)", key, primary ? 1 : 0, unique ? 1 : 0);
    if (indexes.is_acceptable_name(key)) {
      udb_index index;
      index.name = key;
      index.unique = unique;
      index.primary = primary;
      index.fields.push_back(column);
      add_index(index);
    } else {
      indexes.get_index(key).fields.push_back(column);
    }
  }

  // 3. Foreign keys, from the CREATE TABLE text.
  if (engine.has_foreign_keys()) {
    tk_trace(2, "Extracting foreign keys");
    rows = db_.query(u"SHOW CREATE TABLE " + q);
    if (!rows) throw tk_mail_assertion("sql_tbl", __LINE__);
    for (rows->reset(); !rows->is_eof(); rows->next()) {
      const udb_record& r = rows->get_item();
      if (r.empty()) continue;
      const udb_field& create = r.back();
      udb_relationships found;
      sql_fk_parser(name, create.get_type() == VT_BSTR ? create.get_bstr() : create.to_wstring())
          .do_parse(found);
      // A table read twice must not give its keys twice.
      for (udb_relationship& key : found) {
        if (db_.relationships.is_acceptable_name(key.name)) {
          db_.relationships.push_back(std::move(key));
        }
      }
    }
  }
}

// --- sql_tmp_recordset ---

sql_tmp_recordset::sql_tmp_recordset(st_mysql* mysql, sql_result_ptr result, bool blob_to_text)
    : udb_recordset(u"") {
  columns_ = sql_describe_columns(result.get(), blob_to_text);
  while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
    rows_.emplace_back(columns_, mysql_fetch_lengths(result.get()), row);
  }
  if (mysql_errno(mysql) != 0) throw sql_exception(mysql);
  record_count = static_cast<int32_t>(rows_.size());
  position = 0;
  for (const sql_column& c : columns_) schema.add(c.to_ftd());
}

void sql_tmp_recordset::append_record(const udb_record&) {
  throw tk_mail_assertion("sql_recs", __LINE__);
}

const udb_record& sql_tmp_recordset::get_item() {
  if (position < 0 || position >= record_count) return empty_record();
  return rows_[static_cast<size_t>(position)];
}

bool sql_tmp_recordset::is_eof() { return position >= record_count; }

void sql_tmp_recordset::next() { ++position; }

void sql_tmp_recordset::prev() {}

void sql_tmp_recordset::reset() { position = 0; }
