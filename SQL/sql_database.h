// One MySQL database opened for reading: its base tables, its views (cleaned for the
// destination), its foreign keys as the table readers find them, and the recordsets over its
// tables and over user queries.
//
// Two connections serve a database. The engine's connection runs the catalogue statements,
// counts and user statements (query, execute_sql), each result read to its end. Row streams
// (one unbuffered SELECT per table or query, read to its end) run on a second connection that
// the database keeps for them, so that a table's catalogue can be read while its rows stream.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sql_record.h"
#include "sql_types.h"
#include "udb_db.h"
#include "udb_recordset.h"

class sql_engine;

class sql_database : public udb_database {
 public:
  // Opens `name` (already selected on the engine's connection): lists the tables and, unless
  // bit 7 of `mode` is set, the views. A failing view listing only loses the views.
  sql_database(sql_engine& engine, const std::u16string& name, int32_t mode);
  ~sql_database() noexcept(false) override;

  // MySQL is only read: creating and dropping tables raise tk_mail_assertion.
  std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& fields,
                                              const udb_indexes& indexes) override;
  void delete_tab(const std::u16string& name) override;
  // A sql_table over a listed table (an unlisted name raises tk_mail_assertion "sql_db").
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t flags) override;
  // A sql_recordset over every row of `query`, stored under `name`.
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, const std::u16string& query,
                                           int32_t flags) override;
  // Runs the statement and discards any result; true when it succeeded.
  bool execute_sql(const std::u16string& text) override;
  // Every row of the statement's result in a sql_tmp_recordset, or null for a statement
  // without a result set. Throws sql_exception.
  std::unique_ptr<udb_recordset> query(const std::u16string& text) override;

  void init_tables();
  void init_views();
  // A stored view definition cleaned for the destination (sql_view_converter).
  std::u16string refine_view_out(const std::u16string& text);

  sql_engine& get_engine() const { return engine_; }

  // One unbuffered SELECT on a row-stream connection, read a chunk at a time. At most one row
  // is held by the client library at a time; the caller keeps the chunk.
  class sql_limited_query {
   public:
    // Sends the statement (UTF-8) on a stream connection of `db`. Throws sql_exception.
    sql_limited_query(sql_database& db, const std::string& statement);
    // A stream read to its end hands its connection back to the database; one left early is
    // cancelled and closed, so that no unread rows are pulled over the wire.
    ~sql_limited_query();
    sql_limited_query(const sql_limited_query&) = delete;
    sql_limited_query& operator=(const sql_limited_query&) = delete;

    const std::vector<sql_column>& columns() const { return columns_; }
    // Reads up to `count` rows into chunk[0..], reusing the records there; returns how many.
    // A read error (the server gone between rows) throws sql_exception; the end of the rows
    // sets done().
    size_t store_to(std::vector<sql_record>& chunk, size_t count);
    bool done() const { return done_; }

   private:
    sql_database& db_;
    sql_mysql_ptr conn_;
    sql_result_ptr result_;
    std::vector<sql_column> columns_;
    bool done_ = false;
  };

 private:
  friend class sql_limited_query;
  sql_mysql_ptr take_stream_connection();
  void give_back_stream_connection(sql_mysql_ptr conn);

  sql_engine& engine_;
  // A stream connection not in use, kept for the next table.
  sql_mysql_ptr idle_stream_;
};
