#include "sql_database.h"

#include "sql_engine.h"
#include "sql_exception.h"
#include "sql_handle.h"
#include "sql_recordset.h"
#include "sql_view_converter.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

constexpr int32_t mode_no_views = 0x80;

// The text of a result value (catalogue names and definitions are text columns).
std::u16string text_of(const udb_field& field) {
  return field.get_type() == VT_BSTR ? field.get_bstr() : field.to_wstring();
}

}  // namespace

sql_database::sql_database(sql_engine& engine, const std::u16string& name, int32_t mode)
    : udb_database(&engine, name, mode), engine_(engine) {
  tk_wtrace(2, u"sql_database::sql_database(%s, mode=%d)", name, mode);
  init_tables();
  if (!(mode & mode_no_views)) {
    try {
      init_views();
    } catch (const sql_exception& e) {
      tk_trace(2, "ERROR1:\n%s", e.what());
    }
  }
}

sql_database::~sql_database() noexcept(false) = default;

void sql_database::init_tables() {
  tk_trace(2, "sql_database::init_tables");
  tables.clear();
  if (engine_.version() < sql_engine::version_full_tables) {
    tk_trace(2, "Extracting tables in old way");
    sql_result_ptr result(mysql_list_tables(engine_.handle(), nullptr));
    if (!result) throw sql_exception(engine_.handle());
    while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
      unsigned long* lengths = mysql_fetch_lengths(result.get());
      std::u16string table = row[0] ? tk_utf8_to_wide(row[0], lengths[0]) : std::u16string();
      tk_wtrace(2, u"Got table name: '%s'", table);
      tables.push_back(std::move(table));
    }
    if (mysql_errno(engine_.handle())) throw sql_exception(engine_.handle());
    return;
  }
  tk_trace(2, "Extracting tables in new way");
  std::unique_ptr<udb_recordset> rows = query(u"show full tables where Table_type='BASE TABLE'");
  if (!rows) return;
  for (rows->reset(); !rows->is_eof(); rows->next()) {
    const udb_record& r = rows->get_item();
    if (r.empty()) continue;
    std::u16string table = text_of(r[0]);
    tk_wtrace(2, u"Got table name: '%s'", table);
    tables.push_back(std::move(table));
  }
}

void sql_database::init_views() {
  tk_trace(2, "sql_database::init_views");
  // The database name is a literal here: escaped, so that a name with a quote keeps its views.
  std::string statement =
      "SELECT table_name, view_definition FROM information_schema.views WHERE table_schema=" +
      sql_literal(engine_.handle(), tk_wide_to_utf8(name));
  std::unique_ptr<udb_recordset> rows = query(tk_utf8_to_wide(statement));
  if (!rows) return;
  for (rows->reset(); !rows->is_eof(); rows->next()) {
    const udb_record& r = rows->get_item();
    if (r.size() < 2) continue;
    std::u16string view = text_of(r[0]);
    std::u16string text = text_of(r[1]);
    tk_wtrace(2, u"Got query name: '%s'", view);
    tk_wtrace(2, u"Got query SQL: '%s'", text);
    views.emplace(view, refine_view_out(text));
  }
}

std::u16string sql_database::refine_view_out(const std::u16string& text) {
  tk_wtrace(1, u"sql_database::refine_view_out(%s)", text);
  // The server qualifies every name of the view's own database: `name`. (inner backquotes
  // doubled, as the server writes them).
  std::u16string qualifier = tk_utf8_to_wide(sql_backquote(tk_wide_to_utf8(name))) + u".";
  return sql_view_converter(sql_view_converter::strip_qualifiers(text, qualifier))
      .convert_to_ansi();
}

std::unique_ptr<udb_recordset> sql_database::create_table(const std::u16string&, const udb_schema&,
                                                          const udb_indexes&) {
  throw tk_mail_assertion("sql_db", __LINE__);
}

void sql_database::delete_tab(const std::u16string&) {
  throw tk_mail_assertion("sql_db", __LINE__);
}

std::unique_ptr<udb_recordset> sql_database::get_table(const std::u16string& name, int32_t) {
  tk_wtrace(2, u"sql_database::get_table (%s)", name);
  if (!is_table_exist(name)) throw tk_mail_assertion("sql_db", __LINE__);
  return std::make_unique<sql_table>(*this, name);
}

