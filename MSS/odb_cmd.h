// A command: runs statement texts on a session. Lives for one or a few statements.
#pragma once

#include <memory>
#include <string>

#include "odb_conn.h"
#include "odb_rows.h"

class odb_command {
 public:
  // On an existing session.
  explicit odb_command(const odb_session& session);
  // On a data source: makes a session of its own first.
  explicit odb_command(const std::shared_ptr<odb_data_source>& data_source);

  // Runs `text`. With `rowset` given, it receives the rows of the statement's first result that
  // has columns, or null when the statement gives none. Without it every result is consumed.
  // Failures (of any statement of the text) raise odb_exception.
  void execute(const std::u16string& text, std::unique_ptr<odb_rowset>* rowset = nullptr);
  // Runs `describe_text` for the columns of its first result and returns a rowset whose rows are
  // those of `read_text`, executed only when the first row is wanted (and again on restart).
  // Null when `describe_text` gives no result with columns.
  std::unique_ptr<odb_rowset> open(const std::u16string& describe_text,
                                   const std::u16string& read_text);

  const odb_session& session() const { return session_; }

 private:
  void prepare();
  std::unique_ptr<odb_stmt_rowset> run(const std::u16string& text,
                                       const std::u16string& restart_text, bool want_rows);

  odb_session session_;
};