std::unique_ptr<udb_recordset> sql_database::get_table(const std::u16string& name,
                                                       const std::u16string& query_text, int32_t) {
  tk_wtrace(2, u"sql_database::get_table (%s)", name);
  return std::make_unique<sql_recordset>(*this, name, query_text);
}

bool sql_database::execute_sql(const std::u16string& text) {
  tk_wtrace(2, u"sql_database::execute_sql(%s)", text);
  MYSQL* m = engine_.handle();
  std::string statement = tk_wide_to_utf8(text);
  if (mysql_real_query(m, statement.data(), statement.size()) != 0) {
    sql_exception e(m);
    tk_trace(2, "%s", e.what());
    return false;
  }
  sql_result_ptr result(mysql_use_result(m));
  if (result) {
    while (mysql_fetch_row(result.get())) {
    }
  }
  return mysql_errno(m) == 0;
}

std::unique_ptr<udb_recordset> sql_database::query(const std::u16string& text) {
  tk_wtrace(2, u"sql_database::query(%s)", text);
  MYSQL* m = engine_.handle();
  std::string statement = tk_wide_to_utf8(text);
  if (mysql_real_query(m, statement.data(), statement.size()) != 0) throw sql_exception(m);
  sql_result_ptr result(mysql_use_result(m));
  if (!result) {
    if (mysql_field_count(m) == 0) return nullptr;  // a statement without a result set
    throw sql_exception(m);
  }
  return std::make_unique<sql_tmp_recordset>(m, std::move(result), engine_.blob_to_text());
}

sql_mysql_ptr sql_database::take_stream_connection() {
  if (idle_stream_) return std::move(idle_stream_);
  return engine_.open_connection(tk_wide_to_utf8(name));
}

void sql_database::give_back_stream_connection(sql_mysql_ptr conn) {
  if (!idle_stream_) idle_stream_ = std::move(conn);
}

// --- the row stream ---

sql_database::sql_limited_query::sql_limited_query(sql_database& db, const std::string& statement)
    : db_(db) {
  tk_trace(1, "sql_database::sql_limited_query::sql_limited_query");
  for (int attempt = 0;; ++attempt) {
    bool reused = static_cast<bool>(db_.idle_stream_);
    conn_ = db_.take_stream_connection();
    if (mysql_real_query(conn_.get(), statement.data(), statement.size()) == 0) break;
    unsigned err = mysql_errno(conn_.get());
    // A kept connection may have been dropped by the server while it was idle: one more try
    // on a fresh connection.
    if (reused && attempt == 0 && (err == CR_SERVER_GONE_ERROR || err == CR_SERVER_LOST)) {
      conn_.reset();
      continue;
    }
    throw sql_exception(conn_.get());
  }
  result_.reset(mysql_use_result(conn_.get()));
  if (!result_) throw sql_exception(conn_.get());
  columns_ = sql_describe_columns(result_.get(), db_.get_engine().blob_to_text());
}

sql_database::sql_limited_query::~sql_limited_query() {
  if (!result_) return;  // the statement failed: the connection is not reused
  if (done_) {
    result_.reset();
    db_.give_back_stream_connection(std::move(conn_));
    return;
  }
  // Left early: cancel the connection so that freeing the result does not read the rest.
  mariadb_cancel(conn_.get());
  result_.reset();
  conn_.reset();
}

size_t sql_database::sql_limited_query::store_to(std::vector<sql_record>& chunk, size_t count) {
  tk_trace(1, "sql_database::sql_limited_query::store_to");
  if (chunk.size() < count) chunk.resize(count);
  size_t n = 0;
  while (n < count && !done_) {
    MYSQL_ROW row = mysql_fetch_row(result_.get());
    if (!row) {
      // The end of the rows, or a read error: the library tells them apart by its error.
      if (mysql_errno(conn_.get()) != 0) {
        sql_exception e(conn_.get());
        // The connection is unusable now; it must not go back to the database.
        result_.reset();
        conn_.reset();
        throw e;
      }
      done_ = true;
      break;
    }
    chunk[n].load(columns_, mysql_fetch_lengths(result_.get()), row);
    ++n;
  }
  return n;
}
